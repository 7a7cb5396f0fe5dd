#include "QVCore/Services/QVPresetService.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

#include "QVCore/Categories/NSFileManager+Additions.h"
#include "QVCore/Categories/NSFileManager+ContainerDirectory.h"
#include "QVCore/Common/QVCoreStartup.h"
#include "QVCore/Services/QVFavoritePresetService.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/NotificationCenter.h"
#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"
#include "QVPlatform/UserDefaults.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUserGroupTitle = "User Presets";
constexpr const char* kSupportAddress = "support@solvane.app";

std::mutex& interfaceMutex() {
  static std::mutex m;
  return m;
}
std::shared_ptr<QVPresetServiceInterface>& installedInterface() {
  static std::shared_ptr<QVPresetServiceInterface> ui;
  return ui;
}

void logError(const qv::Error& error) { QVLogError("%s", error.description.c_str()); }

std::string localized(const std::string& key, const std::string& comment = {}) {
  return qv::QVSLocalization::localizedStringForKey(key, comment);
}

// "%@" of a localised format filled with one text.
std::string filled(const std::string& format, const std::string& value) {
  std::string out = format;
  if (auto at = out.find("%@"); at != std::string::npos) out.replace(at, 2, value);
  return out;
}

bool hasLayers(const qv::Value& dictionary) {
  const qv::Value* layers = dictionary.find(kQVPresetAdjustmentLayersKey);
  return layers && layers->array() && !layers->array()->empty();
}

}  // namespace

// ---- interface ----------------------------------------------------------------------------------

void QVPresetService::setInterface(std::shared_ptr<QVPresetServiceInterface> ui) {
  std::lock_guard<std::mutex> lock(interfaceMutex());
  installedInterface() = std::move(ui);
}

std::shared_ptr<QVPresetServiceInterface> QVPresetService::interface() {
  std::lock_guard<std::mutex> lock(interfaceMutex());
  return installedInterface();
}

// ---- listing ------------------------------------------------------------------------------------

std::vector<std::shared_ptr<QVPresetGroup>> QVPresetService::loadGroupsExcludingUserPresets(bool exclude) {
  return QVPresetGroup::allGroupsWithoutUserPresets(exclude);
}

std::vector<std::shared_ptr<QVPreset>> QVPresetService::allPresetsExcludingUser(bool exclude) {
  std::vector<std::shared_ptr<QVPreset>> presets;
  for (const auto& group : loadGroupsExcludingUserPresets(exclude)) {
    auto loaded = group->loadPresets();
    presets.insert(presets.end(), loaded.begin(), loaded.end());
  }
  return presets;
}

std::vector<std::shared_ptr<QVPreset>> QVPresetService::loadPresetsFromGroupIdentifier(
    const std::string& groupIdentifier, bool* found) {
  auto group = QVPresetGroup::groupWithId(groupIdentifier);
  if (found) *found = group != nullptr;
  return group ? group->loadPresets() : std::vector<std::shared_ptr<QVPreset>>{};
}

std::shared_ptr<QVPreset> QVPresetService::extractPresetWithUUID(const std::string& uuid) {
  if (uuid.empty()) return nullptr;
  for (auto& preset : allPresets()) {
    if (preset->isAssociatedWithUUID(uuid)) return preset;
  }
  return nullptr;
}

std::shared_ptr<QVPreset> QVPresetService::extractPresetWithId(const std::string& identifier) {
  if (identifier.empty()) return nullptr;
  for (auto& preset : allPresets()) {
    if (preset->identifier() == identifier) return preset;
  }
  return nullptr;
}

std::shared_ptr<QVPreset> QVPresetService::extractPresetWithId(const std::string& identifier,
                                                               const std::string& groupId) {
  auto group = QVPresetGroup::groupWithId(groupId);
  return group ? group->loadPresetWithId(identifier) : nullptr;
}

std::vector<std::shared_ptr<QVPreset>> QVPresetService::sortPresets(std::vector<std::shared_ptr<QVPreset>> presets) {
  std::stable_sort(presets.begin(), presets.end(), [](const auto& a, const auto& b) {
    if (a->priority() != b->priority()) return a->priority() < b->priority();
    return a->identifier() < b->identifier();
  });
  return presets;
}

bool QVPresetService::isPresetNameAlreadyTaken(const std::string& name) {
  if (qv::isEmpty(name)) return true;
  for (const auto& preset : allPresets()) {
    if (preset->isAssociatedWithName(name)) return true;
  }
  return false;
}

// ---- changes ------------------------------------------------------------------------------------

std::string QVPresetService::createPresetWithDic(const qv::Value& dictionary) {
  if (!hasLayers(dictionary)) return {};
  auto preset = QVPreset::initWithDic(dictionary);
  if (!preset || hasPreset(preset)) return {};
  return savePreset(preset) ? preset->uuid() : std::string();
}

std::string QVPresetService::createPresetWithDic(const qv::Value& dictionary, const std::string& folder) {
  if (!hasLayers(dictionary)) return {};
  auto preset = QVPreset::initWithDic(dictionary);
  if (!preset) return {};
  qv::Error error;
  if (!preset->saveAtFolder(folder, &error)) {
    logError(error);
    return {};
  }
  return preset->uuid();
}

bool QVPresetService::savePreset(const std::shared_ptr<QVPreset>& preset) {
  if (!preset) return false;
  qv::Error error;
  if (!preset->save(&error)) {
    logError(error);
    return false;
  }
  notifyObserversOfPresetChange(preset, kQVAddPresetNotification);
  return true;
}

void QVPresetService::deletePreset(const std::shared_ptr<QVPreset>& preset) {
  if (!preset) return;
  qv::Error error;
  if (!preset->remove(&error)) {
    logError(error);
    return;
  }
  notifyObserversOfPresetChange(preset, kQVRemovePresetNotification);
}

void QVPresetService::updatePreset(const std::shared_ptr<QVPreset>& preset, const std::string& newName) {
  if (!preset) return;
  qv::Error error;
  if (!preset->updateName(newName, &error)) logError(error);
}

void QVPresetService::deleteGroup(const QVPresetGroup& group) {
  // Only the user's own folders go; a shipped group's folder is part of the application.
  std::error_code ec;
  if (group.path().empty() || !group.isInContainers() || fs::remove_all(group.path(), ec) == 0 || ec)
    QV_LOG_FAILURE("![[NSFileManager defaultManager] removeItemAtPath:" + group.path() + " error:" + ec.message() +
                   "]");
}

bool QVPresetService::setFavorite(bool favorite, const std::string& presetUUID) {
  return QVFavoritePresetService::setFavorite(favorite, presetUUID);
}

std::string QVPresetService::importPresetWithPath(const std::string& path) {
  if (path.empty()) return {};
  const std::string container = NSFileManagerContainerDirectory::containerDirectory();
  if (container.empty()) return {};
  const std::string folder = qv::appendingPathComponent(container, "Presets/Custom");
  std::set<std::string> taken;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    taken.insert(qv::deletingPathExtension(it->path().filename().string()));
  const std::string base = qv::deletingPathExtension(qv::lastPathComponent(path));
  std::string candidate = base;
  for (int i = 2; taken.count(candidate); ++i) candidate = base + " " + std::to_string(i);
  NSFileManagerAdditions::createDirectoryAtPath(folder);
  const std::string target =
      qv::appendingPathComponent(folder, candidate + "." + QVPresetConstants::presetFileExtension());
  fs::copy(path, target, fs::copy_options::recursive, ec);
  if (ec) {
    QV_LOG_FAILURE("[NSFileManager copyItemAtPath:" + path + " toPath:" + target + "] " + ec.message());
    return {};
  }
  return target;
}

// ---- packs and the file browser -----------------------------------------------------------------

bool QVPresetService::addPresetPackWithContentOfURL(const std::string& url) {
  if (!QVPresetGroup::installGroupFromPackURL(url)) return false;
  qv::NotificationCenter::defaultCenter().post(kQVPresetPackDidAddNotification);
  return true;
}

void QVPresetService::processPresetPackWithURL(const std::string& url) {
  const bool added = addPresetPackWithContentOfURL(url);
  std::string message, informative;
  if (added) {
    const std::string name =
        qv::deletingPathExtension(qv::lastPathComponent(NSFileManagerAdditions::pathOfFileURL(url)));
    message = filled(localized("'%@' has been successfully added."), name);
    informative = localized("You can access these presets from the presets window.");
  } else {
    message = localized("Oops. Something went wrong.");
    informative =
        localized(std::string("The preset pack wasn't added to your collection.\n\nPlease make sure it is the "
                              "right preset pack and try again, or write to us at ") +
                  kSupportAddress + ".");
  }
  const std::string button = localized("OK", "OK");
  auto ui = interface();
  if (!ui) {
    QVLogInfo("%s %s", message.c_str(), informative.c_str());
    return;
  }
  qv::dispatchOnMainThread([ui, message, informative, button] { ui->runAlert(message, informative, button); });
}

void QVPresetService::showFolder() {
  const std::string folder = QVPresetGroup::userFolder();
  if (auto ui = interface(); ui && !folder.empty()) ui->openFolder(folder);
}

void QVPresetService::showInFinderPreset(const QVPreset& preset) {
  const std::string path = preset.path();
  if (auto ui = interface(); ui && !path.empty()) ui->selectFile(path);
}

// ---- overview -----------------------------------------------------------------------------------

qv::Value QVPresetService::allGroupsPresetsInfo() {
  qv::Array overview;
  for (const auto& group : loadGroups()) {
    overview.push_back(group->isUser() ? std::string(kUserGroupTitle) : group->name());
    qv::Array presets;
    for (const auto& preset : sortPresets(group->loadPresets()))
      presets.push_back(qv::Dictionary{{"id", preset->uuid()}, {"name", preset->name()}});
    overview.push_back(std::move(presets));
  }
  return overview;
}

bool QVPresetService::storePresetsInfoToPath(const std::string& path) {
  const qv::Value overview = allGroupsPresetsInfo();
  qv::Error error;
  auto xml = qv::PropertyList::toXML(overview, &error);
  if (!xml) {
    QV_LOG_FAILURE("![NSPropertyListSerialization dataWithPropertyList:" + overview.description() +
                   " format:NSPropertyListXMLFormat_v1_0 options:0 error:" + error.description + "]");
    return false;
  }
  if (!qv::writeFileAtomically(path, *xml, &error)) {
    QV_LOG_FAILURE("[NSData writeToFile:" + path + " atomically:YES] " + error.description);
    return false;
  }
  return true;
}

// ---- helpers ------------------------------------------------------------------------------------

qv::UserDefaults& QVPresetService::presetsSharedDefaults() { return QVFavoritePresetService::presetsSharedDefaults(); }

bool QVPresetService::presetArrayContainsPreset(const std::vector<std::shared_ptr<QVPreset>>& presets,
                                                const std::shared_ptr<QVPreset>& preset) {
  if (!preset) return false;
  return std::any_of(presets.begin(), presets.end(), [&](const auto& p) { return p->isEqualTo(preset.get()); });
}

bool QVPresetService::hasPreset(const std::shared_ptr<QVPreset>& preset) {
  return presetArrayContainsPreset(allPresets(), preset);
}

void QVPresetService::notifyObserversOfPresetChange(const std::shared_ptr<QVPreset>& preset, const std::string& name) {
  qv::NotificationCenter::defaultCenter().post(name, preset);
}
