#include "QVPlatform/UserDefaults.h"

#include <cerrno>
#include <filesystem>
#include <map>
#include <mutex>

#include "QVPlatform/Bundle.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/OwnFiles.h"
#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"
#include "rova/codecs/SafeFile.h"

namespace qv {

struct UserDefaults::Store {
  std::mutex mutex;
  std::string path;
  Dictionary values;
  Dictionary registered;
  bool dirty = false;

  explicit Store(std::string p) : path(std::move(p)) { load(); }

  // A settings file that is there but cannot be read as a dictionary (cut short by a write that
  // never finished, overwritten with something else, grown past any settings) is kept beside it
  // under a free name ("<name>.damaged", "<name>.damaged-2", ...), never written over; whatever
  // entries of it are whole are kept and saved again at once. A FIFO or a device at the name is
  // neither read nor moved (the next save refuses it too, and says so).
  void load() {
    const Entry entry = entryAt(path);
    if (!entry.isTaken()) return;
    Error error;
    const std::optional<Bytes> bytes = readFileBytes(path, &error, kMaxSettingsBytes);
    if (!bytes && error.code == ENOENT) return;  // a link that leads nowhere: nothing stored
    const Value stored = bytes ? PropertyList::read(*bytes, &error) : Value();
    if (stored.isDictionary()) {
      values = *stored.dictionary();
      return;
    }
    if (bytes && !error.code) error.description = "not a dictionary";
    QVLogWarning("Unreadable user defaults %s: %s", path.c_str(), error.description.c_str());
    const bool damaged = bytes || error.code == EFBIG;
    if (!damaged || (entry.kind != EntryKind::Regular && entry.kind != EntryKind::Link)) return;
    const std::string kept = keepAside();
    if (kept.empty()) return;
    const Value salvaged = bytes ? PropertyList::salvageCutDictionary(
                                       std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()))
                                 : Value();
    if (const Dictionary* entries = salvaged.dictionary()) values = *entries;
    QVLogWarning("Damaged user defaults %s kept as %s; %zu settings read from it", path.c_str(), kept.c_str(),
                 values.size());
    if (!values.empty()) save();
  }

  // Moves the file at `path` to the first free damaged name beside it; the name, or empty.
  std::string keepAside() const {
    for (int n = 1; n <= 100; ++n) {
      const std::string name = path + ".damaged" + (n == 1 ? std::string() : "-" + std::to_string(n));
      std::string why;
      if (rova::codecs::moveWithoutReplacing(path, name, &why)) return name;
      if (errno != EEXIST) {
        QVLogError("Damaged user defaults %s not kept: %s", path.c_str(), why.c_str());
        return {};
      }
    }
    QVLogError("Damaged user defaults %s not kept: no free name", path.c_str());
    return {};
  }

  // With the mutex held.
  bool save() {
    Error error;
    if (!PropertyList::writeFile(path, Value(values), PropertyListFormat::XML, &error)) {
      QV_LOG_FAILURE("[defaults writeToFile:" + path + " atomically:YES] == NO (" + error.description + ")");
      dirty = true;
      return false;
    }
    dirty = false;
    return true;
  }
};

namespace {

std::mutex gStoresMutex;
std::map<std::string, std::shared_ptr<UserDefaults::Store>>& stores() {
  static auto* map = new std::map<std::string, std::shared_ptr<UserDefaults::Store>>();
  return *map;
}

std::shared_ptr<UserDefaults::Store> storeFor(const std::string& domain) {
  std::lock_guard lock(gStoresMutex);
  auto& map = stores();
  auto it = map.find(domain);
  if (it != map.end()) return it->second;
  auto path = (std::filesystem::path(places::userDefaultsDirectory()) / (domain + ".plist")).string();
  auto store = std::make_shared<UserDefaults::Store>(path);
  map.emplace(domain, store);
  return store;
}

}  // namespace

UserDefaults& UserDefaults::standardUserDefaults() {
  static UserDefaults* defaults = new UserDefaults();
  return *defaults;
}

void UserDefaults::resetStandardUserDefaults() {
  std::lock_guard lock(gStoresMutex);
  for (auto& [domain, store] : stores()) {
    std::lock_guard storeLock(store->mutex);
    if (store->dirty) store->save();
    // Objects still holding this store keep working on a store that is reloaded from disk.
    Store fresh(store->path);
    store->values = std::move(fresh.values);
    store->registered.clear();
  }
}

UserDefaults::UserDefaults(const std::string& suiteName)
    : domain_(suiteName.empty() ? Bundle::mainBundle().bundleIdentifier() : suiteName), store_(storeFor(domain_)) {}

std::string UserDefaults::path() const { return store_->path; }

void UserDefaults::registerDefaults(const Dictionary& defaults) {
  std::lock_guard lock(store_->mutex);
  for (const auto& [key, value] : defaults) store_->registered[key] = value;
}

Value UserDefaults::objectForKey(const std::string& key) const {
  std::lock_guard lock(store_->mutex);
  if (auto it = store_->values.find(key); it != store_->values.end()) return it->second;
  if (auto it = store_->registered.find(key); it != store_->registered.end()) return it->second;
  return Value();
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
  Value v = objectForKey(key);
  if (auto s = v.string()) return *s;
  return std::nullopt;
}

void UserDefaults::setObject(const Value& value, const std::string& key) {
  std::lock_guard lock(store_->mutex);
  auto it = store_->values.find(key);
  if (value.isNull()) {
    if (it == store_->values.end()) return;
    store_->values.erase(it);
  } else {
    if (it != store_->values.end() && it->second.description() == value.description()) return;
    store_->values[key] = value;
  }
  store_->save();
}

bool UserDefaults::synchronize() {
  std::lock_guard lock(store_->mutex);
  return store_->dirty ? store_->save() : true;
}

Dictionary UserDefaults::dictionaryRepresentation() const {
  std::lock_guard lock(store_->mutex);
  Dictionary merged = store_->registered;
  for (const auto& [key, value] : store_->values) merged[key] = value;
  return merged;
}

}  // namespace qv
