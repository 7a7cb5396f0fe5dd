#pragma once
// The curtain: when a processed photo is first shown, the split line slides in from beyond the
// right edge (beyond the left one right to left) on a spring (speed 5, bounciness 8) and comes to
// rest a third of the way in plus the line width; the labels and the revealed result follow it.
//
// `hideCurtainAndDisableConstraints` takes the line away from layout and puts line, labels and
// result beyond the edge; the animation then moves them in. Its end (or a cancel) gives the line
// back to layout at the rest offset. The animator only holds its controller weakly in spirit: the
// controller owns the animator, and the spring stops when the animator goes.
//
// Main thread only.
#include <memory>

#include "Ombrel/Classes/Application/Common/QVSImageViewController.h"
#include "QVAppKit/QVAnimator.h"
#include "QVAppKit/QVValueSpring.h"

class QVExportSingleImageAnimator : public QVAnimator {
 public:
  static constexpr double kSpringSpeed = 5;
  static constexpr double kSpringBounciness = 8;

  explicit QVExportSingleImageAnimator(QVSImageViewController* vc) : vc_(vc) {}
  static std::shared_ptr<QVExportSingleImageAnimator> make(QVSImageViewController* vc) {
    return std::make_shared<QVExportSingleImageAnimator>(vc);
  }
  ~QVExportSingleImageAnimator() override;

  double defaultDuration() const override { return 0.75; }
  QVSImageViewController* vc() const { return vc_; }
  void hideCurtainAndDisableConstraints();
  // Whether the spring is moving the line.
  bool observesCurtainPosition() const { return spring_ && spring_->isRunning(); }
  // The width beyond which the curtain waits (the screen's width; the widest window).
  static double offscreenDistance();

 protected:
  void actualAnimateWithDuration(double duration, Completion end) override;
  void actualCancel() override { stopAnimationAndRestoreState(); }

 private:
  void followCurtain(double centre);
  void stopAnimationAndRestoreState();

  QVSImageViewController* vc_;
  std::shared_ptr<QVValueSpring> spring_;
};
