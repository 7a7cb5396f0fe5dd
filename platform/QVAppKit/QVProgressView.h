#pragma once
// The export progress bar: a rounded bar divided into equal parts whose filled portion grows in
// animated steps (a running part shows as 60 % done), over thin stripes that drift left while work
// is under way. A step moves at once: the parts done are caught up within a third of a second and
// the running part fills slowly on, so the bar follows the work however fast the steps come.
//
// Qt has no layer tree, so the two layers of the bar are small models painted by the view: the
// filled bar (`QVProgressBarLayer`, a frame, corner radius, colour and hidden flag) and the striped
// background (`QVProgressAnimatedBackgroundLayer`). Every motion runs on the toolkit's animation
// driver and every delay on the main queue, so tests move both clocks by hand.
//
// Main thread only.
#include <QColor>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVView.h"

class QPainter;

// The filled bar, in the view's coordinates (origin bottom left).
struct QVProgressBarLayer {
  CGRect frame = CGRectZero;
  double cornerRadius = 0;
  std::optional<QColor> backgroundColor;
  bool hidden = false;
};

// The striped background: a 33-point-high band of 1-point lines rising every 13 points, joined by
// diagonals, faded from white at the top to black at the bottom, limited to the bar's rectangle.
class QVProgressAnimatedBackgroundLayer {
 public:
  static constexpr double kHeight = 33;
  static constexpr double kToothWidth = 13;
  static constexpr double kStepsPerSecond = 30;

  // `width` is the width the stripe outline covers (the main screen's width).
  explicit QVProgressAnimatedBackgroundLayer(double width);
  ~QVProgressAnimatedBackgroundLayer();

  // Places the band centred on the bar rectangle and 100 points wider; the mask becomes the bar.
  void layoutWithFrame(CGRect rect);
  // A repeating step every 1/30 s moves the stripes; one runs at a time.
  void startAnimation();
  void stopAnimation();
  bool isAnimating() const { return timer_ != 0; }
  // Moves the stripes one step left; after ten teeth they jump back to 0 (the pattern repeats).
  void updateLineBar();
  // Told after every step, so that the view showing the stripes draws them again.
  void setMovedHandler(std::function<void()> moved) { moved_ = std::move(moved); }

  CGRect frame() const { return frame_; }
  CGRect maskFrame() const { return maskFrame_; }
  double sawtoothX() const { return sawtoothX_; }
  double outlineWidth() const { return outlineWidth_; }
  // The stripe outline from (0, 0): up to (13 i, 33), down to (13 i + 13, 0), for i ≤ width / 13.
  std::vector<CGPoint> sawtoothOutline() const;

  // Paints the stripes into a view whose bounds height is `viewHeight` (bottom-left coordinates).
  void paint(QPainter& painter, double viewHeight) const;

 private:
  double outlineWidth_;
  CGRect frame_ = CGRectZero;
  CGRect maskFrame_ = CGRectZero;
  double sawtoothX_ = 0;
  QVAnimationDriver::AnimationId timer_ = 0;
  std::function<void()> moved_;
};

class QVProgressView : public QVView {
 public:
  // How soon a step shows the parts already done, when the bar is behind them (seconds).
  static constexpr double kCatchUpDuration = 0.35;

  using QVView::QVView;
  ~QVProgressView() override;

  void initialize() override;
  void layout() override;

  uint64_t partsCount() const { return partsCount_; }
  // Stores the count; the bar follows at the next layout.
  void setPartsCount(uint64_t count) { partsCount_ = count; }
  uint64_t currentPart() const { return currentPart_; }
  void setCurrentPart(uint64_t part);

  bool progressStarted() const { return progressStarted_; }
  bool isUpdating() const { return isUpdating_; }
  int64_t animationCount() const { return animationCount_; }

  std::optional<QColor> progressColor() const { return progressLayer_.backgroundColor; }
  void setProgressColor(std::optional<QColor> color);

  // Starts the stripes now and the bar on the next pass of the main queue.
  void startAnimation();
  void stopAnimation();
  // Runs the completion once, when no bar animation is running any more (checked after 0.1 s).
  void waitEndAnimationWithCompletion(std::function<void()> completion);
  void prepareForReuse();

  const QVProgressBarLayer& progressLayer() const { return progressLayer_; }
  QVProgressAnimatedBackgroundLayer& animatedBackgroundLayer() { return *background_; }
  // The duration of the last bar animation started (seconds), for diagnostics.
  double lastAnimationDuration() const { return lastDuration_; }
  double lastTargetWidth() const { return lastTarget_; }

 protected:
  void drawContent(QPainter& painter) override;

 private:
  void setIsUpdating(bool updating);
  void animationDone();

  uint64_t partsCount_ = 0;
  uint64_t currentPart_ = 0;
  bool progressStarted_ = false;
  bool isUpdating_ = false;
  int64_t animationCount_ = 0;
  std::function<void()> completion_;
  QVProgressBarLayer progressLayer_;
  std::unique_ptr<QVProgressAnimatedBackgroundLayer> background_;
  QVAnimationDriver::AnimationId barAnimation_ = 0;
  double lastDuration_ = 0;
  double lastTarget_ = 0;
  // Bumped by a reuse: steps started before it no longer report their end.
  uint64_t generation_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
