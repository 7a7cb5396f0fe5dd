#pragma once
// Preset groups. A group is either shipped (declared in the bundle resource
// "BundlePresetGroupInfo.plist", its presets in the bundle's "Presets" folder) or a folder of the
// container presets folder "<container>/Presets": the user's own group "Custom" and one folder per
// installed preset pack (a folder counts only when it holds "PresetsInfo.plist" with a
// "GroupName"). Listing reads the folders and files anew on every call.
//
//   BundlePresetGroupInfo.plist  array of {"Identifier", "Name", "PresetsIdentifier" (file names
//                                without extension, in display order), "Editable", "Path"?}
//   PresetsInfo.plist            {"GroupName": name and identifier of the group}
//
// Not thread-safe; used synchronously on the caller's thread.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QVCore/Model/Entities/QVPreset.h"
#include "QVPlatform/Value.h"

inline constexpr const char* kQVPresetGroupInfoFileName = "PresetsInfo.plist";
inline constexpr const char* kQVPresetGroupNameKey = "GroupName";

class QVPresetGroupModelProtocol {
 public:
  virtual ~QVPresetGroupModelProtocol() = default;
  virtual std::string identifier() const = 0;
  virtual std::string name() const = 0;
};

class QVPresetGroup : public QVPresetGroupModelProtocol {
 public:
  // A group with no fields set (what the protocol factory hands out).
  QVPresetGroup() = default;
  // A folder group: name and identifier the given name, or the folder's name when it is empty;
  // editable; its presets are the folder's ".vlp" entries.
  static std::shared_ptr<QVPresetGroup> initWithPath(const std::string& path, const std::string& realName = {});
  // A shipped group from one entry of the group list (values of the wrong type read as missing).
  static std::shared_ptr<QVPresetGroup> initWithDic(const qv::Value& dictionary);
  // Groups have no stored form: a null value.
  qv::Value serialize() const { return {}; }

  // The container groups (by folder age, oldest first), then the shipped groups. With `exclude`
  // the user's group "Custom" is left out.
  static std::vector<std::shared_ptr<QVPresetGroup>> allGroups() { return allGroupsWithoutUserPresets(false); }
  static std::vector<std::shared_ptr<QVPresetGroup>> allGroupsWithoutUserPresets(bool exclude);
  // The first shipped group with the identifier, else the container group of that name.
  static std::shared_ptr<QVPresetGroup> groupWithId(const std::string& identifier);

  // The presets in the order of `filenames`. Shipped (non-editable) groups number them 0, 1, 2...
  // by position (a missing file still takes its number); a second preset with an already used
  // UUID gets a new one and is saved at once.
  std::vector<std::shared_ptr<QVPreset>> loadPresets();
  // The preset whose file name (with extension) is `identifier`, or nullptr.
  std::shared_ptr<QVPreset> loadPresetWithId(const std::string& identifier);

  // "<container>/Presets/Custom", created when missing; empty without a container.
  static std::string userFolder();
  // "<container>/Presets"; empty without a container.
  static std::string containerPresetsFolder();
  // The shipped presets folder ("Presets" of the bundle's resources).
  static std::string bundlePresetsFolder();

  // Installs a preset pack (a zip archive of "PresetsInfo.plist", ".vlp" presets and PNG images)
  // as the folder "<container>/Presets/<file name up to its first '.'>". The archive is unzipped
  // and cleaned in a fresh temporary folder and moved into place only when that succeeded; a
  // name that is empty, "." or "..", holds a "/", or is already taken is refused. Every preset
  // gets the pack's group name and a new UUID. False when nothing was installed.
  static bool installGroupFromPackURL(const std::string& url);

  // The resource folder shipped groups are read from (the application bundle's by default; tests
  // point it elsewhere). An empty path restores the default.
  static void setBundleResourcePath(const std::string& path);
  static std::string bundleResourcePath();

  std::string identifier() const override { return identifier_; }
  void setIdentifier(std::string v) { identifier_ = std::move(v); }
  std::string name() const override { return name_; }
  void setName(std::string v) { name_ = std::move(v); }
  const std::string& path() const { return path_; }
  void setPath(std::string v) { path_ = std::move(v); }
  bool editable() const { return editable_; }
  void setEditable(bool v) { editable_ = v; }
  // The presets' file names without extension: a folder group's in name order, a shipped group's
  // in the order of its declaration.
  const std::vector<std::string>& filenames() const { return filenames_; }
  void setFilenames(std::vector<std::string> v) { filenames_ = std::move(v); }

  bool isUser() const { return identifier_ == kQVUserPresetGroupIdentifier; }
  bool isInContainers() const;

  // The group name of a folder: "Custom" for the folder "Custom", else the "GroupName" of its
  // "PresetsInfo.plist"; empty when it has none.
  static std::string groupNameFromPlistWithFolderPath(const std::string& path);

 private:
  using PresetPathVisitor =
      std::function<void(const std::string& path, const std::string& groupIdentifier, bool& stop)>;
  void enumeratePresetPaths(const PresetPathVisitor& visitor) const;
  void extractPresetIds();
  void update();
  static std::vector<std::shared_ptr<QVPresetGroup>> bundleGroups();
  static std::vector<std::shared_ptr<QVPresetGroup>> userGroupsWithoutUserPresets(bool exclude);
  static void removeDuplicatedUUIDs(std::vector<std::shared_ptr<QVPreset>>& presets);

  std::string identifier_;
  std::string name_;
  std::string path_;
  bool editable_ = false;
  std::vector<std::string> filenames_;
};
