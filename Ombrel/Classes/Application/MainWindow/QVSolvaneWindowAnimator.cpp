#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindowAnimator.h"

#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindowShapes.h"
#include "QVAppKit/QVAnimationDriver.h"

QVSolvaneWindowAnimator::QVSolvaneWindowAnimator(QVSolvaneWindow* window) : window_(window) {}

QVSolvaneWindowAnimator::~QVSolvaneWindowAnimator() { stop(); }

CGRect QVSolvaneWindowAnimator::calculateWindowRect(CGRect initial, CGRect target, CGRect screenRect, uint64_t n,
                                                    uint64_t count) {
  return QVSolvaneWindowShapes::animatorFrame(initial.size, target.size, screenRect, n, count);
}

void QVSolvaneWindowAnimator::animateFrame(CGRect target, double duration, Progress progress,
                                           std::function<void()> completion) {
  stop();
  auto& driver = QVAnimationDriver::shared();
  duration_ = duration;
  target_ = target;
  progress_ = std::move(progress);
  completion_ = std::move(completion);
  initialFrame_ = window_ ? window_->frame() : CGRectZero;
  screenRect_ = window_ ? window_->screenFrame() : CGRectZero;
  frameRate_ = driver.frameInterval() > 0 ? 1.0 / driver.frameInterval() : 60;
  framesCount_ = QVSolvaneWindowShapes::animatorFrameCount(duration_, frameRate_);
  currentDisplayFrame_ = 0;
  std::weak_ptr<QVSolvaneWindowAnimator> weak = weak_from_this();
  animation_ = driver.add([weak](double) {
    auto self = weak.lock();
    return self && self->step();
  });
}

bool QVSolvaneWindowAnimator::step() {
  ++currentDisplayFrame_;
  if (currentDisplayFrame_ > framesCount_) {
    animation_ = 0;
    auto completion = std::move(completion_);
    completion_ = nullptr;
    progress_ = nullptr;
    if (completion) completion();
    return false;
  }
  const CGRect rect = calculateWindowRect(initialFrame_, target_, screenRect_, currentDisplayFrame_, framesCount_);
  if (window_) window_->setFrame(rect, false, false);
  if (progress_) progress_(duration_ * double(currentDisplayFrame_) / double(framesCount_), rect);
  return true;
}

void QVSolvaneWindowAnimator::stop() {
  if (animation_ == 0) return;
  const uint64_t id = animation_;
  animation_ = 0;
  completion_ = nullptr;
  progress_ = nullptr;
  QVAnimationDriver::shared().cancel(id);
}
