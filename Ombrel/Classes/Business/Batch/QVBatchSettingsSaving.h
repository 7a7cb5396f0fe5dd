#pragma once
// Where a batch export writes: the destination folder (none: the caller's default, the Desktop)
// and whether existing files are replaced without asking.
// Dictionary: {"path": text, left out when none; "overwrite": boolean}.
#include <memory>
#include <optional>
#include <string>

#include "Ombrel/Classes/Business/Batch/QVSerializationProtocol.h"

class QVBatchSettingsSaving : public QVSerializationProtocol {
 public:
  static std::shared_ptr<QVBatchSettingsSaving> initWithDic(const qv::Value& dictionary);
  qv::Value serialize() const override;
  std::shared_ptr<QVBatchSettingsSaving> copy() const { return std::make_shared<QVBatchSettingsSaving>(*this); }

  const std::optional<std::string>& path() const { return path_; }
  void setPath(std::optional<std::string> path) { path_ = std::move(path); }
  bool shouldOverwriteWithoutWarning() const { return shouldOverwriteWithoutWarning_; }
  void setShouldOverwriteWithoutWarning(bool overwrite) { shouldOverwriteWithoutWarning_ = overwrite; }

 private:
  std::optional<std::string> path_;
  bool shouldOverwriteWithoutWarning_ = false;
};
