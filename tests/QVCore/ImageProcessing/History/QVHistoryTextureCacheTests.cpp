#include <gtest/gtest.h>

#include "QVCore/ImageProcessing/History/HistoryTestSupport.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Bundle.h"
#include "common/TestSupport.h"
#include "rova/ImageCompressorProxy.h"

using namespace historytest;

TEST_F(HistoryTest, TextureCacheKeepsOneCopyPerPathAndRepairsStaleRecords) {
  const fs::path source = solvane::test::makeTempDir("texture-cache") / "paper.jpg";
  writeText(source, "paper");
  EXPECT_FALSE(manager->cachedPathForTextureWithPath(source.string()));

  auto first = manager->updateCacheTextureWithPath(source.string());
  ASSERT_TRUE(first);
  EXPECT_EQ(fs::path(*first).parent_path(), fs::path(manager->resourcesPath()));
  EXPECT_EQ(fs::path(*first).extension(), ".jpg");
  EXPECT_EQ(readText(*first), "paper");
  EXPECT_EQ(manager->updateCacheTextureWithPath(source.string()), first);
  EXPECT_EQ(manager->cachedPathForTextureWithPath(source.string()), first);
  EXPECT_EQ(manager->cachedTexturesDict().size(), 1u);
  EXPECT_EQ(manager->cachedTexturesAccessoryBookmarks().count(source.string()), 1u);
  // A copy's own path, or a path naming a copy by its file name, finds the copy.
  EXPECT_EQ(manager->cachedPathForTextureWithPath(*first), first);
  EXPECT_EQ(manager->cachedPathForTextureWithPath("/elsewhere/" + fs::path(*first).filename().string()), first);
  EXPECT_EQ(manager->originalResolvedPathForTextureWithPath(*first), source.string());

  // The copy vanished: the next lookup drops the stale record and copies again under a new name.
  fs::remove(*first);
  auto second = manager->cachedPathForTextureWithPath(source.string());
  ASSERT_TRUE(second);
  EXPECT_NE(*second, *first);
  EXPECT_EQ(readText(*second), "paper");
  EXPECT_EQ(manager->cachedTexturesDict().size(), 1u);

  // The source moved away: the bookmark no longer resolves, the copy stays usable.
  fs::remove(source);
  EXPECT_FALSE(manager->originalResolvedPathForTextureWithPath(source.string()));
  EXPECT_EQ(manager->cachedPathForTextureWithPath(source.string()), second);

  manager->deleteTextureWithName(fs::path(*second).filename().string());
  EXPECT_FALSE(fs::exists(*second));
  EXPECT_TRUE(manager->cachedTexturesDict().empty());
  EXPECT_TRUE(manager->cachedTexturesAccessoryBookmarks().empty());
  EXPECT_FALSE(manager->updateCacheTextureWithPath(source.string()));  // nothing left to copy
  EXPECT_FALSE(manager->updateCacheTextureWithPath(""));
}

TEST_F(HistoryTest, TexturesOfTheApplicationAreCopiedWithoutBookmark) {
  const std::string shipped = qv::Bundle::mainBundle().pathForResource("BlendModeInfo", "plist");
  if (shipped.empty()) GTEST_SKIP() << "no shipped resource to use";
  auto copy = manager->updateCacheTextureWithPath(shipped);
  ASSERT_TRUE(copy);
  EXPECT_TRUE(fs::exists(*copy));
  EXPECT_TRUE(manager->cachedTexturesAccessoryBookmarks().empty());
}

TEST_F(HistoryTest, MigrationRewritesEveryStateBeforeDeletingOldTextures) {
  auto compressed = [](const std::string& path) -> std::optional<std::string> {
    const std::string name = qv::stringWithUUID() + ".rovacompressedimagedata";
    writeText(fs::path(path).parent_path() / name, "compressed");
    return name;
  };
  QVHistoryManager::setTextureCompressor(compressed);
  const std::string resources = manager->resourcesPath();
  const std::string history = manager->historyPath();
  EXPECT_FALSE(manager->migrateToCompressedTextures());  // nothing to convert

  writeText(fs::path(resources) / "old.rovaimagedata", "raw");
  writeText(fs::path(history) / "s1.state", "<string>old.rovaimagedata</string>");
  writeText(fs::path(history) / "s2.state", "<string>other</string><string>old.rovaimagedata</string>");
  EXPECT_TRUE(manager->migrateToCompressedTextures());
  EXPECT_FALSE(fs::exists(fs::path(resources) / "old.rovaimagedata"));
  const std::string s1 = readText(fs::path(history) / "s1.state");
  EXPECT_EQ(s1.find("old.rovaimagedata"), std::string::npos);
  EXPECT_NE(s1.find(".rovacompressedimagedata"), std::string::npos);
  EXPECT_EQ(readText(fs::path(history) / "s2.state").find("old.rovaimagedata"), std::string::npos);

  // A state that cannot be rewritten keeps the old texture alive.
  writeText(fs::path(resources) / "second.rovaimagedata", "raw");
  writeText(fs::path(history) / "s3.state", "<string>second.rovaimagedata</string>");
  writeText(fs::path(history) / "s4.state", std::string("bplist00\xff\xfe") + " second.rovaimagedata");
  EXPECT_TRUE(manager->migrateToCompressedTextures());
  EXPECT_TRUE(fs::exists(fs::path(resources) / "second.rovaimagedata"));

  // The engine's own conversion refuses a file that is no engine image data: nothing is lost.
  QVHistoryManager::setTextureCompressor(nullptr);
  EXPECT_FALSE(manager->migrateToCompressedTextures());
  EXPECT_TRUE(fs::exists(fs::path(resources) / "second.rovaimagedata"));
}

TEST_F(HistoryTest, MigrationUsesTheEngineConversionByDefault) {
  QVHistoryManager::setTextureCompressor(nullptr);
  // A 2 x 1 legacy image: width, height, then three floats per pixel.
  std::string raw;
  auto put = [&](const void* p, size_t n) { raw.append(static_cast<const char*>(p), n); };
  const int32_t size[2] = {2, 1};
  const float pixels[6] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f};
  put(size, sizeof size);
  put(pixels, sizeof pixels);
  writeText(fs::path(manager->resourcesPath()) / "legacy.rovaimagedata", raw);
  writeText(fs::path(manager->historyPath()) / "s.state", "<string>legacy.rovaimagedata</string>");
  ASSERT_TRUE(manager->migrateToCompressedTextures());
  const std::string state = readText(fs::path(manager->historyPath()) / "s.state");
  const size_t start = state.find('>') + 1;
  const std::string newName = state.substr(start, state.find('<', start) - start);
  EXPECT_EQ(fs::path(newName).extension(), ".rovacompressedimagedata");
  const std::string bytes = readText(fs::path(manager->resourcesPath()) / newName);
  auto image = rova::ImageCompressorProxy::uncompress(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width(), 2);
  EXPECT_FALSE(fs::exists(fs::path(manager->resourcesPath()) / "legacy.rovaimagedata"));
}

TEST_F(HistoryTest, CachedInitialTexturePathNeedsAPseudoStepNamingAnExistingTexture) {
  delegate->initialTextureName = "initial.rovacompressedimagedata";
  edit("A", 1);
  EXPECT_FALSE(manager->cachedInitialTexturePath());  // the last step is no pseudo-step
  manager->saveCurrentSatateIfNeaded();
  EXPECT_FALSE(manager->cachedInitialTexturePath());  // the texture is missing
  writeText(fs::path(manager->resourcesPath()) / delegate->initialTextureName, "x");
  EXPECT_EQ(manager->cachedInitialTexturePath(), manager->resourcesPath() + "/" + delegate->initialTextureName);
}
