#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetSettingsModel.h"

bool QVBatchPresetSettingsModel::setPreset(const PresetPtr& preset) {
  if (preset && preset == preset_) return false;
  if (!preset && !preset_ && !amendedPreset_) return false;
  preset_ = preset;
  amendedPreset_ = nullptr;
  if (delegate_) delegate_->batchPresetSettingsVCDidChangePreset();
  return true;
}

QVBatchPresetSettingsModel::PresetPtr QVBatchPresetSettingsModel::amendedPreset() {
  if (amendedPreset_) return amendedPreset_;
  if (!preset_) return nullptr;
  amendedPreset_ = preset_->copy();
  preset_ = nullptr;
  if (delegate_) delegate_->batchPresetSettingsVCDidCreateAmendedPreset();
  return amendedPreset_;
}

bool QVBatchPresetSettingsModel::didChangePresetSetting(const std::shared_ptr<QVSerializationProtocol>& setting) {
  auto saving = std::dynamic_pointer_cast<QVBatchSettingsSaving>(setting);
  auto naming = std::dynamic_pointer_cast<QVBatchSettingsNaming>(setting);
  auto format = std::dynamic_pointer_cast<QVBatchSettingsFormat>(setting);
  auto resizing = std::dynamic_pointer_cast<QVBatchSettingsResizing>(setting);
  if (!saving && !naming && !format && !resizing) return false;
  auto amended = amendedPreset();
  if (!amended) return false;
  // The copy holds the editor's own section object, so later edits land in it as well.
  if (saving) amended->setSaving(saving);
  if (naming) amended->setNaming(naming);
  if (format) amended->setFormat(format);
  if (resizing) amended->setResizing(resizing);
  if (delegate_) delegate_->batchPresetSettingsVCDidChangeInterimPreset(amended);
  return true;
}
