#include "Ombrel/Classes/Business/Batch/QVBatchSettingsFormat.h"

#include <algorithm>
#include <cmath>

#include "Ombrel/Classes/Business/Batch/QVExportFileTypes.h"

std::shared_ptr<QVBatchSettingsFormat> QVBatchSettingsFormat::initWithDic(const qv::Value& dictionary) {
  auto format = std::make_shared<QVBatchSettingsFormat>();
  // Quality first: the export type then decides whether it stands. A file without one gets the
  // best quality rather than the worst.
  format->setQuality(qvbatch::doubleValue(dictionary["quality"], 1.0));
  format->setExportType(qvbatch::stringValue(dictionary, "export type"));
  format->colorSpace_ = qvbatch::integerValue(dictionary["color space"]);
  if (const qv::Value* tiff = dictionary.find("tiff properties"); tiff && tiff->isDictionary())
    format->tiffImageProperties_ = QVBatchTiffImageProperties::initWithDic(*tiff);
  return format;
}

qv::Value QVBatchSettingsFormat::serialize() const {
  qv::Value out = qv::Dictionary{};
  if (exportType_) out.set("export type", *exportType_);
  out.set("quality", quality_);
  out.set("color space", colorSpace_);
  if (tiffImageProperties_) out.set("tiff properties", tiffImageProperties_->serialize());
  return out;
}

std::shared_ptr<QVBatchSettingsFormat> QVBatchSettingsFormat::copy() const {
  auto format = std::make_shared<QVBatchSettingsFormat>(*this);
  if (tiffImageProperties_) format->tiffImageProperties_ = tiffImageProperties_->copy();
  return format;
}

void QVBatchSettingsFormat::setExportType(std::optional<std::string> type) {
  if (type && !QVExportFileTypes::isLossyType(*type)) quality_ = 1.0;
  exportType_ = std::move(type);
}

void QVBatchSettingsFormat::setQuality(double quality) {
  quality_ = std::isfinite(quality) ? std::clamp(quality, 0.0, 1.0) : 1.0;
}
