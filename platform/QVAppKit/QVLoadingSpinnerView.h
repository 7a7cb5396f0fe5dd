#pragma once
// The spinner shown while something short runs (a strength being applied, feedback being sent):
// the "torn_spinner" artwork in the spinner colour, 0.6 of the view's size and centred, turning
// clockwise once every 2 s on the animation driver. It starts turning when made.
//
// Main thread only.
#include <QColor>

#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVImageView.h"

class QVLoadingSpinnerView : public QVView {
 public:
  static constexpr double kTurnDuration = 2.0;
  static constexpr double kIconScale = 0.6;

  using QVView::QVView;
  ~QVLoadingSpinnerView() override;
  void initialize() override;
  void addSubviews() override;
  void setupLayoutConstraints() override;

  // The icon, made on first use: aspect fit, no clicks.
  QVImageView* spinnerIcon();
  // The artwork's colour: the theme's green unless a host gives another.
  QColor spinnerColor() const { return color_; }
  void setSpinnerColor(const QColor& color);

  bool animating() const { return animating_; }
  void startAnimating();
  void stopAnimating();
  // The icon's rotation now, in radians (counter-clockwise positive), 2π down to 0 over a turn.
  double rotation() const { return rotation_; }

 private:
  void setRotation(double radians);
  void updateIconImage();

  QVImageView* icon_ = nullptr;
  QColor color_ = QColor(29, 181, 101);
  bool animating_ = false;
  double rotation_ = 0;
  QVAnimationDriver::AnimationId spin_ = 0;
};
