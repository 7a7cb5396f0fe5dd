#include "Ombrel/Classes/Business/Batch/QVBatchName.h"

std::shared_ptr<QVBatchName> QVBatchName::initWithDic(const qv::Value& dictionary) {
  auto name = std::make_shared<QVBatchName>();
  name->type_ = uint64_t(qvbatch::integerValue(dictionary["type"]));
  name->value_ = qvbatch::stringValue(dictionary, "value");
  return name;
}

qv::Value QVBatchName::serialize() const {
  qv::Value out = qv::Dictionary{};
  out.set("type", type_);
  if (value_) out.set("value", *value_);
  return out;
}
