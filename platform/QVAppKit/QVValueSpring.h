#pragma once
// A spring that moves one plain number (not a view's property) to a target: the same dynamics and
// fixed-step integration as the view springs (QVSpringAnimation.h), on the animation driver's
// clock, so a test on the manual clock sees the same values at any frame rate. Each value is handed
// to the observer; the spring ends within 0.01 of the target, nearly at rest, and then hands over
// the exact target. The completion runs once: true when it settled, false when stopped.
//
// Main thread only.
#include <functional>
#include <memory>

#include "QVAppKit/QVAnimationDriver.h"

class QVValueSpring : public std::enable_shared_from_this<QVValueSpring> {
 public:
  using Observer = std::function<void(double value)>;
  using Completion = std::function<void(bool finished)>;

  static std::shared_ptr<QVValueSpring> make(double from, double to, double speed, double bounciness);
  QVValueSpring(double from, double to, double speed, double bounciness);
  ~QVValueSpring();

  void setObserver(Observer observer) { observer_ = std::move(observer); }
  void setCompletion(Completion completion) { completion_ = std::move(completion); }
  void start();
  // Stops where it is; the completion gets false.
  void stop();
  bool isRunning() const { return id_ != 0; }
  double value() const { return x_; }
  double target() const { return to_; }

 private:
  bool step(double elapsed);
  void end(bool finished);

  double x_, v_ = 0, to_;
  double speed_, bounciness_;
  long steps_ = 0;
  Observer observer_;
  Completion completion_;
  QVAnimationDriver::AnimationId id_ = 0;
  bool ended_ = false;
};
