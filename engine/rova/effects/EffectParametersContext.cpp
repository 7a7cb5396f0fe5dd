#include "rova/effects/EffectParametersContext.h"

#include <algorithm>
#include <cmath>

namespace rova {

EffectParametersContext::EffectParametersContext(ImagePtr originalImage) : original_(std::move(originalImage)) {}

ImageDataRGBfPtr EffectParametersContext::analysisImage() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (analysisImage_ || !original_) return analysisImage_;
  int w = original_->width(), h = original_->height();
  if (w <= 0 || h <= 0) return nullptr;
  double s = std::min(1.0, double(kAnalysisLongSide) / std::max(w, h));
  Size size{std::max(1, int(std::lround(w * s))), std::max(1, int(std::lround(h * s)))};
  analysisImage_ = original_->imageData(size, {}, true);
  return analysisImage_;
}

}  // namespace rova
