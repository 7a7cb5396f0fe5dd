#pragma once
// The effect-strength control. Collapsed it is a 44 x 44 white button showing the boosted icon; a
// click springs it open sideways (towards the leading side) into a slider from 0 to 100 with
// "ORIGINAL" and "BOOST" at its ends ("-" and "+" where the room is short). Dragging the knob posts
// "QVBoostSliderDidChangeAmount" with value / maxScaleValue once per whole step; a spinner stands
// in for the icon while the knob moves. Setting the value from code posts nothing. The slider
// takes input only while the control is open.
//
// Main thread only.
#include <memory>

#include "Ombrel/Classes/Application/Common/QVBoostedIconView.h"
#include "QVAppKit/QVFadeAnimator.h"
#include "QVAppKit/QVLoadingSpinnerView.h"
#include "QVAppKit/QVSliderView.h"
#include "QVAppKit/QVSpringMenu.h"
#include "QVPlatform/MainExecutor.h"

struct QVBoostSliderRoom {
  double expandedWidth = 0;
  bool shrunk = false;
  bool operator==(const QVBoostSliderRoom&) const = default;
};

class QVBoostSpringSlider : public QVSpringMenu {
 public:
  static constexpr double kCollapsedSide = 44;
  static constexpr double kFullWidth = 465;
  static constexpr double kMinimumWidth = 120;
  static constexpr double kSliderOffset = 10;
  static constexpr double kExpandSpeed = 20;
  static constexpr double kCollapseSpeed = 30;
  static constexpr double kShowDelay = 0.05;
  static constexpr double kShowDuration = 0.5;

  using QVSpringMenu::QVSpringMenu;
  ~QVBoostSpringSlider() override;
  void initialize() override;
  void addSubviews() override;
  void setupLayoutConstraints() override;
  void layout() override;

  // The open width and label mode for the room beside the control: below 120 points 120 and
  // shrunk, up to 465 the room less 10 and shrunk, from 465 the full 465 with full labels.
  static QVBoostSliderRoom roomForSpace(double room);

  int64_t value() const { return value_; }
  int64_t maxScaleValue() const { return maxScaleValue_; }
  void setMaxScaleValue(int64_t value) { maxScaleValue_ = value; }
  // fraction x maxScaleValue into the slider (its integer part into `value`); posts nothing.
  void setSliderValue(double fraction);
  double expandedWidth() const { return expandedWidth_; }
  double sliderWidth() const { return expandedWidth_ - kCollapsedSide; }
  bool processing() const { return processing_; }
  void setProcessing(bool processing);
  bool showing() const { return showing_; }
  void setShowing(bool showing);
  // Whether the end labels are the short "-" and "+".
  bool shrunkLabels() const { return shrunk_; }

  QVSliderView* sliderView();
  QVBoostedIconView* iconView();
  QVLoadingSpinnerView* spinnerView();

  CGSize contentSizeForState(bool expanded) override;
  void onWillBeginExpanding() override;
  void onWillBeginCollapsing() override;
  void onDidFinishExpanding() override;
  void onDidFinishCollapsing() override;
  void onDidAnimateToFrame(CGRect frame) override;

  void updateSliderUIForShrunkMode();
  void updateBoostedIcon();

 private:
  void updateControlsWithProcessing(bool processing);
  void updateContentSize();
  void placeChildren(double width);
  void setSliderHiddenLater(bool showing);

  QVSliderView* slider_ = nullptr;
  QVBoostedIconView* icon_ = nullptr;
  QVLoadingSpinnerView* spinner_ = nullptr;
  int64_t value_ = 100;
  int64_t maxScaleValue_ = 100;
  double expandedWidth_ = kFullWidth;
  bool processing_ = false;
  bool showing_ = false;
  bool shrunk_ = false;
  std::shared_ptr<QVFadeAnimator> sliderFadeAnimator_;
  std::shared_ptr<QVFadeAnimator> rightControlsFadeAnimator_;
  qv::MainExecutor::TimerId showTimer_ = 0;
};
