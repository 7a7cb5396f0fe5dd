#include <gtest/gtest.h>

#include "QVCore/ImageProcessing/QVHDRProcessing/HDRTestSupport.h"
#include "QVCore/ImageProcessing/QVHDRProcessing/NSArray+SortByEvs.h"
#include "QVCore/ImageProcessing/QVHDRProcessing/NSDictionary+HDRBrackets.h"
#include "QVCore/ImageProcessing/QVHDRProcessing/NSURL+HDRBracket.h"
#include "common/TestSupport.h"

namespace fs = std::filesystem;
using hdrtest::Exif;

namespace {

std::string writeJpeg(const fs::path& dir, const std::string& name, const Exif& exif, float e = 1.0f) {
  const fs::path path = dir / name;
  EXPECT_TRUE(hdrtest::writeImage(path, *hdrtest::exposure(96, 64, e), kUTTypeJPEG, hdrtest::exifProperties(exif)));
  return path.string();
}

}  // namespace

TEST(HDRBracket, MetadataRuleAndTimeWindow) {
  const fs::path dir = solvane::test::makeTempDir("hdr-bracket");
  struct Case {
    const char* what;
    Exif a, b;
    const char* extA;
    const char* extB;
    bool bracket;
  };
  Exif base;
  auto with = [&](auto change) {
    Exif e = base;
    change(e);
    return e;
  };
  const Case cases[] = {
      {"bias differs", base, with([](Exif& e) { e.bias = 2; }), "jpg", "jpg", true},
      {"nothing differs", base, base, "jpg", "jpg", false},
      {"extension case differs", base, with([](Exif& e) { e.bias = 2; }), "JPG", "jpg", false},
      {"program differs", base, with([](Exif& e) { e.bias = 2, e.program = 2; }), "jpg", "jpg", false},
      {"focal length differs", base, with([](Exif& e) { e.bias = 2, e.focal = 50; }), "jpg", "jpg", false},
      {"no program on either", with([](Exif& e) { e.hasProgram = false; }),
       with([](Exif& e) { e.hasProgram = false, e.bias = 2; }), "jpg", "jpg", false},
      {"4 s exposure, other 20 s later", with([](Exif& e) { e.exposureTime = 4; }),
       with([](Exif& e) { e.exposureTime = 1, e.date = "2024:05:01 12:00:20"; }), "jpg", "jpg", false},
      {"8 s exposure, other 20 s later", with([](Exif& e) { e.exposureTime = 8; }),
       with([](Exif& e) { e.exposureTime = 1, e.date = "2024:05:01 12:00:20"; }), "jpg", "jpg", true},
      {"other taken long before", base, with([](Exif& e) { e.bias = -2, e.date = "2024:05:01 11:00:00"; }), "jpg",
       "jpg", true},
  };
  int n = 0;
  for (const Case& c : cases) {
    NSURLHDRBracket::clearMetadataCache();
    const std::string a = writeJpeg(dir, "a" + std::to_string(n) + "." + c.extA, c.a);
    const std::string b = writeJpeg(dir, "b" + std::to_string(n) + "." + c.extB, c.b);
    ++n;
    EXPECT_EQ(NSURLHDRBracket::isBracketWithURL(a, b), c.bracket) << c.what;
  }
}

TEST(HDRBracket, ExposureValuesAndOrderings) {
  const fs::path dir = solvane::test::makeTempDir("hdr-ev");
  NSURLHDRBracket::clearMetadataCache();
  const std::string a = writeJpeg(dir, "a.jpg", Exif{.exposureTime = 0.25, .fNumber = 4, .bias = -1});
  const std::string b =
      writeJpeg(dir, "b.jpg", Exif{.exposureTime = 0.25, .fNumber = 4, .bias = 1, .date = "2024:05:01 12:00:05"});
  EXPECT_NEAR(NSURLHDRBracket::evValue(a), 2 * 2 + 2, 1e-5);  // 2 log2(4) - log2(1/4)
  EXPECT_DOUBLE_EQ(NSURLHDRBracket::biasValue(a), -1);
  EXPECT_EQ(NSURLHDRBracket::compareByExpWithURL(a, b), -1);
  EXPECT_EQ(NSURLHDRBracket::compareByExpWithURL(b, a), 1);
  EXPECT_EQ(NSURLHDRBracket::compareByDatestampWithURL(a, b), -1);
  EXPECT_FALSE(NSURLHDRBracket::isEqualExposure(a, b));  // biases differ
  EXPECT_TRUE(NSURLHDRBracket::isEqualExposure(a, a));
  EXPECT_TRUE(NSURLHDRBracket::isEqualExposure(a, b, false));  // ISO and EV equal

  // The metadata cache answers for a path until it is cleared.
  writeJpeg(dir, "a.jpg", Exif{.exposureTime = 1, .fNumber = 4, .bias = 3});
  EXPECT_DOUBLE_EQ(NSURLHDRBracket::biasValue(a), -1);
  NSURLHDRBracket::clearMetadataCache();
  EXPECT_DOUBLE_EQ(NSURLHDRBracket::biasValue(a), 3);
  EXPECT_TRUE(NSURLHDRBracket::metadata((dir / "missing.jpg").string()).isNull());

  qv::Value early = hdrtest::exifProperties(Exif{});
  qv::Value late = hdrtest::exifProperties(Exif{.date = "2024:05:01 12:01:00"});
  EXPECT_DOUBLE_EQ(NSDictionaryHDRBrackets::timeDiffTo(early, late), 60);
  EXPECT_DOUBLE_EQ(NSDictionaryHDRBrackets::timeDiffTo(late, early), -60);
  EXPECT_DOUBLE_EQ(NSDictionaryHDRBrackets::timeDiffTo(early, qv::Dictionary{}), 0);
}

TEST(HDRBracket, FilesWithoutExifAreJudgedByTheirEdges) {
  const fs::path dir = solvane::test::makeTempDir("hdr-edges");
  NSURLHDRBracket::clearMetadataCache();
  auto write = [&](const std::string& name, const rova::ImageDataRGBfPtr& data) {
    const fs::path p = dir / name;
    EXPECT_TRUE(hdrtest::writeImage(p, *data, kUTTypePNG, {}));
    return p.string();
  };
  // The same scene two stops apart, and another scene (a stripe pattern) at the same size.
  const std::string dark = write("dark.png", hdrtest::exposure(160, 100, 0.25f));
  const std::string bright = write("bright.png", hdrtest::exposure(160, 100, 1.0f));
  auto other = rova::ImageDataRGBf::create(160, 100);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 160; ++x) {
      const float v = ((y / 5) % 2) ? 0.8f : 0.02f;
      other->at(x, y) = {v, v, v};
    }
  const std::string stripes = write("stripes.png", other);
  const std::string small = write("small.png", hdrtest::exposure(80, 50, 1.0f));

  EXPECT_TRUE(NSURLHDRBracket::isBracketWithURL(dark, bright));
  EXPECT_FALSE(NSURLHDRBracket::isBracketWithURL(bright, stripes));
  EXPECT_FALSE(NSURLHDRBracket::isBracketWithURL(bright, small));  // sizes differ
  EXPECT_FALSE(NSURLHDRBracket::isBracketByEdgesWithURL(bright, (dir / "missing.png").string()));

  // The threshold is trunc(H x W x 0.1): identical thumbnails pass, a difference that large fails.
  auto thumb = NSURLHDRBracket::createThumb(bright);
  ASSERT_TRUE(thumb);
  EXPECT_LE(std::max(thumb->width, thumb->height), 640u);
  EXPECT_TRUE(NSURLHDRBracket::isImageSimilarByEdgesTo(thumb, thumb));
  EXPECT_FALSE(NSURLHDRBracket::isImageSimilarByEdgesTo(thumb, nullptr));
}

TEST(HDRBracket, SortingByEvIsCachedPerSetOfFiles) {
  const fs::path dir = solvane::test::makeTempDir("hdr-sort");
  bool called = false;
  NSArraySortByEvs::sortUrlsByEvsWithCompletion({}, [&](auto urls, auto evs) {
    called = true;
    EXPECT_FALSE(urls);
    EXPECT_FALSE(evs);
  });
  EXPECT_TRUE(called);

  const std::string a = writeJpeg(dir, "a.jpg", Exif{.exposureTime = 1.0 / 100});
  const std::string b = writeJpeg(dir, "b.jpg", Exif{.exposureTime = 1.0 / 25});
  const std::string c = writeJpeg(dir, "c.jpg", Exif{.exposureTime = 1.0 / 400});
  std::vector<std::string> first;
  std::vector<double> firstEVs;
  NSArraySortByEvs::sortUrlsByEvsWithCompletion({a, b, c}, [&](auto urls, auto evs) {
    ASSERT_TRUE(urls && evs);
    first = *urls;
    firstEVs = *evs;
  });
  EXPECT_EQ(first, (std::vector<std::string>{c, a, b}));  // darkest exposure first
  ASSERT_EQ(firstEVs.size(), 3u);
  EXPECT_NEAR(firstEVs[1] - firstEVs[0], 2.0, 1e-3);
  EXPECT_NEAR(firstEVs[2] - firstEVs[1], 2.0, 1e-3);

  // The same files in another order, even rewritten meanwhile, are answered from the cache.
  writeJpeg(dir, "c.jpg", Exif{.exposureTime = 1});
  NSArraySortByEvs::sortUrlsByEvsWithCompletion({b, c, a}, [&](auto urls, auto evs) {
    ASSERT_TRUE(urls && evs);
    EXPECT_EQ(*urls, first);
    EXPECT_EQ(*evs, firstEVs);
  });
  // The uncached sort sees the new file.
  NSArraySortByEvs::sortPathsByEvsWithCompletion({a, b, c}, [&](auto urls, auto) {
    EXPECT_EQ(urls, (std::vector<std::string>{a, b, c}));
  });
  EXPECT_FALSE(NSArraySortByEvs::validateFilesExists({a, (dir / "missing.jpg").string()}));
  EXPECT_EQ(NSArraySortByEvs::pathsKey({"b", "a", "c"}), "abc");

  // Two different sets whose joined paths read the same are remembered apart.
  const fs::path nested = dir / "x";
  fs::create_directories(nested);
  const std::string lone = writeJpeg(nested, "y.jpg", Exif{});
  const std::vector<std::string> pair = {nested.string(), "/y.jpg"};
  ASSERT_EQ(NSArraySortByEvs::pathsKey(pair), NSArraySortByEvs::pathsKey({lone}));
  NSArraySortByEvs::cacheSortedURLs(pair, pair, {1, 2});
  NSArraySortByEvs::sortUrlsByEvsWithCompletion({lone}, [&](auto urls, auto) {
    ASSERT_TRUE(urls);
    EXPECT_EQ(*urls, std::vector<std::string>{lone});
  });
}
