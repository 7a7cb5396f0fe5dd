#include "Ombrel/Classes/Business/Presets/QVEffectsPresetManager.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "QVCore/Model/Entities/QVPreset.h"
#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Bundle.h"
#include "rova/codecs/Codecs.h"

namespace fs = std::filesystem;

QVEffectsPresetManager::QVEffectsPresetManager(std::string defaultDirName, std::string additionalDirName)
    : defaultDirName_(std::move(defaultDirName)), additionalDirName_(std::move(additionalDirName)) {
  updateAdditionalPresetsFromDirectory(additionalDirName_);
}

void QVEffectsPresetManager::updateAdditionalPresetsFromDirectory(const std::string& dirName) {
  enumerateContentsOfResourcesDirWithName(dirName, [&](const std::string& path, size_t, bool&) {
    fs::path file(path);
    if (file.extension() != ".slvnr") return;
    if (auto preset = QVPreset::initWithPath(path)) additionalPresets_[file.stem().string()] = preset;
  });
}

std::shared_ptr<QVPreset> QVEffectsPresetManager::additionalPreset(const std::string& name) const {
  auto it = additionalPresets_.find(name);
  return it == additionalPresets_.end() ? nullptr : it->second;
}

std::string QVEffectsPresetManager::defaultPresetNameForImagePath(const std::string& imagePath) {
  std::string extension = fs::path(imagePath).extension().string();
  for (auto& c : extension) c = char(std::tolower((unsigned char)c));
  // A camera file is RAW by its extension even before it can be read; the header decides otherwise.
  const std::string bare = extension.empty() ? extension : extension.substr(1);
  bool raw = rova::codecs::isRawExtension(bare) || QVImageUtils::isRawImage(imagePath) || extension == ".tiff" ||
             extension == ".tif";
  return raw ? "DefaultRAWPreset" : "DefaultJpegPreset";
}

std::shared_ptr<QVPreset> QVEffectsPresetManager::defaultPresetFromDirectory(const std::string& dirName,
                                                                             const std::string& imagePath) const {
  const std::string name = defaultPresetNameForImagePath(imagePath);
  std::string found;
  enumerateContentsOfResourcesDirWithName(dirName, [&](const std::string& path, size_t, bool& stop) {
    fs::path file(path);
    if (file.extension() == ".slvnr" && file.stem() == name) {
      found = path;
      stop = true;
    }
  });
  return found.empty() ? nullptr : QVPreset::initWithPath(found);
}

std::shared_ptr<QVPreset> QVEffectsPresetManager::presetWithName(const std::string& name,
                                                                 const std::string& dirName) const {
  auto path = qv::Bundle::mainBundle().pathForResource(name, "slvnr", dirName);
  return path.empty() ? nullptr : QVPreset::initWithPath(path);
}

void QVEffectsPresetManager::enumerateContentsOfResourcesDirWithName(
    const std::string& dirName, const std::function<void(const std::string& path, size_t index, bool& stop)>& block) {
  std::error_code error;
  fs::directory_iterator it(fs::path(qv::Bundle::mainBundle().resourcePath()) / dirName, error);
  if (error) return;
  size_t index = 0;
  bool stop = false;
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) return;
    block(it->path().string(), index++, stop);
    if (stop) return;
  }
}
