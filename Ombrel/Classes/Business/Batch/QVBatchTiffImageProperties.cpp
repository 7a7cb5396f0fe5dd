#include "Ombrel/Classes/Business/Batch/QVBatchTiffImageProperties.h"

std::shared_ptr<QVBatchTiffImageProperties> QVBatchTiffImageProperties::initWithDic(const qv::Value& dictionary) {
  auto properties = std::make_shared<QVBatchTiffImageProperties>();
  if (auto* entry = dictionary["compression type"].dictionary()) properties->compressionType_ = *entry;
  if (auto* entry = dictionary["depth"].dictionary()) properties->depth_ = *entry;
  return properties;
}

qv::Value QVBatchTiffImageProperties::serialize() const {
  qv::Value out = qv::Dictionary{};
  out.set("compression type", compressionType_);
  out.set("depth", depth_);
  return out;
}

std::optional<int64_t> QVBatchTiffImageProperties::firstNumber(const qv::Dictionary& entry) {
  if (entry.empty()) return std::nullopt;
  const qv::Value& value = entry.begin()->second;
  if (!value.isNumber() && !value.isString()) return std::nullopt;
  if (value.isString() && !QVBatchTextHelpers::integerFromString(*value.string())) return std::nullopt;
  return qvbatch::integerValue(value);
}
