#include "Ombrel/Classes/Business/QVAppSettings.h"

#include <algorithm>
#include <atomic>
#include <cctype>

#include "Ombrel/Classes/Helpers/QVSPluginModeManager.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/UserDefaults.h"

namespace {
std::atomic<bool> gPhotosExtension{false};

qv::UserDefaults& defaults() { return qv::UserDefaults::standardUserDefaults(); }
}  // namespace

QVAppSettings::QVAppSettings() {
  std::string uuid = qv::stringWithUUID();
  uuid.erase(std::remove(uuid.begin(), uuid.end(), '-'), uuid.end());
  std::transform(uuid.begin(), uuid.end(), uuid.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  sessionID_ = std::move(uuid);
  autoColorTemperatureEnabled_ = boolForKey(kQVAutoColorTemperatureKey);
  autoLensCorrectionEnabled_ = boolForKey(kQVLensCorrectionKey);
}

void QVAppSettings::setAutoLensCorrectionEnabled(bool enabled) {
  if (enabled == autoLensCorrectionEnabled_) return;
  autoLensCorrectionEnabled_ = enabled;
  saveBool(enabled, kQVLensCorrectionKey);
}

void QVAppSettings::setAutoColorTemperatureEnabled(bool enabled) {
  if (enabled == autoColorTemperatureEnabled_) return;
  autoColorTemperatureEnabled_ = enabled;
  saveBool(enabled, kQVAutoColorTemperatureKey);
}

void QVAppSettings::saveDefaultLensCorrectionEnabledIfNeeded(bool enabled) {
  if (saveDefaultBoolIfAbsent(enabled, kQVLensCorrectionKey)) autoLensCorrectionEnabled_ = enabled;
}

void QVAppSettings::saveDefaultColorTemperatureEnabledIfNeeded(bool enabled) {
  if (saveDefaultBoolIfAbsent(enabled, kQVAutoColorTemperatureKey)) autoColorTemperatureEnabled_ = enabled;
}

std::string QVAppSettings::name() const {
  return qv::Bundle::mainBundle().objectForInfoDictionaryKey("CFBundleName").asString("Solvane");
}

uint64_t QVAppSettings::appLocationType() const {
  if (isPhotosExtension()) return 2;
  return QVSPluginModeManager::shared().isPluginMode() ? 1 : 0;
}

qv::Value QVAppSettings::exportCompressionQualityForImageType(const std::string& type) const {
  return restoreValueForKey(type);
}

void QVAppSettings::saveExportImageCompressionQuality(const qv::Value& quality, const std::string& type) {
  saveValue(quality, type);
}

void QVAppSettings::saveBool(bool value, const std::string& key) {
  defaults().setBool(value, key);
  defaults().synchronize();
}

bool QVAppSettings::boolForKey(const std::string& key) const { return defaults().boolForKey(key); }

void QVAppSettings::saveValue(const qv::Value& value, const std::string& key) {
  defaults().setObject(value, key);
  defaults().synchronize();
}

qv::Value QVAppSettings::restoreValueForKey(const std::string& key) const { return defaults().objectForKey(key); }

bool QVAppSettings::saveDefaultBoolIfAbsent(bool value, const std::string& key) {
  if (!defaults().objectForKey(key).isNull()) return false;
  saveBool(value, key);
  return true;
}

bool QVAppSettings::isPhotosExtension() { return gPhotosExtension.load(); }
void QVAppSettings::setPhotosExtension(bool extension) { gPhotosExtension.store(extension); }
