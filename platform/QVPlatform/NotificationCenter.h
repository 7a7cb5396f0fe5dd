#pragma once
// Named notifications between loosely coupled parts.
//
// A notification has a name, an object (its sender) and user info. The object is a
// `std::shared_ptr<void>`: posting keeps the sender alive for as long as the notification is
// delivered (also while a main-thread post waits in the main queue). Observers filter by the
// sender's identity, its address: pass the same pointer you post with (a
// `std::shared_ptr<Derived>` and a `Derived*` give the same address; with multiple inheritance
// convert to the same class first). Senders that are not shared can post their address alone
// (`postWithSender`), in which case `object` is empty and only `sender` is set.
//
// Observers run on the posting thread, synchronously, in the order they were added, unless they
// were added with a delivery queue (an executor, e.g. `mainQueue()`), which then runs them
// asynchronously. An empty name or a null object in addObserver means "any".
//
// Removal: an ObserverToken removes its observer when it is destroyed or reset. Removal is safe
// during a post (the removed observer is not called any more) and, from another thread, waits
// until a running call of that observer has returned; an observer may remove itself. (So do not
// remove an observer on the main thread while its block, on another thread, waits for the main
// thread.)
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "QVPlatform/Value.h"

namespace qv {

struct Notification {
  std::string name;
  std::shared_ptr<void> object;  // the sender when it was posted as a shared object
  const void* sender = nullptr;  // the sender's identity (object.get() when object is set)
  Dictionary userInfo;
  // User-info entries that are objects rather than values (a changed parameter, a removed
  // layer), by key; post a hand-built Notification to carry them.
  std::map<std::string, std::shared_ptr<void>> userObjects;

  template <class T>
  std::shared_ptr<T> objectAs() const {
    return std::static_pointer_cast<T>(object);
  }
  // The user-info entry, or a null value.
  const Value& info(const std::string& key) const {
    auto it = userInfo.find(key);
    return it == userInfo.end() ? nullValue() : it->second;
  }
};

using NotificationBlock = std::function<void(const Notification&)>;
// Runs a block somewhere else (a queue); used to deliver a notification off the posting thread.
using DeliveryQueue = std::function<void(std::function<void()>)>;

// Delivers on the main thread (queued on the main queue).
DeliveryQueue mainQueue();

class NotificationCenter;
namespace detail {
struct ObserverEntry;
struct CenterState;
}  // namespace detail

// Owns one observer registration; move-only.
class ObserverToken {
 public:
  ObserverToken() = default;
  ObserverToken(ObserverToken&&) noexcept = default;
  ObserverToken& operator=(ObserverToken&& other) noexcept {
    if (this != &other) {
      reset();
      entry_ = std::move(other.entry_);
    }
    return *this;
  }
  ~ObserverToken() { reset(); }
  // Removes the observer now; nothing when already removed.
  void reset();
  bool isActive() const;

 private:
  friend class NotificationCenter;
  explicit ObserverToken(std::shared_ptr<detail::ObserverEntry> e) : entry_(std::move(e)) {}
  std::shared_ptr<detail::ObserverEntry> entry_;
};

class NotificationCenter {
 public:
  static NotificationCenter& defaultCenter();
  NotificationCenter();
  ~NotificationCenter();

  [[nodiscard]] ObserverToken addObserver(const std::string& name, const void* object, NotificationBlock block,
                                          DeliveryQueue queue = nullptr);
  void removeObserver(ObserverToken& token) { token.reset(); }

  void post(const std::string& name, std::shared_ptr<void> object = nullptr, Dictionary userInfo = {});
  void postWithSender(const std::string& name, const void* sender, Dictionary userInfo = {});
  void post(const Notification& notification);

 private:
  std::shared_ptr<detail::CenterState> state_;
};

// Posts on the default centre at once when called on the main thread, else queues the post on the
// main queue (the sender is kept alive until then).
void mainThredPostNotificationName(const std::string& name, std::shared_ptr<void> object, Dictionary userInfo = {});
void mainThredPostNotificationNameWithSender(const std::string& name, const void* sender, Dictionary userInfo = {});

}  // namespace qv

// Posted by the application (no object) when its main window closes and when it terminates;
// long-lived workers such as image processors cancel their queued work then.
inline constexpr const char* kQVApplicationWillTerminateNotification = "kQVApplicationWillTerminateNotification";
