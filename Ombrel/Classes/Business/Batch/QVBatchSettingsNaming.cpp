#include "Ombrel/Classes/Business/Batch/QVBatchSettingsNaming.h"

std::shared_ptr<QVBatchSettingsNaming> QVBatchSettingsNaming::initWithDic(const qv::Value& dictionary) {
  auto naming = std::make_shared<QVBatchSettingsNaming>();
  naming->prefix_ = QVBatchName::initWithDic(qvbatch::dictionaryValue(dictionary, "prefix"));
  naming->base_ = QVBatchName::initWithDic(qvbatch::dictionaryValue(dictionary, "base"));
  naming->suffix_ = QVBatchName::initWithDic(qvbatch::dictionaryValue(dictionary, "suffix"));
  naming->capitalization_ = QVBatchName::initWithDic(qvbatch::dictionaryValue(dictionary, "capitalization"));
  return naming;
}

qv::Value QVBatchSettingsNaming::serialize() const {
  qv::Value out = qv::Dictionary{};
  out.set("prefix", prefix_->serialize());
  out.set("base", base_->serialize());
  out.set("suffix", suffix_->serialize());
  out.set("capitalization", capitalization_->serialize());
  return out;
}

std::shared_ptr<QVBatchSettingsNaming> QVBatchSettingsNaming::copy() const {
  auto naming = std::make_shared<QVBatchSettingsNaming>();
  naming->prefix_ = prefix_->copy();
  naming->base_ = base_->copy();
  naming->suffix_ = suffix_->copy();
  naming->capitalization_ = capitalization_->copy();
  return naming;
}
