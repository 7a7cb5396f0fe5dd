#pragma once
// User defaults: small settings per domain, kept as property-list files "<domain>.plist" in the
// user-defaults folder (Places.h). The standard defaults use the main bundle's identifier as
// domain; a suite (e.g. the app-group suite shared with the extension) has its own name.
//
// Every UserDefaults object of one domain shares one in-memory store, so a new object made on
// every call sees what another wrote. Each change is written to disk at once (atomically), so
// values survive a crash as well as a restart; `synchronize` writes again when an earlier write
// failed. Registered defaults are answered for keys without a stored value and are never written.
// A damaged file is kept beside its name ("<domain>.plist.damaged"), and the entries that can still
// be read of it are kept (see Store::load). Thread-safe.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "QVPlatform/Value.h"

namespace qv {

// The largest settings file read; a bigger one is no settings file and is kept aside as damaged.
inline constexpr uint64_t kMaxSettingsBytes = uint64_t(16) << 20;

class UserDefaults {
 public:
  static UserDefaults& standardUserDefaults();
  // Forgets the in-memory stores; the next access reads the files again (a "restart").
  static void resetStandardUserDefaults();

  // The defaults of a suite; an empty name gives the standard domain.
  explicit UserDefaults(const std::string& suiteName = {});

  const std::string& domain() const { return domain_; }
  // The file the values live in.
  std::string path() const;

  void registerDefaults(const Dictionary& defaults);

  // The stored value, else the registered one, else null.
  Value objectForKey(const std::string& key) const;
  bool boolForKey(const std::string& key) const { return objectForKey(key).asBool(false); }
  int64_t integerForKey(const std::string& key) const { return objectForKey(key).asInt(0); }
  double doubleForKey(const std::string& key) const { return objectForKey(key).asDouble(0); }
  float floatForKey(const std::string& key) const { return float(objectForKey(key).asDouble(0)); }
  // The text under the key; nullopt when it is missing or no text.
  std::optional<std::string> stringForKey(const std::string& key) const;

  // A null value removes the key.
  void setObject(const Value& value, const std::string& key);
  void setBool(bool value, const std::string& key) { setObject(Value(value), key); }
  void setInteger(int64_t value, const std::string& key) { setObject(Value(value), key); }
  void setDouble(double value, const std::string& key) { setObject(Value(value), key); }
  void setFloat(float value, const std::string& key) { setObject(Value(double(value)), key); }
  void removeObjectForKey(const std::string& key) { setObject(Value(), key); }

  // Writes unsaved changes; false when the file cannot be written.
  bool synchronize();

  // Stored values merged over the registered ones.
  Dictionary dictionaryRepresentation() const;

  struct Store;

 private:
  std::string domain_;
  std::shared_ptr<Store> store_;
};

}  // namespace qv
