#include "Ombrel/Classes/Business/Batch/QVBatchPresetManager.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "Ombrel/Classes/Business/Batch/QVExportFileTypes.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"
#include "QVPlatform/UserDefaults.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPresetExtension = ".plist";
// A preset file is a few hundred bytes; anything far larger in the folder is not one of ours.
constexpr uintmax_t kMaxPresetFileBytes = 1 << 20;
// Names of preset files stay short enough for " <n>" and the extension within any file system.
constexpr size_t kMaxPresetNameBytes = 180;

}  // namespace

QVBatchPresetManager::QVBatchPresetManager(std::string defaultPresetsPath, std::string customPresetsPath,
                                           std::string interimPresetPath)
    : customPresetsPath_(std::move(customPresetsPath)), interimPresetPath_(std::move(interimPresetPath)) {
  createCustomPresetDirectoryIfNeeded(customPresetsPath_);
  loadBatchPresetsAtPath(defaultPresetsPath);
  loadBatchPresetsAtPath(customPresetsPath_);
  if (auto uuid = qv::UserDefaults::standardUserDefaults().stringForKey(kQVLastPresetSelectedUUIDKey))
    selectedPresetUUID_ = *uuid;
  interimPreset_ = loadBatchPresetAtPath(interimPresetPath_);
}

std::shared_ptr<QVBatchPresetManager> QVBatchPresetManager::initWithDefaultPresetsPath(std::string defaultPresetsPath,
                                                                                       std::string customPresetsPath,
                                                                                       std::string interimPresetPath) {
  return std::make_shared<QVBatchPresetManager>(std::move(defaultPresetsPath), std::move(customPresetsPath),
                                                std::move(interimPresetPath));
}

std::string QVBatchPresetManager::defaultPresetsDirectory() {
  return (fs::path(qv::Bundle::mainBundle().resourcePath()) / kQVBatchPresetsFolderName).string();
}

std::string QVBatchPresetManager::userPresetsDirectory() {
  return (fs::path(qv::places::groupContainerDirectory()) / kQVBatchPresetsFolderName).string();
}

std::string QVBatchPresetManager::interimPresetFilePath() {
  return (fs::path(qv::places::groupContainerDirectory()) / kQVInterimPresetFileName).string();
}

std::map<std::string, QVBatchPresetManager::PresetPtr> QVBatchPresetManager::presets() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return presets_;
}

std::vector<QVBatchPresetManager::PresetPtr> QVBatchPresetManager::presetsWithType(int64_t type) const {
  std::vector<PresetPtr> found;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [uuid, preset] : presets_)
      if (preset->type() == type) found.push_back(preset);
  }
  std::stable_sort(found.begin(), found.end(), [](const PresetPtr& a, const PresetPtr& b) {
    if (a->name() != b->name()) return QVBatchTextHelpers::caseInsensitiveLess(a->name(), b->name());
    return a->uuid() < b->uuid();
  });
  return found;
}

QVBatchPresetManager::PresetPtr QVBatchPresetManager::presetWithUUID(const std::string& uuid) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = presets_.find(uuid);
  return it == presets_.end() ? nullptr : it->second;
}

std::string QVBatchPresetManager::uniquePresetName(const QVBatchPreset& preset) const {
  const std::string base = safePresetName(preset.name());
  std::string name = base;
  for (int n = 2; n < 10000; ++n) {
    std::error_code ec;
    std::string path = presetPathForDirectory(customPresetsPath_, name);
    if (!fs::exists(path, ec)) return name;
    auto existing = loadBatchPresetAtPath(path);
    if (existing && existing->uuid() == preset.uuid()) return name;  // its own file
    name = base + " " + std::to_string(n);
  }
  return qv::stringWithUUID();
}

bool QVBatchPresetManager::savePreset(const PresetPtr& preset) {
  if (!preset) return false;
  preset->setName(uniquePresetName(*preset));
  std::string path = customPresetsPathForName(preset->name());
  qv::Error error;
  bool written = qv::PropertyList::writeFile(path, preset->serialize(), qv::PropertyListFormat::XML, &error);
  if (!written) QVLogError("Batch preset \"%s\" not saved: %s", preset->name().c_str(), error.description.c_str());
  std::lock_guard<std::mutex> lock(mutex_);
  presets_[preset->uuid()] = preset;
  if (written) userFiles_[preset->uuid()] = path;
  return written;
}

void QVBatchPresetManager::removePreset(const PresetPtr& preset) {
  if (!preset) return;
  std::vector<std::string> candidates;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto it = userFiles_.find(preset->uuid()); it != userFiles_.end()) candidates.push_back(it->second);
  }
  candidates.push_back(customPresetsPathForName(preset->name()));
  for (const auto& path : candidates) {
    auto stored = isInUserFolder(path) ? loadBatchPresetAtPath(path) : nullptr;
    if (!stored || stored->uuid() != preset->uuid()) continue;
    std::error_code ec;
    if (!fs::remove(path, ec) && ec) QVLogError("Batch preset file not removed: %s", ec.message().c_str());
    break;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  presets_.erase(preset->uuid());
  userFiles_.erase(preset->uuid());
}

QVBatchPresetManager::Selection QVBatchPresetManager::selectionForPresetWithUUID(const std::string& uuid) const {
  PresetPtr preset = presetWithUUID(uuid);
  if (!preset) return {};
  auto list = presetsWithType(preset->type());
  auto it = std::find(list.begin(), list.end(), preset);
  return {preset->type(), it == list.end() ? kNotFound : uint64_t(it - list.begin())};
}

std::optional<std::string> QVBatchPresetManager::selectedPresetUUID() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return selectedPresetUUID_;
}

void QVBatchPresetManager::setSelectedPresetUUID(std::optional<std::string> uuid) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (selectedPresetUUID_ == uuid) return;
    selectedPresetUUID_ = uuid;
  }
  auto& defaults = qv::UserDefaults::standardUserDefaults();
  defaults.setObject(uuid ? qv::Value(*uuid) : qv::Value(), kQVLastPresetSelectedUUIDKey);
  defaults.synchronize();
}

QVBatchPresetManager::PresetPtr QVBatchPresetManager::interimPreset() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return interimPreset_;
}

void QVBatchPresetManager::setInterimPreset(PresetPtr preset) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    interimPreset_ = preset;
  }
  if (!preset) {
    std::error_code ec;
    fs::remove(interimPresetPath_, ec);
    return;
  }
  qv::Error error;
  if (!qv::PropertyList::writeFile(interimPresetPath_, preset->serialize(), qv::PropertyListFormat::XML, &error))
    QVLogError("Interim batch preset not saved: %s", error.description.c_str());
}

QVBatchPresetManager::PresetPtr QVBatchPresetManager::presetForSocialSharing() {
  auto preset = std::make_shared<QVBatchPreset>();
  preset->format()->setQuality(1.0);
  preset->format()->setColorSpace(1);
  preset->format()->setExportType(std::string(kQVExportTypeJPEG));
  return preset;
}

void QVBatchPresetManager::createCustomPresetDirectoryIfNeeded(const std::string& path) {
  std::error_code ec;
  if (!path.empty() && !fs::exists(path, ec)) fs::create_directories(path, ec);
}

void QVBatchPresetManager::loadBatchPresetsAtPath(const std::string& folder) {
  std::error_code ec;
  std::vector<fs::path> files;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& path = it->path();
    std::string name = path.filename().string();
    if (name.empty() || name.front() == '.') continue;
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    files.push_back(path);
  }
  std::sort(files.begin(), files.end());
  for (const auto& path : files) {
    std::error_code sizeError;
    auto bytes = fs::file_size(path, sizeError);
    if (sizeError || bytes > kMaxPresetFileBytes) continue;
    auto preset = loadBatchPresetAtPath(path.string());
    if (!preset) continue;
    preset->setName(path.stem().string());
    std::lock_guard<std::mutex> lock(mutex_);
    presets_[preset->uuid()] = preset;
    if (isInUserFolder(path.string()))
      userFiles_[preset->uuid()] = path.string();
    else
      userFiles_.erase(preset->uuid());
  }
}

QVBatchPresetManager::PresetPtr QVBatchPresetManager::loadBatchPresetAtPath(const std::string& file) {
  if (file.empty()) return nullptr;
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return nullptr;
  qv::Error error;
  qv::Value dictionary = qv::PropertyList::readFile(file, &error);
  return QVBatchPreset::initWithDic(dictionary);
}

bool QVBatchPresetManager::isInUserFolder(const std::string& path) const {
  if (customPresetsPath_.empty()) return false;
  std::error_code ec;
  fs::path folder = fs::weakly_canonical(customPresetsPath_, ec);
  if (ec) return false;
  fs::path parent = fs::weakly_canonical(fs::path(path).parent_path(), ec);
  return !ec && parent == folder;
}

std::string QVBatchPresetManager::customPresetsPathForName(const std::string& name) const {
  return presetPathForDirectory(customPresetsPath_, name);
}

std::string QVBatchPresetManager::presetPathForDirectory(const std::string& directory, const std::string& presetName) {
  return (fs::path(directory) / (safePresetName(presetName) + kPresetExtension)).string();
}

std::string QVBatchPresetManager::safePresetName(const std::string& name) {
  std::string safe = QVBatchTextHelpers::sanitizedFileName(name, kMaxPresetNameBytes);
  return safe.empty() ? "Preset" : safe;
}
