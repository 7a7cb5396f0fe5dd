#include "QVPlatform/NotificationCenter.h"

#include <algorithm>
#include <condition_variable>
#include <thread>

#include "QVPlatform/MainExecutor.h"

namespace qv {

namespace detail {

struct ObserverEntry {
  std::string name;
  const void* object = nullptr;
  NotificationBlock block;
  DeliveryQueue queue;
  std::weak_ptr<CenterState> center;

  std::mutex mutex;
  std::condition_variable idle;
  bool removed = false;
  std::vector<std::thread::id> running;  // threads inside the block now

  bool matches(const Notification& n) const {
    return (name.empty() || name == n.name) && (object == nullptr || object == n.sender);
  }

  void call(const Notification& n) {
    {
      std::lock_guard lock(mutex);
      if (removed) return;
      running.push_back(std::this_thread::get_id());
    }
    block(n);
    std::lock_guard lock(mutex);
    running.erase(std::find(running.begin(), running.end(), std::this_thread::get_id()));
    idle.notify_all();
  }

  // Marks the entry removed and waits for calls running on other threads.
  void remove() {
    std::unique_lock lock(mutex);
    removed = true;
    auto self = std::this_thread::get_id();
    idle.wait(lock, [&] {
      return std::all_of(running.begin(), running.end(), [&](std::thread::id t) { return t == self; });
    });
  }
};

struct CenterState {
  std::mutex mutex;
  std::vector<std::shared_ptr<ObserverEntry>> entries;
};

}  // namespace detail

DeliveryQueue mainQueue() {
  return [](std::function<void()> work) { MainExecutor::shared().async(std::move(work)); };
}

void ObserverToken::reset() {
  if (!entry_) return;
  auto entry = std::move(entry_);
  entry_.reset();
  if (auto state = entry->center.lock()) {
    std::lock_guard lock(state->mutex);
    auto& v = state->entries;
    v.erase(std::remove(v.begin(), v.end(), entry), v.end());
  }
  entry->remove();
}

bool ObserverToken::isActive() const { return entry_ != nullptr; }

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter* center = new NotificationCenter();  // never destroyed
  return *center;
}

NotificationCenter::NotificationCenter() : state_(std::make_shared<detail::CenterState>()) {}
NotificationCenter::~NotificationCenter() = default;

ObserverToken NotificationCenter::addObserver(const std::string& name, const void* object, NotificationBlock block,
                                              DeliveryQueue queue) {
  if (!block) return ObserverToken();
  auto entry = std::make_shared<detail::ObserverEntry>();
  entry->name = name;
  entry->object = object;
  entry->block = std::move(block);
  entry->queue = std::move(queue);
  entry->center = state_;
  std::lock_guard lock(state_->mutex);
  state_->entries.push_back(entry);
  return ObserverToken(entry);
}

void NotificationCenter::post(const Notification& notification) {
  std::vector<std::shared_ptr<detail::ObserverEntry>> targets;
  {
    std::lock_guard lock(state_->mutex);
    for (const auto& e : state_->entries)
      if (e->matches(notification)) targets.push_back(e);
  }
  for (const auto& e : targets) {
    if (e->queue) {
      auto copy = std::make_shared<Notification>(notification);
      e->queue([e, copy] { e->call(*copy); });
    } else {
      e->call(notification);
    }
  }
}

void NotificationCenter::post(const std::string& name, std::shared_ptr<void> object, Dictionary userInfo) {
  Notification n;
  n.name = name;
  n.sender = object.get();
  n.object = std::move(object);
  n.userInfo = std::move(userInfo);
  post(n);
}

void NotificationCenter::postWithSender(const std::string& name, const void* sender, Dictionary userInfo) {
  Notification n;
  n.name = name;
  n.sender = sender;
  n.userInfo = std::move(userInfo);
  post(n);
}

void mainThredPostNotificationName(const std::string& name, std::shared_ptr<void> object, Dictionary userInfo) {
  if (MainExecutor::shared().isMainThread()) {
    NotificationCenter::defaultCenter().post(name, std::move(object), std::move(userInfo));
    return;
  }
  MainExecutor::shared().async([name, object = std::move(object), info = std::move(userInfo)]() mutable {
    NotificationCenter::defaultCenter().post(name, std::move(object), std::move(info));
  });
}

void mainThredPostNotificationNameWithSender(const std::string& name, const void* sender, Dictionary userInfo) {
  if (MainExecutor::shared().isMainThread()) {
    NotificationCenter::defaultCenter().postWithSender(name, sender, std::move(userInfo));
    return;
  }
  MainExecutor::shared().async([name, sender, info = std::move(userInfo)]() mutable {
    NotificationCenter::defaultCenter().postWithSender(name, sender, std::move(info));
  });
}

}  // namespace qv
