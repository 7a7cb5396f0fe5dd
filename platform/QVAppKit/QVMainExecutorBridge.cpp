#include "QVAppKit/QVMainExecutorBridge.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <cmath>

#include "QVPlatform/MainExecutor.h"

namespace {

class Bridge final : public qv::MainExecutor::Driver {
 public:
  Bridge() {
    context_ = new QObject();
    timer_ = new QTimer(context_);
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_, &QTimer::timeout, context_, [this] { pump(); });
  }
  ~Bridge() override { delete context_; }

  // Any thread: one queued call at a time is enough, a pass runs everything that is ready.
  void wake() override {
    if (scheduled_.exchange(true)) return;
    QMetaObject::invokeMethod(
        context_, [this] { pump(); }, Qt::QueuedConnection);
  }

 private:
  void pump() {
    scheduled_ = false;
    const auto next = qv::MainExecutor::shared().runPending();
    if (!next) {
      timer_->stop();
      return;
    }
    timer_->start(std::max(0, int(std::ceil(*next * 1000.0))));
  }

  QObject* context_;
  QTimer* timer_;
  std::atomic<bool> scheduled_{false};
};

Bridge* installed = nullptr;

}  // namespace

void QVMainExecutorBridge::install() {
  if (installed || !QCoreApplication::instance()) return;
  installed = new Bridge();
  qv::MainExecutor::shared().setDriver(installed);
}

void QVMainExecutorBridge::uninstall() {
  if (!installed) return;
  qv::MainExecutor::shared().setDriver(nullptr);
  delete installed;
  installed = nullptr;
}

bool QVMainExecutorBridge::isInstalled() { return installed != nullptr; }
