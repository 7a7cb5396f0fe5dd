#include "Ombrel/Classes/Helpers/QVSPluginModeManager.h"

#include <algorithm>
#include <filesystem>

#include "Ombrel/Classes/Basic/QVSingleton.h"
#include "QVPlatform/Log.h"

QVSPluginModeManager& QVSPluginModeManager::shared() {
  return qvSingleton<QVSPluginModeManager>("QVSPluginModeManager");
}

namespace {

bool isPlainFile(const std::string& argument) {
  if (argument.empty() || argument[0] == '-') return false;
  std::error_code ec;
  return std::filesystem::is_regular_file(argument, ec);
}

}  // namespace

void QVSPluginModeManager::configureWithArguments(const std::vector<std::string>& arguments) {
  bool pluginMode = false, lightroom = false, photoshop = false;
  SavePairs pairs;
  std::string imagePath, savePath, extrasPath;
  std::vector<std::string> plainFiles;
  const size_t count = arguments.size();
  // The program's own path comes first and is never a host image.
  for (size_t i = 1; i < count; ++i) {
    const std::string& argument = arguments[i];
    const bool hasValue = i + 1 < count;
    if (argument == "-QVPluginMode") {
      pluginMode = true;
    } else if (argument == "-QVLightroomPluginOwner") {
      lightroom = true;
    } else if (argument == "-QVPhotoshopPluginOwner") {
      photoshop = true;
    } else if (argument == "-QVImagePath" || argument == "-QVSavePath" || argument == "-QVExtrasPath") {
      if (!hasValue) break;
      std::string& target = argument == "-QVImagePath" ? imagePath : argument == "-QVSavePath" ? savePath : extrasPath;
      target = arguments[++i];
    } else if (argument == "-QVSavePair") {
      if (i + 2 >= count) break;
      const std::string& source = arguments[i + 1];
      const std::string& result = arguments[i + 2];
      i += 2;
      auto found = std::find_if(pairs.begin(), pairs.end(), [&](const auto& pair) { return pair.first == source; });
      if (found != pairs.end()) {
        found->second = result;
      } else {
        pairs.emplace_back(source, result);
      }
    } else if (isPlainFile(argument)) {
      plainFiles.push_back(argument);
    }
  }
  if (imagePath.empty() && !plainFiles.empty()) imagePath = plainFiles.front();
  for (const auto& file : plainFiles) {
    if (file != imagePath) QVLogInfo("plug-in mode: %s is left out (one host image per run)", file.c_str());
  }

  std::vector<std::string> collection;
  for (const auto& pair : pairs) collection.push_back(pair.first);
  if (collection.empty() && !imagePath.empty()) collection.push_back(imagePath);

  std::lock_guard guard(mutex_);
  pluginMode_ = pluginMode;
  owner_ = photoshop ? kQVPluginOwnerPhotoshop : lightroom ? kQVPluginOwnerLightroom : kQVPluginOwnerUnknown;
  pathsForSave_ = std::move(pairs);
  imagePath_ = std::move(imagePath);
  savePath_ = std::move(savePath);
  extrasPath_ = std::move(extrasPath);
  photoCollection_ = std::move(collection);
  runState_ = RunState::Running;
}

bool QVSPluginModeManager::isPluginMode() const {
  std::lock_guard guard(mutex_);
  return pluginMode_;
}

void QVSPluginModeManager::setPluginMode(bool pluginMode) {
  std::lock_guard guard(mutex_);
  pluginMode_ = pluginMode;
}

int32_t QVSPluginModeManager::pluginOwner() const {
  std::lock_guard guard(mutex_);
  return owner_;
}

QVSPluginModeManager::SavePairs QVSPluginModeManager::pathsForSave() const {
  std::lock_guard guard(mutex_);
  return pathsForSave_;
}

std::string QVSPluginModeManager::imagePath() const {
  std::lock_guard guard(mutex_);
  return imagePath_;
}

std::string QVSPluginModeManager::savePath() const {
  std::lock_guard guard(mutex_);
  return savePath_;
}

std::string QVSPluginModeManager::lightroomExtrasResPath() const {
  std::lock_guard guard(mutex_);
  return extrasPath_;
}

std::vector<std::string> QVSPluginModeManager::photoCollection() const {
  std::lock_guard guard(mutex_);
  return photoCollection_;
}

void QVSPluginModeManager::setPhotoCollection(std::vector<std::string> paths) {
  std::lock_guard guard(mutex_);
  photoCollection_ = std::move(paths);
}

void QVSPluginModeManager::applyPluginMode() {
  std::lock_guard guard(mutex_);
  if (runState_ != RunState::Running) return;
  runState_ = RunState::Applied;
  QVLogInfo("plug-in mode applied: the results are where the host expects them");
}

void QVSPluginModeManager::cancelPluginMode() {
  std::lock_guard guard(mutex_);
  if (runState_ != RunState::Running) return;
  runState_ = RunState::Cancelled;
  QVLogInfo("plug-in mode cancelled: the host gets no result");
}

void QVSPluginModeManager::failPluginMode(const std::string& reason) {
  std::lock_guard guard(mutex_);
  if (runState_ != RunState::Running) return;
  runState_ = RunState::Failed;
  QVLogError("plug-in mode failed: %s", reason.c_str());
}

QVSPluginModeManager::RunState QVSPluginModeManager::runState() const {
  std::lock_guard guard(mutex_);
  return runState_;
}
