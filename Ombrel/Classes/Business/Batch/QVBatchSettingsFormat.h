#pragma once
// The file format of a batch export: type identifier, quality (0 to 1), colour space (1 sRGB,
// 2 Adobe RGB, 3 ProPhoto RGB) and, for TIFF, compression and depth.
// Dictionary: {"export type": text, left out when none; "quality": real (1.0 when missing);
// "color space": integer;
// "tiff properties": QVBatchTiffImageProperties dictionary, left out when none}.
//
// Only JPEG and JPEG 2000 have a quality to choose: setting any other export type sets the quality
// to 1.0 (a stored PNG preset therefore always loads with 1.0); setting no type changes nothing.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Ombrel/Classes/Business/Batch/QVBatchTiffImageProperties.h"

class QVBatchSettingsFormat : public QVSerializationProtocol {
 public:
  static std::shared_ptr<QVBatchSettingsFormat> initWithDic(const qv::Value& dictionary);
  qv::Value serialize() const override;
  // The TIFF properties copied too.
  std::shared_ptr<QVBatchSettingsFormat> copy() const;

  const std::optional<std::string>& exportType() const { return exportType_; }
  void setExportType(std::optional<std::string> type);
  double quality() const { return quality_; }
  // Held within 0 to 1; a value that is not finite counts as 1 (best quality).
  void setQuality(double quality);
  int64_t colorSpace() const { return colorSpace_; }
  void setColorSpace(int64_t colorSpace) { colorSpace_ = colorSpace; }
  const std::shared_ptr<QVBatchTiffImageProperties>& tiffImageProperties() const { return tiffImageProperties_; }
  void setTiffImageProperties(std::shared_ptr<QVBatchTiffImageProperties> properties) {
    tiffImageProperties_ = std::move(properties);
  }

 private:
  std::optional<std::string> exportType_;
  double quality_ = 0;
  int64_t colorSpace_ = 0;
  std::shared_ptr<QVBatchTiffImageProperties> tiffImageProperties_;
};
