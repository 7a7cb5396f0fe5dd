#pragma once
// Background runners: periodic or delayed work off the main thread, reported on a callback queue.
//
// Each runner has its own serial run queue, "com.slvn.<class name>", made on first use, and a
// callback queue (the main queue unless set). `QVBackgroundService` adds start and stop, run on the
// run queue; subclasses override `startService` / `stopService`.
#include <memory>
#include <mutex>
#include <string>

#include "QVPlatform/Dispatch.h"

class QVBackgroundRunner : public std::enable_shared_from_this<QVBackgroundRunner> {
 public:
  using QueuePtr = std::shared_ptr<qv::DispatchQueue>;

  QVBackgroundRunner();
  virtual ~QVBackgroundRunner();

  // The class name the run queue is named after.
  virtual std::string className() const { return "QVBackgroundRunner"; }
  std::string runQueueName() const { return "com.slvn." + className(); }
  QueuePtr runQueue();
  QueuePtr callbackQueue() const;
  void setCallbackQueue(QueuePtr queue);

  void runAsyncOnBackgroundQueue(qv::Block block) { runAsyncOnQueue(runQueue(), std::move(block)); }
  void runAsyncOnCallbackQueue(qv::Block block) { runAsyncOnQueue(callbackQueue(), std::move(block)); }
  // At once when called on the run queue, else as runAsyncOnBackgroundQueue (so steps that a
  // service takes on its own queue keep their order).
  void runOnBackgroundQueue(qv::Block block);
  // Nothing without a queue.
  static void runAsyncOnQueue(const QueuePtr& queue, qv::Block block);

 protected:
  // A block that runs `body` with this runner while it is alive (queued work holds it weakly).
  template <class Self, class Body>
  qv::Block weakBlock(Self* self, Body body) {
    std::weak_ptr<Self> weak = std::static_pointer_cast<Self>(self->shared_from_this());
    return [weak, body] {
      if (auto strong = weak.lock()) body(*strong);
    };
  }

 private:
  mutable std::mutex mutex_;
  QueuePtr runQueue_;
  QueuePtr callbackQueue_;
};

class QVBackgroundService : public QVBackgroundRunner {
 public:
  std::string className() const override { return "QVBackgroundService"; }
  // startService / stopService, asynchronously on the run queue.
  void start();
  void stop();
  // Called on the run queue; nothing here.
  virtual void startService() {}
  virtual void stopService() {}
};
