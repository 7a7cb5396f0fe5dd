#pragma once
// The one animation driver of the process. Every animation of the toolkit (fades, the standard
// layer animation, later springs and progress timers) is a step function called on each tick with
// the driver's clock, on the main thread. While animations run, a timer ticks with the display's
// refresh; with none running it is stopped.
//
// Tests switch to the manual clock (`useManualClock()`, which starts at zero whatever the system
// clock says) and move time with `advance(seconds)`, which ticks in display-sized steps, so they
// never sleep. Springs integrate in fixed steps of
// their own over the elapsed time, so the values they reach do not depend on the tick rate.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QTimer;

// The standard duration of the toolkit's animations, in seconds.
inline constexpr double kQVStandardAnimationDuration = 0.3;

enum class QVTimingFunction { Linear, EaseIn, EaseOut, EaseInEaseOut };
// The curve applied to linear progress 0..1.
double QVApplyTimingFunction(QVTimingFunction function, double t);

// A timed animation as the layer animation additions describe it.
struct QVBasicAnimation {
  std::string keyPath;
  double duration = kQVStandardAnimationDuration;
  bool removedOnCompletion = true;
  bool fillsForwards = false;
  QVTimingFunction timing = QVTimingFunction::Linear;
};

class QVAnimationDriver {
 public:
  using AnimationId = uint64_t;
  // Called with the seconds since the animation started; returns false once it has finished.
  using Step = std::function<bool(double elapsed)>;
  // Called once: finished is false when the animation was cancelled.
  using Completion = std::function<void(bool finished)>;

  static QVAnimationDriver& shared();

  // Seconds on the driver's clock (the monotonic clock, or the manual one).
  double now() const;
  void useManualClock();
  void useSystemClock();
  bool usesManualClock() const { return manual_; }
  // Manual clock: moves time forward in ticks of at most one display frame, stepping animations.
  void advance(double seconds);
  // Seconds between ticks (the display's refresh; 1/60 when unknown).
  double frameInterval() const { return frameInterval_; }
  void setFrameInterval(double seconds);

  // Starts an animation at the next tick; its first step sees elapsed 0.
  AnimationId add(Step step, Completion completion = nullptr);
  // A timed animation: `apply` gets the curved progress 0..1; the last call gets exactly 1.
  AnimationId animate(double duration, QVTimingFunction timing, std::function<void(double progress)> apply,
                      Completion completion = nullptr);
  // Stops an animation without a final step; its completion gets false. False when unknown.
  bool cancel(AnimationId id);
  bool isRunning(AnimationId id) const { return animations_.count(id) != 0; }
  size_t runningCount() const { return animations_.size(); }
  // Cancels everything (between tests).
  void cancelAll();

  // One tick at the current time (the timer calls it; tests may too).
  void tick();

 private:
  QVAnimationDriver();
  void scheduleTimer();

  struct Running {
    Step step;
    Completion completion;
    double start = -1;
  };
  std::map<AnimationId, Running> animations_;
  AnimationId next_ = 1;
  bool manual_ = false;
  double manualNow_ = 0;
  double frameInterval_ = 1.0 / 60.0;
  QTimer* timer_ = nullptr;
};

// Runs the block with implicit animations off: property changes inside it take effect at once.
void QVRunNoAnimationBlock(const std::function<void()>& block);
// Whether implicit animations are allowed at this point (false inside QVRunNoAnimationBlock).
bool QVImplicitAnimationsEnabled();
