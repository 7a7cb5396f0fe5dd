#include "Ombrel/Classes/Business/Batch/QVBatchSettingsSaving.h"

std::shared_ptr<QVBatchSettingsSaving> QVBatchSettingsSaving::initWithDic(const qv::Value& dictionary) {
  auto saving = std::make_shared<QVBatchSettingsSaving>();
  saving->path_ = qvbatch::stringValue(dictionary, "path");
  saving->shouldOverwriteWithoutWarning_ = qvbatch::boolValue(dictionary["overwrite"]);
  return saving;
}

qv::Value QVBatchSettingsSaving::serialize() const {
  qv::Value out = qv::Dictionary{};
  if (path_) out.set("path", *path_);
  out.set("overwrite", shouldOverwriteWithoutWarning_);
  return out;
}
