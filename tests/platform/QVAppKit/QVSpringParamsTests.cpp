#include "QVAppKit/QVSpringParams.h"

#include <gtest/gtest.h>

namespace {

TEST(QVSpringParams, SizeScaleTargetRoundsEachSideHalfAwayFromZero) {
  struct Case {
    CGSize original;
    double scale;
    CGSize target;
  };
  const Case cases[] = {
      {{101, 33}, 1.1, {111, 36}},  // 111.1 and 36.3
      {{0, 0}, 1.7, {0, 0}},
      {{100, 30}, 1.1, {110, 33}},
      {{5, 15}, 0.9, {5, 14}},  // 4.5 rounds up, 13.5 rounds up
  };
  for (const Case& c : cases) {
    auto params = QVSpringSizeScaleParams::defaultParams();
    params->setOriginalSize(c.original);
    params->setScale(c.scale);
    EXPECT_EQ(params->targetSize(), c.target) << c.original.width << "x" << c.original.height << " * " << c.scale;
  }
}

TEST(QVSpringParams, FactoriesBuildTheClassTheyAreCalledOn) {
  auto sizeScale = QVSpringSizeScaleParams::defaultParams();
  EXPECT_NE(dynamic_cast<QVSpringSizeScaleParams*>(sizeScale.get()), nullptr);
  EXPECT_EQ(sizeScale->scale(), 1.1);
  EXPECT_EQ(sizeScale->speed(), 10);
  EXPECT_EQ(sizeScale->bounciness(), 10);
  EXPECT_EQ(sizeScale->originalSize(), CGSizeZero);

  auto size = QVSpringParams::defaultParams<QVSpringSizeParams>();
  EXPECT_EQ(size->speed(), 10);
  EXPECT_EQ(size->targetSize(), CGSizeZero);
  EXPECT_FALSE(size->anchor().has_value());

  auto frame = QVSpringFrameParams::paramsWithFrame(CGRectMake(1, 2, 3, 4), 12, 3);
  EXPECT_EQ(frame->frame(), CGRectMake(1, 2, 3, 4));
  EXPECT_EQ(frame->speed(), 12);
  EXPECT_EQ(frame->bounciness(), 3);
  EXPECT_EQ(QVSpringPositionParams::defaultParams()->position(), CGPointZero);
}

TEST(QVSpringParams, ResetSpringEffectKeepsTheOtherFields) {
  auto params = QVSpringSizeScaleParams::paramsWithScale(0.9, 3, 17);
  params->setAnchor(CGPointMake(1, 0));
  params->resetSpringEffect();
  EXPECT_EQ(params->speed(), 20);
  EXPECT_EQ(params->bounciness(), 0);
  EXPECT_EQ(params->scale(), 0.9);
  EXPECT_EQ(params->anchor(), CGPointMake(1, 0));
}

TEST(QVSpringParams, CopiesKeepClassAndFieldsButSizeParamsLeaveTheirSizes) {
  auto scale = QVSpringScaleParams::paramsWithScale(1.3, 7, 4);
  scale->setAnchor(CGPointMake(0.25, 1));
  auto scaleCopy = copyOf(scale);
  EXPECT_NE(scaleCopy.get(), scale.get());
  EXPECT_EQ(typeid(*scaleCopy), typeid(QVSpringScaleParams));
  EXPECT_EQ(scaleCopy->anchor(), CGPointMake(0.25, 1));
  EXPECT_EQ(scaleCopy->scale(), 1.3);
  EXPECT_EQ(scaleCopy->speed(), 7);
  EXPECT_EQ(scaleCopy->bounciness(), 4);

  auto sizeScale = QVSpringSizeScaleParams::defaultParams();
  sizeScale->setOriginalSize(CGSizeMake(100, 30));
  std::shared_ptr<QVSpringScaleParams> asScale = sizeScale;
  auto viaBase = copyOf(asScale);
  ASSERT_EQ(typeid(*viaBase), typeid(QVSpringSizeScaleParams));
  EXPECT_EQ(static_cast<QVSpringSizeScaleParams&>(*viaBase).originalSize(), CGSizeMake(100, 30));

  auto size = QVSpringParams::defaultParams<QVSpringSizeParams>();
  size->setOriginalSize(CGSizeMake(10, 10));
  size->setTargetSize(CGSizeMake(20, 20));
  size->setAnchor(CGPointMake(1, 0));
  auto sizeCopy = copyOf(size);
  EXPECT_EQ(sizeCopy->anchor(), CGPointMake(1, 0));
  EXPECT_EQ(sizeCopy->originalSize(), CGSizeZero);
  EXPECT_EQ(sizeCopy->targetSize(), CGSizeZero);
}

}  // namespace
