#include "Ombrel/Classes/Business/Batch/QVExportSettingsDatasourceManager.h"

#include <algorithm>
#include <array>

#include "Ombrel/Classes/Basic/QVSingleton.h"
#include "Ombrel/Classes/Business/Batch/QVBatchTextHelpers.h"
#include "Ombrel/Classes/Business/Batch/QVExportFileTypes.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/Localization.h"

namespace {

// Types a writer may know but an export never offers.
constexpr std::array<const char*, 15> kExcludedSaveTypes = {
    "com.compuserve.gif", "com.apple.icns",    "com.sgi.sgi-image",
    "com.microsoft.ico",  "public.pbm",        "public.pvr",
    "com.apple.rjpeg",    "com.microsoft.bmp", "com.truevision.tga-image",
    "org.khronos.astc",   "org.khronos.ktx",   "com.ilm.openexr-image",
    "com.microsoft.dds",  "com.apple.atx",     "public.heic",
};

}  // namespace

QVExportSettingsDatasourceManager& QVExportSettingsDatasourceManager::shared() {
  return qvSingleton<QVExportSettingsDatasourceManager>("QVExportSettingsDatasourceManager");
}

QVExportSettingsDatasourceManager::QVExportSettingsDatasourceManager()
    : saveTypes_(saveTypesFromIdentifiers(CGImageDestinationCopyTypeIdentifiers())),
      colorSpaceSettings_{{1, "sRGB"}, {2, "Adobe RGB"}, {3, "ProPhoto RGB"}},
      resizeTypes_{{0, "Original"}, {1, "Long Edge"}, {2, "Short Edge"}, {3, "Dimensions"}},
      compressionTypes_{qv::QVSLocalization::localizedStringForKey("None"), "LZW", "PackBits"},
      compressionTypesValues_{1, 5, 32773},
      depthTitles_{"8 Bits", "16 Bits"},
      depthValues_{8, 16} {}

std::vector<QVSaveTypeSetting> QVExportSettingsDatasourceManager::saveTypesFromIdentifiers(
    const std::vector<std::string>& identifiers) {
  std::vector<QVSaveTypeSetting> types;
  for (const auto& identifier : identifiers) {
    bool excluded = std::any_of(kExcludedSaveTypes.begin(), kExcludedSaveTypes.end(), [&](const char* type) {
      return QVBatchTextHelpers::caseInsensitiveEquals(identifier, type);
    });
    if (excluded) continue;
    types.push_back({identifier, QVExportFileTypes::displayName(identifier).value_or(identifier)});
  }
  return types;
}

std::vector<std::string> QVExportSettingsDatasourceManager::saveTypeTitles() const {
  std::vector<std::string> titles;
  for (const auto& t : saveTypes_) titles.push_back(t.title);
  return titles;
}

std::optional<std::string> QVExportSettingsDatasourceManager::saveTypeIdentifierForTitle(
    const std::string& title) const {
  for (const auto& t : saveTypes_)
    if (QVBatchTextHelpers::caseInsensitiveEquals(t.title, title)) return t.identifier;
  return std::nullopt;
}

uint64_t QVExportSettingsDatasourceManager::indexOfSaveTypeWithIdentifier(const std::string& identifier) const {
  for (size_t i = 0; i < saveTypes_.size(); ++i)
    if (saveTypes_[i].identifier == identifier) return i;
  return 0;
}

std::vector<std::string> QVExportSettingsDatasourceManager::colorSpaceTitles() const {
  std::vector<std::string> titles;
  for (const auto& c : colorSpaceSettings_) titles.push_back(c.title);
  return titles;
}

uint64_t QVExportSettingsDatasourceManager::indexForColorSpace(int64_t identifier) const {
  for (size_t i = 0; i < colorSpaceSettings_.size(); ++i)
    if (colorSpaceSettings_[i].identifier == identifier) return i;
  return 0;
}

int64_t QVExportSettingsDatasourceManager::colorSpaceAtIndex(uint64_t index) const {
  return index < colorSpaceSettings_.size() ? colorSpaceSettings_[index].identifier : colorSpaceSettings_[0].identifier;
}

std::vector<std::string> QVExportSettingsDatasourceManager::resizeTypesTitles() const {
  return QVBatchTitleParams::localizedUppercaseTitles(resizeTypes_);
}
