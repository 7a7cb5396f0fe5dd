#include "Ombrel/Classes/Application/Export/QVExportDatasource.h"

#include "Ombrel/Classes/Business/ExportManager/QVExportManager.h"
#include "Ombrel/Classes/Business/ExportManager/QVSharingServices.h"
#include "QVPlatform/Localization.h"

namespace {

struct Target {
  const char* key;
  const char* image;
  const char* selectedImage;
  const char* smallImage;
};

constexpr Target kTargets[] = {
    {"disk", "SafetoDisk", "SafetoDisk_selected", "SafetoDisk_small"},
    {"flickr", "flickr", "flickr_selected", ""},
    {"email", "email", "email_selected", ""},
    {"facebook", "Facebook", "Facebook_selected", ""},
    {"twitter", "Twitter", "Twitter_selected", ""},
    {"mendrix", "mendrix", "mendrix_selected", "mendrix_small"},
};
constexpr uint64_t kTargetCount = sizeof(kTargets) / sizeof(kTargets[0]);

std::function<bool(uint64_t)>& offeredQuery() {
  static std::function<bool(uint64_t)> query;
  return query;
}

bool siblingApplicationInstalled() {
  for (const char* id : kQVMendrixApplicationIDs)
    if (!QVSharingServices::desktopEntryPath(id).empty()) return true;
  return false;
}

}  // namespace

QVExportDatasource& QVExportDatasource::shared() {
  static QVExportDatasource datasource;
  return datasource;
}

std::optional<std::string> QVExportDatasource::exportTypeString(uint64_t type) {
  if (type >= kTargetCount) return std::nullopt;
  return std::string(kTargets[type].key);
}

std::optional<std::string> QVExportDatasource::sharingServiceTypeForExportType(uint64_t type) {
  if (type == kQVExportTypeEmail) return std::string("xdg-email");
  return std::nullopt;
}

bool QVExportDatasource::isTargetOffered(uint64_t type) {
  if (const auto& query = offeredQuery()) return query(type);
  if (!QVSharingServices::isExportTypeAvailable(type)) return false;
  return type != kQVExportTypeMendrix || siblingApplicationInstalled();
}

void QVExportDatasource::setTargetOfferedQuery(std::function<bool(uint64_t)> query) {
  offeredQuery() = std::move(query);
}

std::vector<QVExportMenuItemPtr> QVExportDatasource::exportItems() {
  std::vector<QVExportMenuItemPtr> items;
  for (const auto& item : shared().cachedItems())
    if (isTargetOffered(item->type)) items.push_back(item);
  return items;
}

QVExportMenuItemPtr QVExportDatasource::exportItemForType(uint64_t type) const {
  auto item = std::make_shared<QVExportMenuItem>();
  item->type = type;
  if (type < kTargetCount) {
    const Target& target = kTargets[type];
    item->title = qv::QVSLocalization::localizedStringForKey(target.key);
    item->imageName = target.image;
    item->selectedImageName = target.selectedImage;
    item->smallImageName = target.smallImage;
  }
  // Sharing services bring no picture of their own here: every row shows our artwork.
  return item;
}

const std::vector<QVExportMenuItemPtr>& QVExportDatasource::cachedItems() {
  if (cachedItems_.empty())
    for (uint64_t type = 0; type < kTargetCount; ++type) cachedItems_.push_back(exportItemForType(type));
  return cachedItems_;
}
