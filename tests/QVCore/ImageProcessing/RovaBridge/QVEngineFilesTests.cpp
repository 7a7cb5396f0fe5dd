#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "QVCore/ImageProcessing/RovaBridge/QVRovaHelper.h"
#include "QVCore/ImageProcessing/RovaBridge/QVRovaService.h"
#include "QVPlatform/Places.h"
#include "common/TestSupport.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<fs::path> filesWithExtension(const fs::path& dir, const std::string& ext) {
  std::vector<fs::path> out;
  for (auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ext) out.push_back(e.path());
  return out;
}

const fs::path kTwoByOne = solvane::test::dataDir() / "pipeline" / "two-by-one.rovaimagedata";

TEST(QVEngineFilesTest, LegacyImageDataIsReadAndCompressedBesideTheInput) {
  auto bytes = readAll(kTwoByOne);
  ASSERT_EQ(bytes.size(), 32u);
  auto image = QVRovaHelper::rovaImagePtrFromRovaimagedata(bytes);
  ASSERT_TRUE(image);
  auto data = image->imageData();
  ASSERT_EQ(data->width(), 2);
  ASSERT_EQ(data->height(), 1);
  EXPECT_EQ(data->colorProfileType(), rova::kColorProfileNative);
  EXPECT_EQ(data->at(0, 0), (rova::PixelRGB<float>{0.0f, 0.5f, 1.0f}));
  EXPECT_EQ(data->at(1, 0), (rova::PixelRGB<float>{0.25f, 0.75f, 0.125f}));

  auto dir = solvane::test::makeTempDir("compress");
  fs::copy_file(kTwoByOne, dir / "old.rovaimagedata");
  auto name = QVRovaService::compressRovaimagedataAtPath((dir / "old.rovaimagedata").string());
  ASSERT_TRUE(name);
  EXPECT_EQ(name->find('/'), std::string::npos);
  EXPECT_EQ(fs::path(*name).extension(), ".rovacompressedimagedata");
  EXPECT_TRUE(fs::exists(dir / "old.rovaimagedata"));
  auto back = QVRovaHelper::rovaImagePtrFromRovacompressedimagedata(readAll(dir / *name));
  ASSERT_TRUE(back);
  auto backData = back->imageData();
  ASSERT_EQ(backData->width(), 2);
  EXPECT_EQ(backData->at(1, 0), data->at(1, 0));
  EXPECT_EQ(QVRovaHelper::compressedImageDataForImage(back), readAll(dir / *name));
}

TEST(QVEngineFilesTest, BadLegacyFilesAreRefusedAndWriteNothing) {
  auto good = readAll(kTwoByOne);
  auto header = [](int32_t w, int32_t h) {
    std::vector<uint8_t> b(8);
    std::memcpy(b.data(), &w, 4);
    std::memcpy(b.data() + 4, &h, 4);
    return b;
  };
  std::vector<std::vector<uint8_t>> bad = {
      {},
      {2, 0, 0},
      header(0, 1),
      header(-2, 1),
      header(0x7fffffff, 0x7fffffff),
      header(1000, 1000),  // announces 12 MB, holds nothing
  };
  for (size_t n = 0; n < good.size(); ++n) bad.emplace_back(good.begin(), good.begin() + std::ptrdiff_t(n));
  for (auto& bytes : bad) EXPECT_FALSE(QVRovaHelper::rovaImagePtrFromRovaimagedata(bytes)) << bytes.size();

  auto dir = solvane::test::makeTempDir("compress-bad");
  std::ofstream(dir / "cut.rovaimagedata", std::ios::binary).write(reinterpret_cast<const char*>(good.data()), 20);
  std::ofstream(dir / "text.rovaimagedata") << "not engine image data at all";
  EXPECT_FALSE(QVRovaService::compressRovaimagedataAtPath((dir / "cut.rovaimagedata").string()));
  EXPECT_FALSE(QVRovaService::compressRovaimagedataAtPath((dir / "text.rovaimagedata").string()));
  EXPECT_FALSE(QVRovaService::compressRovaimagedataAtPath((dir / "missing.rovaimagedata").string()));
  EXPECT_TRUE(filesWithExtension(dir, ".rovacompressedimagedata").empty());
  EXPECT_FALSE(QVRovaHelper::rovaImagePtrFromRovacompressedimagedata(good));
}

TEST(QVEngineFilesTest, ColourCodeTables) {
  const std::pair<int64_t, int> toType[] = {{0, 2}, {1, 0}, {2, 4}, {3, 3}, {4, 6}, {5, 7}, {-1, 7}};
  for (auto [code, type] : toType) EXPECT_EQ(QVRovaHelper::colorProfileTypeForColorSpace(code), type) << code;
  const std::pair<int, int64_t> toCode[] = {{0, 1}, {1, 0}, {2, 0}, {3, 3}, {4, 2}, {5, 0}, {6, 4}, {7, 0}, {9, 0}};
  for (auto [type, code] : toCode) EXPECT_EQ(QVRovaHelper::colorSpaceForColorProfileType(type), code) << type;
  EXPECT_EQ(QVRovaHelper::cgColorSpaceForQVImageColorSpace(2)->profileType(), rova::kColorProfileAdobeRGB);
  EXPECT_FALSE(QVRovaHelper::cgColorSpaceForQVImageColorSpace(9));
}

TEST(QVEngineFilesTest, BitmapConversionsSaturateAndKeepTheProfileWhenAlreadyThere) {
  auto data = rova::ImageDataRGBf::create(4, 1, rova::kColorProfileSRGB);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  data->at(0, 0) = {0.5f, 1.0f, 0.0f};
  data->at(1, 0) = {2.0f, -1.0f, nan};  // out of range: saturate, NaN to 0
  data->at(2, 0) = {0.25f, 0.25f, 0.25f};
  data->at(3, 0) = {1e30f, -1e30f, 0.999f};

  auto eight = QVRovaHelper::createCGImageWith(data, 1, 8);  // already sRGB: no transform, no clamp
  ASSERT_TRUE(eight);
  EXPECT_EQ(eight->bitsPerPixel, 32u);
  EXPECT_EQ(eight->bytesPerRow, 16u);
  EXPECT_EQ(eight->alphaInfo(), kCGImageAlphaNoneSkipLast);
  const uint8_t* p = eight->row(0);
  EXPECT_EQ((std::vector<int>{p[0], p[1], p[2], p[3]}), (std::vector<int>{127, 255, 0, 255}));
  EXPECT_EQ((std::vector<int>{p[4], p[5], p[6]}), (std::vector<int>{255, 0, 0}));
  EXPECT_EQ((std::vector<int>{p[12], p[13], p[14]}), (std::vector<int>{255, 0, 254}));

  auto sixteen = QVRovaHelper::createCGImageWith(data, 0, 16);
  ASSERT_TRUE(sixteen);
  EXPECT_EQ(sixteen->bytesPerRow, 32u);
  auto u16 = [&](size_t i) { return int(sixteen->row(0)[2 * i] | sixteen->row(0)[2 * i + 1] << 8); };
  EXPECT_EQ(u16(1), 65535);
  EXPECT_EQ(u16(3), 65535);
  EXPECT_EQ(u16(4), 65535);
  EXPECT_EQ(u16(5), 0);
  EXPECT_EQ(u16(6), 0);
  EXPECT_EQ(sixteen->colorSpace->profileType(), rova::kColorProfileSRGB);

  // Another code converts into that profile and clamps.
  auto adobe = QVRovaHelper::createCGImageWith(data, 2, 8);
  ASSERT_TRUE(adobe);
  EXPECT_EQ(adobe->colorSpace->profileType(), rova::kColorProfileAdobeRGB);
  EXPECT_FALSE(QVRovaHelper::createCGImageWith(data, 1, 12));
  EXPECT_FALSE(QVRovaHelper::createCGImageWith(nullptr, 1, 8));
}

TEST(QVEngineFilesTest, MaskPreviewIsARedWashOfTheMaskValue) {
  auto mask = rova::ImageDataF::create(2, 1);
  mask->at(0, 0) = 0.25f;
  mask->at(1, 0) = 1.0f;
  auto image = QVRovaHelper::createCGImageWithMaskData(mask, CGSizeMake(9, 9));
  ASSERT_TRUE(image);
  ASSERT_EQ(image->width, 2u);
  EXPECT_TRUE(image->isFloat());
  const float* px = reinterpret_cast<const float*>(image->row(0));
  EXPECT_EQ((std::vector<float>(px, px + 4)), (std::vector<float>{0.25f, 0, 0, 0.25f}));

  auto full = QVRovaHelper::createCGImageWithMaskData(nullptr, CGSizeMake(3.9, 2.2));
  ASSERT_TRUE(full);
  EXPECT_EQ(full->width, 3u);
  EXPECT_EQ(full->height, 2u);
  px = reinterpret_cast<const float*>(full->row(1));
  EXPECT_EQ((std::vector<float>(px, px + 4)), (std::vector<float>{1, 0, 0, 1}));
}

TEST(QVRovaServiceTest, ContextCodesEffectIdsAndStartUpPlaces) {
  const std::pair<const char*, int> names[] = {
      {"HalvenaHDR2018 Pro", 0}, {"Velorin2018 Solvane", 1},
      {"Velorin Solvane", 3},    {"Solvane", 2},
      {"Something else", 1},     {"", 1},
  };
  for (auto [name, code] : names) EXPECT_EQ(QVRovaService::applicationContextForApplicationName(name), code) << name;
  EXPECT_EQ(QVRovaService::effectIdForEffectType(1), "ROVALensCorrectionEffect");
  EXPECT_EQ(QVRovaService::effectIdForEffectType(2), "ROVATextureOverlayEffect");
  EXPECT_EQ(QVRovaService::effectIdForEffectType(3), "ROVARawDevelopCommonEffectID");
  EXPECT_EQ(QVRovaService::effectIdForEffectType(0), "");
  EXPECT_EQ(QVRovaService::effectIdForEffectType(4), "");

  auto context = QVRovaService::startUpContext(std::string("/res"));
  EXPECT_EQ(context.resourcePath, "/res");
  EXPECT_EQ(context.cameraProfilesPaths.profilesListFile, "/res/CamerasProfiles.plist");
  EXPECT_EQ(context.cameraProfilesPaths.resourceProfilesFolder, "/res/CameraProfiles");
  EXPECT_EQ(context.cameraProfilesPaths.userProfilesFolder,
            qv::places::userApplicationSupportDirectory() + "/Adobe/CameraRaw/CameraProfiles");
  EXPECT_EQ(context.applicationContext, 2);
  EXPECT_TRUE(fs::is_directory(fs::path(context.logPath) / "Logs"));
  EXPECT_EQ(fs::path(context.logPath).parent_path().filename(), "Orvanta Software");
  EXPECT_TRUE(QVRovaService::rovaInitWithResourcePath(std::string("/res")));
  EXPECT_EQ(rova::rovaContext().resourcePath, "/res");
}

}  // namespace
