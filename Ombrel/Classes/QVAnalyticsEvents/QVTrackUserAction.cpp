#include "Ombrel/Classes/QVAnalyticsEvents/QVTrackUserAction.h"

#include <map>
#include <mutex>

#include "Ombrel/Classes/QVAnalyticsEvents/QVAnalytics.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/PropertyList.h"

namespace {

struct Registry {
  std::mutex mutex;
  std::string propertiesPath;
  bool loaded = false;
  qv::Value properties;
  std::map<std::string, std::shared_ptr<QVTrackUserAction>> appearances;
};

Registry& registry() {
  static Registry r;
  return r;
}

// The registry's text when it has one, else the properties'.
std::string pick(const std::string& registered, const qv::Value& entry, const char* key) {
  return registered.empty() ? entry[key].asString() : registered;
}

}  // namespace

QVTrackUserAction::QVTrackUserAction(std::string displayName, std::string screen, std::string category,
                                     std::string action, std::string label)
    : displayName_(std::move(displayName)),
      screen_(std::move(screen)),
      category_(std::move(category)),
      action_(std::move(action)),
      label_(std::move(label)) {}

std::shared_ptr<QVTrackUserAction> QVTrackUserAction::initWithDisplayName(std::string displayName, std::string screen,
                                                                          std::string category, std::string action,
                                                                          std::string label) {
  return std::make_shared<QVTrackUserAction>(std::move(displayName), std::move(screen), std::move(category),
                                             std::move(action), std::move(label));
}

const qv::Value& QVTrackUserAction::analyticsProperties() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (!r.loaded) {
    r.loaded = true;
    const std::string path = r.propertiesPath.empty()
                                 ? qv::Bundle::mainBundle().pathForResource("AnalyticsProperties", "plist")
                                 : r.propertiesPath;
    qv::Error error;
    r.properties = path.empty() ? qv::Value() : qv::PropertyList::readFile(path, &error);
    if (!r.properties.isDictionary()) {
      QVLogWarning("No analytics properties at \"%s\"", path.c_str());
      r.properties = qv::Dictionary();
    }
  }
  return r.properties;
}

void QVTrackUserAction::setAnalyticsPropertiesPath(const std::string& path) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.propertiesPath = path;
  r.loaded = false;
}

std::shared_ptr<QVTrackUserAction> QVTrackUserAction::eventKeyed(const std::string& key) {
  return eventKeyed(key, std::nullopt);
}

std::shared_ptr<QVTrackUserAction> QVTrackUserAction::eventKeyed(const std::string& key,
                                                                 const std::optional<std::string>& label) {
  const qv::Value entry = analyticsProperties()[key];
  if (!entry.isDictionary()) return nullptr;
  QVTrackUserAction registered;
  {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.appearances.find(key);
    if (it != r.appearances.end()) registered = *it->second;
  }
  const std::string chosenLabel = label ? *label : pick(registered.label(), entry, "qv_label");
  return initWithDisplayName(key, pick(registered.screen(), entry, "qv_screen"),
                             pick(registered.category(), entry, "qv_category"),
                             pick(registered.action(), entry, "qv_action"), chosenLabel);
}

std::shared_ptr<QVTrackUserAction> QVTrackUserAction::appearanceForEventKeyed(const std::string& key) {
  if (key.empty()) return nullptr;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto& entry = r.appearances[key];
  if (!entry) entry = std::make_shared<QVTrackUserAction>();
  return entry;
}

void QVTrackUserAction::fire() const { QVAnalytics::send(*this); }

std::shared_ptr<QVTrackUserAction> QVAppLaunchAction::appLaunched() { return eventKeyed("Launch App"); }
