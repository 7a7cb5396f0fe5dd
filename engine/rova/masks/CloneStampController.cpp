#include "rova/masks/CloneStampController.h"

#include <algorithm>
#include <cmath>

namespace rova {

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
  backup_.begin(working_->data(), width_, height_);
  inStroke_ = true;
  spacer_.reset();
}

void CloneStampController::endStroke() {
  inStroke_ = false;
  backup_.end();
  spacer_.reset();
}

bool CloneStampController::addPoint(double x, double y, double radius, double opacity, double softness) {
  if (!working_ || maskRefused_ || !dabs::allFinite({x, y, radius, opacity, softness})) return false;
  const bool own = !inStroke_;
  if (own) beginStroke();
  const double radiusPx = std::max(0.5, radius * std::max(width_, height_));
  opacity = std::clamp(opacity, 0.0, 1.0);
  const bool changed = spacer_.moveTo(x * width_, y * height_, std::max(0.5, radiusPx * 0.25),
                                      [&](double cx, double cy) { return dab(cx, cy, radiusPx, opacity, softness); });
  if (own) endStroke();
  return changed;
}

bool CloneStampController::dab(double cx, double cy, double radiusPx, double opacity, double softness) {
  const int x0 = std::max(0, int(std::floor(cx - radiusPx))), x1 = std::min(width_, int(std::ceil(cx + radiusPx)) + 1);
  const int y0 = std::max(0, int(std::floor(cy - radiusPx))), y1 = std::min(height_, int(std::ceil(cy + radiusPx)) + 1);
  const int ox = cloneX_ - stampX_, oy = cloneY_ - stampY_;
  const bool erase = mode_ == BrushMode::Erase;
  const float* limit = processMask_ ? processMask_->values() : nullptr;
  if (x0 >= x1 || y0 >= y1) return false;
  backup_.touch(x0, y0, x1, y1);
  dabs::Bounds changed;
  for (int py = y0; py < y1; ++py) {
    const int sy = py + oy;
    if (!erase && (sy < 0 || sy >= height_)) continue;
    for (int px = x0; px < x1; ++px) {
      const int sx = px + ox;
      if (!erase && (sx < 0 || sx >= width_)) continue;  // nothing to copy from outside the picture
      const size_t i = size_t(py) * size_t(width_) + size_t(px);
      double f = dabs::falloff(std::hypot(px + 0.5 - cx, py + 0.5 - cy), radiusPx, softness);
      if (limit) f *= std::clamp(double(limit[i]), 0.0, 1.0);
      const float cov = float(opacity * f);
      float& strongest = backup_.coverage(px, py);
      if (cov <= strongest) continue;
      strongest = cov;
      // Sources outside this dab's tiles have not changed in this stroke, so the current pixel is
      // the one the stroke began with.
      const PixelRGB<float>& b = backup_.base(px, py);
      const PixelRGB<float>& s = erase ? original_->at(px, py) : backup_.base(sx, sy);
      // Weighted this way a full-strength dab gives the source pixel exactly.
      const float keep = 1 - cov;
      PixelRGB<float> out{b.r * keep + s.r * cov, b.g * keep + s.g * cov, b.b * keep + s.b * cov};
      PixelRGB<float>& w = working_->at(px, py);
      if (out.r != w.r || out.g != w.g || out.b != w.b) {
        w = out;
        changed.add(px, py);
      }
    }
  }
  if (!changed.any()) return false;
  dirty_.merge(changed);
  return true;
}

RectRoi CloneStampController::takeUpdateRect() {
  if (!dirty_.any()) return {};
  RectRoi r{dirty_.x0, dirty_.y0, dirty_.x1 - dirty_.x0, dirty_.y1 - dirty_.y0};
  dirty_ = {};
  return r;
}

ImageDataRGBfPtr cutAndScale(const ImageDataRGBf& image, const RectRoiF& region, Size output) {
  auto out = ImageDataRGBf::create(output.width, output.height);
  if (!out || region.isEmpty()) return out;
  const double sx = region.width / output.width, sy = region.height / output.height;
  const int w = image.width(), h = image.height();
  for (int y = 0; y < output.height; ++y) {
    const double fy = std::clamp(region.y + (y + 0.5) * sy - 0.5, 0.0, double(h - 1));
    const int y0 = int(fy), y1 = std::min(h - 1, y0 + 1);
    const float ty = float(fy - y0);
    for (int x = 0; x < output.width; ++x) {
      const double fx = std::clamp(region.x + (x + 0.5) * sx - 0.5, 0.0, double(w - 1));
      const int x0 = int(fx), x1 = std::min(w - 1, x0 + 1);
      const float tx = float(fx - x0);
      auto mix = [&](float PixelRGB<float>::*c) {
        const float top = image.at(x0, y0).*c * (1 - tx) + image.at(x1, y0).*c * tx;
        const float bottom = image.at(x0, y1).*c * (1 - tx) + image.at(x1, y1).*c * tx;
        return top * (1 - ty) + bottom * ty;
      };
      out->at(x, y) = {mix(&PixelRGB<float>::r), mix(&PixelRGB<float>::g), mix(&PixelRGB<float>::b)};
    }
  }
  return out;
}

}  // namespace rova
