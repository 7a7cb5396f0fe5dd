#include "Ombrel/Classes/Application/Common/QVBoostSpringSlider.h"

#include <gtest/gtest.h>

#include <memory>

#include "CompareTestSupport.h"
#include "Ombrel/Classes/Application/Common/QVSingleImageNotifications.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVAnimationDriver.h"

namespace {

class BoostSlider : public ::testing::Test {
 protected:
  void SetUp() override {
    QVAnimationDriver::shared().cancelAll();
    host = std::make_unique<QVView>(CGRectMake(0, 0, 800, 200));
    host->initialize();
    slider = QVMake<QVBoostSpringSlider>(CGRectMake(700, 20, 44, 44));
    slider->setMaxScaleValue(100);
    host->addSubview(slider);
    host->layoutSubtreeIfNeeded();
    token = qv::NotificationCenter::defaultCenter().addObserver(
        kQVBoostSliderDidChangeAmountNotification, nullptr,
        [this](const qv::Notification& n) { posts.push_back(*QVSingleImageNotifications::objectValue<double>(n)); });
  }
  void TearDown() override {
    token.reset();
    host.reset();
    QVAnimationDriver::shared().cancelAll();
  }
  void open() {
    slider->switchExpanded();
    QVAnimationDriver::shared().advance(2);
    qv::MainExecutor::shared().advance(0.1);
    QVAnimationDriver::shared().advance(1);
    ASSERT_TRUE(slider->expanded());
  }
  // A pointer event at a value's place on the slider's bar.
  void at(QEvent::Type type, double value) {
    QVSliderView* s = slider->sliderView();
    compare_test::send(s, type,
                       s->qtPointFromPoint(CGPointMake(s->locationForValue(value), CGRectGetMidY(s->barRect()))));
  }

  std::unique_ptr<QVView> host;
  QVBoostSpringSlider* slider = nullptr;
  qv::ObserverToken token;
  std::vector<double> posts;
};

TEST(QVBoostSpringSliderRoom, WidthsAndLabelModesByRoom) {
  struct Case {
    double room, width;
    bool shrunk;
  } cases[] = {{0, 120, true},   {119.9, 120, true}, {120, 110, true},  {300, 290, true},
               {464, 454, true}, {465, 465, false},  {1200, 465, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(QVBoostSpringSlider::roomForSpace(c.room), (QVBoostSliderRoom{c.width, c.shrunk})) << c.room;
  }
}

TEST_F(BoostSlider, OpensWideWithFullLabelsAndShortWhereRoomIsShort) {
  open();
  EXPECT_EQ(slider->expandedWidth(), 465);
  EXPECT_EQ(slider->frame().size, CGSizeMake(465, 44));
  EXPECT_EQ(CGRectGetMaxX(slider->frame()), 744);  // grew towards the leading side
  EXPECT_EQ(slider->sliderView()->titleString(), "ORIGINAL");
  EXPECT_EQ(slider->sliderView()->rightTitleString(), "BOOST");
  EXPECT_TRUE(slider->showing());
  auto* small = QVMake<QVBoostSpringSlider>(CGRectMake(40, 100, 44, 44));
  host->addSubview(small);
  small->updateSliderUIForShrunkMode();
  EXPECT_EQ(small->expandedWidth(), 120);
  EXPECT_EQ(small->sliderView()->titleString(), "-");
  EXPECT_EQ(small->sliderView()->rightTitleString(), "+");
}

TEST_F(BoostSlider, TakesInputOnlyWhileOpen) {
  at(QEvent::MouseButtonPress, 30);
  at(QEvent::MouseButtonRelease, 30);
  EXPECT_TRUE(posts.empty());
  EXPECT_EQ(slider->value(), 100);
  open();
  EXPECT_TRUE(slider->sliderView()->userInteractionEnabled());
  slider->switchExpanded();
  EXPECT_FALSE(slider->sliderView()->userInteractionEnabled());
}

TEST_F(BoostSlider, PostsOncePerWholeStepOfAUserDrag) {
  open();
  struct Step {
    double to;
    std::vector<double> posted;
  } steps[] = {
      {100, {}},       // the press on the knob
      {99.6, {0.99}},  // a step down
      {99.2, {}},      // within the step
      {50.5, {0.50}},  // many steps in one move: one post
      {50.9, {}},      // still 50
      {-20, {0.0}},    // the left end
      {120, {1.0}},    // the right end
  };
  bool first = true;
  for (const Step& s : steps) {
    posts.clear();
    at(first ? QEvent::MouseButtonPress : QEvent::MouseMove, s.to);
    first = false;
    ASSERT_EQ(posts.size(), s.posted.size()) << s.to;
    for (size_t i = 0; i < posts.size(); ++i) EXPECT_DOUBLE_EQ(posts[i], s.posted[i]) << s.to;
  }
  EXPECT_TRUE(slider->processing());
  at(QEvent::MouseButtonRelease, 120);
  EXPECT_FALSE(slider->processing());
}

TEST_F(BoostSlider, SettingTheValueFromCodeColoursTheIconAndPostsNothing) {
  EXPECT_FALSE(slider->iconView()->boosted());
  slider->setSliderValue(0.5);
  EXPECT_EQ(slider->value(), 50);
  EXPECT_EQ(slider->sliderView()->value(), 50);
  EXPECT_TRUE(slider->iconView()->boosted());
  EXPECT_EQ(slider->iconView()->iconColor(), QVUIStyle::themeColor());
  EXPECT_TRUE(posts.empty());
  slider->setSliderValue(1.0);
  EXPECT_FALSE(slider->iconView()->boosted());
}

TEST_F(BoostSlider, TheSpinnerStandsInForTheIconWhileTheKnobMoves) {
  open();
  slider->setProcessing(true);
  EXPECT_TRUE(slider->spinnerView()->animating());
  QVAnimationDriver::shared().advance(1.1);
  EXPECT_EQ(slider->spinnerView()->alpha(), 1);
  EXPECT_EQ(slider->iconView()->alpha(), 0);
  slider->setProcessing(false);
  QVAnimationDriver::shared().advance(1.1);
  EXPECT_EQ(slider->iconView()->alpha(), 1);
  EXPECT_FALSE(slider->spinnerView()->animating());
}

}  // namespace
