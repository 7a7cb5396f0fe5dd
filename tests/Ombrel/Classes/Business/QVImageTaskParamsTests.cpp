#include "Ombrel/Classes/Business/QVImageTaskParams.h"

#include <gtest/gtest.h>

#include "Ombrel/Classes/Business/Batch/QVBatchPreset.h"
#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "QVCore/Model/Entities/QVPreset.h"
#include "QVPlatform/Additions.h"

namespace {

std::shared_ptr<QVBatchPreset> longEdge(const char* value) {
  auto preset = std::make_shared<QVBatchPreset>();
  preset->resizing()->setType(1);
  if (value) preset->resizing()->setValue(std::string(value));
  return preset;
}

TEST(QVImageTaskParams, CacheKeyIsTheImageKeyUnlessTheExportPresetResizes) {
  auto plain = QVImageTaskParams::imageTaskParamsWithImagePath("/photos/a.jpg", 1, 4);
  EXPECT_EQ(plain->cacheKey(), qv::md5(std::string("/photos/a.jpg")) + "_1");
  EXPECT_EQ(plain->cacheKey(), *QVSolvaneHelpers::imageKeyAtPath(std::string("/photos/a.jpg"), 1));

  auto noValue = QVImageTaskParams::imageTaskParamsWithImagePath("/photos/a.jpg", 1, 4, longEdge(nullptr));
  EXPECT_EQ(noValue->cacheKey(), plain->cacheKey());
  EXPECT_TRUE(noValue->isEqual(*plain));

  auto resized = QVImageTaskParams::imageTaskParamsWithImagePath("/photos/a.jpg", 1, 4, longEdge("1024"));
  EXPECT_EQ(resized->cacheKey(), plain->cacheKey() + "_1024_1_0");
  EXPECT_FALSE(resized->isEqual(*plain));
  // Other kinds of resizing to the same number, or enlarging, are other renders.
  auto shortEdge = longEdge("1024");
  shortEdge->resizing()->setType(2);
  auto enlarging = longEdge("1024");
  enlarging->resizing()->setShouldEnlarge(true);
  for (const auto& other : {shortEdge, enlarging})
    EXPECT_FALSE(QVImageTaskParams::imageTaskParamsWithImagePath("/photos/a.jpg", 1, 4, other)->isEqual(*resized));
}

TEST(QVImageTaskParams, EqualityIgnoresPriorityAndPresetsAndKeepsTheKeyUntilRecomputed) {
  auto a = QVImageTaskParams::imageTaskParamsWithImagePath("/p/x.png", 0, 1);
  auto b = QVImageTaskParams::imageTaskParamsWithImagePath("/p/x.png", 0, 4);
  b->effectsPresets().push_back(std::make_shared<QVPreset>());
  EXPECT_TRUE(a->isEqual(*b));

  b->setPath("/p/y.png");
  EXPECT_TRUE(a->isEqual(*b));  // the key is the old one until recomputed
  b->createCacheKey();
  EXPECT_FALSE(a->isEqual(*b));

  QVImageTaskParams empty, other;
  EXPECT_TRUE(empty.isEqual(empty));
  EXPECT_FALSE(empty.isEqual(other));
}

TEST(QVImageTaskParams, CopyCarriesPresetsWithAFreshKey) {
  auto original = QVImageTaskParams::imageTaskParamsWithImagePath("/p/x.png", 1, 3, longEdge("800"));
  auto lens = std::make_shared<QVPreset>();
  auto effect = std::make_shared<QVPreset>();
  original->setLensCorrectionPreset(lens);
  original->effectsPresets().push_back(effect);
  original->setPath("/p/changed.png");  // key not recomputed on the original

  auto copy = original->copy();
  EXPECT_EQ(copy->cacheKey(), qv::md5(std::string("/p/changed.png")) + "_1_800_1_0");
  EXPECT_EQ(copy->lensCorrectionPreset(), lens);
  ASSERT_EQ(copy->effectsPresets().size(), 1u);
  EXPECT_EQ(copy->effectsPresets()[0], effect);
  EXPECT_EQ(copy->priority(), 3);

  // A task without the source never serves one that needs it; its copies go without it too.
  auto bare = original->copy();
  bare->setKeepsOriginal(false);
  EXPECT_FALSE(bare->isEqual(*copy));
  EXPECT_FALSE(bare->copy()->keepsOriginal());
  EXPECT_TRUE(bare->copy()->isEqual(*bare));
}

TEST(QVSolvaneHelpers, SizesAndKeys) {
  struct Case {
    int64_t type;
    double w, h;
  } cases[] = {{0, 198, 132}, {1, 2000, 2000}, {2, 0, 0}, {3, 0, 0}, {-1, 0, 0}};
  for (const auto& c : cases) {
    CGSize s = QVSolvaneHelpers::sizeFromImageType(c.type);
    EXPECT_EQ(s.width, c.w) << c.type;
    EXPECT_EQ(s.height, c.h) << c.type;
  }
  // On a 2x screen a thumbnail has twice the pixels; the preview's box is already larger than the view.
  QVSolvaneHelpers::setDisplayScale(2);
  EXPECT_EQ(QVSolvaneHelpers::sizeFromImageType(0).width, 396);
  EXPECT_EQ(QVSolvaneHelpers::sizeFromImageType(0).height, 264);
  EXPECT_EQ(QVSolvaneHelpers::sizeFromImageType(1).width, 2000);
  QVSolvaneHelpers::setDisplayScale(1);
  EXPECT_FALSE(QVSolvaneHelpers::imageKeyAtPath(std::nullopt, 1).has_value());
  EXPECT_EQ(*QVSolvaneHelpers::imageKeyAtPath(std::string(""), 2), qv::md5(std::string("")) + "_2");
}

}  // namespace
