#pragma once
// The option lists of the export settings, built once per process (`shared()`) and never changed,
// so the references handed out stay valid and repeated calls give the same lists:
//   save types      every type the image writer can write, in its order, less the ones we do not
//                   offer (GIF, HEIC, icons, textures and the like), titled by QVExportFileTypes
//                   (the identifier when it has no title)
//   colour spaces   1 "sRGB", 2 "Adobe RGB", 3 "ProPhoto RGB"
//   resize types    0 "Original", 1 "Long Edge", 2 "Short Edge", 3 "Dimensions"
//   TIFF compression "None" (localised), "LZW", "PackBits" → 1, 5, 32773 (the TIFF codes)
//   bit depths      "8 Bits", "16 Bits" → 8, 16
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Business/Batch/QVBatchTitleParams.h"

struct QVSaveTypeSetting {
  std::string identifier;
  std::string title;
  static QVSaveTypeSetting saveTypeWithIdentifier(std::string identifier, std::string title) {
    return {std::move(identifier), std::move(title)};
  }
  friend bool operator==(const QVSaveTypeSetting&, const QVSaveTypeSetting&) = default;
};

struct QVColorSpaceSetting {
  int64_t identifier = 0;
  std::string title;
  static QVColorSpaceSetting colorSpaceSettingWithIdentifier(int64_t identifier, std::string title) {
    return {identifier, std::move(title)};
  }
  friend bool operator==(const QVColorSpaceSetting&, const QVColorSpaceSetting&) = default;
};

class QVExportSettingsDatasourceManager {
 public:
  static QVExportSettingsDatasourceManager& shared();
  // Built from the image writer's own list of types.
  QVExportSettingsDatasourceManager();
  // The save types offered for writable type identifiers given in the writer's order.
  static std::vector<QVSaveTypeSetting> saveTypesFromIdentifiers(const std::vector<std::string>& identifiers);

  const std::vector<QVSaveTypeSetting>& saveTypes() const { return saveTypes_; }
  std::vector<std::string> saveTypeTitles() const;
  // The identifier of the save type whose title equals the text without regard to case.
  std::optional<std::string> saveTypeIdentifierForTitle(const std::string& title) const;
  // Index of the save type with exactly that identifier; 0 when none.
  uint64_t indexOfSaveTypeWithIdentifier(const std::string& identifier) const;

  const std::vector<QVColorSpaceSetting>& colorSpaceSettings() const { return colorSpaceSettings_; }
  std::vector<std::string> colorSpaceTitles() const;
  // Index of the colour space with that identifier; 0 (sRGB) when none.
  uint64_t indexForColorSpace(int64_t identifier) const;
  // Identifier of the colour space at the index; sRGB (1) for an index outside the list.
  int64_t colorSpaceAtIndex(uint64_t index) const;

  const std::vector<QVBatchTitleParams>& resizeTypes() const { return resizeTypes_; }
  // Localised and upper-cased.
  std::vector<std::string> resizeTypesTitles() const;

  // TIFF compression titles and codes, index-aligned.
  const std::vector<std::string>& compressionTypes() const { return compressionTypes_; }
  const std::vector<std::string>& compressionTypesTitles() const { return compressionTypes_; }
  const std::vector<int64_t>& compressionTypesValues() const { return compressionTypesValues_; }
  // Bit-depth titles and values, index-aligned.
  const std::vector<std::string>& depthTitles() const { return depthTitles_; }
  const std::vector<std::string>& depthsTitles() const { return depthTitles_; }
  const std::vector<int64_t>& depthValues() const { return depthValues_; }

 private:
  std::vector<QVSaveTypeSetting> saveTypes_;
  std::vector<QVColorSpaceSetting> colorSpaceSettings_;
  std::vector<QVBatchTitleParams> resizeTypes_;
  std::vector<std::string> compressionTypes_;
  std::vector<int64_t> compressionTypesValues_;
  std::vector<std::string> depthTitles_;
  std::vector<int64_t> depthValues_;
};
