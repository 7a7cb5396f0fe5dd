#pragma once
// A dictionary from text keys to values that many threads may read and write at once.
//
// Every call takes the dictionary's recursive lock, does its one step and lets go, so a block
// given to `enumerateKeysAndObjectsUsingBlock` may read the dictionary again on the same thread
// (it must not change it: the entries are being walked). Snapshots (`allKeys`, `allValues`) stay
// valid after the lock is released. Callers that need several steps as one (look up, then remove
// only when still the same value) hold `lock()` around them.
//
// No key: the empty text stands for it; reading under it answers the empty value without locking,
// writing under it does nothing. No value: `V{}` (nullptr, an empty block); storing it removes the
// key.
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

template <class V>
class QVSafeDictionary {
 public:
  using Key = std::string;
  using Entries = std::map<Key, V>;

  static std::shared_ptr<QVSafeDictionary> make() { return std::make_shared<QVSafeDictionary>(); }

  V objectForKeyedSubscript(const Key& key) const {
    if (key.empty()) return V{};
    std::lock_guard guard(*lock_);
    auto it = internalDic_.find(key);
    return it == internalDic_.end() ? V{} : it->second;
  }

  void setObject(V value, const Key& key) {
    if (key.empty()) return;
    std::lock_guard guard(*lock_);
    if (isNil(value))
      internalDic_.erase(key);
    else
      internalDic_[key] = std::move(value);
  }
  void removeObjectForKey(const Key& key) { setObject(V{}, key); }

  std::vector<Key> allKeys() const {
    std::lock_guard guard(*lock_);
    std::vector<Key> keys;
    keys.reserve(internalDic_.size());
    for (const auto& entry : internalDic_) keys.push_back(entry.first);
    return keys;
  }

  std::vector<V> allValues() const {
    std::lock_guard guard(*lock_);
    std::vector<V> values;
    values.reserve(internalDic_.size());
    for (const auto& entry : internalDic_) values.push_back(entry.second);
    return values;
  }

  // The keys whose value equals `value` (for values that compare with ==).
  std::vector<Key> allKeysForObject(const V& value) const {
    std::lock_guard guard(*lock_);
    std::vector<Key> keys;
    for (const auto& entry : internalDic_)
      if (entry.second == value) keys.push_back(entry.first);
    return keys;
  }

  // "{key = value; ...}" in key order, for logs. Taken under the lock: a walk without it could meet
  // a writer. Values that cannot be written to a stream show as "<value>".
  std::string description() const {
    std::lock_guard guard(*lock_);
    std::ostringstream out;
    out << "{";
    for (const auto& [key, value] : internalDic_) {
      out << key << " = ";
      if constexpr (requires(std::ostream& o, const V& v) { o << v; })
        out << value;
      else
        out << "<value>";
      out << "; ";
    }
    out << "}";
    return out.str();
  }

  size_t count() const {
    std::lock_guard guard(*lock_);
    return internalDic_.size();
  }

  // Holds the lock for the whole walk; setting `stop` ends it after the current entry.
  void enumerateKeysAndObjectsUsingBlock(const std::function<void(const Key&, const V&, bool& stop)>& block) const {
    if (!block) return;
    std::lock_guard guard(*lock_);
    bool stop = false;
    for (const auto& entry : internalDic_) {
      block(entry.first, entry.second, stop);
      if (stop) break;
    }
  }

  // A copy of the entries, taken under the lock.
  Entries internalDic() const {
    std::lock_guard guard(*lock_);
    return internalDic_;
  }
  void setInternalDic(Entries entries) {
    std::lock_guard guard(*lock_);
    internalDic_ = std::move(entries);
  }
  std::recursive_mutex& lock() const { return *lock_; }

 private:
  static bool isNil(const V& value) {
    if constexpr (std::is_constructible_v<bool, const V&>)
      return !static_cast<bool>(value);
    else
      return false;
  }

  std::unique_ptr<std::recursive_mutex> lock_ = std::make_unique<std::recursive_mutex>();
  Entries internalDic_;
};
