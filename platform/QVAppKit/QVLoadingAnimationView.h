#pragma once
// The field of drifting dots shown while an image is enhanced: dots move in straight lines at
// constant speed and bounce off the edges; thin lines join the dots near a focus point (the
// pointer while it is over the view; one second after it leaves, an invisible fast dot that
// wanders by itself).
//
// The dots are small models painted by the view (Qt has no layer tree). The two 20 Hz timers run
// on the toolkit's animation driver and the delayed switches (lines back on after 0.4 s, the
// wandering focus after 1 s) on the main queue, so tests move both clocks by hand. "In a window"
// is Qt's shown state: hiding the view stops the timers at their next tick, showing it starts them.
//
// Main thread only.
#include <QColor>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVBasicView.h"

// One line of the web, from one dot's position to another's (view coordinates).
struct QVDotLine {
  CGPoint from;
  CGPoint to;
};
using QVDotLines = std::vector<QVDotLine>;

class QVADot {
 public:
  static std::shared_ptr<QVADot> dot() { return dotWithSpeedRate(1.0); }
  static std::shared_ptr<QVADot> dotWithSpeedRate(double rate) { return dotWithSpeedRate(rate, 2.5); }
  static std::shared_ptr<QVADot> dotWithSpeedRate(double rate, double radius);
  // One of −0.4, −0.3, −0.2, −0.1, 0.1, 0.2, 0.3, each equally likely (0 is drawn again).
  static float randomAccelaration();
  // The random source of dots and positions (tests pin it); answers an unsigned 32-bit number.
  static void setRandomSource(std::function<uint32_t()> source);
  static uint32_t random32();

  // One step: each coordinate moves by its step and bounces off 0 and the range.
  void updatePosition();

  QColor color() const { return color_; }
  void setColor(const QColor& color) { color_ = color; }
  double radius() const { return radius_; }
  double dx() const { return dx_; }
  double dy() const { return dy_; }
  void setDx(double dx) { dx_ = dx; }
  void setDy(double dy) { dy_ = dy; }
  CGSize rangeSize() const { return rangeSize_; }
  void setRangeSize(CGSize size) { rangeSize_ = size; }
  CGPoint position() const { return position_; }
  void setPosition(CGPoint position) { position_ = position; }
  double opacity() const { return opacity_; }
  void setOpacity(double opacity) { opacity_ = opacity; }
  double cornerRadius() const { return 4; }
  CGRect frame() const;
  std::string description() const;

 private:
  QColor color_ = Qt::white;
  double radius_ = 2.5;
  double dx_ = 0;
  double dy_ = 0;
  CGSize rangeSize_ = CGSizeZero;
  CGPoint position_ = CGPointZero;
  double opacity_ = 1;
};

class QVLoadingAnimationView : public QVBasicView {
 public:
  using QVBasicView::QVBasicView;
  ~QVLoadingAnimationView() override;

  void initialize() override;
  void setFrame(CGRect frame) override;

  uint64_t dotsCount() const { return dotsCount_; }
  void setDotsCount(uint64_t count);
  double dotsRadius() const { return dotsRadius_; }
  void setDotsRadius(double radius);
  double dotsAlpha() const { return dotsAlpha_; }
  void setDotsAlpha(double alpha);
  std::optional<QColor> dotsColor() const { return dotsColor_; }
  void setDotsColor(std::optional<QColor> color);
  double mouseRadiusRate() const { return mouseRadiusRate_; }
  void setMouseRadiusRate(double rate) { mouseRadiusRate_ = rate; }
  double strongDotConnectionDinstanceRate() const { return strongRate_; }
  void setStrongDotConnectionDinstanceRate(double rate) { strongRate_ = rate; }
  double weakDotConnectionDinstanceRate() const { return weakRate_; }
  void setWeakDotConnectionDinstanceRate(double rate) { weakRate_ = rate; }

  // Built on first use.
  const std::vector<std::shared_ptr<QVADot>>& dots();
  const std::optional<QVDotLines>& strongLinesPath() const { return strongLines_; }
  const std::optional<QVDotLines>& weakLinesPath() const { return weakLines_; }
  double strongLineWidth() const { return strongWidth_; }
  double weakLineWidth() const { return weakWidth_; }
  std::shared_ptr<QVADot> autoAnimationDot() const { return autoDot_; }
  bool needsStopAnimation() const { return needsStopAnimation_; }
  bool canDrawLines() const { return canDrawLines_; }
  bool isAnimating() const { return positionTimer_ != 0 || linesTimer_ != 0; }
  // How many times the dots were built (diagnostics and tests).
  int dotsBuildCount() const { return builds_; }

  void startAnimation();
  void updateDotsPositions();
  void createDots();
  CGPoint randomPointInView() const;
  void validateLinesDrawing();
  CGPoint mouseLocationInView() const;
  std::vector<std::shared_ptr<QVADot>> dotsAroundPoint(CGPoint point);
  static double distanceBetweenPoints(CGPoint a, CGPoint b);
  QColor color() const { return dotsColor_.value_or(QColor(Qt::white)); }
  void updateLines();
  void handleMouseEnetered();
  void handleMouseExited();
  void startAutoAnimation();
  void stopAutoAnimation();
  void createAutoAnimationDot();
  void destroyAutoAnimationDot() { autoDot_.reset(); }
  // A new view over the receiver's bounds with the same settings.
  QVLoadingAnimationView* copy() const;
  // The look a photo has while it is processed: 104 white dots of radius 1.44, mouse radius rate
  // 0.534, connection rates 0.027 and 0.126, with a copy in light grey (0.71) moving inside.
  static QVLoadingAnimationView* processingDotsView(CGRect frame = CGRectZero);

  // Where the pointer is, in screen coordinates; tests install their own.
  static void setPointerSource(std::function<QPoint()> source);

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  bool checkIfTimerIsValid(QVAnimationDriver::AnimationId& timer);
  void cancelDelayed(uint64_t& id);

  uint64_t dotsCount_ = 100;
  double dotsRadius_ = 2.5;
  double dotsAlpha_ = 1.0;
  std::optional<QColor> dotsColor_;
  double mouseRadiusRate_ = 0.5;
  double strongRate_ = double(0.08f);
  double weakRate_ = double(0.15f);
  std::vector<std::shared_ptr<QVADot>> dots_;
  bool dotsBuilt_ = false;
  std::optional<QVDotLines> strongLines_;
  std::optional<QVDotLines> weakLines_;
  double strongWidth_ = 0;
  double weakWidth_ = 0;
  std::shared_ptr<QVADot> autoDot_;
  bool needsStopAnimation_ = false;
  bool canDrawLines_ = false;
  QVAnimationDriver::AnimationId positionTimer_ = 0;
  QVAnimationDriver::AnimationId linesTimer_ = 0;
  uint64_t pendingAutoDot_ = 0;
  uint64_t pendingLines_ = 0;
  int builds_ = 0;
  bool initialized_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
