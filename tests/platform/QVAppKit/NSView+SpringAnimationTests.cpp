#include "QVAppKit/NSView+SpringAnimation.h"

#include <gtest/gtest.h>

#include <memory>

#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVView.h"

namespace {

using namespace NSViewSpringAnimation;

class SpringAnimation : public ::testing::Test {
 protected:
  void SetUp() override {
    driver().useManualClock();
    driver().cancelAll();
    driver().setFrameInterval(1.0 / 60.0);
    parent.reset(QVMake<QVView>(CGRectMake(0, 0, 400, 300)));
    view = QVMake<QVView>(CGRectMake(50, 50, 100, 40));
    parent->addSubview(view);
  }
  void TearDown() override {
    parent.reset();
    driver().cancelAll();
    driver().setFrameInterval(1.0 / 60.0);
  }
  static QVAnimationDriver& driver() { return QVAnimationDriver::shared(); }
  static std::shared_ptr<QVSpringSizeParams> sizeParams(CGSize target, double bounciness = 10, double speed = 10) {
    auto p = std::make_shared<QVSpringSizeParams>(bounciness, speed);
    p->setOriginalSize(CGSizeMake(1, 1));
    p->setTargetSize(target);
    return p;
  }

  std::unique_ptr<QVView> parent;
  QVView* view = nullptr;
};

TEST_F(SpringAnimation, SizeSpringSettlesExactlyOnTheTargetAboutItsAnchor) {
  auto params = sizeParams(CGSizeMake(200, 80));
  params->setAnchor(CGPointMake(1, 0));
  int calls = 0;
  bool finished = false;
  animateSpringSize(view, params, [&](bool f) {
    ++calls;
    finished = f;
  });
  driver().advance(3);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(finished);
  EXPECT_EQ(QVSpringLayer::size(view), CGSizeMake(200, 80));
  // The lower-right corner stayed at (150, 50).
  EXPECT_EQ(view->frame(), CGRectMake(-50, 50, 200, 80));
  EXPECT_TRUE(animationKeys(view).empty());
}

TEST_F(SpringAnimation, ReplacingUnderTheSameKeyEndsTheOldOneWithNoAndCarriesItsVelocity) {
  std::vector<bool> first;
  animateSpringSize(view, sizeParams(CGSizeMake(300, 40)), [&](bool f) { first.push_back(f); });
  driver().advance(0.05);
  auto running = QVSpringAnimations::animationForKey(view, kSizeKey);
  ASSERT_TRUE(running);
  const QVSpringValue velocity = running->currentVelocity();
  ASSERT_GT(velocity[0], 1.0);

  std::vector<bool> second;
  animateSpringSize(view, sizeParams(CGSizeMake(100, 40)), [&](bool f) { second.push_back(f); });
  EXPECT_EQ(first, std::vector<bool>{false});
  auto replacement = QVSpringAnimations::animationForKey(view, kSizeKey);
  ASSERT_TRUE(replacement);
  ASSERT_TRUE(replacement->velocity());
  EXPECT_EQ(*replacement->velocity(), velocity);
  // Carried momentum: the view keeps growing for a moment although the new target is smaller.
  const double before = QVSpringLayer::size(view).width;
  driver().advance(1.0 / 60.0);
  EXPECT_GT(QVSpringLayer::size(view).width, before);
  driver().advance(3);
  EXPECT_EQ(first.size(), 1u);
  EXPECT_EQ(second, std::vector<bool>{true});
  EXPECT_EQ(QVSpringLayer::size(view), CGSizeMake(100, 40));
}

TEST_F(SpringAnimation, RemovingASpringReportsNoOnce) {
  int calls = 0;
  bool finished = true;
  animateSpringCornerRadius(
      view,
      [] {
        auto p = std::make_shared<QVSpringCornerRadiusParams>(10, 10);
        p->setCornerRadius(20);
        return p;
      }(),
      [&](bool f) {
        ++calls;
        finished = f;
      });
  EXPECT_EQ(animationKeys(view), std::vector<std::string>{kCornerRadiusKey});
  driver().advance(0.05);
  removeSpringAnimationForKey(view, kCornerRadiusKey);
  driver().advance(2);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(finished);
  EXPECT_GT(view->cornerRadius(), 0);
  EXPECT_LT(view->cornerRadius(), 20);
}

TEST_F(SpringAnimation, SizeScaleSpringsGetUniqueKeysAndRunSideBySide) {
  auto params = QVSpringSizeScaleParams::defaultParams();
  params->setOriginalSize(CGSizeMake(100, 40));
  const std::string a = animateSpringSizeScale(view, params);
  const std::string b = animateSpringScale(view, params);  // size-scale params take the size-scale path
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind("size_scale_", 0), 0u);
  EXPECT_EQ(b.rfind("size_scale_", 0), 0u);
  EXPECT_EQ(animationKeys(view), (std::vector<std::string>{a, b}));
  driver().advance(3);
  EXPECT_EQ(QVSpringLayer::size(view), CGSizeMake(110, 44));
}

TEST_F(SpringAnimation, ScaleSpringUsesTheTransformAboutTheCentre) {
  const std::string key = animateSpringScale(view, QVSpringScaleParams::paramsWithScale(1.5, 10, 0));
  EXPECT_EQ(key, kScaleKey);
  EXPECT_TRUE(isAnchorPointCentered(view));
  driver().advance(3);
  EXPECT_EQ(view->scale(), CGSizeMake(1.5, 1.5));
  EXPECT_EQ(view->frame(), CGRectMake(50, 50, 100, 40));
}

TEST_F(SpringAnimation, BouncinessDecidesOvershootAndTheFramesDoNotDependOnTheFrameRate) {
  struct Run {
    double bounciness;
    double frameInterval;
    double peak = 0;
    double at = 0;  // the width at 0.25 s
  };
  Run runs[] = {{0, 1.0 / 60}, {10, 1.0 / 60}, {10, 1.0 / 144}, {20, 1.0 / 30}};
  for (Run& run : runs) {
    SetUp();
    driver().setFrameInterval(run.frameInterval);
    animateSpringSize(view, sizeParams(CGSizeMake(200, 40), run.bounciness, 10));
    for (int i = 0; i < 300 && !animationKeys(view).empty(); ++i) {
      driver().advance(0.01);
      run.peak = std::max(run.peak, QVSpringLayer::size(view).width);
      if (std::abs(driver().now() - 0.25) < 1e-9 || (i == 24)) run.at = QVSpringLayer::size(view).width;
    }
    EXPECT_TRUE(animationKeys(view).empty()) << run.bounciness;
    EXPECT_EQ(QVSpringLayer::size(view).width, 200);
    TearDown();
  }
  EXPECT_LE(runs[0].peak, 200.0);
  EXPECT_GT(runs[1].peak, 205.0);
  EXPECT_GT(runs[3].peak, runs[1].peak);
  EXPECT_EQ(runs[1].at, runs[2].at);
}

TEST_F(SpringAnimation, FrameSpringCompletesOnceAfterBothWithTheLastFlag) {
  struct Case {
    const char* removedFirst;  // removed at once; the other settles later
    bool expected;
  };
  const Case cases[] = {{kPositionKey, true}, {nullptr, true}};
  for (const Case& c : cases) {
    SetUp();
    const CGRect target = CGRectMake(10, 20, 60, 30);
    int calls = 0;
    bool finished = false;
    CGRect reported = CGRectZero;
    animateSpringFrame(view, QVSpringFrameParams::paramsWithFrame(target, 10, 10), [&](bool f, CGRect r) {
      ++calls;
      finished = f;
      reported = r;
    });
    EXPECT_EQ(animationKeys(view), (std::vector<std::string>{kPositionKey, kSizeKey}));
    if (c.removedFirst) removeSpringAnimationForKey(view, c.removedFirst);
    EXPECT_EQ(calls, 0);
    driver().advance(3);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(finished, c.expected);
    EXPECT_EQ(reported, target);
    if (!c.removedFirst) {
      EXPECT_EQ(view->frame(), target);
    }
    TearDown();
  }
  // The size spring removed last: its NO wins.
  SetUp();
  int calls = 0;
  bool finished = true;
  animateSpringFrame(view, QVSpringFrameParams::paramsWithFrame(CGRectMake(0, 0, 10, 10), 10, 10), [&](bool f, CGRect) {
    ++calls;
    finished = f;
  });
  driver().advance(0.05);
  removeSpringAnimationForKey(view, kPositionKey);
  removeSpringAnimationForKey(view, kSizeKey);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(finished);
}

TEST_F(SpringAnimation, FrameSpringEndsOnTheFrameWhateverTheAnchor) {
  view->setAnchorPoint(CGPointMake(0.5, 0.5));
  const CGRect target = CGRectMake(10, 20, 60, 30);
  animateSpringFrame(view, QVSpringFrameParams::paramsWithFrame(target, 10, 10));
  driver().advance(3);
  EXPECT_EQ(view->frame(), target);
}

TEST_F(SpringAnimation, ProportionalCornersFollowTheSmallerSide) {
  auto params = QVSpringSizeScaleParams::defaultParams();
  params->setOriginalSize(CGSizeMake(100, 40));  // target 110 x 44
  animateProportionallyCornersWithSizeScale(view, params);
  EXPECT_TRUE(animationKeys(view).empty()) << "radius 0 starts nothing";

  view->setCornerRadius(10);
  animateProportionallyCornersWithSizeScale(view, params);
  ASSERT_EQ(animationKeys(view), std::vector<std::string>{kCornerRadiusKey});
  EXPECT_EQ(QVSpringAnimations::animationForKey(view, kCornerRadiusKey)->toValue(), QVSpringValue{11});
  driver().advance(3);
  EXPECT_EQ(view->cornerRadius(), 11);

  params->setOriginalSize(CGSizeZero);
  animateProportionallyCornersWithSizeScale(view, params);
  EXPECT_TRUE(animationKeys(view).empty()) << "a view without a size has nothing to keep in proportion";
}

TEST_F(SpringAnimation, ChildScalesWithItsParentAndCentresInIt) {
  auto* child = QVMake<QVView>(CGRectMake(10, 10, 20, 10));
  view->addSubview(child);
  animateProportionallySizeScale(child, QVSpringScaleParams::paramsWithScale(2, 10, 0));
  EXPECT_EQ(child->anchorPoint(), CGPointZero);
  driver().advance(3);
  EXPECT_EQ(child->frame().origin, CGPointMake(20, 20));
  EXPECT_EQ(child->scale(), CGSizeMake(2, 2));

  auto* label = QVMake<QVView>(CGRectMake(40, 15, 20, 10));
  view->addSubview(label);
  auto params = QVSpringSizeScaleParams::paramsWithScale(1.5, 10, 0);
  params->setOriginalSize(CGSizeMake(100, 40));
  animateProportionallySizeScaleAndCentering(label, params);
  driver().advance(3);
  EXPECT_EQ(QVSpringLayer::position(label), CGPointMake(75, 30));
  EXPECT_EQ(label->scale(), CGSizeMake(1.5, 1.5));
}

TEST_F(SpringAnimation, AnchorHelpersAndChildSearch) {
  view->setAnchorPoint(CGPointMake(0.5, 0.49));
  EXPECT_FALSE(isAnchorPointCentered(view));
  adjustAnchorPoint(view, std::nullopt);
  EXPECT_TRUE(isAnchorPointCentered(view));
  adjustAnchorPoint(view, CGPointMake(1, 0));
  EXPECT_EQ(view->anchorPoint(), CGPointMake(1, 0));
  EXPECT_EQ(view->frame(), CGRectMake(50, 50, 100, 40));

  auto* first = QVMake<QVView>();
  auto* deep = QVMake<QVLabel>();
  auto* second = QVMake<QVLabel>();
  parent->addSubview(first);
  first->addSubview(QVMake<QVView>());
  first->addSubview(deep);
  parent->addSubview(second);
  EXPECT_EQ(findFirstChildWithType<QVLabel>(parent.get()), deep);
  EXPECT_EQ(findFirstChildWithType<QVLabel>(second), nullptr);
}

TEST_F(SpringAnimation, DestroyingTheViewStopsItsSprings) {
  int calls = 0;
  animateSpringSize(view, sizeParams(CGSizeMake(300, 40)), [&](bool) { ++calls; });
  driver().advance(0.05);
  delete view;
  driver().advance(2);
  EXPECT_EQ(driver().runningCount(), 0u);
  EXPECT_EQ(calls, 0);
}

}  // namespace
