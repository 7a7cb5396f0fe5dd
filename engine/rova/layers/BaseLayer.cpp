#include "rova/layers/BaseLayer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

namespace rova {

BaseLayer::BaseLayer(const BaseLayer& other) {
  std::lock_guard<std::mutex> lock(other.mutex_);
  tags_ = other.tags_;
  enabled_ = other.enabled_;
  level_ = other.level_;
  opacity_ = other.opacity_;
  effectAmount_ = other.effectAmount_;
  blendMode_ = other.blendMode_;
  useMask_ = other.useMask_;
  mask_ = other.mask_ ? other.mask_->copy() : nullptr;
  maskRevision_ = other.maskRevision_;
  transform_ = other.transform_;
}

void BaseLayer::setTag(const std::string& tag) {
  std::lock_guard<std::mutex> lock(mutex_);
  tags_.insert(tag);
}
void BaseLayer::removeTag(const std::string& tag) {
  std::lock_guard<std::mutex> lock(mutex_);
  tags_.erase(tag);
}
bool BaseLayer::isTagPresent(const std::string& tag) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tags_.count(tag) != 0;
}
std::set<std::string> BaseLayer::tags() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tags_;
}

#define ROVA_LAYER_ACCESSORS(Type, getter, setter, field) \
  Type BaseLayer::getter() const {                        \
    std::lock_guard<std::mutex> lock(mutex_);             \
    return field;                                         \
  }                                                       \
  void BaseLayer::setter(Type v) {                        \
    std::lock_guard<std::mutex> lock(mutex_);             \
    field = v;                                            \
  }
ROVA_LAYER_ACCESSORS(bool, isEnabled, setEnabled, enabled_)
ROVA_LAYER_ACCESSORS(uint64_t, level, setLevel, level_)
ROVA_LAYER_ACCESSORS(float, opacity, setOpacity, opacity_)
ROVA_LAYER_ACCESSORS(float, getEffectAmount, setEffectAmount, effectAmount_)
ROVA_LAYER_ACCESSORS(bool, isUseMask, setUseMask, useMask_)
ROVA_LAYER_ACCESSORS(bool, needReblend, setNeedReblend, needReblend_)
#undef ROVA_LAYER_ACCESSORS

BlendModeType BaseLayer::blendMode() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return blendMode_;
}
void BaseLayer::setBlendMode(BlendModeType mode) {
  if (!isValidBlendMode(mode)) return;
  std::lock_guard<std::mutex> lock(mutex_);
  blendMode_ = mode;
}

bool BaseLayer::hasMask() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return mask_ && mask_->isValid();
}
MaskImagePtr BaseLayer::getMask() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return mask_;
}
void BaseLayer::setMask(MaskImagePtr mask) {
  std::lock_guard<std::mutex> lock(mutex_);
  mask_ = std::move(mask);
  ++maskRevision_;
  workingMaskDirty_ = previewMaskDirty_ = true;
  workingMaskPart_ = previewMaskPart_ = {};
}
void BaseLayer::removeMask() { setMask(nullptr); }
void BaseLayer::createMaskWithSize(Size size, float fill) {
  auto mask = MaskImage::make(size.width, size.height);
  if (mask->isValid()) mask->fill(fill);
  setMask(mask->isValid() ? mask : nullptr);
}
void BaseLayer::setMaskSetting(double density, double feather) {
  if (!std::isfinite(density) || !std::isfinite(feather)) return;
  std::lock_guard<std::mutex> lock(mutex_);
  maskDensity_ = std::clamp(density, 0.0, 100.0);
  maskFeather_ = std::max(0.0, feather);
}
double BaseLayer::maskDensity() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return maskDensity_;
}
double BaseLayer::maskFeather() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return maskFeather_;
}
MaskImagePtr BaseLayer::workingMask() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!useMask_ || !mask_ || !mask_->isValid()) return nullptr;
  if (MaskImage::isNeutralSetting(maskDensity_, maskFeather_)) return mask_;
  // Feathering blurs the whole mask, so the result is kept until the mask or the setting changes.
  if (!settingMask_ || settingMaskSource_ != mask_ || settingMaskRevision_ != maskRevision_ ||
      settingMaskDensity_ != maskDensity_ || settingMaskFeather_ != maskFeather_) {
    settingMask_ = mask_->withDensityAndFeather(maskDensity_, maskFeather_);
    settingMaskSource_ = mask_;
    settingMaskRevision_ = maskRevision_;
    settingMaskDensity_ = maskDensity_;
    settingMaskFeather_ = maskFeather_;
  }
  return settingMask_;
}
void BaseLayer::resetMaskCache() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++maskRevision_;
  workingMaskDirty_ = previewMaskDirty_ = true;
  workingMaskPart_ = previewMaskPart_ = {};
}

static void addDirty(bool& dirty, RectRoi& part, const RectRoi& changed) {
  if (!dirty) {
    dirty = true;
    part = changed;
  } else if (!part.isZero()) {  // zero: the whole mask is dirty already
    const int x0 = std::min(part.x, changed.x), y0 = std::min(part.y, changed.y);
    part = {x0, y0, std::max(part.right(), changed.right()) - x0, std::max(part.bottom(), changed.bottom()) - y0};
  }
}
void BaseLayer::maskPixelsChanged(const RectRoi& changed) {
  if (changed.isEmpty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  ++maskRevision_;
  addDirty(workingMaskDirty_, workingMaskPart_, changed);
  addDirty(previewMaskDirty_, previewMaskPart_, changed);
}

static RectRoi takeDirty(bool& dirty, RectRoi& part, const MaskImagePtr& mask) {
  if (!dirty) return {};
  dirty = false;
  const RectRoi whole = mask ? RectRoi{0, 0, mask->width(), mask->height()} : RectRoi{};
  const RectRoi out = part.isZero() ? whole : part.intersection(whole);
  part = {};
  return out;
}
RectRoi BaseLayer::getWorkingMaskUpdateRect() {
  std::lock_guard<std::mutex> lock(mutex_);
  return takeDirty(workingMaskDirty_, workingMaskPart_, mask_);
}
RectRoi BaseLayer::getMaskPreviewUpdateRect() {
  std::lock_guard<std::mutex> lock(mutex_);
  return takeDirty(previewMaskDirty_, previewMaskPart_, mask_);
}

ImageDataFPtr BaseLayer::maskPreviewForTransform(const ImageTransformSettings& s) const {
  MaskImagePtr mask = getMask();
  if (!mask || !mask->isValid()) return nullptr;
  // The source rectangle is in the crop's frame when there is a crop; masks live on the canvas.
  RectRoiF src = s.sourceRect;
  if (src.width <= 0 || src.height <= 0) src = {0, 0, double(mask->width()), double(mask->height())};
  Size out = s.outputSize.isEmpty() ? Size{int(src.width), int(src.height)} : s.outputSize;
  auto result = ImageDataF::create(out.width, out.height);
  if (!result) return nullptr;
  AffineTransform toCanvas;
  if (!s.cropDescription.isNone()) toCanvas = s.cropDescription.getAffineTransform().inverted();
  const float* mv = mask->values();
  const int mw = mask->width(), mh = mask->height();
  const double sx = src.width / out.width, sy = src.height / out.height;
  for (int y = 0; y < out.height; ++y) {
    float* row = result->row(y);
    for (int x = 0; x < out.width; ++x) {
      double cx, cy;
      toCanvas.apply(src.x + (x + 0.5) * sx, src.y + (y + 0.5) * sy, cx, cy);
      int ix = int(cx), iy = int(cy);
      row[x] = (cx >= 0 && cy >= 0 && ix < mw && iy < mh) ? mv[size_t(iy) * mw + ix] : 0.f;
    }
  }
  return result;
}

ImageTransformSettings BaseLayer::transformSettings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return transform_;
}
void BaseLayer::setTransformSettings(const ImageTransformSettings& settings) {
  std::lock_guard<std::mutex> lock(mutex_);
  transform_ = settings;
}

uint64_t BaseLayer::stateHash() const {
  std::lock_guard<std::mutex> lock(mutex_);
  uint64_t h = uint64_t(kind());
  auto bits = [](float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return uint64_t(b);
  };
  mix(h, enabled_);
  mix(h, level_);
  mix(h, bits(opacity_));
  mix(h, bits(effectAmount_));
  mix(h, uint64_t(blendMode_));
  mix(h, useMask_ && mask_ ? reinterpret_cast<uintptr_t>(mask_.get()) : 0);
  mix(h, useMask_ && mask_ ? maskRevision_ : 0);
  mix(h, useMask_ && mask_ ? uint64_t(std::hash<double>{}(maskDensity_)) : 0);
  mix(h, useMask_ && mask_ ? uint64_t(std::hash<double>{}(maskFeather_)) : 0);
  mix(h, uint64_t(transform_.transformType));
  const AffineTransform& t = transform_.transform;
  for (float f : {t.a, t.b, t.c, t.d, t.tx, t.ty}) mix(h, bits(f));
  return h;
}

}  // namespace rova
