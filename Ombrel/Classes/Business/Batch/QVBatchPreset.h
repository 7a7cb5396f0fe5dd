#pragma once
// An export (batch) preset, as far as the image pipeline reads it: the resizing section, which
// gives the render size, and the format section's colour space. The export screens extend it.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "QVBase/Geometry.h"

class QVBatchSettingsResizing {
 public:
  // 0 Original, 1 Long Edge, 2 Short Edge, 3 Dimensions.
  uint64_t type() const { return type_; }
  void setType(uint64_t type) { type_ = type; }
  // A length for types 1 and 2, "<width>x<height>" for type 3; none: the preset sets no size.
  const std::optional<std::string>& value() const { return value_; }
  void setValue(std::optional<std::string> value) { value_ = std::move(value); }
  bool shouldEnlarge() const { return shouldEnlarge_; }
  void setShouldEnlarge(bool enlarge) { shouldEnlarge_ = enlarge; }

  // The target size for a source of that size; the zero size when the section sets no size.
  CGSize evaluateFitSize(CGSize size) const;
  // The size scaled by the rate (rounded half away from zero); never enlarged unless asked.
  static CGSize fitSizeForSize(CGSize size, double rate, bool enlarge);
  // "<w>x<h>" as a size; the zero size unless there are exactly two parts.
  static CGSize convertSizeFromValue(const std::string& value);

 private:
  uint64_t type_ = 0;
  std::optional<std::string> value_;
  bool shouldEnlarge_ = false;
};

class QVBatchSettingsFormat {
 public:
  // 1 sRGB, 2 Adobe RGB, 3 ProPhoto RGB.
  int64_t colorSpace() const { return colorSpace_; }
  void setColorSpace(int64_t colorSpace) { colorSpace_ = colorSpace; }

 private:
  int64_t colorSpace_ = 0;
};

class QVBatchPreset {
 public:
  const std::shared_ptr<QVBatchSettingsResizing>& resizing() const { return resizing_; }
  const std::shared_ptr<QVBatchSettingsFormat>& format() const { return format_; }

 private:
  std::shared_ptr<QVBatchSettingsResizing> resizing_ = std::make_shared<QVBatchSettingsResizing>();
  std::shared_ptr<QVBatchSettingsFormat> format_ = std::make_shared<QVBatchSettingsFormat>();
};
