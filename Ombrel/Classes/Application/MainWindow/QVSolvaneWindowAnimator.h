#pragma once
// Moves a window's frame frame by frame towards a target, on the toolkit's animation driver: N =
// trunc(duration x rate) frames at the driver's rate; frame n sets the size initial + n x (target -
// initial) / N, centred on the window's screen, and tells the progress block the elapsed time
// (duration x n / N) and the rectangle; after frame N the completion runs once. Everything runs on
// the main thread.
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>

#include "QVBase/Geometry.h"

class QVSolvaneWindow;

class QVSolvaneWindowAnimator : public std::enable_shared_from_this<QVSolvaneWindowAnimator> {
 public:
  using Progress = std::function<void(double elapsed, CGRect frame)>;

  explicit QVSolvaneWindowAnimator(QVSolvaneWindow* window);
  ~QVSolvaneWindowAnimator();

  void animateFrame(CGRect target, double duration, Progress progress, std::function<void()> completion);
  // Stops without running the completion.
  void stop();

  QVSolvaneWindow* window() const { return window_; }
  double frameRate() const { return frameRate_; }
  double duration() const { return duration_; }
  uint64_t currentDisplayFrame() const { return currentDisplayFrame_; }
  uint64_t framesCount() const { return framesCount_; }
  CGRect initialFrame() const { return initialFrame_; }
  bool isRunning() const { return animation_ != 0; }

  // The rectangle of frame n of N on the screen (see QVSolvaneWindowShapes::animatorFrame).
  static CGRect calculateWindowRect(CGRect initial, CGRect target, CGRect screenRect, uint64_t n, uint64_t count);

 private:
  bool step();

  QPointer<QVSolvaneWindow> window_;
  double frameRate_ = 0;
  double duration_ = 0;
  uint64_t currentDisplayFrame_ = 0;
  uint64_t framesCount_ = 0;
  CGRect initialFrame_ = CGRectZero;
  CGRect target_ = CGRectZero;
  CGRect screenRect_ = CGRectZero;
  uint64_t animation_ = 0;
  Progress progress_;
  std::function<void()> completion_;
};
