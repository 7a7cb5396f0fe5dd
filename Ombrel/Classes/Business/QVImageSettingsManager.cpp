#include "Ombrel/Classes/Business/QVImageSettingsManager.h"

#include <algorithm>
#include <cctype>

#include "Ombrel/Classes/Business/QVAppSettings.h"
#include "QVPlatform/Additions.h"

std::string QVImageSettingsManager::keyForImagePath(const std::string& path) {
  std::string lower = path;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return qv::md5(lower);
}

QVImageSettingsManager::SettingPtr QVImageSettingsManager::settingAtPath(const std::string& path) {
  const std::string key = keyForImagePath(path);
  std::lock_guard guard(mutex_);
  auto& setting = settingsDic_[key];
  if (!setting) setting = std::make_shared<QVImageSetting>();
  return setting;
}

void QVImageSettingsManager::updateAmount(double amount, const std::string& path) {
  if (QVAppSettings::isPhotosExtension()) return;
  settingAtPath(path)->setAmount(amount);
}

bool QVImageSettingsManager::isExportedAtImagePath(const std::string& path) const {
  const SettingPtr setting = objectForKeyedSubscript(keyForImagePath(path));
  return setting && setting->exported();
}

void QVImageSettingsManager::setExportedAtImagePaths(const std::vector<std::string>& paths, bool exported) {
  for (const auto& path : paths) settingAtPath(path)->setExported(exported);
}

void QVImageSettingsManager::forgetExports() {
  std::lock_guard guard(mutex_);
  for (auto& [key, setting] : settingsDic_) setting->setExported(false);
}

void QVImageSettingsManager::clean() {
  std::lock_guard guard(mutex_);
  settingsDic_.clear();
}

QVImageSettingsManager::SettingPtr QVImageSettingsManager::objectForKeyedSubscript(
    const std::optional<std::string>& key) const {
  if (!key) return nullptr;
  std::lock_guard guard(mutex_);
  auto it = settingsDic_.find(*key);
  return it == settingsDic_.end() ? nullptr : it->second;
}

void QVImageSettingsManager::setObject(SettingPtr setting, const std::optional<std::string>& key) {
  if (!key) return;
  std::lock_guard guard(mutex_);
  if (setting)
    settingsDic_[*key] = std::move(setting);
  else
    settingsDic_.erase(*key);
}

size_t QVImageSettingsManager::count() const {
  std::lock_guard guard(mutex_);
  return settingsDic_.size();
}
