#include "QVAppKit/QVLoadingAnimationView.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "QVAppKit/QVAnimationDriver.h"
#include "QVPlatform/MainExecutor.h"

namespace {

class LoadingDots : public ::testing::Test {
 protected:
  void SetUp() override {
    QVAnimationDriver::shared().useManualClock();
    QVAnimationDriver::shared().cancelAll();
    main().useManualClock();
    main().discardPending();
    view.reset(QVMake<QVLoadingAnimationView>(CGRectMake(0, 0, 100, 100)));
  }
  void TearDown() override {
    view.reset();
    QVADot::setRandomSource(nullptr);
    QVAnimationDriver::shared().cancelAll();
    main().discardPending();
  }
  static qv::MainExecutor& main() { return qv::MainExecutor::shared(); }
  std::unique_ptr<QVLoadingAnimationView> view;
};

TEST(QVADot, RandomStepsAreTheSevenNonZeroTenths) {
  uint32_t next = 0;
  QVADot::setRandomSource([&] { return next++; });
  std::vector<float> steps;
  for (int i = 0; i < 7; ++i) steps.push_back(QVADot::randomAccelaration());
  QVADot::setRandomSource(nullptr);
  const std::vector<float> expected{-0.4f, -0.3f, -0.2f, -0.1f, 0.1f, 0.2f, 0.3f};
  ASSERT_EQ(steps.size(), expected.size());
  for (size_t i = 0; i < steps.size(); ++i) EXPECT_FLOAT_EQ(steps[i], expected[i]) << i;
  std::set<float> seen;
  for (int i = 0; i < 2000; ++i) seen.insert(QVADot::randomAccelaration());
  EXPECT_EQ(seen.size(), 7u);
  EXPECT_EQ(seen.count(0.0f), 0u);
}

TEST(QVADot, BouncesOffBothEdges) {
  struct Case {
    CGPoint position;
    double dx, dy;
    CGPoint next;
    double nextDx, nextDy;
  } cases[] = {
      {{99.8, 50}, 0.3, 0.1, {100, 50.1}, -0.3, 0.1},  // stops exactly on the right edge
      {{0.1, 0.2}, -0.2, -0.4, {0, 0}, 0.2, 0.4},      // and on the bottom-left corner
      {{50, 99.9}, 0.1, 0.2, {50.1, 100}, 0.1, -0.2},
  };
  for (const auto& c : cases) {
    auto dot = QVADot::dot();
    dot->setRangeSize(CGSizeMake(100, 100));
    dot->setPosition(c.position);
    dot->setDx(c.dx);
    dot->setDy(c.dy);
    dot->updatePosition();
    EXPECT_NEAR(dot->position().x, c.next.x, 1e-9);
    EXPECT_NEAR(dot->position().y, c.next.y, 1e-9);
    EXPECT_DOUBLE_EQ(dot->dx(), c.nextDx);
    EXPECT_DOUBLE_EQ(dot->dy(), c.nextDy);
  }
  auto dot = QVADot::dot();
  dot->setRangeSize(CGSizeMake(100, 100));
  dot->setPosition(CGPointMake(99.8, 50));
  dot->setDx(0.3);
  dot->updatePosition();
  dot->updatePosition();
  EXPECT_NEAR(dot->position().x, 99.7, 1e-9);  // moving left from the next tick
  EXPECT_EQ(dot->description(), "radius: 2.500000; opacity: 1.000000");
}

TEST_F(LoadingDots, BuildsDotsOnceAndOnlyOnChanges) {
  EXPECT_EQ(view->dots().size(), 100u);
  EXPECT_EQ(view->dotsBuildCount(), 1);
  view->setDotsCount(100);
  view->setDotsRadius(2.5);
  view->setDotsAlpha(1.0);
  view->setDotsColor(std::nullopt);
  view->dots();
  EXPECT_EQ(view->dotsBuildCount(), 1);
  view->setDotsCount(104);
  view->setDotsRadius(1.44);
  EXPECT_EQ(view->dots().size(), 104u);
  EXPECT_EQ(view->dotsBuildCount(), 2);
  for (const auto& dot : view->dots()) {
    EXPECT_EQ(dot->radius(), 1.44);
    EXPECT_EQ(dot->rangeSize(), CGSizeMake(100, 100));
    EXPECT_TRUE(CGRectContainsPoint(CGRectMake(0, 0, 100, 100), dot->position()));
  }
}

TEST_F(LoadingDots, EmptyViewPlacesDotsAtTheOrigin) {
  view->setFrame(CGRectZero);
  for (const auto& dot : view->dots()) EXPECT_EQ(dot->position(), CGPointZero);
  view->createAutoAnimationDot();
  view->updateLines();
  for (const auto& line : *view->strongLinesPath()) EXPECT_EQ(line.from, line.to);
  EXPECT_TRUE(view->weakLinesPath()->empty());
}

TEST_F(LoadingDots, LinesWaitFourTenthsAfterAResize) {
  view->dots();
  main().advance(0.5);
  ASSERT_TRUE(view->canDrawLines());
  view->setFrame(CGRectMake(0, 0, 120, 80));
  EXPECT_FALSE(view->canDrawLines());
  main().advance(0.39);
  EXPECT_FALSE(view->canDrawLines());
  main().advance(0.02);
  EXPECT_TRUE(view->canDrawLines());
}

TEST_F(LoadingDots, StrongAndWeakLinesByDistanceAroundTheFocus) {
  view->setDotsCount(4);
  const auto& dots = view->dots();
  const CGPoint places[] = {{50, 50}, {55, 50}, {62, 50}, {95, 95}};  // the last lies outside the focus
  for (size_t i = 0; i < 4; ++i) dots[i]->setPosition(places[i]);
  view->createAutoAnimationDot();
  view->autoAnimationDot()->setPosition(CGPointMake(55, 50));
  view->updateLines();
  // Weak below 15 points, strong below 8; every ordered pair, each dot with itself too.
  EXPECT_EQ(view->strongLinesPath()->size(), 7u);  // aa bb cc ab ba bc cb
  EXPECT_EQ(view->weakLinesPath()->size(), 2u);    // ac ca
  EXPECT_DOUBLE_EQ(view->strongLineWidth(), double(0.4f));
  EXPECT_DOUBLE_EQ(view->weakLineWidth(), double(0.2f));
}

TEST_F(LoadingDots, WanderingFocusComesASecondAfterThePointerLeaves) {
  view->handleMouseExited();
  main().advance(0.99);
  EXPECT_FALSE(view->autoAnimationDot());
  main().advance(0.02);
  ASSERT_TRUE(view->autoAnimationDot());
  EXPECT_EQ(std::abs(view->autoAnimationDot()->dx()) >= 2.5 - 1e-6, true);  // 25 times as fast
  view->handleMouseEnetered();
  EXPECT_FALSE(view->autoAnimationDot());
}

TEST_F(LoadingDots, TimersRunWhileShownAndStopAtTheirNextTickWhenHidden) {
  view->setDotsCount(1);
  auto dot = view->dots()[0];
  dot->setPosition(CGPointMake(50, 50));
  dot->setDx(0.1);
  dot->setDy(0.1);
  view->show();
  EXPECT_TRUE(view->isAnimating());
  QVAnimationDriver::shared().advance(1.0);
  EXPECT_NEAR(dot->position().x, 52, 1e-6);  // 20 ticks of 0.1
  view->hide();
  QVAnimationDriver::shared().advance(0.1);
  main().runUntilIdle();
  EXPECT_FALSE(view->isAnimating());
  const double x = dot->position().x;
  QVAnimationDriver::shared().advance(1.0);
  EXPECT_EQ(dot->position().x, x);
  view->show();
  EXPECT_TRUE(view->isAnimating());
}

TEST_F(LoadingDots, CopyKeepsTheSettings) {
  view->setDotsCount(104);
  view->setDotsColor(QColor::fromRgbF(0.71f, 0.71f, 0.71f));
  view->setMouseRadiusRate(0.534);
  view->setStrongDotConnectionDinstanceRate(0.027);
  view->setWeakDotConnectionDinstanceRate(0.126);
  std::unique_ptr<QVLoadingAnimationView> copy(view->copy());
  EXPECT_EQ(copy->dotsCount(), 104u);
  EXPECT_EQ(copy->dotsColor(), view->dotsColor());
  EXPECT_EQ(copy->mouseRadiusRate(), 0.534);
  EXPECT_EQ(copy->strongDotConnectionDinstanceRate(), 0.027);
  EXPECT_EQ(copy->weakDotConnectionDinstanceRate(), 0.126);
  EXPECT_EQ(copy->bounds(), view->bounds());
}

}  // namespace
