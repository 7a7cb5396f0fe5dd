#include "rova/masks/BrushController.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "rova/kernels/Kernels.h"
#include "rova/masks/Dabs.h"

namespace rova {

namespace {

constexpr double kPi = 3.14159265358979323846;

using dabs::falloff;
using dabs::smoothstep;

bool finite(std::initializer_list<double> values) { return dabs::allFinite(values); }

using Bounds = dabs::Bounds;

}  // namespace

BrushController::BrushController(MaskImagePtr mask) : mask_(std::move(mask)) {
  if (mask_ && mask_->isValid()) {
    width_ = mask_->width();
    height_ = mask_->height();
  }
}

void BrushController::beginStroke() {
  if (!width_) return;
  backup_.begin(mask_->values(), width_, height_);
  inStroke_ = true;
  spacer_.reset();
}

void BrushController::endStroke() {
  inStroke_ = false;
  spacer_.reset();
  backup_.end();
}

bool BrushController::cancelStroke() {
  if (!inStroke_) return false;
  float* v = mask_->values();
  Bounds changed;
  backup_.forEachSaved([&](int x, int y, float base) {
    float& value = v[size_t(y) * size_t(width_) + size_t(x)];
    if (value == base) return;
    value = base;
    changed.add(x, y);
  });
  if (changed.any()) markChanged(changed.x0, changed.y0, changed.x1, changed.y1);
  endStroke();
  return true;
}

bool BrushController::addPoint(double x, double y, double radius, double opacity, double softness) {
  if (!width_ || !finite({x, y, radius, opacity, softness})) return false;
  const bool ownStroke = !inStroke_;
  if (ownStroke) beginStroke();
  const double px = x * width_, py = y * height_;
  const double radiusPx = std::max(0.5, radius * std::max(width_, height_));
  opacity = std::clamp(opacity, 0.0, 1.0);
  const bool changed = spacer_.moveTo(px, py, std::max(0.5, radiusPx * 0.25),
                                      [&](double dx, double dy) { return dab(dx, dy, radiusPx, opacity, softness); });
  if (ownStroke) endStroke();
  return changed;
}

bool BrushController::dab(double cx, double cy, double radiusPx, double opacity, double softness) {
  const int x0 = std::max(0, int(std::floor(cx - radiusPx))), x1 = std::min(width_, int(std::ceil(cx + radiusPx)) + 1);
  const int y0 = std::max(0, int(std::floor(cy - radiusPx))), y1 = std::min(height_, int(std::ceil(cy + radiusPx)) + 1);
  if (x0 >= x1 || y0 >= y1) return false;
  float* v = mask_->values();
  backup_.touch(x0, y0, x1, y1);  // before the bands: they only look tiles up
  const BrushMode mode = mode_;
  const Bounds changed = dabs::forDabRows(x0, y0, x1, y1, [&](int row0, int row1, Bounds& local) {
    for (int yy = row0; yy < row1; ++yy) {
      const size_t row = size_t(yy) * size_t(width_);
      const double ddy = yy + 0.5 - cy;
      for (int xx = x0; xx < x1; ++xx) {
        const double f = falloff(std::hypot(xx + 0.5 - cx, ddy), radiusPx, softness);
        if (f <= 0) continue;
        const float cov = float(opacity * f);
        float& c = backup_.coverage(xx, yy);
        if (cov <= c) continue;
        c = cov;
        const float b = backup_.base(xx, yy);
        float out;
        switch (mode) {
          case BrushMode::Erase:
            out = b * (1 - cov);
            break;
          case BrushMode::Level:
            out = b + (float(opacity) - b) * float(f);
            break;
          default:
            out = b + (1 - b) * cov;
            break;
        }
        if (out != v[row + xx]) {
          v[row + xx] = out;
          local.add(xx, yy);
        }
      }
    }
  });
  if (!changed.any()) return false;
  markChanged(changed.x0, changed.y0, changed.x1, changed.y1);
  return true;
}

template <class F>
void BrushController::drawWholeMask(bool fromStrokeBase, F value) {
  if (!width_) return;
  float* v = mask_->values();
  // A gradient dragged inside a stroke is drawn over the mask as it was when the stroke began, so
  // each new drag position replaces the previous one.
  const bool fromBase = fromStrokeBase && inStroke_;
  if (fromBase) backup_.touchAll();
  std::mutex mutex;
  Bounds changed;
  detail::parallelRows(height_, 32, [&](int y0, int y1) {
    Bounds local;
    for (int y = y0; y < y1; ++y) {
      const size_t row = size_t(y) * size_t(width_);
      for (int x = 0; x < width_; ++x) {
        const float out = std::clamp(float(value(x, y, fromBase ? backup_.base(x, y) : v[row + x])), 0.0f, 1.0f);
        if (out != v[row + x]) {
          v[row + x] = out;
          local.add(x, y);
        }
      }
    }
    std::lock_guard<std::mutex> lock(mutex);
    changed.merge(local);
  });
  if (changed.any()) markChanged(changed.x0, changed.y0, changed.x1, changed.y1);
}

void BrushController::drawLinearGradient(double x, double y, double rotationDegrees, double blend, bool subtract) {
  if (!finite({x, y, rotationDegrees, blend})) return;
  const double a = rotationDegrees * kPi / 180;
  const double nx = std::cos(a), ny = std::sin(a);
  const double cx = x * width_, cy = y * height_;
  const double ramp = std::max(0.0, blend) * std::max(width_, height_);
  drawWholeMask(true, [=](int px, int py, float b) {
    const double d = (px + 0.5 - cx) * nx + (py + 0.5 - cy) * ny;
    const double g = ramp > 0 ? std::clamp(0.5 + d / ramp, 0.0, 1.0) : (d >= 0 ? 1.0 : 0.0);
    return subtract ? b * (1 - g) : b + (1 - b) * g;
  });
}

void BrushController::drawRadialGradient(double x, double y, double rotationDegrees, double innerRadius,
                                         double outerRadius, double aspectRatio, bool invert) {
  if (!finite({x, y, rotationDegrees, innerRadius, outerRadius, aspectRatio})) return;
  const double a = rotationDegrees * kPi / 180;
  const double ca = std::cos(a), sa = std::sin(a);
  const double cx = x * width_, cy = y * height_;
  const double side = std::max(width_, height_);
  const double outer = std::max(0.0, outerRadius) * side;
  const double inner = std::clamp(innerRadius * side, 0.0, outer);
  const double aspect = aspectRatio > 0 ? aspectRatio : 1;
  drawWholeMask(true, [=](int px, int py, float b) {
    const double dx = px + 0.5 - cx, dy = py + 0.5 - cy;
    const double u = dx * ca + dy * sa, w = (-dx * sa + dy * ca) / aspect;
    const double q = std::hypot(u, w);
    double g = q <= inner ? 1.0 : q >= outer ? 0.0 : smoothstep((outer - q) / (outer - inner));
    if (invert) g = 1 - g;
    return b + (1 - b) * g;
  });
}

void BrushController::clear() {
  drawWholeMask(false, [](int, int, float) { return 0.0f; });
}
void BrushController::fill() {
  drawWholeMask(false, [](int, int, float) { return 1.0f; });
}
void BrushController::invert() {
  drawWholeMask(false, [](int, int, float b) { return 1.0f - b; });
}

void BrushController::setMaskSetting(double density, double feather) {
  if (!dabs::allFinite({density, feather})) return;
  density_ = std::clamp(density, 0.0, 100.0);
  feather_ = std::max(0.0, feather);
}

void BrushController::bakeDensityAndFeather() {
  if (!width_) return;
  if (inStroke_) endStroke();
  if (!MaskImage::isNeutralSetting(density_, feather_)) {
    // Made in a copy first, so the change is found pixel by pixel like any other.
    const MaskImagePtr baked = mask_->withDensityAndFeather(density_, feather_);
    const float* v = baked->values();
    drawWholeMask(false, [&](int x, int y, float) { return v[size_t(y) * size_t(width_) + size_t(x)]; });
  }
  density_ = 100;
  feather_ = 0;
}

void BrushController::markChanged(int x0, int y0, int x1, int y1) {
  if (!dirty_) {
    ux0_ = x0, uy0_ = y0, ux1_ = x1, uy1_ = y1;
    dirty_ = true;
    return;
  }
  ux0_ = std::min(ux0_, x0), uy0_ = std::min(uy0_, y0);
  ux1_ = std::max(ux1_, x1), uy1_ = std::max(uy1_, y1);
}

RectRoi BrushController::takeUpdateRect() {
  if (!dirty_) return {};
  dirty_ = false;
  return {ux0_, uy0_, ux1_ - ux0_, uy1_ - uy0_};
}

}  // namespace rova
