#pragma once
// The batch presets in memory, keyed by uuid: the shipped defaults (a folder of the resources),
// the user's own (a folder of the shared app-group container), one interim preset (unsaved
// settings of the export options, a file of its own) and the uuid of the preset last selected
// (user default "QVLastPresetSelectedUUIDKey"). Each preset is one XML property list named after
// the preset ("<name>.plist"); every change is written through at once, atomically.
//
// Folders are listed in name order, so when two files carry the same uuid the result is always
// the same (the later one wins, and a user preset replaces a default with its uuid). Preset file
// names are made safe (QVBatchTextHelpers::sanitizedFileName) and unique within the user folder.
// Unreadable or invalid files are skipped; failures are logged, never shown. Thread-safe.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Business/Batch/QVBatchPreset.h"

inline constexpr const char* kQVLastPresetSelectedUUIDKey = "QVLastPresetSelectedUUIDKey";
inline constexpr const char* kQVBatchPresetsFolderName = "BatchPresets";
inline constexpr const char* kQVInterimPresetFileName = "InterimPreset_4BD6E957-F278-4043-BCB7-A43D506858B9.plist";

class QVBatchPresetManager {
 public:
  using PresetPtr = std::shared_ptr<QVBatchPreset>;
  static constexpr uint64_t kNotFound = uint64_t(INT64_MAX);
  // Where a preset sits in the lists of its type; index kNotFound (type 0) when no stored preset
  // has the uuid.
  struct Selection {
    int64_t type = 0;
    uint64_t index = kNotFound;
  };

  // Creates the user folder when missing, loads the defaults, then the user presets, then reads
  // the remembered selection and the interim preset.
  QVBatchPresetManager(std::string defaultPresetsPath, std::string customPresetsPath, std::string interimPresetPath);
  static std::shared_ptr<QVBatchPresetManager> initWithDefaultPresetsPath(std::string defaultPresetsPath,
                                                                          std::string customPresetsPath,
                                                                          std::string interimPresetPath);
  // The application's three places: "BatchPresets" of the resources, "BatchPresets" of the
  // app-group container and the interim file in the container.
  static std::string defaultPresetsDirectory();
  static std::string userPresetsDirectory();
  static std::string interimPresetFilePath();

  std::map<std::string, PresetPtr> presets() const;
  // The presets of that type, by name (ignoring case), then uuid.
  std::vector<PresetPtr> presetsWithType(int64_t type) const;
  PresetPtr presetWithUUID(const std::string& uuid) const;
  // Writes the preset into the user folder under a safe name that no other preset's file holds
  // (the name gets " 2", " 3", ... when taken) and sets the preset's name to it, then keeps it
  // under its uuid. The preset is kept even when the write fails; false then.
  bool savePreset(const PresetPtr& preset);
  // Removes the preset's file from the user folder (the file it was loaded from or saved to, else
  // the one its name gives; only when that file holds this preset, so a namesake is never
  // deleted, and never a shipped file) and forgets its uuid.
  void removePreset(const PresetPtr& preset);
  Selection selectionForPresetWithUUID(const std::string& uuid) const;

  std::optional<std::string> selectedPresetUUID() const;
  // When it differs from the current one: keeps it and writes the user default (none removes it).
  void setSelectedPresetUUID(std::optional<std::string> uuid);
  PresetPtr interimPreset() const;
  // Keeps it and writes its file; none removes the file.
  void setInterimPreset(PresetPtr preset);

  // A preset for sharing services, never stored: JPEG, quality 1.0, sRGB; every other section
  // empty, no uuid.
  static PresetPtr presetForSocialSharing();

  static void createCustomPresetDirectoryIfNeeded(const std::string& path);
  // Loads every valid preset file of the folder (hidden entries and folders skipped), in name
  // order, naming each after its file; a missing folder loads nothing.
  void loadBatchPresetsAtPath(const std::string& folder);
  static PresetPtr loadBatchPresetAtPath(const std::string& file);
  std::string customPresetsPathForName(const std::string& name) const;
  // folder / (the name made safe + ".plist"): always a file directly inside the folder.
  static std::string presetPathForDirectory(const std::string& directory, const std::string& presetName);
  // The name made safe as a file name; "Preset" when nothing of it is left.
  static std::string safePresetName(const std::string& name);

  const std::string& customPresetsPath() const { return customPresetsPath_; }
  const std::string& interimPresetPath() const { return interimPresetPath_; }

 private:
  std::string uniquePresetName(const QVBatchPreset& preset) const;
  bool isInUserFolder(const std::string& path) const;

  std::string customPresetsPath_;
  std::string interimPresetPath_;
  mutable std::mutex mutex_;
  std::map<std::string, PresetPtr> presets_;
  // uuid → the user-folder file a preset was last loaded from or saved to.
  std::map<std::string, std::string> userFiles_;
  PresetPtr interimPreset_;
  std::optional<std::string> selectedPresetUUID_;
};
