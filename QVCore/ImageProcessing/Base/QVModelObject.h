#pragma once
// The root of the model objects that report changes up the parent chain (parameters, effects,
// layers, masks), and the change info that travels with those reports.
//
// Model objects are always owned by a std::shared_ptr (they are made through their static
// factories), so a child can hand itself to its parent and a queued block can hold it weakly.
// A parent tells what kind of child reports with dynamic_pointer_cast; children are compared by
// identity.
//
// Notifications: a model object posts with itself as the object, and its identity as the sender
// is its QVModelObject address (`notificationSender()`). Observers filter with the same address:
// `static_cast<const QVModelObject*>(object.get())`.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "QVPlatform/Value.h"

// The kind of a change ("kQVParameterStateInfoType", "QVLayerDidChangeSublayersNotification", ...).
inline constexpr const char* kQVChangeTypeStateInfoKey = "kQVChangeTypeStateInfoKey";

class QVModelObject : public std::enable_shared_from_this<QVModelObject> {
 public:
  virtual ~QVModelObject() = default;

  // The identity under which this object posts and is observed.
  const void* notificationSender() const { return static_cast<const QVModelObject*>(this); }
  // This object as a shared pointer; empty while it is not (or no longer) owned by one.
  std::shared_ptr<QVModelObject> sharedSelf() { return weak_from_this().lock(); }
  template <class T>
  std::shared_ptr<T> sharedAs() {
    return std::dynamic_pointer_cast<T>(sharedSelf());
  }
  template <class T>
  std::weak_ptr<T> weakAs() {
    return sharedAs<T>();
  }

  // Posts on the default notification centre, at once when called on the main thread and
  // otherwise on the main queue (keeping this object alive until then). `userObjects` are the
  // user-info entries that are objects.
  void postOnMainThread(const std::string& name, qv::Dictionary userInfo = {},
                        std::map<std::string, std::shared_ptr<void>> userObjects = {});
};

// The dictionary that goes up the parent chain with every change: plain values, and the model
// objects a change names (a removed layer, the layers of a batch), each under its key.
struct QVChangeInfo {
  qv::Dictionary values;
  std::map<std::string, std::vector<std::shared_ptr<QVModelObject>>> objects;

  // The value under the key, or a null value.
  const qv::Value& operator[](const std::string& key) const {
    auto it = values.find(key);
    return it == values.end() ? qv::nullValue() : it->second;
  }
  bool contains(const std::string& key) const { return values.count(key) != 0 || objects.count(key) != 0; }
  void set(const std::string& key, qv::Value value) { values[key] = std::move(value); }
  void setObject(const std::string& key, std::shared_ptr<QVModelObject> object) { objects[key] = {std::move(object)}; }
  void setObjects(const std::string& key, std::vector<std::shared_ptr<QVModelObject>> list) {
    objects[key] = std::move(list);
  }
  // The (first) object under the key, or nullptr.
  std::shared_ptr<QVModelObject> object(const std::string& key) const {
    auto it = objects.find(key);
    return it == objects.end() || it->second.empty() ? nullptr : it->second.front();
  }
  // The kind of change ("kQVChangeTypeStateInfoKey"), empty when none is set.
  std::string changeType() const { return (*this)[kQVChangeTypeStateInfoKey].asString(); }
};
