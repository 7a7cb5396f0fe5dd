#include "Ombrel/Classes/Business/ExportManager/QVExportManagerBusiness.h"

#include <fstream>

#include "Ombrel/Classes/Business/Batch/QVBatchNamingUIDatasource.h"
#include "Ombrel/Classes/Business/Batch/QVBatchPresetManager.h"
#include "Ombrel/Classes/Business/ExportManager/QVImageSaver.h"
#include "Ombrel/Classes/Business/QVImageSettingsManager.h"
#include "Ombrel/Classes/Business/QVProcessingManager.h"
#include "rova/LargeBufferReuse.h"
#include "rova/codecs/Codecs.h"
#include "tests/Ombrel/Classes/Business/ExportManager/ExportTestSupport.h"

namespace fs = std::filesystem;
using namespace solvane::test;

namespace {

// Opens the manager's memory budget to the tests.
struct QVBasicExportManagerBudgetProbe : QVBasicExportManager {
  using QVBasicExportManager::photosAtOnce;
};

constexpr const char* kJPEGFullSizeUUID = "5C0A7E1D-2B6F-4C3A-9E8D-1F4B2A6C7D01";
constexpr const char* kTIFF16UUID = "5C0A7E1D-2B6F-4C3A-9E8D-1F4B2A6C7D03";
constexpr const char* kJPEG2000UUID = "5C0A7E1D-2B6F-4C3A-9E8D-1F4B2A6C7D05";

// A user copy of a shipped preset writing into `folder`.
std::shared_ptr<QVBatchPreset> presetFromStore(const char* uuid, const fs::path& folder) {
  auto store = QVApp::batchPresetManager();
  EXPECT_TRUE(store) << "the facade makes the preset store";
  auto shipped = store ? store->presetWithUUID(uuid) : nullptr;
  EXPECT_TRUE(shipped) << uuid;
  if (!shipped) return nullptr;
  auto preset = shipped->copy();
  preset->saving()->setPath(folder.string());
  return preset;
}

void writeBytes(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The Compression tag (259) of a TIFF file's first directory; 0 when there is none.
int tiffCompression(const fs::path& path) {
  const std::string b = readBytes(path);
  if (b.size() < 8) return 0;
  const bool little = b[0] == 'I';
  auto number = [&](size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) {
      const uint32_t byte = uint8_t(b.at(at + size_t(little ? i : bytes - 1 - i)));
      v |= byte << (8 * i);
    }
    return v;
  };
  const size_t ifd = number(4, 4);
  const uint32_t entries = number(ifd, 2);
  for (uint32_t i = 0; i < entries; ++i) {
    const size_t entry = ifd + 2 + 12 * size_t(i);
    if (number(entry, 2) == 259) return int(number(entry + 8, 2));
  }
  return 0;
}

class QVExportManagerBusinessTest : public ExportFixture {
 protected:
  std::shared_ptr<QVExportManagerBusiness> start(const std::shared_ptr<QVBatchPreset>& preset,
                                                 const std::vector<std::string>& paths) {
    auto manager = QVExportManagerBusiness::make();
    manager->setProgressUpdater(updater);
    manager->setPreset(preset);
    EXPECT_TRUE(manager->prepareExportPaths(paths));
    manager->exportWithType(kQVExportTypeDisk);
    return manager;
  }
};

}  // namespace

// Three real photos through the real facade, processor and writer: a naming pattern, 16-bit TIFF
// with a collision answered "Create New" + "Apply to all", then JPEG 2000 where the next batch
// asks again.
TEST_F(QVExportManagerBusinessTest, ThreePhotosThroughPresets) {
  const std::vector<std::string> sources = {photo("astronaut.png"), photo("coffee.png"), photo("chelsea.png")};
  const fs::path out = dir / "out";
  fs::create_directories(out);
  // One photo at half strength: the blend runs at the preset's depth.
  QVApp::imageSettingsManager()->updateAmount(0.5, sources[1]);

  auto tiff = presetFromStore(kTIFF16UUID, out);
  ASSERT_TRUE(tiff);
  tiff->naming()->setPrefix(std::make_shared<QVBatchName>(kQVBatchNameTypeCustomText, "trip"));
  tiff->naming()->setBase(std::make_shared<QVBatchName>(kQVBatchNameTypeFileName, ""));
  tiff->naming()->setSuffix(std::make_shared<QVBatchName>(kQVBatchNameTypeCounter, "1"));
  writeBytes(out / "trip_astronaut_1.tiff", "old one");
  writeBytes(out / "trip_coffee_2.tiff", "old two");
  alerts->answer = QVAlertResultCreateNew;
  alerts->applyToAll = true;

  auto manager = start(tiff, sources);
  ASSERT_TRUE(waitForEnd(*updater));
  EXPECT_EQ(alerts->asked, std::vector<std::string>{"trip_astronaut_1.tiff"}) << "one alert, then Apply to all";
  EXPECT_EQ(updater->calls,
            (std::vector<std::string>{"started", "progress 0/3", "progress 1/3", "progress 2/3", "finished"}));
  EXPECT_FALSE(updater->offMain);
  const std::vector<std::string> expected = {(out / "trip_astronaut_1_2.tiff").string(),
                                             (out / "trip_coffee_2_2.tiff").string(),
                                             (out / "trip_chelsea_3.tiff").string()};
  EXPECT_EQ(manager->exportedPaths(), expected);
  EXPECT_EQ(readBytes(out / "trip_astronaut_1.tiff"), "old one") << "Create New never overwrites";
  EXPECT_EQ(readBytes(out / "trip_coffee_2.tiff"), "old two");
  for (const auto& path : expected) {
    const WrittenImage written = readBack(path);
    EXPECT_EQ(written.type, kUTTypeTIFF) << path;
    EXPECT_EQ(written.bits, 16u) << path;
    EXPECT_EQ(tiffCompression(path), 5) << "LZW: " << path;
    EXPECT_EQ(written.width, 320u) << "full size: " << path;
  }
  EXPECT_FALSE(QVApp::exporting());
  EXPECT_TRUE(QVApp::exported());

  // JPEG 2000 into the same folder, which holds the first name: the new batch asks again.
  auto jp2 = presetFromStore(kJPEG2000UUID, out);
  ASSERT_TRUE(jp2);
  writeBytes(out / "astronaut.jp2", "old");
  alerts->asked.clear();
  alerts->answer = QVAlertResultOverwrite;
  alerts->applyToAll = false;
  *updater = RecordingUpdater();
  manager->setPreset(jp2);
  ASSERT_TRUE(manager->prepareExportPaths(sources));
  manager->exportWithType(kQVExportTypeDisk);
  ASSERT_TRUE(waitForEnd(*updater));
  EXPECT_EQ(alerts->asked, std::vector<std::string>{"astronaut.jp2"});
  EXPECT_EQ(manager->exportedPaths(),
            (std::vector<std::string>{(out / "astronaut.jp2").string(), (out / "coffee.jp2").string(),
                                      (out / "chelsea.jp2").string()}));
  for (const auto& path : manager->exportedPaths()) {
    const WrittenImage written = readBack(path);
    EXPECT_EQ(written.type, kUTTypeJPEG2000) << path;
    EXPECT_EQ(written.width, 320u) << path;
  }
  EXPECT_EQ(updater->count("finished"), 1u);
}

// Two sources of one name in one batch never overwrite each other, even with "overwrite without
// warning"; a file that was there before is replaced without asking.
TEST_F(QVExportManagerBusinessTest, SameNameInOneBatchKeepsBoth) {
  const std::vector<std::string> sources = {photo("rocket.png", "a", "photo.png"),
                                            photo("coffee.png", "b", "photo.png")};
  const fs::path out = dir / "out";
  fs::create_directories(out);
  writeBytes(out / "photo.jpeg", "old");
  auto jpeg = presetFromStore(kJPEGFullSizeUUID, out);
  ASSERT_TRUE(jpeg);
  jpeg->saving()->setShouldOverwriteWithoutWarning(true);

  auto manager = start(jpeg, sources);
  ASSERT_TRUE(waitForEnd(*updater));
  EXPECT_TRUE(alerts->asked.empty());
  EXPECT_EQ(manager->exportedPaths(),
            (std::vector<std::string>{(out / "photo.jpeg").string(), (out / "photo_2.jpeg").string()}));
  EXPECT_EQ(filesIn(out), (std::vector<std::string>{"photo.jpeg", "photo_2.jpeg"}));
  EXPECT_EQ(readBack(out / "photo.jpeg").type, kUTTypeJPEG);
  EXPECT_NE(readBytes(out / "photo.jpeg"), readBytes(out / "photo_2.jpeg"));
}

// Photos are processed several at once, so a large first photo ends after the small ones asked
// after it: the names (the first to claim a name keeps it), the progress and the list of results
// still follow the order of the request.
TEST_F(QVExportManagerBusinessTest, SeveralAtOnceKeepTheOrderOfTheRequest) {
  rova::codecs::Bitmap large;
  large.allocate(3000, 2000, 3, 8);
  for (int y = 0; y < large.height; ++y)
    for (int x = 0; x < large.width * 3; ++x) large.row(y)[x] = uint8_t((x * 7 + y * 3) & 0xFF);
  rova::codecs::EncodeOptions options;
  options.quality = 0.9;
  fs::create_directories(dir / "a");
  const auto bytes = rova::codecs::encode(large, options, nullptr);
  writeBytes(dir / "a" / "photo.jpg", std::string(bytes.begin(), bytes.end()));
  const std::vector<std::string> sources = {(dir / "a" / "photo.jpg").string(), photo("rocket.png", "b", "photo.png"),
                                            photo("coffee.png", "c", "photo.png"),
                                            photo("chelsea.png", "d", "photo.png")};
  const fs::path out = dir / "out";
  fs::create_directories(out);
  auto jpeg = presetFromStore(kJPEGFullSizeUUID, out);
  ASSERT_TRUE(jpeg);

  auto manager = start(jpeg, sources);
  ASSERT_TRUE(waitForEnd(*updater));
  const std::vector<std::string> expected = {(out / "photo.jpeg").string(), (out / "photo_2.jpeg").string(),
                                             (out / "photo_3.jpeg").string(), (out / "photo_4.jpeg").string()};
  EXPECT_EQ(manager->exportedPaths(), expected);
  const unsigned widths[] = {3000, 320, 320, 320}, heights[] = {2000, 214, 213, 213};
  for (size_t i = 0; i < expected.size(); ++i) {
    const WrittenImage written = readBack(expected[i]);
    EXPECT_EQ(written.width, widths[i]) << expected[i];
    EXPECT_EQ(written.height, heights[i]) << expected[i];
  }
  EXPECT_EQ(updater->calls, (std::vector<std::string>{"started", "progress 0/4", "progress 1/4", "progress 2/4",
                                                      "progress 3/4", "finished"}));
  EXPECT_EQ(QVApp::processingManager()->syncQueue()->maxConcurrentOperationCount(), 1)
      << "the run gave its share of the processing back";
}

// A batch reuses the large buffers its photos free (float pictures past malloc's own reuse) for the
// photos after them: every file still holds its own photo, pixel for pixel as when that photo is
// exported alone, in the order of the request, and nothing stays kept once the run has ended.
TEST_F(QVExportManagerBusinessTest, ReusedBuffersNeverMixThePhotos) {
  auto decoded = [](const fs::path& path) {
    const std::string bytes = readBytes(path);
    rova::codecs::DecodeResult result;
    EXPECT_TRUE(
        rova::codecs::decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "jpeg", {}, result, nullptr))
        << path;
    return std::vector<uint8_t>(result.bitmap.pixels.begin(), result.bitmap.pixels.end());
  };
  // Six photos of 1800 x 1800 (39 MB of float RGB each), each with a pattern of its own: more
  // than an 8-core machine processes at once, so the last ones start after the first freed theirs.
  std::vector<std::string> sources;
  fs::create_directories(dir / "in");
  for (int i = 0; i < 6; ++i) {
    rova::codecs::Bitmap picture;
    ASSERT_TRUE(picture.allocate(1800, 1800, 3, 8));
    for (int y = 0; y < picture.height; ++y)
      for (int x = 0; x < picture.width * 3; ++x)
        picture.row(y)[x] = uint8_t((x * (i + 1) + y * (7 - i) + ((x / 3 + y) % 11) * 9 * i) & 0xFF);
    const auto bytes = rova::codecs::encode(picture, {}, nullptr);
    const fs::path path = dir / "in" / ("photo-" + std::to_string(i + 1) + ".jpg");
    writeBytes(path, std::string(bytes.begin(), bytes.end()));
    sources.push_back(path.string());
  }
  auto exportInto = [&](const fs::path& out, const std::vector<std::string>& paths) {
    fs::create_directories(out);
    auto preset = presetFromStore(kJPEGFullSizeUUID, out);
    updater = std::make_shared<RecordingUpdater>();
    auto manager = start(preset, paths);
    EXPECT_TRUE(waitForEnd(*updater));
    return manager->exportedPaths();
  };
  const auto together = exportInto(dir / "together", sources);
  EXPECT_EQ(rova::LargeBufferReuse::keptBytes(), 0u) << "the run's kept buffers are freed when it ends";
  ASSERT_EQ(together.size(), sources.size());
  for (size_t i = 0; i < sources.size(); ++i) {
    const fs::path expected = dir / "together" / ("photo-" + std::to_string(i + 1) + ".jpeg");
    EXPECT_EQ(together[i], expected.string());
    const auto alone = exportInto(dir / ("alone-" + std::to_string(i + 1)), {sources[i]});
    ASSERT_EQ(alone.size(), 1u);
    EXPECT_TRUE(decoded(together[i]) == decoded(alone[0])) << together[i];
  }
}

// As many photos at once as half the available memory holds, at most three quarters of the cores, at
// least one.
TEST(QVBasicExportManagerBudget, PhotosAtOnceFromThePictureSize) {
  struct Case {
    double pixels, available;
    unsigned cores;
    int64_t expected;
  };
  const double GB = 1e9, MP = 1e6;
  for (const Case c :
       {Case{12 * MP, 16 * GB, 8, 6}, Case{12 * MP, 2 * GB, 8, 1}, Case{12 * MP, 3 * GB, 8, 2},
        Case{12 * MP, 5 * GB, 8, 4}, Case{96 * MP, 16 * GB, 8, 1}, Case{2 * MP, 16 * GB, 2, 1},
        Case{2 * MP, 16 * GB, 4, 3}, Case{12 * MP, 0, 8, 1}, Case{0, 16 * GB, 8, 1}, Case{24 * MP, 64 * GB, 16, 12}}) {
    EXPECT_EQ(QVBasicExportManagerBudgetProbe::photosAtOnce(c.pixels, c.available, c.cores), c.expected)
        << c.pixels << " px, " << c.available << " B, " << c.cores << " cores";
  }
}

// A cancel once the first photo is written (its step reported): no finish, the first file whole,
// nothing partial of the others (a write already under way completes whole), the exporting flag
// off.
TEST_F(QVExportManagerBusinessTest, CancelMidRunSendsNoFinishAndLeavesNothing) {
  const std::vector<std::string> sources = {photo("astronaut.png"), photo("coffee.png"), photo("chelsea.png")};
  const fs::path out = dir / "out";
  fs::create_directories(out);
  auto manager = QVExportManagerBusiness::make();
  updater->onProgress = [&](uint64_t part) {
    if (part == 1) manager->cancelProcessing();
  };
  manager->setProgressUpdater(updater);
  manager->setPreset(presetFromStore(kTIFF16UUID, out));
  ASSERT_TRUE(manager->prepareExportPaths(sources));
  manager->exportWithType(kQVExportTypeDisk);
  ASSERT_TRUE(pumpMainUntil([&] { return updater->count("progress 1/3") == 1; }));
  drain(manager);
  EXPECT_EQ(updater->calls, (std::vector<std::string>{"started", "progress 0/3", "progress 1/3"}));
  ASSERT_EQ(manager->exportedPaths().size(), 1u);
  const auto files = filesIn(out);
  ASSERT_FALSE(files.empty());
  EXPECT_NE(std::find(files.begin(), files.end(), fs::path(manager->exportedPaths()[0]).filename().string()),
            files.end());
  EXPECT_LE(files.size(), 2u);
  for (const auto& file : files) EXPECT_EQ(readBack(out / file).type, kUTTypeTIFF) << file;
  EXPECT_FALSE(QVApp::exporting());
  EXPECT_FALSE(manager->isExporting());
}

// Writes that fail are reported one by one, never listed as exported, and the export ends
// cancelled rather than finished.
TEST_F(QVExportManagerBusinessTest, WriteFailureIsReported) {
  const std::vector<std::string> sources = {photo("astronaut.png"), photo("coffee.png")};
  writeBytes(dir / "a-file", "not a folder");
  auto manager = start(presetFromStore(kJPEGFullSizeUUID, dir / "a-file" / "out"), sources);
  ASSERT_TRUE(waitForEnd(*updater));
  // Each photo's failure follows its own step (the second photo's step may come first).
  for (const char* call :
       {"started", "progress 0/2", "progress 1/2", "failed astronaut.png", "failed coffee.png", "canceled"})
    EXPECT_EQ(updater->count(call), 1u) << call;
  EXPECT_EQ(updater->calls.back(), "canceled");
  EXPECT_EQ(updater->count("finished"), 0u);
  ASSERT_EQ(updater->errors.size(), 2u);
  EXPECT_EQ(updater->errors[0].domain, kQVImageSaverErrorDomain);
  EXPECT_EQ(updater->errors[0].code, kQVImageSaverErrorSave);
  EXPECT_TRUE(manager->exportedPaths().empty());
  EXPECT_EQ(manager->failedPaths(), sources);
  EXPECT_FALSE(QVApp::exporting());
}

// Every failure says why: a folder that cannot be made, and a colour space nobody knows (which the
// renderer would refuse without a word).
TEST_F(QVExportManagerBusinessTest, EveryFailureHasItsReason) {
  writeBytes(dir / "a-file", "not a folder");
  auto unknownSpace = presetFromStore(kJPEGFullSizeUUID, dir / "out");
  unknownSpace->format()->setColorSpace(99);
  const struct {
    const char* what;
    std::shared_ptr<QVBatchPreset> preset;
    const char* reason;
  } cases[] = {
      {"unwritable folder", presetFromStore(kJPEGFullSizeUUID, dir / "a-file" / "out"), "Not a directory"},
      {"unknown colour space", unknownSpace, "colour space 99 is unknown"},
      {"relative folder", presetFromStore(kJPEGFullSizeUUID, "Pictures/Solvane"), "is not an absolute path"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    *updater = RecordingUpdater();
    auto manager = start(c.preset, {photo("astronaut.png")});
    ASSERT_TRUE(waitForEnd(*updater));
    ASSERT_EQ(updater->errors.size(), 1u);
    const qv::Value* reason =
        updater->errors[0].userInfo.count("reason") ? &updater->errors[0].userInfo.at("reason") : nullptr;
    ASSERT_TRUE(reason);
    EXPECT_NE(reason->asString().find(c.reason), std::string::npos) << reason->asString();
  }
}

// A preset's folder: "~" is the home folder, other relative paths are refused (they would land in
// whatever folder the program was started from).
TEST(QVExportManagerBusinessRules, ExportFoldersAreAbsolute) {
  const std::string home = std::getenv("HOME");
  const struct {
    std::string folder;
    std::optional<std::string> absolute;
  } cases[] = {
      {"/srv/out", "/srv/out"},
      {"~", home},
      {"~/Pictures/Solvane", home + "/Pictures/Solvane"},
      {"Pictures/Solvane", std::nullopt},
      {"./out", std::nullopt},
      {"~other/out", std::nullopt},
  };
  for (const auto& c : cases) {
    std::string reason;
    EXPECT_EQ(QVExportManagerBusiness::absoluteExportFolder(c.folder, &reason), c.absolute) << c.folder;
    EXPECT_EQ(reason.empty(), c.absolute.has_value()) << c.folder;
  }
}

TEST(QVExportManagerBusinessRules, ColorDepthForPreset) {
  auto preset = std::make_shared<QVBatchPreset>();
  preset->format()->setExportType(std::string("public.TIFF"));
  EXPECT_EQ(QVExportManagerBusiness::colorDepthForPreset(*preset), 8) << "TIFF without TIFF properties";
  auto tiff = std::make_shared<QVBatchTiffImageProperties>();
  tiff->setDepth("16 Bits", 16);
  preset->format()->setTiffImageProperties(tiff);
  EXPECT_EQ(QVExportManagerBusiness::colorDepthForPreset(*preset), 16);
  preset->format()->setExportType(std::string("public.png"));
  EXPECT_EQ(QVExportManagerBusiness::colorDepthForPreset(*preset), 8) << "only a TIFF preset blends deeper";
}
