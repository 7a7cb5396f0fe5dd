#include "QVCore/ImageProcessing/Processor/QVNotificationQueue.h"

#include <algorithm>

#include "QVPlatform/NotificationCenter.h"

std::shared_ptr<QVNotificationQueue> QVNotificationQueue::make(std::string notificationName,
                                                               std::weak_ptr<void> sender) {
  return std::make_shared<QVNotificationQueue>(std::move(notificationName), std::move(sender));
}

QVNotificationQueue::QVNotificationQueue(std::string notificationName, std::weak_ptr<void> sender)
    : notificationName_(std::move(notificationName)), sender_(std::move(sender)) {}

// A pending timer holds the queue, so by now no timer is pending.
QVNotificationQueue::~QVNotificationQueue() = default;

void QVNotificationQueue::runBlockInMainThread(qv::Block block) { qv::dispatchOnMainThread(std::move(block)); }

void QVNotificationQueue::queueNotificationWithInfo(Info info, bool nonReplaceable) {
  if (!allowsSendingNotifications()) return;
  runBlockInMainThread([weak = weak_from_this(), info = std::move(info), nonReplaceable]() mutable {
    auto self = weak.lock();
    if (!self) return;
    if (self->_hasExceptionalKey(info)) {
      // Overtakes the waiting records, which stay waiting.
      self->_postInfo(info);
      return;
    }
    self->_initilizeTimerIfNeeded();
    self->_appendInfo(std::move(info), nonReplaceable);
  });
}

bool QVNotificationQueue::_hasExceptionalKey(const Info& info) const {
  if (!info) return false;
  return std::any_of(exceptionalInfoKeys_.begin(), exceptionalInfoKeys_.end(), [&](const std::string& key) {
    auto it = info->find(key);
    return it != info->end() && !it->second.isNull();
  });
}

void QVNotificationQueue::_appendInfo(Info info, bool nonReplaceable) {
  // Equality is that of the records themselves: a dictionary never equals "none". A
  // non-replaceable record carries its marker, so no later record equals it.
  infoQueueArray_.erase(std::remove(infoQueueArray_.begin(), infoQueueArray_.end(), info), infoQueueArray_.end());
  if (nonReplaceable) {
    if (!info) info.emplace();
    (*info)[kQVNonReplaceableNotificationKey] = qv::Value(true);
  }
  infoQueueArray_.push_back(std::move(info));
}

void QVNotificationQueue::_initilizeTimerIfNeeded() {
  if (deferTimer_ || suspended_) return;
  // The timer keeps the queue alive until it fires.
  deferTimer_ =
      qv::MainExecutor::shared().asyncAfter(deferInterval_, [self = shared_from_this()] { self->_deferTimerFired(); });
}

void QVNotificationQueue::_stopTimer() {
  if (!deferTimer_) return;
  qv::MainExecutor::shared().cancel(*deferTimer_);
  deferTimer_.reset();
}

void QVNotificationQueue::_deferTimerFired() {
  // Dropped before posting, so a record an observer queues meanwhile starts the next interval.
  deferTimer_.reset();
  postDefferedNotifications();
}

void QVNotificationQueue::postDefferedNotifications() {
  // The list is taken whole before walking it: records queued by observers during the posts wait
  // for the next interval instead of being lost.
  std::vector<Info> waiting;
  waiting.swap(infoQueueArray_);
  for (const Info& info : waiting) _postInfo(info);
}

void QVNotificationQueue::forcePostDefferedNotifications() {
  _stopTimer();
  postDefferedNotifications();
}

void QVNotificationQueue::_postInfo(const Info& info) {
  if (!allowsSendingNotifications()) return;
  forcePostNotificationWithInfo(info);
}

void QVNotificationQueue::forcePostNotificationWithInfo(const Info& info) {
  qv::NotificationCenter::defaultCenter().post(notificationName_, sender_.lock(), info.value_or(qv::Dictionary{}));
}

void QVNotificationQueue::setSuspended(bool suspended) {
  if (suspended == suspended_) return;
  suspended_ = suspended;
  if (suspended) {
    _stopTimer();
  } else {
    _initilizeTimerIfNeeded();
  }
}
