#pragma once
// Turns a burst of state-change reports into a few deferred posts of one named notification.
//
// A producer queues records (user-info dictionaries, or none). A record equal to one already
// waiting removes the waiting one and goes to the end, so each distinct record posts once, in the
// order of its latest queuing. All waiting records are posted together, in order, on the main
// thread, `deferInterval` (0.03 s) after the first of the burst arrived; later records of the
// burst do not push the post back. Records queued as non-replaceable carry
// kQVNonReplaceableNotificationKey = YES and are never replaced, so each of them posts.
//
// Threads: queueNotificationWithInfo may be called on any thread (it reads the sending switch
// there and does the rest on the main thread); everything else is for the main thread, except
// forcePostNotificationWithInfo, which posts on the caller's thread. The timer runs on the main
// executor's clock, so tests drive it with the manual clock.
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/Value.h"

inline constexpr const char* kQVNonReplaceableNotificationKey = "kQVNonReplaceableNotificationKey";

class QVNotificationQueue : public std::enable_shared_from_this<QVNotificationQueue> {
 public:
  // A record: a user-info dictionary, or none (nullopt). An empty dictionary is a record of its
  // own, different from none, although both post with empty user info.
  using Info = std::optional<qv::Dictionary>;

  // Sending off, not suspended, no exceptional keys, no records, no timer; deferInterval 0.03.
  static std::shared_ptr<QVNotificationQueue> make(std::string notificationName, std::weak_ptr<void> sender);
  QVNotificationQueue(std::string notificationName, std::weak_ptr<void> sender);
  ~QVNotificationQueue();
  QVNotificationQueue(const QVNotificationQueue&) = delete;
  QVNotificationQueue& operator=(const QVNotificationQueue&) = delete;

  void queueNotificationWithInfo(Info info, bool nonReplaceable = false);
  // Posts every waiting record now (on the main thread), empties the list and drops the timer;
  // suspension stays as it is.
  void forcePostDefferedNotifications();
  // Posts one record at once on the calling thread, past the list and the sending switch.
  void forcePostNotificationWithInfo(const Info& info);

  // NO drops new records at queuing time and waiting records at posting time.
  bool allowsSendingNotifications() const { return allowsSending_.load(std::memory_order_relaxed); }
  void setAllowsSendingNotifications(bool v) { allowsSending_.store(v, std::memory_order_relaxed); }
  // While suspended no timer runs and records collect; resuming starts the timer at once, even
  // with nothing waiting.
  bool suspended() const { return suspended_; }
  void setSuspended(bool suspended);

  const std::string& notificationName() const { return notificationName_; }
  void setNotificationName(std::string name) { notificationName_ = std::move(name); }
  std::shared_ptr<void> sender() const { return sender_.lock(); }
  void setSender(std::weak_ptr<void> sender) { sender_ = std::move(sender); }
  double deferInterval() const { return deferInterval_; }
  void setDeferInterval(double seconds) { deferInterval_ = seconds; }
  // A record holding a non-null value under any of these keys is posted at once when queued.
  const std::vector<std::string>& exceptionalInfoKeys() const { return exceptionalInfoKeys_; }
  void setExceptionalInfoKeys(std::vector<std::string> keys) { exceptionalInfoKeys_ = std::move(keys); }
  // The waiting records, oldest first (main thread).
  const std::vector<Info>& infoQueueArray() const { return infoQueueArray_; }
  bool hasPendingTimer() const { return deferTimer_.has_value(); }

 private:
  void _initilizeTimerIfNeeded();
  void _stopTimer();
  void _appendInfo(Info info, bool nonReplaceable);
  bool _hasExceptionalKey(const Info& info) const;
  void _deferTimerFired();
  void postDefferedNotifications();
  void _postInfo(const Info& info);
  static void runBlockInMainThread(qv::Block block);

  std::atomic<bool> allowsSending_{false};
  bool suspended_ = false;
  std::string notificationName_;
  std::weak_ptr<void> sender_;
  double deferInterval_ = 0.03;
  std::vector<std::string> exceptionalInfoKeys_;
  std::vector<Info> infoQueueArray_;
  std::optional<qv::MainExecutor::TimerId> deferTimer_;
};
