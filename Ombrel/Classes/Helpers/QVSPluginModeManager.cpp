#include "Ombrel/Classes/Helpers/QVSPluginModeManager.h"

#include <algorithm>

#include "Ombrel/Classes/Basic/QVSingleton.h"

QVSPluginModeManager& QVSPluginModeManager::shared() {
  return qvSingleton<QVSPluginModeManager>("QVSPluginModeManager");
}

void QVSPluginModeManager::configureWithArguments(const std::vector<std::string>& arguments) {
  setPluginMode(std::find(arguments.begin(), arguments.end(), "-QVPluginMode") != arguments.end());
}

bool QVSPluginModeManager::isPluginMode() const {
  std::lock_guard guard(mutex_);
  return pluginMode_;
}

void QVSPluginModeManager::setPluginMode(bool pluginMode) {
  std::lock_guard guard(mutex_);
  pluginMode_ = pluginMode;
}

std::vector<std::string> QVSPluginModeManager::photoCollection() const {
  std::lock_guard guard(mutex_);
  return photoCollection_;
}

void QVSPluginModeManager::setPhotoCollection(std::vector<std::string> paths) {
  std::lock_guard guard(mutex_);
  photoCollection_ = std::move(paths);
}
