#include "QVCore/Services/QVFavoritePresetService.h"

#include <mutex>

#include "QVCore/Categories/NSFileManager+Additions.h"
#include "QVCore/Categories/NSFileManager+ContainerDirectory.h"
#include "QVCore/Common/QVCoreStartup.h"
#include "QVCore/Model/Entities/QVPreset.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/PropertyList.h"
#include "QVPlatform/UserDefaults.h"

namespace {
// Presets read from disk learn from here whether they are favourites.
[[maybe_unused]] const bool kFavoriteLookupInstalled =
    (QVPreset::setFavoriteLookup(&QVFavoritePresetService::isFavoritePresetWithUUID), true);
}  // namespace

qv::UserDefaults& QVFavoritePresetService::presetsSharedDefaults() {
  static qv::UserDefaults* defaults = [] {
    auto* made = new qv::UserDefaults(QVAppGroupIdentifier());
    made->synchronize();
    return made;
  }();
  return *defaults;
}

void QVFavoritePresetService::migrateFavoritesFromDefaults() {
  qv::UserDefaults& defaults = presetsSharedDefaults();
  qv::Value old = defaults.objectForKey(kQVPresetFavoriteDefaultsKey);
  if (!old.dictionary() || old.dictionary()->empty()) return;
  defaults.removeObjectForKey(kQVPresetFavoriteDefaultsKey);
  saveFavoriteItems(*old.dictionary());
}

std::string QVFavoritePresetService::favoritesPlistPath() {
  const std::string container = NSFileManagerContainerDirectory::containerDirectory();
  if (container.empty()) return {};
  const std::string folder = qv::appendingPathComponent(container, kQVFavoritesFolderName);
  NSFileManagerAdditions::createDirectoryAtPath(folder);
  return qv::appendingPathComponent(folder, kQVFavoritesFileName);
}

qv::Dictionary QVFavoritePresetService::favoriteItems() {
  static std::once_flag migrated;
  std::call_once(migrated, [] { migrateFavoritesFromDefaults(); });
  const std::string path = favoritesPlistPath();
  if (path.empty()) return {};
  qv::Value stored = qv::PropertyList::readFile(path, nullptr);
  return stored.dictionary() ? *stored.dictionary() : qv::Dictionary{};
}

bool QVFavoritePresetService::saveFavoriteItems(const qv::Dictionary& items) {
  const std::string path = favoritesPlistPath();
  qv::Error error;
  if (!path.empty() && qv::PropertyList::writeFile(path, qv::Value(items), qv::PropertyListFormat::XML, &error))
    return true;
  QV_LOG_FAILURE("[NSDictionary writeToFile:" + path + " atomically:YES] == NO " + error.description);
  return false;
}

bool QVFavoritePresetService::setFavorite(bool favorite, const std::string& presetUUID) {
  if (presetUUID.empty()) return false;
  qv::Dictionary items = favoriteItems();
  items[presetUUID] = favorite;
  return saveFavoriteItems(items);
}

bool QVFavoritePresetService::isFavoritePresetWithUUID(const std::string& presetUUID) {
  if (presetUUID.empty()) return false;
  qv::Dictionary items = favoriteItems();
  auto it = items.find(presetUUID);
  return it != items.end() && it->second.isNumber() && it->second.asBool();
}
