#include "rova/masks/CloneStampController.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

namespace rova {

namespace {

// Weighted this way a full-strength dab gives the source pixel exactly.
PixelRGB<float> mix(const PixelRGB<float>& b, const PixelRGB<float>& s, float cov) {
  const float keep = 1 - cov;
  return {b.r * keep + s.r * cov, b.g * keep + s.g * cov, b.b * keep + s.b * cov};
}

RectRoi toRect(const dabs::Bounds& b) { return b.any() ? RectRoi{b.x0, b.y0, b.x1 - b.x0, b.y1 - b.y0} : RectRoi{}; }

}  // namespace

CloneStampController::CloneStampController(ImageDataRGBfPtr original) : original_(std::move(original)) {
  if (!original_) return;
  working_ = original_->copy();
  if (!working_) return;
  width_ = working_->width();
  height_ = working_->height();
}

void CloneStampController::setProcessMask(MaskImagePtr mask) {
  maskRefused_ = mask && (mask->width() != width_ || mask->height() != height_);
  processMask_ = maskRefused_ ? nullptr : std::move(mask);
}

void CloneStampController::beginStroke() {
  if (!working_) return;
  cancelPreview();
  if (map_.width() != width_) map_.reset(width_, height_);
  mapBase_.reset(width_, height_);
  backup_.begin(working_->data(), width_, height_);
  inStroke_ = true;
  spacer_.reset();
}

void CloneStampController::endStroke() {
  inStroke_ = false;
  backup_.end();
  mapBase_.clear();
  spacer_.reset();
}

CloneStampController::Dab CloneStampController::dabAt(double cx, double cy, double radiusPx, double opacity,
                                                      double softness) const {
  Dab d{cx, cy, radiusPx, opacity, softness, 0, 0, 0, 0};
  d.x0 = std::max(0, int(std::floor(cx - radiusPx)));
  d.x1 = std::min(width_, int(std::ceil(cx + radiusPx)) + 1);
  d.y0 = std::max(0, int(std::floor(cy - radiusPx)));
  d.y1 = std::min(height_, int(std::ceil(cy + radiusPx)) + 1);
  return d;
}

bool CloneStampController::acts(double x, double y, double radius, double opacity, double softness) const {
  return working_ && !maskRefused_ && dabs::allFinite({x, y, radius, opacity, softness});
}

double CloneStampController::radiusPx(double radius) const { return std::max(0.5, radius * std::max(width_, height_)); }

float CloneStampController::strength(const Dab& d, int px, int py) const {
  double f = dabs::falloff(std::hypot(px + 0.5 - d.cx, py + 0.5 - d.cy), d.radiusPx, d.softness);
  if (processMask_) f *= std::clamp(double(processMask_->values()[size_t(py) * size_t(width_) + size_t(px)]), 0.0, 1.0);
  return float(d.opacity * f);
}

bool CloneStampController::addPoint(double x, double y, double radius, double opacity, double softness) {
  if (!acts(x, y, radius, opacity, softness)) return false;
  const bool own = !inStroke_;
  if (own) beginStroke();
  cancelPreview();
  const double r = radiusPx(radius);
  opacity = std::clamp(opacity, 0.0, 1.0);
  const bool changed = spacer_.moveTo(x * width_, y * height_, std::max(0.5, r * 0.25),
                                      [&](double cx, double cy) { return dab(dabAt(cx, cy, r, opacity, softness)); });
  if (own) endStroke();
  return changed;
}

bool CloneStampController::dab(const Dab& d) {
  if (d.x0 >= d.x1 || d.y0 >= d.y1) return false;
  const int ox = cloneX_ - stampX_, oy = cloneY_ - stampY_;
  const bool erase = mode_ == BrushMode::Erase;
  backup_.touch(d.x0, d.y0, d.x1, d.y1);  // before the bands: they only look tiles up
  const bool mapped = map_.width() == width_ && mapBase_.width() == width_;
  if (mapped) {
    mapBase_.touch(d.x0, d.y0, d.x1, d.y1, &map_);
    map_.touch(d.x0, d.y0, d.x1, d.y1);
  }
  dabs::Bounds mapChanged;
  std::mutex mapMutex;
  const dabs::Bounds changed = dabs::forDabRows(d.x0, d.y0, d.x1, d.y1, [&](int row0, int row1, dabs::Bounds& local) {
    dabs::Bounds localMap;
    for (int py = row0; py < row1; ++py) {
      const int sy = py + oy;
      if (!erase && (sy < 0 || sy >= height_)) continue;
      for (int px = d.x0; px < d.x1; ++px) {
        const int sx = px + ox;
        if (!erase && (sx < 0 || sx >= width_)) continue;  // nothing to copy from outside the picture
        const float cov = strength(d, px, py);
        float& strongest = backup_.coverage(px, py);
        if (cov <= strongest) continue;
        strongest = cov;
        // Sources outside this dab's tiles have not changed in this stroke, so the current pixel is
        // the one the stroke began with.
        const PixelRGB<float> out =
            mix(backup_.base(px, py), erase ? original_->at(px, py) : backup_.base(sx, sy), cov);
        PixelRGB<float>& w = working_->at(px, py);
        if (out != w) {
          w = out;
          local.add(px, py);
        }
        if (mapped) {
          const float m = mapBase_.at(px, py);
          const float value = erase ? m * (1 - cov) : m + (1 - m) * cov;
          float& current = map_.ref(px, py);
          if (value != current) {
            current = value;
            localMap.add(px, py);
          }
        }
      }
    }
    std::lock_guard<std::mutex> lock(mapMutex);
    mapChanged.merge(localMap);
  });
  mapDirty_.merge(mapChanged);
  if (!changed.any()) return false;
  dirty_.merge(changed);
  return true;
}

bool CloneStampController::previewAt(double x, double y, double radius, double opacity, double softness) {
  cancelPreview();
  if (!acts(x, y, radius, opacity, softness)) return false;
  const Dab d = dabAt(x * width_, y * height_, radiusPx(radius), std::clamp(opacity, 0.0, 1.0), softness);
  if (d.x0 >= d.x1 || d.y0 >= d.y1) return false;
  const RectRoi rect{d.x0, d.y0, d.x1 - d.x0, d.y1 - d.y0};
  previewSaved_ = working_->copy(rect);
  if (!previewSaved_) return false;
  previewRect_ = rect;
  const int ox = cloneX_ - stampX_, oy = cloneY_ - stampY_;
  const bool erase = mode_ == BrushMode::Erase;
  const ImageDataRGBf& saved = *previewSaved_;
  // Sources inside the dab are read from the saved pixels: the dab writes over them as it goes.
  auto source = [&](int sx, int sy) -> const PixelRGB<float>& {
    if (sx >= rect.x && sx < rect.right() && sy >= rect.y && sy < rect.bottom())
      return saved.at(sx - rect.x, sy - rect.y);
    return working_->at(sx, sy);
  };
  const dabs::Bounds changed = dabs::forDabRows(d.x0, d.y0, d.x1, d.y1, [&](int row0, int row1, dabs::Bounds& local) {
    for (int py = row0; py < row1; ++py) {
      const int sy = py + oy;
      if (!erase && (sy < 0 || sy >= height_)) continue;
      for (int px = d.x0; px < d.x1; ++px) {
        const int sx = px + ox;
        if (!erase && (sx < 0 || sx >= width_)) continue;
        const float cov = strength(d, px, py);
        if (cov <= 0) continue;
        const PixelRGB<float> out =
            mix(saved.at(px - rect.x, py - rect.y), erase ? original_->at(px, py) : source(sx, sy), cov);
        PixelRGB<float>& w = working_->at(px, py);
        if (out != w) {
          w = out;
          local.add(px, py);
        }
      }
    }
  });
  previewChanged_ = changed;
  if (!changed.any()) return false;
  dirty_.merge(changed);
  return true;
}

void CloneStampController::cancelPreview() {
  if (!previewSaved_) return;
  for (int y = 0; y < previewRect_.height; ++y)
    std::copy_n(previewSaved_->row(y), previewRect_.width, working_->row(previewRect_.y + y) + previewRect_.x);
  // What the preview changed changes back.
  dirty_.merge(previewChanged_);
  previewChanged_ = {};
  previewSaved_.reset();
  previewRect_ = {};
}

RectRoi CloneStampController::takeUpdateRect() { return toRect(std::exchange(dirty_, {})); }

RectRoi CloneStampController::takePreviewUpdateRect() { return toRect(std::exchange(mapDirty_, {})); }

ImageDataFPtr CloneStampController::previewImage(const RectRoi& part) const {
  if (!map_.touched()) return nullptr;
  const RectRoi r = part.isZero() ? RectRoi{0, 0, width_, height_} : part.intersection({0, 0, width_, height_});
  if (r.isEmpty()) return nullptr;
  auto out = ImageDataF::createUninitialized(r.width, r.height);
  if (out) map_.read(r.x, r.y, r.width, r.height, out->data());
  return out;
}

ImageDataRGBfPtr CloneStampController::lastResult(Size output, const RectRoi& updateRect,
                                                  const RectRoiF& region) const {
  if (!working_ || output.isEmpty()) return nullptr;
  const RectRoiF r = region.isZero() ? RectRoiF{0, 0, double(width_), double(height_)} : region;
  return cutAndScalePart(*working_, r, output,
                         updateRect.isZero() ? RectRoi{0, 0, output.width, output.height} : updateRect);
}

ImageDataRGBfPtr CloneStampController::fullResult(bool withPreview) const {
  if (!working_) return nullptr;
  auto out = working_->copy();
  if (out && previewSaved_ && !withPreview)
    for (int y = 0; y < previewRect_.height; ++y)
      std::copy_n(previewSaved_->row(y), previewRect_.width, out->row(previewRect_.y + y) + previewRect_.x);
  return out;
}

}  // namespace rova
