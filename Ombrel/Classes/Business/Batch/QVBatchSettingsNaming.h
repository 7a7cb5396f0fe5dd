#pragma once
// How a batch export names its files: prefix, base and suffix parts and the capitalisation rule
// (QVBatchName; QVBatchNamingUIDatasource builds the name). A part is never null.
// Dictionary: {"prefix", "base", "suffix", "capitalization": each a QVBatchName dictionary}.
#include <memory>

#include "Ombrel/Classes/Business/Batch/QVBatchName.h"

class QVBatchSettingsNaming : public QVSerializationProtocol {
 public:
  static std::shared_ptr<QVBatchSettingsNaming> initWithDic(const qv::Value& dictionary);
  qv::Value serialize() const override;
  // Parts copied too.
  std::shared_ptr<QVBatchSettingsNaming> copy() const;

  const std::shared_ptr<QVBatchName>& prefix() const { return prefix_; }
  const std::shared_ptr<QVBatchName>& base() const { return base_; }
  const std::shared_ptr<QVBatchName>& suffix() const { return suffix_; }
  const std::shared_ptr<QVBatchName>& capitalization() const { return capitalization_; }
  // A null part is replaced by an empty one (type 0, no value).
  void setPrefix(std::shared_ptr<QVBatchName> part) { prefix_ = orEmpty(std::move(part)); }
  void setBase(std::shared_ptr<QVBatchName> part) { base_ = orEmpty(std::move(part)); }
  void setSuffix(std::shared_ptr<QVBatchName> part) { suffix_ = orEmpty(std::move(part)); }
  void setCapitalization(std::shared_ptr<QVBatchName> part) { capitalization_ = orEmpty(std::move(part)); }

 private:
  static std::shared_ptr<QVBatchName> orEmpty(std::shared_ptr<QVBatchName> part) {
    return part ? std::move(part) : std::make_shared<QVBatchName>();
  }
  std::shared_ptr<QVBatchName> prefix_ = std::make_shared<QVBatchName>();
  std::shared_ptr<QVBatchName> base_ = std::make_shared<QVBatchName>();
  std::shared_ptr<QVBatchName> suffix_ = std::make_shared<QVBatchName>();
  std::shared_ptr<QVBatchName> capitalization_ = std::make_shared<QVBatchName>();
};
