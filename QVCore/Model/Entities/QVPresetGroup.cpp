#include "QVCore/Model/Entities/QVPresetGroup.h"

#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

#include "QVCore/Archive/QVZipArchiveHelper.h"
#include "QVCore/Categories/NSFileManager+Additions.h"
#include "QVCore/Categories/NSFileManager+ContainerDirectory.h"
#include "QVCore/Model/Entities/QVPresetConstants.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/PropertyList.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPresetsFolder = "Presets";
constexpr const char* kBundleGroupListName = "BundlePresetGroupInfo";
constexpr const char* kPackStagingPrefix = ".pack-";

std::mutex& bundlePathMutex() {
  static std::mutex m;
  return m;
}
std::string& bundlePathOverride() {
  static std::string path;
  return path;
}

std::string stringFor(const qv::Value& dictionary, const char* key) {
  const qv::Value* v = dictionary.find(key);
  return v && v->isString() ? *v->string() : std::string();
}

bool isDirectory(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

// Entry names of a folder in name order; nullopt when it cannot be listed.
std::optional<std::vector<std::string>> listFolder(const std::string& path, std::string* failure) {
  std::vector<std::string> names;
  std::error_code ec;
  fs::directory_iterator it(path, ec), end;
  for (; !ec && it != end; it.increment(ec)) names.push_back(it->path().filename().string());
  if (ec) {
    if (failure) *failure = ec.message();
    return std::nullopt;
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The pack's group folder name: the URL's last component without percent encoding, cut before its
// first ".".
std::string packGroupName(const std::string& url) {
  std::string name = NSFileManagerAdditions::removingPercentEncoding(qv::lastPathComponent(url));
  if (auto dot = name.find('.'); dot != std::string::npos) name.erase(dot);
  return name;
}

// Rewrites one unpacked preset for the group it now belongs to.
void adoptPackPreset(const std::string& entryPath, const std::string& groupName) {
  const std::string plist =
      isDirectory(entryPath)
          ? qv::appendingPathComponent(entryPath, "Contents/preset." + QVPresetConstants::presetFileExtension())
          : entryPath;
  qv::Value dictionary = qv::PropertyList::readFile(plist, nullptr);
  if (!dictionary.isDictionary() || groupName.empty()) return;
  dictionary.set(kQVPresetGroupIdentifierKey, groupName);
  dictionary.set(kQVPresetUUIDKey, qv::stringWithUUID());
  qv::Error error;
  if (!qv::PropertyList::writeFile(plist, dictionary, qv::PropertyListFormat::XML, &error))
    QV_LOG_FAILURE("[NSDictionary writeToFile:" + plist + " atomically:YES] " + error.description);
}

}  // namespace

// ---- folders ------------------------------------------------------------------------------------

void QVPresetGroup::setBundleResourcePath(const std::string& path) {
  std::lock_guard<std::mutex> lock(bundlePathMutex());
  bundlePathOverride() = path;
}

std::string QVPresetGroup::bundleResourcePath() {
  {
    std::lock_guard<std::mutex> lock(bundlePathMutex());
    if (!bundlePathOverride().empty()) return bundlePathOverride();
  }
  return qv::Bundle::appBundle().resourcePath();
}

std::string QVPresetGroup::bundlePresetsFolder() {
  return qv::appendingPathComponent(bundleResourcePath(), kPresetsFolder);
}

std::string QVPresetGroup::containerPresetsFolder() {
  const std::string container = NSFileManagerContainerDirectory::containerDirectory();
  return container.empty() ? std::string() : qv::appendingPathComponent(container, kPresetsFolder);
}

std::string QVPresetGroup::userFolder() {
  const std::string presets = containerPresetsFolder();
  if (presets.empty()) return {};
  const std::string folder = qv::appendingPathComponent(presets, kQVUserPresetGroupIdentifier);
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(folder, ec)) && !NSFileManagerAdditions::createDirectoryAtPath(folder))
    QV_LOG_FAILURE("[NSFileManager createDirectoryAtPath:" + folder + "] == NO");
  return folder;
}

bool QVPresetGroup::isInContainers() const {
  const std::string presets = containerPresetsFolder();
  return !presets.empty() && path_.find(presets) != std::string::npos;
}

std::string QVPresetGroup::groupNameFromPlistWithFolderPath(const std::string& path) {
  if (path.empty()) return {};
  if (qv::lastPathComponent(path) == kQVUserPresetGroupIdentifier) return kQVUserPresetGroupIdentifier;
  const std::string info = qv::appendingPathComponent(path, kQVPresetGroupInfoFileName);
  return stringFor(qv::PropertyList::readFile(info, nullptr), kQVPresetGroupNameKey);
}

// ---- making groups ------------------------------------------------------------------------------

std::shared_ptr<QVPresetGroup> QVPresetGroup::initWithPath(const std::string& path, const std::string& realName) {
  auto group = std::make_shared<QVPresetGroup>();
  group->path_ = path;
  group->name_ = realName.empty() ? qv::lastPathComponent(path) : realName;
  group->identifier_ = group->name_;
  group->editable_ = true;
  group->extractPresetIds();
  return group;
}

std::shared_ptr<QVPresetGroup> QVPresetGroup::initWithDic(const qv::Value& dictionary) {
  if (!dictionary.isDictionary()) return nullptr;
  auto group = std::make_shared<QVPresetGroup>();
  group->identifier_ = stringFor(dictionary, "Identifier");
  group->name_ = stringFor(dictionary, "Name");
  if (const qv::Value* ids = dictionary.find("PresetsIdentifier"); ids && ids->array()) {
    for (const auto& id : *ids->array()) {
      if (id.isString()) group->filenames_.push_back(*id.string());
    }
  }
  if (const qv::Value* editable = dictionary.find("Editable"); editable && editable->isNumber())
    group->editable_ = editable->asBool();
  group->path_ = stringFor(dictionary, "Path");
  return group;
}

void QVPresetGroup::extractPresetIds() {
  filenames_.clear();
  const std::string extension = QVPresetConstants::presetFileExtension();
  for (const auto& name : listFolder(path_, nullptr).value_or(std::vector<std::string>{})) {
    if (qv::pathExtension(name) == extension) filenames_.push_back(qv::deletingPathExtension(name));
  }
}

void QVPresetGroup::update() {
  if (isUser() && !path_.empty() && !isDirectory(path_)) NSFileManagerAdditions::createDirectoryAtPath(path_);
}

// ---- listing ------------------------------------------------------------------------------------

std::vector<std::shared_ptr<QVPresetGroup>> QVPresetGroup::bundleGroups() {
  std::vector<std::shared_ptr<QVPresetGroup>> groups;
  const std::string list =
      qv::appendingPathComponent(bundleResourcePath(), std::string(kBundleGroupListName) + ".plist");
  qv::Value entries = qv::PropertyList::readFile(list, nullptr);
  if (!entries.array()) return groups;
  for (const auto& entry : *entries.array()) {
    if (auto group = initWithDic(entry)) groups.push_back(std::move(group));
  }
  return groups;
}

std::vector<std::shared_ptr<QVPresetGroup>> QVPresetGroup::userGroupsWithoutUserPresets(bool exclude) {
  std::vector<std::shared_ptr<QVPresetGroup>> groups;
  if (userFolder().empty()) return groups;
  for (const auto& folder : NSFileManagerAdditions::filesSortedByModDateFromDir(containerPresetsFolder())) {
    // A pack being installed is not a group yet.
    if (qv::lastPathComponent(folder).rfind(kPackStagingPrefix, 0) == 0 || !isDirectory(folder)) continue;
    const std::string groupName = groupNameFromPlistWithFolderPath(folder);
    if (groupName.empty()) continue;
    if (exclude && groupName == kQVUserPresetGroupIdentifier) continue;
    groups.push_back(initWithPath(folder, groupName));
  }
  return groups;
}

std::vector<std::shared_ptr<QVPresetGroup>> QVPresetGroup::allGroupsWithoutUserPresets(bool exclude) {
  auto groups = userGroupsWithoutUserPresets(exclude);
  auto shipped = bundleGroups();
  groups.insert(groups.end(), shipped.begin(), shipped.end());
  return groups;
}

std::shared_ptr<QVPresetGroup> QVPresetGroup::groupWithId(const std::string& identifier) {
  for (auto& group : bundleGroups()) {
    if (group->identifier_ == identifier) return group;
  }
  for (auto& group : userGroupsWithoutUserPresets(false)) {
    if (group->name_ == identifier) {
      group->update();
      return group;
    }
  }
  return nullptr;
}

// ---- presets ------------------------------------------------------------------------------------

void QVPresetGroup::enumeratePresetPaths(const PresetPathVisitor& visitor) const {
  const std::string extension = QVPresetConstants::presetFileExtension();
  std::string folder = path_;
  if (folder.empty() && !identifier_.empty()) folder = qv::appendingPathComponent(bundlePresetsFolder(), identifier_);
  if (folder.empty()) return;
  bool stop = false;
  for (const auto& name : filenames_) {
    visitor(qv::appendingPathComponent(folder, qv::appendingPathExtension(name, extension)), identifier_, stop);
    if (stop) break;
  }
}

std::vector<std::shared_ptr<QVPreset>> QVPresetGroup::loadPresets() {
  std::vector<std::shared_ptr<QVPreset>> presets;
  uint8_t counter = 0;
  enumeratePresetPaths([&](const std::string& path, const std::string& groupIdentifier, bool&) {
    auto preset = QVPreset::initWithPath(path);
    if (!editable_) {
      if (preset) preset->setPriority(counter);
      ++counter;
    }
    if (!preset) return;
    // A preset belongs to the group it is filed in, whatever its file says (a file copied
    // from another group must not be saved into, or removed from, that group's folder).
    preset->setGroupIdentifier(groupIdentifier);
    presets.push_back(std::move(preset));
  });
  removeDuplicatedUUIDs(presets);
  return presets;
}

std::shared_ptr<QVPreset> QVPresetGroup::loadPresetWithId(const std::string& identifier) {
  std::shared_ptr<QVPreset> found;
  enumeratePresetPaths([&](const std::string& path, const std::string& groupIdentifier, bool&) {
    if (qv::lastPathComponent(path) != identifier) return;
    if (auto preset = QVPreset::initWithPath(path)) {
      preset->setGroupIdentifier(groupIdentifier);
      found = std::move(preset);
    }
  });
  return found;
}

void QVPresetGroup::removeDuplicatedUUIDs(std::vector<std::shared_ptr<QVPreset>>& presets) {
  std::set<std::string> seen;
  for (auto& preset : presets) {
    if (seen.insert(preset->uuid()).second) continue;
    preset->generateNewUUID();
    seen.insert(preset->uuid());
    preset->save(nullptr);
  }
}

// ---- packs --------------------------------------------------------------------------------------

bool QVPresetGroup::installGroupFromPackURL(const std::string& url) {
  const std::string name = packGroupName(url);
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
      name.rfind(kPackStagingPrefix, 0) == 0) {
    QVLogError("Preset pack %s has no usable group name", url.c_str());
    return false;
  }
  const std::string presets = containerPresetsFolder();
  if (presets.empty()) return false;
  const std::string destination = qv::appendingPathComponent(presets, name);
  std::error_code ec;
  if (fs::exists(fs::symlink_status(destination, ec))) {
    QVLogError("Preset pack %s: the group folder %s already exists", url.c_str(), destination.c_str());
    return false;
  }
  // Unpacked and cleaned out of sight; the user's presets are only touched by the final move.
  const std::string staging = qv::appendingPathComponent(presets, kPackStagingPrefix + qv::stringWithUUID());
  auto abandon = [&] {
    std::error_code ignored;
    fs::remove_all(staging, ignored);
    return false;
  };
  if (!NSFileManagerAdditions::createDirectoryAtPath(staging)) return abandon();
  // A pack holds presets and pictures: a symbolic link in one can only be an attempt to write
  // elsewhere, so the whole pack is refused.
  if (!QVZipArchiveHelper::unzipFileAtPath(NSFileManagerAdditions::pathOfFileURL(url), staging, false))
    return abandon();

  std::string failure;
  auto entries = listFolder(staging, &failure);
  if (!entries) {
    QV_LOG_FAILURE("[fileManager contentsOfDirectoryAtPath:" + staging + " error:" + failure + "]");
    return abandon();
  }
  const std::string extension = QVPresetConstants::presetFileExtension();
  const std::string groupName = groupNameFromPlistWithFolderPath(staging);
  if (groupName == kQVUserPresetGroupIdentifier) {
    QVLogError("Preset pack %s claims the user's group", url.c_str());
    return abandon();
  }
  for (const auto& entry : *entries) {
    const std::string entryPath = qv::appendingPathComponent(staging, entry);
    const std::string entryExtension = qv::pathExtension(entry);
    if (entryExtension == "png" || entry == kQVPresetGroupInfoFileName) continue;
    if (!extension.empty() && entryExtension == extension) {
      adoptPackPreset(entryPath, groupName);
      continue;
    }
    std::error_code removeError;
    fs::remove_all(entryPath, removeError);
    if (removeError)
      QV_LOG_FAILURE("[fileManager removeItemAtPath:" + entryPath + " error:" + removeError.message() + "]");
  }
  if (fs::exists(fs::symlink_status(destination, ec))) return abandon();
  fs::rename(staging, destination, ec);
  if (ec) {
    QV_LOG_FAILURE("[fileManager moveItemAtPath:" + staging + " toPath:" + destination + " error:" + ec.message() +
                   "]");
    return abandon();
  }
  return true;
}
