#pragma once
// The face the screens use for presets: listing groups and presets, creating presets from layer
// dictionaries, saving, renaming and deleting them (with notifications), importing a preset file
// into the user's group, installing preset packs, and the group overview. No state: every call
// reads the groups and preset files again.
//
// Notifications on the default centre, the preset as object, no user info:
//   "kQVAddPresetNotification"        a preset was saved by savePreset
//   "kQVRemovePresetNotification"     a preset was deleted by deletePreset
//   "QVPresetPackDidAddNotification"  a preset pack was installed (no object)
//
// Failures of save, delete and rename are logged and end quietly (no notification). Alerts and
// the file browser go through QVPresetServiceInterface, which the application installs.
#include <memory>
#include <string>
#include <vector>

#include "QVCore/Model/Entities/QVPreset.h"
#include "QVCore/Model/Entities/QVPresetConstants.h"
#include "QVCore/Model/Entities/QVPresetGroup.h"
#include "QVPlatform/Value.h"

namespace qv {
class UserDefaults;
}

inline constexpr const char* kQVAddPresetNotification = "kQVAddPresetNotification";
inline constexpr const char* kQVRemovePresetNotification = "kQVRemovePresetNotification";
inline constexpr const char* kQVPresetPackDidAddNotification = "QVPresetPackDidAddNotification";

// What the preset service asks of the user interface. The application installs one at start-up;
// without one, alerts are logged and nothing is revealed.
class QVPresetServiceInterface {
 public:
  virtual ~QVPresetServiceInterface() = default;
  // A modal alert with one button; runs on the main thread.
  virtual void runAlert(const std::string& messageText, const std::string& informativeText,
                        const std::string& buttonTitle) = 0;
  // Opens a folder in the file browser.
  virtual void openFolder(const std::string& path) = 0;
  // Shows the file browser with the item selected.
  virtual void selectFile(const std::string& path) = 0;
};

class QVPresetService {
 public:
  static void setInterface(std::shared_ptr<QVPresetServiceInterface> ui);
  static std::shared_ptr<QVPresetServiceInterface> interface();

  static std::vector<std::shared_ptr<QVPresetGroup>> loadGroups() { return loadGroupsExcludingUserPresets(false); }
  static std::vector<std::shared_ptr<QVPresetGroup>> loadGroupsExcludingUserPresets(bool exclude);
  static std::vector<std::shared_ptr<QVPreset>> allPresets() { return allPresetsExcludingUser(false); }
  static std::vector<std::shared_ptr<QVPreset>> allPresetsExcludingUser(bool exclude);
  // The group's presets; nullopt-like empty result with `found` false when no group has the id.
  static std::vector<std::shared_ptr<QVPreset>> loadPresetsFromGroupIdentifier(const std::string& groupIdentifier,
                                                                               bool* found = nullptr);

  // A new preset in its group (the user's unless the dictionary names another); its UUID, or
  // empty when "AdjustmentLayers" is no non-empty array, an equal preset exists, or saving failed.
  static std::string createPresetWithDic(const qv::Value& dictionary);
  // The preset written as a single file into `folder`; its UUID, or empty when there are no
  // layers or the file could not be written.
  static std::string createPresetWithDic(const qv::Value& dictionary, const std::string& folder);
  // YES for an empty name or one that a preset already has (ignoring case).
  static bool isPresetNameAlreadyTaken(const std::string& name);

  // True when saved (and announced).
  static bool savePreset(const std::shared_ptr<QVPreset>& preset);
  static void deletePreset(const std::shared_ptr<QVPreset>& preset);
  static void updatePreset(const std::shared_ptr<QVPreset>& preset, const std::string& newName);
  static void updatePreset(const std::shared_ptr<QVPreset>& preset) { updatePreset(preset, {}); }
  // Removes the folder of a group in the container (never a shipped group's).
  static void deleteGroup(const QVPresetGroup& group);
  static std::shared_ptr<QVPreset> extractPresetWithUUID(const std::string& uuid);

  // Installs the pack and tells the user how it went (alert).
  static void processPresetPackWithURL(const std::string& url);
  // Copies a preset file into the user's group under a free name ("Warm", "Warm 2", "Warm 3"...).
  // Returns the new file's path; empty when nothing was copied.
  static std::string importPresetWithPath(const std::string& path);
  static void showFolder();
  static void showInFinderPreset(const QVPreset& preset);
  static bool setFavorite(bool favorite, const std::string& presetUUID);

  // Writes the overview of all groups: a flat array alternating a title ("User Presets" for
  // "Custom", else the group's name) and its presets [{"id": uuid, "name": name}] in sorted order.
  static bool storePresetsInfoToPath(const std::string& path);
  static qv::Value allGroupsPresetsInfo();
  // By priority, then identifier (plain byte order).
  static std::vector<std::shared_ptr<QVPreset>> sortPresets(std::vector<std::shared_ptr<QVPreset>> presets);

  // Older lookups, and the shared defaults suite the favourites are moved from.
  static qv::UserDefaults& presetsSharedDefaults();
  static std::shared_ptr<QVPreset> extractPresetWithId(const std::string& identifier);
  static std::shared_ptr<QVPreset> extractPresetWithId(const std::string& identifier, const std::string& groupId);

 private:
  static bool addPresetPackWithContentOfURL(const std::string& url);
  static bool presetArrayContainsPreset(const std::vector<std::shared_ptr<QVPreset>>& presets,
                                        const std::shared_ptr<QVPreset>& preset);
  static bool hasPreset(const std::shared_ptr<QVPreset>& preset);
  static void notifyObserversOfPresetChange(const std::shared_ptr<QVPreset>& preset, const std::string& name);
};
