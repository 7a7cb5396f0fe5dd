#pragma once
// Finds and reads the effect presets that ship in the resources: the default presets of the
// default folder ("DefaultJpegPreset", "DefaultRAWPreset"), read from disk on every request so
// they follow the resource folder, and the additional presets ("AutoColorTemperature",
// "LensCorrection", and any other "slvnr" file there), read once when the manager is made.
// Made at start-up and afterwards only read.
#include <functional>
#include <map>
#include <memory>
#include <string>

class QVPreset;

class QVEffectsPresetManager {
 public:
  QVEffectsPresetManager(std::string defaultDirName, std::string additionalDirName);

  const std::string& defaultDirName() const { return defaultDirName_; }
  const std::string& additionalDirName() const { return additionalDirName_; }
  const std::map<std::string, std::shared_ptr<QVPreset>>& additionalPresets() const { return additionalPresets_; }

  // Reads every "slvnr" file of the folder under its base name (unreadable files are left out).
  void updateAdditionalPresetsFromDirectory(const std::string& dirName);
  std::shared_ptr<QVPreset> autoColorTemperaturePreset() const { return additionalPreset("AutoColorTemperature"); }
  std::shared_ptr<QVPreset> lensCorrectionPreset() const { return additionalPreset("LensCorrection"); }

  // "DefaultRAWPreset" for RAW, TIFF and TIF files, else "DefaultJpegPreset"; nullptr without file.
  std::shared_ptr<QVPreset> defaultPresetForImagePath(const std::string& imagePath) const {
    return defaultPresetFromDirectory(defaultDirName_, imagePath);
  }
  std::shared_ptr<QVPreset> defaultPresetFromDirectory(const std::string& dirName, const std::string& imagePath) const;
  static std::string defaultPresetNameForImagePath(const std::string& imagePath);
  std::shared_ptr<QVPreset> presetWithName(const std::string& name, const std::string& dirName) const;
  // Each entry of the resource folder, in listing order, with its full path and index, until the
  // block sets `stop`. An unreadable folder gives no calls.
  static void enumerateContentsOfResourcesDirWithName(
      const std::string& dirName, const std::function<void(const std::string& path, size_t index, bool& stop)>& block);

 private:
  std::shared_ptr<QVPreset> additionalPreset(const std::string& name) const;

  std::string defaultDirName_;
  std::string additionalDirName_;
  std::map<std::string, std::shared_ptr<QVPreset>> additionalPresets_;
};
