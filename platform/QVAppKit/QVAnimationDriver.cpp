#include "QVAppKit/QVAnimationDriver.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

double QVApplyTimingFunction(QVTimingFunction function, double t) {
  t = std::clamp(t, 0.0, 1.0);
  switch (function) {
    case QVTimingFunction::Linear:
      return t;
    case QVTimingFunction::EaseIn:
      return t * t * t;
    case QVTimingFunction::EaseOut:
      return 1 - std::pow(1 - t, 3);
    case QVTimingFunction::EaseInEaseOut:
      return t < 0.5 ? 4 * t * t * t : 1 - std::pow(-2 * t + 2, 3) / 2;
  }
  return t;
}

QVAnimationDriver& QVAnimationDriver::shared() {
  static QVAnimationDriver* driver = new QVAnimationDriver();
  return *driver;
}

QVAnimationDriver::QVAnimationDriver() {
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    if (auto* screen = app->primaryScreen(); screen && screen->refreshRate() > 1) {
      frameInterval_ = 1.0 / screen->refreshRate();
    }
  }
}

double QVAnimationDriver::now() const {
  if (manual_) return manualNow_;
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void QVAnimationDriver::useManualClock() {
  if (manual_) return;
  const double current = now();
  manual_ = true;
  // The manual clock starts at zero, not at the system's (large, ever different) seconds: sums of
  // short advances then round the same way in every run. Running animations keep their elapsed time.
  manualNow_ = 0;
  for (auto& [id, a] : animations_) {
    if (a.start >= 0) a.start -= current;
  }
  if (timer_) timer_->stop();
}

void QVAnimationDriver::useSystemClock() {
  if (!manual_) return;
  const double manualNow = manualNow_;
  manual_ = false;
  // Running animations keep their elapsed time across the switch.
  const double shift = now() - manualNow;
  for (auto& [id, a] : animations_) {
    if (a.start >= 0) a.start += shift;
  }
  scheduleTimer();
}

void QVAnimationDriver::setFrameInterval(double seconds) {
  if (seconds > 0) frameInterval_ = seconds;
  if (timer_) timer_->setInterval(std::max(1, int(std::lround(frameInterval_ * 1000))));
}

void QVAnimationDriver::advance(double seconds) {
  if (!manual_) return;
  const double end = manualNow_ + std::max(0.0, seconds);
  tick();
  while (manualNow_ < end) {
    manualNow_ = std::min(end, manualNow_ + frameInterval_);
    tick();
  }
}

QVAnimationDriver::AnimationId QVAnimationDriver::add(Step step, Completion completion) {
  if (!step) return 0;
  const AnimationId id = next_++;
  animations_[id] = Running{std::move(step), std::move(completion), -1};
  scheduleTimer();
  return id;
}

QVAnimationDriver::AnimationId QVAnimationDriver::animate(double duration, QVTimingFunction timing,
                                                          std::function<void(double)> apply, Completion completion) {
  if (!apply) return 0;
  return add(
      [duration, timing, apply = std::move(apply)](double elapsed) {
        // A tick within a nanosecond of the end is the end: advances that add up to the duration
        // may round a hair below it.
        constexpr double kRounding = 1e-9;
        const double t = duration > 0 && elapsed < duration - kRounding ? elapsed / duration : 1.0;
        apply(t >= 1.0 ? 1.0 : QVApplyTimingFunction(timing, t));
        return t < 1.0;
      },
      std::move(completion));
}

bool QVAnimationDriver::cancel(AnimationId id) {
  auto it = animations_.find(id);
  if (it == animations_.end()) return false;
  Completion completion = std::move(it->second.completion);
  animations_.erase(it);
  if (completion) completion(false);
  return true;
}

void QVAnimationDriver::cancelAll() {
  std::vector<AnimationId> ids;
  for (auto& [id, a] : animations_) ids.push_back(id);
  for (auto id : ids) cancel(id);
}

void QVAnimationDriver::tick() {
  const double t = now();
  // Steps may add or cancel animations: walk a snapshot of the ids.
  std::vector<AnimationId> ids;
  ids.reserve(animations_.size());
  for (auto& [id, a] : animations_) ids.push_back(id);
  for (AnimationId id : ids) {
    auto it = animations_.find(id);
    if (it == animations_.end()) continue;
    if (it->second.start < 0) it->second.start = t;
    Step step = it->second.step;
    const bool more = step(t - it->second.start);
    if (more) continue;
    it = animations_.find(id);
    if (it == animations_.end()) continue;
    Completion completion = std::move(it->second.completion);
    animations_.erase(it);
    if (completion) completion(true);
  }
  if (animations_.empty() && timer_) timer_->stop();
}

void QVAnimationDriver::scheduleTimer() {
  if (manual_ || animations_.empty() || !QCoreApplication::instance()) return;
  if (!timer_) {
    timer_ = new QTimer();
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(std::max(1, int(std::lround(frameInterval_ * 1000))));
    QObject::connect(timer_, &QTimer::timeout, [this] { tick(); });
  }
  if (!timer_->isActive()) timer_->start();
}

namespace {
thread_local int noAnimationDepth = 0;
}

void QVRunNoAnimationBlock(const std::function<void()>& block) {
  if (!block) return;
  ++noAnimationDepth;
  struct Restore {
    ~Restore() { --noAnimationDepth; }
  } restore;
  block();
}

bool QVImplicitAnimationsEnabled() { return noAnimationDepth == 0; }
