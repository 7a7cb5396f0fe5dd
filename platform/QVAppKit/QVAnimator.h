#pragma once
// An animator runs one animation of a set of views, can be cancelled, and reports its end once
// through a completion. Subclasses implement actualAnimateWithDuration (calling the end block they
// are handed with the finished flag) and actualCancel; a cancelled animator never calls its end
// block. Animators live in shared_ptrs: a running animation keeps its animator alive.
//
// Main thread only.
#include <cstdint>
#include <functional>
#include <memory>

class QVAnimator : public std::enable_shared_from_this<QVAnimator> {
 public:
  using Completion = std::function<void(bool finished)>;

  QVAnimator() = default;
  QVAnimator(const QVAnimator&) = delete;
  QVAnimator& operator=(const QVAnimator&) = delete;
  virtual ~QVAnimator() = default;

  void animateWithDuration(double duration, Completion completion);
  void animateWithDefaultDurationAndCompletion(Completion completion);
  virtual double defaultDuration() const { return 0.5; }
  // Stops the animation; the completion is not called.
  virtual void cancel();

  bool isAnimating() const { return animating_; }
  bool isCancelled() const { return cancelled_; }
  // The completion of the animation in progress, empty when none.
  const Completion& completion() const { return completion_; }

 protected:
  virtual void actualAnimateWithDuration(double duration, Completion end) {}
  virtual void actualCancel() {}
  virtual void onBegin();
  virtual void onFinish();

 private:
  bool animating_ = false;
  bool cancelled_ = false;
  Completion completion_;
  uint64_t run_ = 0;
};
