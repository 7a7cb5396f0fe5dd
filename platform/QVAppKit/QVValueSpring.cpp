#include "QVAppKit/QVValueSpring.h"

#include <cmath>

#include "QVAppKit/QVSpringAnimation.h"

std::shared_ptr<QVValueSpring> QVValueSpring::make(double from, double to, double speed, double bounciness) {
  return std::make_shared<QVValueSpring>(from, to, speed, bounciness);
}

QVValueSpring::QVValueSpring(double from, double to, double speed, double bounciness)
    : x_(from), to_(to), speed_(speed), bounciness_(bounciness) {}

QVValueSpring::~QVValueSpring() {
  if (id_) QVAnimationDriver::shared().cancel(id_);
}

void QVValueSpring::start() {
  if (id_ || ended_) return;
  std::weak_ptr<QVValueSpring> weak = weak_from_this();
  id_ = QVAnimationDriver::shared().add([weak](double elapsed) {
    auto self = weak.lock();
    return self && self->step(elapsed);
  });
}

bool QVValueSpring::step(double elapsed) {
  const auto dynamics = QVSpringDynamics::withBouncinessSpeed(bounciness_, speed_);
  const long target = static_cast<long>(std::floor(elapsed / kQVSpringStep + 1e-9));
  constexpr double kThreshold = 0.01;
  bool settled = false;
  while (steps_ < target && !settled) {
    QVSpringStep(dynamics, x_, v_, to_, kQVSpringStep);
    ++steps_;
    settled = std::fabs(x_ - to_) < kThreshold && std::fabs(v_) < kThreshold * 10;
  }
  if (settled) {
    x_ = to_;
    v_ = 0;
  }
  // Hold a reference: the observer or the completion may drop the last one.
  auto self = shared_from_this();
  if (observer_) observer_(x_);
  if (settled) {
    id_ = 0;
    end(true);
  }
  return !settled;
}

void QVValueSpring::stop() {
  if (id_) {
    const auto id = id_;
    id_ = 0;
    QVAnimationDriver::shared().cancel(id);
  }
  end(false);
}

void QVValueSpring::end(bool finished) {
  if (ended_) return;
  ended_ = true;
  if (auto completion = std::move(completion_)) completion(finished);
}
