#pragma once
// One part of an export file name (prefix, base, suffix) or the capitalisation rule: a type and an
// optional value. Part types: 0 None, 1 File Name, 2 Custom Text, 3 Counter (value: the start),
// 4 Timestamp (value: a date-format pattern). Capitalisation types: 0 Leave As It Is, 1 Upper
// Case, 2 Lower Case. Dictionary: {"type": integer, "value": text, left out when none}.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Ombrel/Classes/Business/Batch/QVSerializationProtocol.h"

class QVBatchName : public QVSerializationProtocol {
 public:
  QVBatchName() = default;
  QVBatchName(uint64_t type, std::optional<std::string> value) : type_(type), value_(std::move(value)) {}
  static std::shared_ptr<QVBatchName> initWithDic(const qv::Value& dictionary);
  qv::Value serialize() const override;
  std::shared_ptr<QVBatchName> copy() const { return std::make_shared<QVBatchName>(*this); }

  uint64_t type() const { return type_; }
  void setType(uint64_t type) { type_ = type; }
  const std::optional<std::string>& value() const { return value_; }
  void setValue(std::optional<std::string> value) { value_ = std::move(value); }

 private:
  uint64_t type_ = 0;
  std::optional<std::string> value_;
};
