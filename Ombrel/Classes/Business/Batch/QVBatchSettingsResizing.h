#pragma once
// How a batch export scales each image: 0 Original, 1 Long Edge, 2 Short Edge, 3 Dimensions, with
// a value (a length for 1 and 2, "<width>x<height>" for 3) and whether images may be enlarged.
// Dictionary: {"type": integer; "value": text, left out when none; "enlarge": boolean}.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Ombrel/Classes/Business/Batch/QVSerializationProtocol.h"
#include "QVBase/Geometry.h"

class QVBatchSettingsResizing : public QVSerializationProtocol {
 public:
  static std::shared_ptr<QVBatchSettingsResizing> initWithDic(const qv::Value& dictionary);
  qv::Value serialize() const override;
  std::shared_ptr<QVBatchSettingsResizing> copy() const { return std::make_shared<QVBatchSettingsResizing>(*this); }

  uint64_t type() const { return type_; }
  void setType(uint64_t type) { type_ = type; }
  // A length for types 1 and 2, "<width>x<height>" for type 3; none: the preset sets no size.
  const std::optional<std::string>& value() const { return value_; }
  void setValue(std::optional<std::string> value) { value_ = std::move(value); }
  bool shouldEnlarge() const { return shouldEnlarge_; }
  void setShouldEnlarge(bool enlarge) { shouldEnlarge_ = enlarge; }

  // The target size for a source of that size; the zero size when the section sets no size, and
  // the render then uses the full size. Type 0 gives the source size. A length or box that is no
  // number, zero, negative or not finite, a source without a positive size, and a result with a
  // side below one pixel or beyond what the engine can hold are refused with the zero size too.
  CGSize evaluateFitSize(CGSize size) const;
  // The size scaled by the rate (rounded half away from zero); never enlarged unless asked.
  static CGSize fitSizeForSize(CGSize size, double rate, bool enlarge);
  // "<w>x<h>" as a size (each side a locale-independent number, 0 when it is none); the zero
  // size unless there are exactly two parts.
  static CGSize convertSizeFromValue(const std::string& value);

 private:
  uint64_t type_ = 0;
  std::optional<std::string> value_;
  bool shouldEnlarge_ = false;
};
