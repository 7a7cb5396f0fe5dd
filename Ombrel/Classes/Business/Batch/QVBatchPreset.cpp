#include "Ombrel/Classes/Business/Batch/QVBatchPreset.h"

#include "QVPlatform/Additions.h"

std::shared_ptr<QVBatchPreset> QVBatchPreset::initWithDic(const qv::Value& dictionary) {
  if (!dictionary.isDictionary()) return nullptr;
  int64_t type = qvbatch::integerValue(dictionary["preset type"]);
  int64_t version = qvbatch::integerValue(dictionary["version"]);
  auto uuid = qvbatch::stringValue(dictionary, "uuid");
  if (type == 0 || version == 0 || !uuid || uuid->empty()) return nullptr;

  auto preset = std::make_shared<QVBatchPreset>();
  preset->type_ = type;
  preset->version_ = version;
  preset->uuid_ = *uuid;
  preset->saving_ = QVBatchSettingsSaving::initWithDic(qvbatch::dictionaryValue(dictionary, "saving"));
  preset->naming_ = QVBatchSettingsNaming::initWithDic(qvbatch::dictionaryValue(dictionary, "naming"));
  preset->format_ = QVBatchSettingsFormat::initWithDic(qvbatch::dictionaryValue(dictionary, "format"));
  preset->resizing_ = QVBatchSettingsResizing::initWithDic(qvbatch::dictionaryValue(dictionary, "resizing"));
  return preset;
}

qv::Value QVBatchPreset::serialize() const {
  qv::Value out = qv::Dictionary{};
  out.set("saving", saving_->serialize());
  out.set("naming", naming_->serialize());
  out.set("format", format_->serialize());
  out.set("resizing", resizing_->serialize());
  out.set("preset type", type_);
  out.set("version", version_);
  if (!uuid_.empty()) out.set("uuid", uuid_);
  return out;
}

std::shared_ptr<QVBatchPreset> QVBatchPreset::copy() const {
  auto preset = std::make_shared<QVBatchPreset>();
  preset->saving_ = saving_->copy();
  preset->naming_ = naming_->copy();
  preset->format_ = format_->copy();
  preset->resizing_ = resizing_->copy();
  preset->type_ = kQVBatchPresetTypeUser;
  preset->uuid_ = qv::stringWithUUID();
  preset->version_ = 1;
  preset->name_ = "Unknown";
  return preset;
}

void QVBatchPreset::setSaving(std::shared_ptr<QVBatchSettingsSaving> saving) {
  saving_ = saving ? std::move(saving) : std::make_shared<QVBatchSettingsSaving>();
}

void QVBatchPreset::setNaming(std::shared_ptr<QVBatchSettingsNaming> naming) {
  naming_ = naming ? std::move(naming) : std::make_shared<QVBatchSettingsNaming>();
}

void QVBatchPreset::setFormat(std::shared_ptr<QVBatchSettingsFormat> format) {
  format_ = format ? std::move(format) : std::make_shared<QVBatchSettingsFormat>();
}

void QVBatchPreset::setResizing(std::shared_ptr<QVBatchSettingsResizing> resizing) {
  resizing_ = resizing ? std::move(resizing) : std::make_shared<QVBatchSettingsResizing>();
}
