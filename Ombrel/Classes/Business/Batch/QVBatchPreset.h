#pragma once
// A batch (export) preset: where a preset-driven export writes (saving), under which names
// (naming), in which format (format) and at which size (resizing), with its kind (1 shipped
// default, 2 the user's own), version and identifier. Stored one per property-list file, named
// after the preset (QVBatchPresetManager):
//
//   {"saving": {...}, "naming": {...}, "format": {...}, "resizing": {...},
//    "preset type": integer, "version": integer, "uuid": text}
//
// The four sections are never null: a missing one reads as an empty section.
#include <cstdint>
#include <memory>
#include <string>

#include "Ombrel/Classes/Business/Batch/QVBatchSettingsFormat.h"
#include "Ombrel/Classes/Business/Batch/QVBatchSettingsNaming.h"
#include "Ombrel/Classes/Business/Batch/QVBatchSettingsResizing.h"
#include "Ombrel/Classes/Business/Batch/QVBatchSettingsSaving.h"

inline constexpr int64_t kQVBatchPresetTypeDefault = 1;
inline constexpr int64_t kQVBatchPresetTypeUser = 2;

class QVBatchPreset : public QVSerializationProtocol {
 public:
  // nullptr unless "preset type" and "version" are non-zero and "uuid" is a non-empty text.
  static std::shared_ptr<QVBatchPreset> initWithDic(const qv::Value& dictionary);
  // Never writes the name (it is the file's).
  qv::Value serialize() const override;
  // A new user preset made from this one: sections copied deeply, type 2, a fresh uuid, version 1
  // and the name "Unknown".
  std::shared_ptr<QVBatchPreset> copy() const;

  const std::string& name() const { return name_; }
  void setName(std::string name) { name_ = std::move(name); }
  int64_t type() const { return type_; }
  void setType(int64_t type) { type_ = type; }
  const std::string& uuid() const { return uuid_; }
  void setUuid(std::string uuid) { uuid_ = std::move(uuid); }
  int64_t version() const { return version_; }
  void setVersion(int64_t version) { version_ = version; }

  const std::shared_ptr<QVBatchSettingsSaving>& saving() const { return saving_; }
  const std::shared_ptr<QVBatchSettingsNaming>& naming() const { return naming_; }
  const std::shared_ptr<QVBatchSettingsFormat>& format() const { return format_; }
  const std::shared_ptr<QVBatchSettingsResizing>& resizing() const { return resizing_; }
  // A null section is replaced by an empty one.
  void setSaving(std::shared_ptr<QVBatchSettingsSaving> saving);
  void setNaming(std::shared_ptr<QVBatchSettingsNaming> naming);
  void setFormat(std::shared_ptr<QVBatchSettingsFormat> format);
  void setResizing(std::shared_ptr<QVBatchSettingsResizing> resizing);

 private:
  std::string name_;
  int64_t type_ = 0;
  std::string uuid_;
  int64_t version_ = 0;
  std::shared_ptr<QVBatchSettingsSaving> saving_ = std::make_shared<QVBatchSettingsSaving>();
  std::shared_ptr<QVBatchSettingsNaming> naming_ = std::make_shared<QVBatchSettingsNaming>();
  std::shared_ptr<QVBatchSettingsFormat> format_ = std::make_shared<QVBatchSettingsFormat>();
  std::shared_ptr<QVBatchSettingsResizing> resizing_ = std::make_shared<QVBatchSettingsResizing>();
};
