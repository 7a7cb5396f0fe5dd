#include "QVAppKit/QVAnimator.h"

void QVAnimator::animateWithDuration(double duration, Completion completion) {
  completion_ = completion;
  onBegin();
  const uint64_t run = ++run_;
  std::weak_ptr<QVAnimator> weak = weak_from_this();
  actualAnimateWithDuration(duration, [weak, run, completion = std::move(completion)](bool finished) {
    auto self = weak.lock();
    if (self) self->onFinish();
    if (completion) completion(finished);
    // A completion that started the animator again keeps the new run's completion.
    if (self && self->run_ == run) self->completion_ = nullptr;
  });
}

void QVAnimator::animateWithDefaultDurationAndCompletion(Completion completion) {
  animateWithDuration(defaultDuration(), std::move(completion));
}

void QVAnimator::cancel() {
  cancelled_ = true;
  completion_ = nullptr;
  actualCancel();
}

void QVAnimator::onBegin() {
  animating_ = true;
  cancelled_ = false;
}

void QVAnimator::onFinish() { animating_ = false; }
