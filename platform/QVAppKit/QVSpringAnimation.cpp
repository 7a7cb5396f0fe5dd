#include "QVAppKit/QVSpringAnimation.h"

#include <QObject>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <utility>

#include "QVAppKit/QVView.h"

namespace {

// What a view keeps for its springs: the springs by key, and the layer frame with fractions as
// last written (valid while the widget still has the rounded frame it was given with it).
class QVSpringStore : public QObject {
 public:
  explicit QVSpringStore(QObject* parent) : QObject(parent) { setObjectName(QStringLiteral("QVSpringStore")); }
  ~QVSpringStore() override {
    // The view is going away: its springs stop without reporting, since their completions would
    // reach a half-destroyed view.
    auto entries = std::move(entries_);
    for (auto& [key, animation] : entries) animation->detachSilently();
  }

  std::vector<std::pair<std::string, std::shared_ptr<QVSpringAnimation>>> entries_;
  std::optional<CGRect> model_;
  CGRect written_ = CGRectZero;
};

QVSpringStore* storeOf(const QVView* view, bool create) {
  if (!view) return nullptr;
  for (QObject* child : view->children()) {
    if (auto* store = dynamic_cast<QVSpringStore*>(child)) return store;
  }
  if (!create) return nullptr;
  return new QVSpringStore(const_cast<QVView*>(view));
}

std::shared_ptr<QVSpringAnimation> takeEntry(QVSpringStore* store, const std::string& key) {
  if (!store) return nullptr;
  auto& entries = store->entries_;
  auto it = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.first == key; });
  if (it == entries.end()) return nullptr;
  auto animation = std::move(it->second);
  entries.erase(it);
  return animation;
}

void removeEntry(QVSpringStore* store, const QVSpringAnimation* animation) {
  if (!store) return;
  auto& entries = store->entries_;
  entries.erase(
      std::remove_if(entries.begin(), entries.end(), [&](const auto& e) { return e.second.get() == animation; }),
      entries.end());
}

CGRect roundedFrame(CGRect f) {
  return CGRectMake(std::round(f.origin.x), std::round(f.origin.y), std::round(f.size.width),
                    std::round(f.size.height));
}

void setLayerFrame(QVView* view, CGRect frame) {
  QVSpringStore* store = storeOf(view, true);
  store->model_ = frame;
  store->written_ = roundedFrame(frame);
  view->setFrame(store->written_);
}

thread_local int applyingDepth = 0;

// Writes a spring's value with isApplyingSpring() set.
void applySpringValue(QVView* view, QVSpringProperty property, const QVSpringValue& value) {
  ++applyingDepth;
  struct Restore {
    ~Restore() { --applyingDepth; }
  } restore;
  QVSpringLayer::setValue(view, property, value);
}

}  // namespace

// ---- Dynamics ----

QVSpringDynamics QVSpringDynamics::withBouncinessSpeed(double bounciness, double speed) {
  const double ratio = std::clamp(1.0 - 0.04 * std::max(0.0, bounciness), 0.1, 1.0);
  const double omega = 10.0 + 1.5 * std::max(0.0, speed);
  QVSpringDynamics d;
  d.mass = 1;
  d.tension = omega * omega * d.mass;
  d.friction = 2 * ratio * omega * d.mass;
  return d;
}

double QVSpringDynamics::angularFrequency() const { return mass > 0 ? std::sqrt(tension / mass) : 0; }

double QVSpringDynamics::dampingRatio() const {
  const double critical = 2 * std::sqrt(tension * mass);
  return critical > 0 ? friction / critical : 0;
}

// ---- Layer values ----

namespace QVSpringLayer {

bool isApplyingSpring() { return applyingDepth > 0; }

CGRect frame(const QVView* view) {
  if (!view) return CGRectZero;
  const CGRect f = view->frame();
  if (QVSpringStore* store = storeOf(view, false); store && store->model_ && f == store->written_) {
    return *store->model_;
  }
  return f;
}

CGSize size(const QVView* view) { return frame(view).size; }

CGPoint position(const QVView* view) {
  if (!view) return CGPointZero;
  const CGRect f = frame(view);
  const CGPoint a = view->anchorPoint();
  return CGPointMake(f.origin.x + a.x * f.size.width, f.origin.y + a.y * f.size.height);
}

QVSpringValue value(const QVView* view, QVSpringProperty property) {
  if (!view) return {};
  switch (property) {
    case QVSpringProperty::Alpha:
      return {view->alpha()};
    case QVSpringProperty::ScaleXY:
      return {view->scale().width, view->scale().height};
    case QVSpringProperty::Size: {
      const CGSize s = size(view);
      return {s.width, s.height};
    }
    case QVSpringProperty::Position: {
      const CGPoint p = position(view);
      return {p.x, p.y};
    }
    case QVSpringProperty::CornerRadius:
      return {view->cornerRadius()};
  }
  return {};
}

void setValue(QVView* view, QVSpringProperty property, const QVSpringValue& v) {
  if (!view) return;
  const auto at = [&](size_t i) { return i < v.size() ? v[i] : 0.0; };
  switch (property) {
    case QVSpringProperty::Alpha:
      view->setAlpha(std::clamp(at(0), 0.0, 1.0));
      return;
    case QVSpringProperty::ScaleXY:
      view->setScale(CGSizeMake(at(0), at(1)));
      return;
    case QVSpringProperty::Size: {
      // The anchor point stays where it is: the view grows and shrinks about it.
      const CGPoint p = position(view);
      const CGPoint a = view->anchorPoint();
      const double w = std::max(0.0, at(0)), h = std::max(0.0, at(1));
      setLayerFrame(view, CGRectMake(p.x - a.x * w, p.y - a.y * h, w, h));
      return;
    }
    case QVSpringProperty::Position: {
      const CGRect f = frame(view);
      const CGPoint a = view->anchorPoint();
      setLayerFrame(view,
                    CGRectMake(at(0) - a.x * f.size.width, at(1) - a.y * f.size.height, f.size.width, f.size.height));
      return;
    }
    case QVSpringProperty::CornerRadius:
      view->setCornerRadius(std::max(0.0, at(0)));
      return;
  }
}

double threshold(QVSpringProperty property) {
  switch (property) {
    case QVSpringProperty::Alpha:
    case QVSpringProperty::ScaleXY:
      return 0.001;
    default:
      return 0.01;
  }
}

}  // namespace QVSpringLayer

// ---- The spring ----

std::shared_ptr<QVSpringAnimation> QVSpringAnimation::animationWithProperty(QVSpringProperty property) {
  return std::make_shared<QVSpringAnimation>(property);
}

QVSpringAnimation::~QVSpringAnimation() {
  if (driverId_ != 0) {
    const auto id = std::exchange(driverId_, 0);
    QVAnimationDriver::shared().cancel(id);
  }
}

void QVSpringAnimation::detachSilently() {
  view_ = nullptr;
  ended_ = true;
  completion_ = nullptr;
  if (driverId_ != 0) QVAnimationDriver::shared().cancel(std::exchange(driverId_, 0));
}

void QVSpringAnimation::start(QVView* view) {
  view_ = view;
  dynamics_ = QVSpringDynamics::withBouncinessSpeed(bounciness_, speed_);
  x_ = from_ ? *from_ : QVSpringLayer::value(view, property_);
  x_.resize(to_.size(), 0.0);
  v_ = initialVelocity_ && initialVelocity_->size() == to_.size() ? *initialVelocity_ : QVSpringValue(to_.size(), 0.0);
  steps_ = 0;
  ended_ = false;
  if (from_) applySpringValue(view, property_, x_);
  std::weak_ptr<QVSpringAnimation> weak = weak_from_this();
  driverId_ = QVAnimationDriver::shared().add(
      [weak](double elapsed) {
        auto self = weak.lock();
        return self && self->step(elapsed);
      },
      [weak](bool finished) {
        auto self = weak.lock();
        if (!self || self->ended_) return;
        self->driverId_ = 0;
        self->stop(finished);
      });
}

void QVSpringStep(const QVSpringDynamics& dynamics, double& x, double& v, double target, double dt) {
  // a = (-k (x - target) - c v) / m
  const double k = dynamics.tension, c = dynamics.friction, m = dynamics.mass > 0 ? dynamics.mass : 1;
  const auto accel = [&](double px, double pv) { return (-k * (px - target) - c * pv) / m; };
  const double x0 = x, v0 = v;
  const double k1x = v0, k1v = accel(x0, v0);
  const double k2x = v0 + 0.5 * dt * k1v, k2v = accel(x0 + 0.5 * dt * k1x, k2x);
  const double k3x = v0 + 0.5 * dt * k2v, k3v = accel(x0 + 0.5 * dt * k2x, k3x);
  const double k4x = v0 + dt * k3v, k4v = accel(x0 + dt * k3x, k4x);
  x = x0 + dt / 6.0 * (k1x + 2 * k2x + 2 * k3x + k4x);
  v = v0 + dt / 6.0 * (k1v + 2 * k2v + 2 * k3v + k4v);
}

void QVSpringAnimation::integrate(double dt) {
  for (size_t i = 0; i < x_.size(); ++i) QVSpringStep(dynamics_, x_[i], v_[i], to_[i], dt);
}

bool QVSpringAnimation::step(double elapsed) {
  if (!view_) return false;
  const long target = static_cast<long>(std::floor(elapsed / kQVSpringStep + 1e-9));
  const double th = QVSpringLayer::threshold(property_);
  bool settled = false;
  while (steps_ < target && !settled) {
    integrate(kQVSpringStep);
    ++steps_;
    settled = true;
    for (size_t i = 0; i < x_.size(); ++i) {
      if (std::fabs(x_[i] - to_[i]) >= th || std::fabs(v_[i]) >= th * 10) settled = false;
    }
  }
  if (settled) {
    x_ = to_;
    std::fill(v_.begin(), v_.end(), 0.0);
  }
  applySpringValue(view_, property_, x_);
  if (observer_) observer_(x_);
  return !settled;
}

void QVSpringAnimation::stop(bool finished) {
  if (ended_) return;
  ended_ = true;
  auto self = shared_from_this();  // the store may hold the last reference
  if (driverId_ != 0) {
    const auto id = std::exchange(driverId_, 0);
    QVAnimationDriver::shared().cancel(id);  // its completion sees ended_ and returns
  }
  removeEntry(storeOf(view_, false), this);
  view_ = nullptr;
  if (auto completion = std::move(completion_)) completion(finished);
}

// ---- Springs by key ----

void QVSpringAnimations::add(QVView* view, std::shared_ptr<QVSpringAnimation> animation, const std::string& key) {
  if (!view || !animation) return;
  QVSpringStore* store = storeOf(view, true);
  // A completion of the replaced spring may itself add under the key: replace until it is free.
  while (auto previous = takeEntry(store, key)) {
    if (!animation->velocity() && previous->property() == animation->property() &&
        previous->currentVelocity().size() == animation->toValue().size()) {
      animation->setVelocity(previous->currentVelocity());
    }
    previous->stop(false);
  }
  store->entries_.emplace_back(key, animation);
  animation->start(view);
}

void QVSpringAnimations::remove(QVView* view, const std::string& key) {
  if (auto animation = takeEntry(storeOf(view, false), key)) animation->stop(false);
}

std::shared_ptr<QVSpringAnimation> QVSpringAnimations::animationForKey(const QVView* view, const std::string& key) {
  QVSpringStore* store = storeOf(view, false);
  if (!store) return nullptr;
  for (auto& [k, a] : store->entries_) {
    if (k == key) return a;
  }
  return nullptr;
}

std::vector<std::string> QVSpringAnimations::keys(const QVView* view) {
  std::vector<std::string> out;
  if (QVSpringStore* store = storeOf(view, false)) {
    for (auto& [k, a] : store->entries_) out.push_back(k);
  }
  return out;
}

void QVSpringAnimations::removeAll(QVView* view) {
  for (const std::string& key : keys(view)) remove(view, key);
}
