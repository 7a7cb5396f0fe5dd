#include "Ombrel/Classes/Business/Batch/QVBatchPreset.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {
double number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }
}  // namespace

CGSize QVBatchSettingsResizing::evaluateFitSize(CGSize size) const {
  if (!value_) return CGSizeMake(0, 0);
  const double w = size.width, h = size.height;
  if (w <= 0 || h <= 0) return CGSizeMake(0, 0);  // no source size: nothing to scale
  double rate = 1.0;
  switch (type_) {
    case 0:
      return size;
    case 1: {
      double v = number(*value_);
      rate = std::min(v / w, v / h);
      break;
    }
    case 2: {
      double v = number(*value_);
      rate = std::max(v / w, v / h);
      break;
    }
    case 3: {
      CGSize box = convertSizeFromValue(*value_);
      rate = std::min(box.width / w, box.height / h);
      break;
    }
    default:
      return CGSizeMake(0, 0);
  }
  return fitSizeForSize(size, rate, shouldEnlarge_);
}

CGSize QVBatchSettingsResizing::fitSizeForSize(CGSize size, double rate, bool enlarge) {
  if (rate >= 1.0 && !enlarge) return size;
  return CGSizeMake(std::round(size.width * rate), std::round(size.height * rate));
}

CGSize QVBatchSettingsResizing::convertSizeFromValue(const std::string& value) {
  auto x = value.find('x');
  if (x == std::string::npos || value.find('x', x + 1) != std::string::npos) return CGSizeMake(0, 0);
  return CGSizeMake(number(value.substr(0, x)), number(value.substr(x + 1)));
}
