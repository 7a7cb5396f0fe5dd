#pragma once
// A damped spring that moves one animatable property of a QVView from a value to a target.
//
// The spring: mass m, tension k, friction c; bounciness and speed are converted to them
// (QVSpringDynamics). It is integrated with fourth-order Runge-Kutta in fixed steps of
// kQVSpringStep seconds on the animation driver's clock: the value shown at a time t is the
// state after floor(t / step) steps, whatever the display's frame rate, so tests on the manual
// clock see the same values at 60 or 144 Hz. A spring ends when it is within the property's
// threshold of the target and nearly at rest; the target is then written exactly.
//
// Springs are attached to a view under string keys (QVSpringAnimations::add). A spring added under
// a key in use takes over from the running one: that one's completion runs with false, and the new
// spring starts with its velocity when it springs the same property and has no velocity of its own.
// Each completion runs exactly once: true when the spring settled, false when it was replaced,
// removed, or its view went away.
//
// The view's "layer" values: position is the anchor point's place in the superview (frame origin +
// anchor × size); size springs keep that place fixed, so a view grows about its anchor. The layer
// keeps its geometry in fractions while springs move it; the widget's frame is rounded to whole
// points.
//
// Main thread only.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QVAppKit/QVAnimationDriver.h"
#include "QVBase/Geometry.h"

class QVView;

enum class QVSpringProperty { Alpha, ScaleXY, Size, Position, CornerRadius };

// Values of a property: one number (alpha, corner radius) or two (scale x and y, width and height,
// position x and y).
using QVSpringValue = std::vector<double>;

inline constexpr double kQVSpringStep = 1.0 / 480.0;

struct QVSpringDynamics {
  double tension = 0;
  double friction = 0;
  double mass = 1;

  // bounciness 0 is critically damped (no overshoot from rest); each step of bounciness lowers the
  // damping ratio by 0.04 down to 0.1 (bounciness 10: ratio 0.6, about 10 % overshoot). Speed sets
  // the natural frequency: 10 + 1.5 × speed radians per second (speed 10: a spring of about half a
  // second).
  static QVSpringDynamics withBouncinessSpeed(double bounciness, double speed);
  double dampingRatio() const;
  double angularFrequency() const;
};

// One fixed step of a spring component: moves x (and its velocity v) towards target by dt seconds
// (fourth-order Runge-Kutta).
void QVSpringStep(const QVSpringDynamics& dynamics, double& x, double& v, double target, double dt);

// The layer values of a view as springs see them.
namespace QVSpringLayer {
QVSpringValue value(const QVView* view, QVSpringProperty property);
void setValue(QVView* view, QVSpringProperty property, const QVSpringValue& value);
// Settling threshold of a property's values.
double threshold(QVSpringProperty property);
CGSize size(const QVView* view);
CGPoint position(const QVView* view);
// The frame with the fractions the springs keep.
CGRect frame(const QVView* view);
// True while a spring writes a value: views that mirror their frame into state (the sizes their
// own springs start from) skip the frames their springs pass through.
bool isApplyingSpring();
}  // namespace QVSpringLayer

class QVSpringAnimation : public std::enable_shared_from_this<QVSpringAnimation> {
 public:
  using Completion = std::function<void(bool finished)>;
  // Told each value the spring writes (after the view has it).
  using Observer = std::function<void(const QVSpringValue& value)>;

  static std::shared_ptr<QVSpringAnimation> animationWithProperty(QVSpringProperty property);
  explicit QVSpringAnimation(QVSpringProperty property) : property_(property) {}
  ~QVSpringAnimation();

  QVSpringProperty property() const { return property_; }
  // None: the spring starts from the property's value when it is added.
  const std::optional<QVSpringValue>& fromValue() const { return from_; }
  void setFromValue(std::optional<QVSpringValue> value) { from_ = std::move(value); }
  const QVSpringValue& toValue() const { return to_; }
  void setToValue(QVSpringValue value) { to_ = std::move(value); }
  double springBounciness() const { return bounciness_; }
  void setSpringBounciness(double bounciness) { bounciness_ = bounciness; }
  double springSpeed() const { return speed_; }
  void setSpringSpeed(double speed) { speed_ = speed; }
  // Initial velocity in units per second; none: at rest, or the replaced spring's.
  const std::optional<QVSpringValue>& velocity() const { return initialVelocity_; }
  void setVelocity(std::optional<QVSpringValue> velocity) { initialVelocity_ = std::move(velocity); }
  void setCompletionBlock(Completion completion) { completion_ = std::move(completion); }
  void setObserver(Observer observer) { observer_ = std::move(observer); }

  bool isRunning() const { return driverId_ != 0; }
  // Stops the spring without reporting (its view is going away).
  void detachSilently();
  // The spring's current state (its start values until it runs).
  const QVSpringValue& currentValue() const { return x_; }
  const QVSpringValue& currentVelocity() const { return v_; }

 private:
  friend class QVSpringAnimations;
  void start(QVView* view);
  // Ends the spring: stops it on the driver and runs the completion with finished.
  void stop(bool finished);
  bool step(double elapsed);
  void integrate(double dt);

  QVSpringProperty property_;
  std::optional<QVSpringValue> from_;
  QVSpringValue to_;
  double bounciness_ = 4;
  double speed_ = 12;
  std::optional<QVSpringValue> initialVelocity_;
  Completion completion_;
  Observer observer_;

  QVView* view_ = nullptr;
  QVSpringDynamics dynamics_;
  QVSpringValue x_, v_;
  long steps_ = 0;
  QVAnimationDriver::AnimationId driverId_ = 0;
  bool ended_ = false;
};

// The springs attached to views, by key.
class QVSpringAnimations {
 public:
  // Attaches the spring under the key, replacing a running one (see above), and starts it.
  static void add(QVView* view, std::shared_ptr<QVSpringAnimation> animation, const std::string& key);
  // Removes and stops the spring under the key; its completion runs with false.
  static void remove(QVView* view, const std::string& key);
  static std::shared_ptr<QVSpringAnimation> animationForKey(const QVView* view, const std::string& key);
  // Keys of the running springs, in the order they were added.
  static std::vector<std::string> keys(const QVView* view);
  // Removes every spring of the view.
  static void removeAll(QVView* view);
};
