#include "QVAppKit/QVSliderView.h"

#include <gtest/gtest.h>

#include <memory>

#include "AppKitTestSupport.h"
#include "MouseTestSupport.h"
#include "QVAppKit/QVArtwork.h"
#include "QVAppKit/QVLoadingSpinnerView.h"

namespace {

std::unique_ptr<QVSliderView> makeSlider(double width = 300, double height = 44) {
  std::unique_ptr<QVSliderView> s(QVMake<QVSliderView>(CGRectMake(0, 0, width, height)));
  s->setMinimumValue(0);
  s->setMaximumValue(100);
  s->setDefaultValue(100);
  s->load();
  s->layoutSubtreeIfNeeded();
  return s;
}

// A point of the bar's centre line at x, in Qt's space.
QPointF onBar(const QVSliderView& s, double x) {
  return s.qtPointFromPoint(CGPointMake(x, CGRectGetMidY(s.barRect())));
}

TEST(QVSliderView, LoadStartsAtTheDefaultAndCodeTellsNobody) {
  auto s = makeSlider();
  EXPECT_EQ(s->value(), 100);
  int told = 0;
  s->setSliderDidChangeValueBlock([&](double) { ++told; });
  s->setValue(40);
  EXPECT_EQ(s->value(), 40);
  s->setValue(140);  // clamped
  EXPECT_EQ(s->value(), 100);
  EXPECT_EQ(told, 0);
}

TEST(QVSliderView, LocationsAndValuesAreInverseAndClampedToTheKnobsTravel) {
  auto s = makeSlider();
  const CGRect bar = s->barRect();
  EXPECT_EQ(s->valueForLocation(bar.origin.x - 50), 0);
  EXPECT_EQ(s->valueForLocation(CGRectGetMaxX(bar) + 50), 100);
  for (double v : {0.0, 12.5, 50.0, 99.0, 100.0}) EXPECT_NEAR(s->valueForLocation(s->locationForValue(v)), v, 1e-9);
  // The knob stays inside the bar at both ends.
  s->setValue(0);
  EXPECT_GE(s->knobRect().origin.x, bar.origin.x);
  s->setValue(100);
  EXPECT_LE(CGRectGetMaxX(s->knobRect()), CGRectGetMaxX(bar) + 1e-9);
}

TEST(QVSliderView, ADragTellsLiveValuesAndTheEndOnce) {
  auto s = makeSlider();
  std::vector<double> values;
  int ends = 0;
  s->setSliderDidChangeValueBlock([&](double v) { values.push_back(v); });
  s->setSliderDidEndChangingValueBlock([&] { ++ends; });
  const double knobX = s->locationForValue(100);
  mouse_test::press(s.get(), onBar(*s, knobX));  // on the knob: no jump
  EXPECT_TRUE(values.empty());
  mouse_test::drag(s.get(), onBar(*s, s->locationForValue(50)));
  mouse_test::drag(s.get(), onBar(*s, -100));
  EXPECT_EQ(ends, 0);
  mouse_test::release(s.get(), onBar(*s, -100));
  ASSERT_EQ(values.size(), 2u);
  EXPECT_NEAR(values[0], 50, 1e-9);
  EXPECT_EQ(values[1], 0);
  EXPECT_EQ(ends, 1);
  EXPECT_FALSE(s->isTracking());
}

TEST(QVSliderView, APressOnTheBarJumpsThereAndLabelsTakeClicksOnlyWhenAsked) {
  auto s = makeSlider();
  s->setTitleString("LOW");
  s->setRightTitleString("HIGH");
  s->updateLabelsLayout();
  std::vector<double> values;
  s->setSliderDidChangeValueBlock([&](double v) { values.push_back(v); });
  mouse_test::press(s.get(), onBar(*s, s->locationForValue(25)));
  mouse_test::release(s.get(), onBar(*s, s->locationForValue(25)));
  ASSERT_EQ(values.size(), 1u);
  EXPECT_NEAR(values[0], 25, 1e-9);
  const CGRect title = s->titleRect();
  const QPointF onTitle = s->qtPointFromPoint(CGPointMake(CGRectGetMidX(title), CGRectGetMidY(title)));
  mouse_test::press(s.get(), onTitle);
  mouse_test::release(s.get(), onTitle);
  EXPECT_NEAR(s->value(), 25, 1e-9);
  s->setTextLabelsMouseEventsEnabled(true);
  mouse_test::press(s.get(), onTitle);
  mouse_test::release(s.get(), onTitle);
  EXPECT_EQ(s->value(), 0);
}

TEST(QVSliderView, RightToLeftPutsTheMinimumAtTheRightEnd) {
  auto s = makeSlider();
  s->setLayoutDirection(Qt::RightToLeft);
  const CGRect bar = s->barRect();
  EXPECT_EQ(s->valueForLocation(CGRectGetMaxX(bar) + 10), 0);
  EXPECT_EQ(s->valueForLocation(bar.origin.x - 10), 100);
  EXPECT_LT(s->locationForValue(75), s->locationForValue(25));
}

TEST(QVSliderView, WithoutLiveUpdatingTheValueIsToldOnceAtTheRelease) {
  auto s = makeSlider();
  s->setIsLiveValueUpdatingEnabled(false);
  std::vector<double> values;
  s->setSliderDidChangeValueBlock([&](double v) { values.push_back(v); });
  mouse_test::press(s.get(), onBar(*s, s->locationForValue(100)));
  mouse_test::drag(s.get(), onBar(*s, s->locationForValue(70)));
  mouse_test::drag(s.get(), onBar(*s, s->locationForValue(60)));
  EXPECT_TRUE(values.empty());
  mouse_test::release(s.get(), onBar(*s, s->locationForValue(60)));
  ASSERT_EQ(values.size(), 1u);
  EXPECT_NEAR(values[0], 60, 1e-9);
}

TEST(QVSliderView, PaintsTheFillUpToTheKnobInItsArtwork) {
  auto s = makeSlider(300, 44);
  s->setKnobImage("slider_knob", QColor(255, 0, 0));
  s->setValue(50);
  const QImage grab = appkit_test::render(s.get());
  const CGRect bar = s->barRect();
  const double y = s->height() - CGRectGetMidY(bar);
  // Left of the knob: the green fill; right of it: the grey back; the knob: the tint.
  const QColor fill = appkit_test::pixelAt(grab, bar.origin.x + 30, y);
  const QColor back = appkit_test::pixelAt(grab, CGRectGetMaxX(bar) - 30, y);
  const QColor knob = appkit_test::pixelAt(grab, s->locationForValue(50) + 6, y);
  EXPECT_GT(fill.green(), 150);
  EXPECT_LT(fill.red(), 80);
  EXPECT_GT(back.red(), 180);
  EXPECT_NEAR(back.red(), back.green(), 8);
  EXPECT_GT(knob.red(), 200);
  EXPECT_LT(knob.green(), 60);
}

TEST(QVArtwork, RendersTintedAndThreePartPicturesOfTheirSize) {
  for (const char* name : {"boosted", "slider_knob", "bg_bar", "fill_bar", "torn_spinner"}) {
    EXPECT_TRUE(QVArtwork::exists(name)) << name;
  }
  EXPECT_FALSE(QVArtwork::exists("no_such_artwork"));
  const QImage knob = QVArtwork::image("slider_knob", QSize(40, 40), QColor(0, 0, 255));
  ASSERT_EQ(knob.size(), QSize(40, 40));
  EXPECT_EQ(knob.pixelColor(20, 20).blue(), 255);
  EXPECT_EQ(knob.pixelColor(0, 0).alpha(), 0);
  const QPixmap bar = QVArtwork::threePartPixmap("bg_bar", CGSizeMake(200, 6), 2);
  EXPECT_EQ(bar.size(), QSize(400, 12));
  const QImage barImage = bar.toImage();
  // Rounded caps: the corner is clear, the middle painted.
  EXPECT_LT(barImage.pixelColor(0, 0).alpha(), 60);
  EXPECT_EQ(barImage.pixelColor(200, 6).alpha(), 255);
  auto lazy = QVArtwork::imageNamed("boosted", CGSizeMake(24, 24), Qt::white);
  ASSERT_TRUE(lazy);
  EXPECT_EQ(CGImageGetWidth(lazy->CGImageForPixelSize(48, 48)), 48u);
}

TEST(QVLoadingSpinnerView, TurnsClockwiseOnceEveryTwoSecondsUntilStopped) {
  auto& driver = QVAnimationDriver::shared();
  driver.useManualClock();
  driver.cancelAll();
  std::unique_ptr<QVLoadingSpinnerView> spinner(QVMake<QVLoadingSpinnerView>(CGRectMake(0, 0, 40, 40)));
  QWidget host;
  spinner->setParent(&host);
  spinner->setupLayoutConstraints();
  spinner->layoutSubtreeIfNeeded();
  EXPECT_TRUE(spinner->animating());
  EXPECT_EQ(spinner->spinnerIcon()->frame(), CGRectMake(8, 8, 24, 24));
  ASSERT_TRUE(spinner->spinnerIcon()->image());
  driver.advance(0.5);
  const double quarter = spinner->rotation();
  driver.advance(0.5);
  const double half = spinner->rotation();
  EXPECT_NEAR(half, M_PI, 0.05);
  EXPECT_GT(quarter, half);  // angle falls: clockwise in the y-up space
  spinner->stopAnimating();
  EXPECT_FALSE(spinner->animating());
  driver.advance(0.5);
  EXPECT_EQ(spinner->rotation(), 0);
  spinner->setParent(nullptr);
}

}  // namespace

#include "QVAppKit/QVValueSpring.h"

namespace {

TEST(QVValueSpring, SettlesOnTheTargetOnceAndAStopReportsUnfinished) {
  auto& driver = QVAnimationDriver::shared();
  driver.useManualClock();
  driver.cancelAll();
  auto spring = QVValueSpring::make(1000, 300, 5, 8);
  std::vector<double> values;
  std::vector<bool> ends;
  spring->setObserver([&](double v) { values.push_back(v); });
  spring->setCompletion([&](bool finished) { ends.push_back(finished); });
  spring->start();
  driver.advance(0.1);
  ASSERT_FALSE(values.empty());
  EXPECT_LT(values.back(), 1000);
  EXPECT_GT(values.back(), 300);
  driver.advance(3);
  EXPECT_EQ(values.back(), 300);
  EXPECT_EQ(ends, std::vector<bool>{true});
  bool overshot = false;
  for (double v : values) overshot |= v < 300;
  EXPECT_TRUE(overshot);  // bounciness 8 swings past the target
  auto stopped = QVValueSpring::make(0, 100, 5, 8);
  stopped->setCompletion([&](bool finished) { ends.push_back(finished); });
  stopped->start();
  driver.advance(0.05);
  stopped->stop();
  stopped->stop();
  EXPECT_EQ(ends, (std::vector<bool>{true, false}));
}

}  // namespace
