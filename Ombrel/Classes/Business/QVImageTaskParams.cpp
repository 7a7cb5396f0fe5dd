#include "Ombrel/Classes/Business/QVImageTaskParams.h"

#include "Ombrel/Classes/Business/Batch/QVBatchPreset.h"
#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"

std::shared_ptr<QVImageTaskParams> QVImageTaskParams::imageTaskParamsWithImagePath(
    std::string path, int64_t type, int64_t priority, std::shared_ptr<QVBatchPreset> batchPreset) {
  auto params = std::make_shared<QVImageTaskParams>();
  params->path_ = std::move(path);
  params->type_ = type;
  params->priority_ = priority;
  params->batchPreset_ = std::move(batchPreset);
  params->createCacheKey();
  return params;
}

std::shared_ptr<QVImageTaskParams> QVImageTaskParams::copy() const {
  auto params = imageTaskParamsWithImagePath(path_, type_, priority_, batchPreset_);
  params->effectsPresets_.insert(params->effectsPresets_.end(), effectsPresets_.begin(), effectsPresets_.end());
  params->lensCorrectionPreset_ = lensCorrectionPreset_;
  if (!keepsOriginal_) params->setKeepsOriginal(false);
  if (renderDepth_) params->setRenderDepth(renderDepth_);
  return params;
}

void QVImageTaskParams::createCacheKey() {
  // Without an export preset the key is the facade's image key, which cancelling by path relies on.
  cacheKey_ = *QVSolvaneHelpers::imageKeyAtPath(path_, uint64_t(type_));
  // The value alone would let "long edge 1024" and "short edge 1024" (or an enlarging preset and
  // one that is not) share cached renders of different sizes: the kind of resizing and the enlarge
  // switch follow it.
  if (const auto& resizing = batchPreset_ ? batchPreset_->resizing() : nullptr; resizing && resizing->value())
    cacheKey_ +=
        "_" + *resizing->value() + "_" + std::to_string(resizing->type()) + (resizing->shouldEnlarge() ? "_1" : "_0");
  if (!keepsOriginal_) cacheKey_ += "_processedOnly";
  if (renderDepth_) cacheKey_ += "_depth" + std::to_string(renderDepth_);
}

bool QVImageTaskParams::isEqual(const QVImageTaskParams& other) const {
  if (cacheKey_.empty() || other.cacheKey_.empty()) return this == &other;
  return cacheKey_ == other.cacheKey_;
}
