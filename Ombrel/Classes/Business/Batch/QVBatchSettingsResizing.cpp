#include "Ombrel/Classes/Business/Batch/QVBatchSettingsResizing.h"

#include <algorithm>
#include <cmath>

#include "rova/ImageData.h"

namespace {

bool isPositive(double v) { return std::isfinite(v) && v > 0; }

}  // namespace

std::shared_ptr<QVBatchSettingsResizing> QVBatchSettingsResizing::initWithDic(const qv::Value& dictionary) {
  auto resizing = std::make_shared<QVBatchSettingsResizing>();
  resizing->type_ = uint64_t(qvbatch::integerValue(dictionary["type"]));
  resizing->value_ = qvbatch::stringValue(dictionary, "value");
  resizing->shouldEnlarge_ = qvbatch::boolValue(dictionary["enlarge"]);
  return resizing;
}

qv::Value QVBatchSettingsResizing::serialize() const {
  qv::Value out = qv::Dictionary{};
  out.set("type", type_);
  if (value_) out.set("value", *value_);
  out.set("enlarge", shouldEnlarge_);
  return out;
}

CGSize QVBatchSettingsResizing::evaluateFitSize(CGSize size) const {
  const CGSize none = CGSizeMake(0, 0);
  if (!value_) return none;
  const double w = size.width, h = size.height;
  if (!isPositive(w) || !isPositive(h)) return none;  // no source size: nothing to scale
  double rate = 1.0;
  switch (type_) {
    case 0:
      return size;
    case 1:
    case 2: {
      auto v = QVBatchTextHelpers::numberFromString(*value_);
      if (!v || !isPositive(*v)) return none;
      rate = type_ == 1 ? std::min(*v / w, *v / h) : std::max(*v / w, *v / h);
      break;
    }
    case 3: {
      CGSize box = convertSizeFromValue(*value_);
      if (!isPositive(box.width) || !isPositive(box.height)) return none;
      rate = std::min(box.width / w, box.height / h);
      break;
    }
    default:
      return none;
  }
  CGSize fit = fitSizeForSize(size, rate, shouldEnlarge_);
  // A side rounded to nothing, or a size the engine would refuse to allocate, sets no size.
  if (!(fit.width >= 1 && fit.height >= 1) || fit.width > double(INT64_MAX) || fit.height > double(INT64_MAX) ||
      !rova::isAcceptableImageSize(int64_t(fit.width), int64_t(fit.height)))
    return none;
  return fit;
}

CGSize QVBatchSettingsResizing::fitSizeForSize(CGSize size, double rate, bool enlarge) {
  if (rate >= 1.0 && !enlarge) return size;
  return CGSizeMake(std::round(size.width * rate), std::round(size.height * rate));
}

CGSize QVBatchSettingsResizing::convertSizeFromValue(const std::string& value) {
  auto x = value.find('x');
  if (x == std::string::npos || value.find('x', x + 1) != std::string::npos) return CGSizeMake(0, 0);
  auto side = [](std::string_view text) { return QVBatchTextHelpers::numberFromString(text).value_or(0); };
  return CGSizeMake(side(std::string_view(value).substr(0, x)), side(std::string_view(value).substr(x + 1)));
}
