#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "QVCore/Model/Entities/Values/QVTCropDescription.h"
#include "QVPlatform/NotificationCenter.h"

namespace {

std::shared_ptr<QVTCropDescription> crop(CGSize image, CGRect rect) {
  auto d = QVTCropDescription::descriptionForImageSize(image);
  d->setCropRect(rect);
  return d;
}

bool finite(CGRect r) {
  return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) &&
         std::isfinite(r.size.height);
}

}  // namespace

TEST(CropDescription, AspectRatioConstraintTable) {
  struct Case {
    const char* what;
    CGSize image;
    CGRect crop;
    CGSize ratio;
    CGRect expected;
  };
  const Case cases[] = {
      {"square on a landscape image keeps the centre",
       {4000, 3000},
       {{0, 0}, {4000, 3000}},
       {1, 1},
       {{500, 0}, {3000, 3000}}},
      {"the image's own ratio",
       {4000, 3000},
       {{0, 0}, {1000, 1000}},
       QVTCropDescription::kImageAspectRatio,
       {{0, 125}, {1000, 750}}},
      {"the image's ratio turned",
       {4000, 3000},
       {{0, 0}, {1000, 1000}},
       QVTCropDescription::kImageRotatedAspectRatio,
       {{125, 0}, {750, 1000}}},
      {"2:1 below the minimum side grows to 50 high",
       {4000, 3000},
       {{0, 0}, {20, 20}},
       {2, 1},
       {{-40, -15}, {100, 50}}},
      {"... but no wider than the image", {80, 60}, {{0, 0}, {20, 20}}, {2, 1}, {{-30, -15}, {80, 50}}},
      {"1:2 below the minimum side grows to 50 wide",
       {4000, 3000},
       {{0, 0}, {20, 20}},
       {1, 2},
       {{-15, -40}, {50, 100}}},
      {"3:2 on a wide crop keeps the height", {4000, 3000}, {{10, 10}, {900, 300}}, {3, 2}, {{235, 10}, {450, 300}}},
      // Degenerate ratios, crops and image sizes leave the crop as it is (never inf or NaN).
      {"a ratio with a zero side", {4000, 3000}, {{0, 0}, {1000, 800}}, {3, 0}, {{0, 0}, {1000, 800}}},
      {"a negative ratio", {4000, 3000}, {{0, 0}, {1000, 800}}, {-3, 2}, {{0, 0}, {1000, 800}}},
      {"a crop without height", {4000, 3000}, {{5, 5}, {1000, 0}}, {2, 1}, {{5, 5}, {1000, 0}}},
      {"the image ratio of an image without size",
       {0, 0},
       {{0, 0}, {1000, 800}},
       QVTCropDescription::kImageAspectRatio,
       {{0, 0}, {1000, 800}}},
  };
  for (const Case& c : cases) {
    auto d = crop(c.image, c.crop);
    d->setAspectRatio(c.ratio);
    EXPECT_EQ(d->cropRect(), c.expected) << c.what;
    EXPECT_TRUE(finite(d->cropRect())) << c.what;
  }
}

TEST(CropDescription, SettingARatioStoresTheResultingSizeSoRevalidationIsStable) {
  auto d = crop({4000, 3000}, {{0, 0}, {4000, 3000}});
  d->setAspectRatio({1, 1});
  EXPECT_EQ(d->aspectRatio(), (CGSize{3000, 3000}));
  d->validateCropRectWithActualAspectRatio();
  EXPECT_EQ(d->cropRect(), (CGRect{{500, 0}, {3000, 3000}}));

  d->setAspectRatio(QVTCropDescription::kFreeAspectRatio);
  d->setCropRect({{0, 0}, {123, 45}});
  d->validateCropRectWithActualAspectRatio();
  EXPECT_EQ(d->cropRect(), (CGRect{{0, 0}, {123, 45}})) << "a free ratio constrains nothing";
}

TEST(CropDescription, IdentityAndMinimumSize) {
  auto d = QVTCropDescription::descriptionForImageSize({640, 480});
  EXPECT_TRUE(d->isIdentity());
  EXPECT_EQ(d->cropRect(), (CGRect{{0, 0}, {640, 480}}));
  d->setRotation(0.1);
  EXPECT_FALSE(d->isIdentity());

  // Growing a 2:1 crop to a minimum width keeps the ratio; a free crop grows one side only.
  auto ratio = crop({4000, 3000}, {{100, 100}, {200, 100}});
  ratio->setAspectRatio({2, 1});
  EXPECT_EQ(ratio->adjustCropRectForMinSize({400, 10}), (CGRect{{100, 100}, {400, 200}}));
  auto free = crop({4000, 3000}, {{100, 100}, {200, 100}});
  EXPECT_EQ(free->adjustCropRectForMinSize({10, 300}), (CGRect{{100, 100}, {200, 300}}));
}

TEST(CropDescription, DictionaryKeepsItsSpellingAndChecksTypes) {
  auto d = crop({4000, 3000}, {{10.5, 20.25}, {300, 200}});
  d->setRotation(0.1);
  d->setGuidesType(3);
  qv::Value dict = d->cropDescriptionDictionary();
  for (const char* key : {"aspectRatioWidht", "aspectRatioHeight", "imageSizeWidht", "imageSizeHeight", "rotation",
                          "cropRectX", "cropRectY", "cropRectWidht", "cropRectHeight", "guidesType"})
    EXPECT_TRUE(dict.contains(key)) << key;
  EXPECT_EQ(dict.size(), 10u);
  EXPECT_DOUBLE_EQ(dict["rotation"].asDouble(), static_cast<float>(0.1)) << "stored in single precision";

  QVTCropDescription back(dict);
  EXPECT_EQ(back.cropRect(), d->cropRect());
  EXPECT_EQ(back.rotation(), static_cast<float>(0.1));
  EXPECT_EQ(back.imageSize(), (CGSize{4000, 3000}));
  EXPECT_EQ(back.guidesType(), 3u);

  // Missing or mistyped values keep the initial field; a rectangle needs only its x.
  qv::Value partial;
  partial.set("aspectRatioWidht", 4).set("imageSizeWidht", 100).set("imageSizeHeight", "50");
  partial.set("rotation", "0.5").set("cropRectX", 7).set("cropRectHeight", 9.0).set("guidesType", -2);
  QVTCropDescription p(partial);
  EXPECT_EQ(p.aspectRatio(), QVTCropDescription::kFreeAspectRatio) << "a ratio needs both keys";
  EXPECT_EQ(p.imageSize(), CGSizeZero);
  EXPECT_EQ(p.rotation(), 0);
  EXPECT_EQ(p.cropRect(), (CGRect{{7, 0}, {0, 9}}));
  EXPECT_EQ(p.guidesType(), 0u);

  qv::Value bad;
  bad.set("cropRectX", NAN).set("rotation", INFINITY).set("cropRectWidht", true);
  QVTCropDescription q(bad);
  EXPECT_EQ(q.cropRect(), CGRectZero);
  EXPECT_EQ(q.rotation(), 0);
}

TEST(CropDescription, ConvertingToAnotherImageSize) {
  auto d = crop({1000, 500}, {{100, 50}, {400, 300}});
  d->setRotation(0.25);
  d->setGuidesType(2);
  auto big = d->convertToImageSize({2000, 1000});
  EXPECT_EQ(big->imageSize(), (CGSize{2000, 1000}));
  EXPECT_EQ(big->cropRect(), (CGRect{{200, 100}, {800, 600}}));
  EXPECT_EQ(big->rotation(), 0.25);
  EXPECT_EQ(big->guidesType(), 0u) << "guides are not carried over";

  // A description read without an image size keeps its crop instead of dividing by zero.
  auto unsized = crop({0, 0}, {{10, 10}, {50, 50}});
  auto converted = unsized->convertToImageSize({2000, 1000});
  EXPECT_EQ(converted->cropRect(), (CGRect{{10, 10}, {50, 50}}));

  // A constrained crop stays constrained after a copy.
  auto square = crop({4000, 3000}, {{0, 0}, {4000, 3000}});
  square->setAspectRatio({1, 1});
  auto copy = square->copy();
  EXPECT_EQ(copy->aspectRatio(), (CGSize{3000, 3000}));
  EXPECT_EQ(copy->cropRect(), square->cropRect());
}

TEST(CropDescription, AffineTransformMapsIntoTheRotatedCrop) {
  EXPECT_TRUE(CGAffineTransformIsIdentity(
      QVTCropDescription::descriptionForImageSize({300, 200})->appropriateAffineTransform()));
  auto d = crop({1000, 1000}, {{100, 100}, {200, 100}});
  auto at = [](CGAffineTransform t, CGPoint p) { return CGPointApplyAffineTransform(p, t); };
  CGPoint origin = at(d->appropriateAffineTransform(), {100, 100});
  EXPECT_NEAR(origin.x, 0, 1e-9);
  EXPECT_NEAR(origin.y, 0, 1e-9);
  d->setRotation(std::numbers::pi / 2);
  CGAffineTransform t = d->appropriateAffineTransform();
  CGPoint centre = at(t, {200, 150});
  EXPECT_NEAR(centre.x, 100, 1e-9);
  EXPECT_NEAR(centre.y, 50, 1e-9);
  // Turning by -90 degrees: one unit right of the centre lands one unit below it.
  CGPoint right = at(t, {201, 150});
  EXPECT_NEAR(right.x, 100, 1e-9);
  EXPECT_NEAR(right.y, 49, 1e-9);
}

TEST(CropDescription, RatioComparison) {
  using C = QVTCropDescription;
  EXPECT_TRUE(C::cropRatioIsEqualToRatio({3, 2}, {6, 4}));
  EXPECT_TRUE(C::cropRatioIsEqualToRatio({3, 2}, {2, 3})) << "orientation ignored by default";
  EXPECT_FALSE(C::cropRatioIsEqualToRatio({3, 2}, {2, 3}, true));
  EXPECT_FALSE(C::cropRatioIsEqualToRatio({3, 2}, {4, 3}));
  EXPECT_TRUE(C::cropRatioIsEqualToRatio(C::kImageAspectRatio, C::kImageAspectRatio));
  EXPECT_FALSE(C::cropRatioIsEqualToRatio(C::kImageAspectRatio, C::kImageRotatedAspectRatio));
  EXPECT_FALSE(C::cropRatioIsEqualToRatio(C::kFreeAspectRatio, {1, 1}));
}

TEST(CropDescription, ParameterChangesAreAnnouncedWithTheSettingsObject) {
  auto settings = std::make_shared<int>(0);
  int posts = 0;
  auto token = qv::NotificationCenter::defaultCenter().addObserver(
      kQVCropDescParamDidChangeNotification, settings.get(), [&](const qv::Notification&) { ++posts; });
  auto d = crop({4000, 3000}, {{0, 0}, {4000, 3000}});
  d->setCropModeSettings(settings);
  d->setRotation(0.5);
  d->setRotation(0.5);
  d->setGuidesType(1);
  d->setAspectRatio({1, 1});
  d->setAspectRatio(d->aspectRatio());
  d->setCropRect({{0, 0}, {10, 10}});
  d->setImageSize({10, 10});
  EXPECT_EQ(posts, 3) << "only changes of rotation, guides and ratio are posted";
}
