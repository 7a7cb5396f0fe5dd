#include "QVAppKit/QVFadeAnimator.h"

#include <gtest/gtest.h>

#include <memory>

#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVView.h"

namespace {

using namespace NSViewFadeAnimation;

class Fades : public ::testing::Test {
 protected:
  void SetUp() override {
    driver().useManualClock();
    driver().cancelAll();
    parent.reset(QVMake<QVView>(CGRectMake(0, 0, 100, 100)));
    for (auto*& v : views) {
      v = QVMake<QVView>(CGRectMake(0, 0, 10, 10));
      parent->addSubview(v);
    }
  }
  void TearDown() override { driver().cancelAll(); }
  static QVAnimationDriver& driver() { return QVAnimationDriver::shared(); }

  std::unique_ptr<QVView> parent;
  QVView* views[3] = {};
};

TEST(QVAnimator, DefaultDurations) {
  EXPECT_EQ(QVAnimator().defaultDuration(), 0.5);
  EXPECT_EQ(QVFadeAnimator({}, {}).defaultDuration(), 1.0);
}

TEST_F(Fades, CompletesOnceAfterTheLastOpacityAnimationStops) {
  auto fade = QVFadeAnimator::make({views[0], views[1]}, {views[2]});
  std::vector<bool> calls;
  fade->animateWithDuration(0.4, [&](bool finished) { calls.push_back(finished); });
  EXPECT_TRUE(fade->isAnimating());
  EXPECT_EQ(fade->animatedViewsCount(), 3);
  EXPECT_EQ(views[0]->alpha(), 0);
  EXPECT_EQ(views[2]->alpha(), 1);  // held at the fade value while it runs
  driver().advance(0.2);
  EXPECT_NEAR(views[0]->alpha(), 0.5, 0.05);
  EXPECT_TRUE(calls.empty());
  driver().advance(0.3);
  EXPECT_EQ(calls, std::vector<bool>{true});
  EXPECT_FALSE(fade->isAnimating());
  EXPECT_FALSE(fade->completion());
  EXPECT_EQ(views[0]->alpha(), 1);
  EXPECT_EQ(views[1]->alpha(), 1);
  EXPECT_EQ(views[2]->alpha(), 0);
  EXPECT_FALSE(QVOpacityAnimation::has(views[0]));
}

TEST_F(Fades, ACompletionThatRunsTheAnimatorAgainKeepsTheNewCompletion) {
  auto fade = QVFadeAnimator::make({views[0]}, {});
  int second = 0;
  fade->animateWithDuration(0.1, [&](bool) { fade->animateWithDuration(0.1, [&](bool) { ++second; }); });
  driver().advance(0.2);
  EXPECT_TRUE(fade->isAnimating());
  EXPECT_TRUE(fade->completion());
  driver().advance(0.2);
  EXPECT_EQ(second, 1);
  EXPECT_FALSE(fade->completion());
}

TEST_F(Fades, ACancelledFadeNeverCompletesAndKeepsItsStartAlphas) {
  auto fade = QVFadeAnimator::make({views[0]}, {views[1]});
  int calls = 0;
  fade->animateWithDuration(0.4, [&](bool) { ++calls; });
  driver().advance(0.2);
  fade->cancel();
  EXPECT_TRUE(fade->isCancelled());
  driver().advance(1);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(views[0]->alpha(), 0);
  EXPECT_EQ(views[1]->alpha(), 1);
  // A new run clears the flag.
  fade->animateWithDuration(0.1, [&](bool) { ++calls; });
  EXPECT_FALSE(fade->isCancelled());
  driver().advance(0.2);
  EXPECT_EQ(calls, 1);
}

TEST_F(Fades, AFadeWithoutViewsNeverCompletes) {
  auto fade = QVFadeAnimator::make({}, {});
  int calls = 0;
  fade->animateWithDuration(0.1, [&](bool) { ++calls; });
  driver().advance(1);
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(fade->isAnimating());
}

TEST_F(Fades, ReplacingAViewsOpacityAnimationCountsAsAStop) {
  auto first = QVFadeAnimator::make({views[0]}, {});
  std::vector<bool> calls;
  first->animateWithDuration(1, [&](bool f) { calls.push_back(f); });
  QVOpacityAnimation::add(views[0], 1, 0.5, 0.1, nullptr);
  EXPECT_EQ(calls, std::vector<bool>{true});
}

TEST_F(Fades, SwitchToAlphaEndsAtThatAlphaAndClearsTheAnimator) {
  struct Case {
    double alpha;
    double atHalfTime;
  };
  for (const Case c : {Case{0.6, 0.3}, Case{0.0, 0.0}, Case{1.0, 0.5}}) {
    QVView* v = views[0];
    v->setAlpha(1);
    switchToAlpha(v, c.alpha);
    ASSERT_TRUE(fadeAnimator(v));
    driver().advance(0.5);
    EXPECT_NEAR(v->alpha(), c.atHalfTime, 0.02) << c.alpha;
    driver().advance(0.6);
    EXPECT_EQ(v->alpha(), c.alpha);
    EXPECT_FALSE(fadeAnimator(v));
  }
}

TEST_F(Fades, ANewFadeOfTheSameViewTakesOver) {
  int shown = 0;
  std::vector<bool> hidden;
  show(views[0], [&](bool) { ++shown; });
  driver().advance(0.3);
  hide(views[0], [&](bool f) { hidden.push_back(f); });
  EXPECT_EQ(views[0]->alpha(), 0);
  driver().advance(1.1);
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(hidden, std::vector<bool>{true});
  EXPECT_EQ(views[0]->alpha(), 0);
}

TEST_F(Fades, HideAndRemoveRemovesOnlyWhenTheFadeFinishes) {
  hideAndRemoveOnCompletion(views[0]);
  driver().advance(1.1);
  EXPECT_EQ(views[0]->superview(), nullptr);
  delete views[0];

  hideAndRemoveOnCompletion(views[1]);
  driver().advance(0.5);
  fadeAnimator(views[1])->cancel();
  driver().advance(1);
  EXPECT_EQ(views[1]->superview(), parent.get());
}

}  // namespace
