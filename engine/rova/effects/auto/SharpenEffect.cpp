#include "rova/effects/auto/SharpenEffect.h"

#include <opencv2/imgproc.hpp>

#include "rova/effects/EffectIDs.h"
#include "rova/effects/ToneMath.h"
#include "rova/effects/auto/EnhanceAnalysis.h"
#include "rova/kernels/AutoSimd.h"
#include "rova/kernels/Kernels.h"
#include "rova/kernels/RenderPool.h"

namespace rova {
namespace {

class SharpenKernel : public EffectKernel {
 public:
  SharpenKernel(double amount, double sigma, double masking, double dehalo, const std::atomic<bool>* interrupted,
                detail::RenderPool* pool)
      : gain_(float(amount * 3)),
        sigma_(sigma),
        masking_(masking),
        dehalo_(float(dehalo)),
        interrupted_(interrupted),
        pool_(pool) {}

  EffectKernelKind kind() const override { return EffectKernelKind::Region; }
  int margin() const override { return int(std::ceil(4 * sigma_)) + 3; }

  void applyRegion(ImageDataRGBf& buffer) const override {
    const int w = buffer.width(), h = buffer.height();
    // Perceptual lightness of the whole buffer first: bands below read it, never the sharpened rows.
    const ImageDataFPtr plane = detail::workPlane(pool_, {w, h});
    if (!plane) return;
    cv::Mat p(h, w, CV_32F, plane->data());
    detail::parallelRows(h, 32, [&](int y0, int y1) {
      for (int y = y0; y < y1; ++y) {
        const float* px = buffer.floats() + size_t(y) * w * 3;
        float* out = p.ptr<float>(y);
        int x = 0;
        for (; x + 4 <= w; x += 4) {
          auto_support::simd::F4 r, g, b;
          auto_support::simd::load3(px + 3 * x, r, g, b);
          const auto v = auto_support::simd::vsqrt(
              auto_support::simd::vmax(auto_support::simd::luminance(r, g, b), auto_support::simd::splat(0.f)));
          __builtin_memcpy(out + x, &v, 16);
        }
        for (; x < w; ++x) out[x] = std::sqrt(std::max(0.f, tone::luminance(px + 3 * x)));
      }
    });
    if (interrupted_ && interrupted_->load(std::memory_order_relaxed)) return;
    // Then bands of rows, each blurred with its own context rows: memory stays a few bands.
    const int context = int(std::ceil(4 * sigma_)) + 2;
    const float threshold = float(masking_ * 0.06), reach = float(2 * sigma_);
    const float lo = 0.5f * threshold, hi = 1.5f * threshold;
    detail::parallelRows(h, 64, [&](int y0, int y1) {
      if (interrupted_ && interrupted_->load(std::memory_order_relaxed)) return;
      const int a = std::max(0, y0 - context), b = std::min(h, y1 + context);
      cv::Mat blurred;
      cv::GaussianBlur(p.rowRange(a, b), blurred, cv::Size(0, 0), sigma_, sigma_, cv::BORDER_REPLICATE);
      using namespace auto_support::simd;
      const float slope = 1 / (hi - lo);
      const bool masking = masking_ > 0;
      for (int y = y0; y < y1; ++y) {
        const float* pp = p.ptr<float>(y);
        // The blurred row and its neighbours (edges repeated), for the 3 x 3 Sobel gradient of the
        // blurred lightness that decides the masking.
        const float* bp = blurred.ptr<float>(y - a);
        const float* above = blurred.ptr<float>(std::max(0, y - a - 1));
        const float* below = blurred.ptr<float>(std::min(b - a - 1, y - a + 1));
        auto loadAt = [](const float* row, int i) {
          F4 v;
          __builtin_memcpy(&v, row + i, 16);
          return v;
        };
        auto gradient = [&](F4 t0, F4 t1, F4 t2, F4 m0, F4 m2, F4 b0, F4 b1, F4 b2) {
          // t/m/b: rows above, this and below; 0/1/2: columns left, here and right.
          const F4 gx = ((t2 - t0) + 2.f * (m2 - m0) + (b2 - b0)) * 0.125f;
          const F4 gy = ((b0 - t0) + 2.f * (b1 - t1) + (b2 - t2)) * 0.125f;
          return vsqrt(gx * gx + gy * gy);
        };
        int x = 0;
        auto_support::simd::forPixels4(
            buffer.floats() + size_t(y) * w * 3, w, [&](F4 & r, F4 & g, F4 & b) __attribute__((always_inline)) {
              F4 l, d, m = splat(1.f);
              if (x >= 1 && x + 5 <= w) {
                l = loadAt(pp, x);
                const F4 here = loadAt(bp, x);
                d = l - here;
                if (masking)
                  m = gradient(loadAt(above, x - 1), loadAt(above, x), loadAt(above, x + 1), loadAt(bp, x - 1),
                               loadAt(bp, x + 1), loadAt(below, x - 1), loadAt(below, x), loadAt(below, x + 1));
              } else {
                float lv[4], dv[4], e[8][4];
                for (int k = 0; k < 4; ++k) {
                  const int i = std::min(x + k, w - 1), il = std::max(0, i - 1), ir = std::min(w - 1, i + 1);
                  lv[k] = pp[i], dv[k] = pp[i] - bp[i];
                  const float v[8] = {above[il], above[i], above[ir], bp[il], bp[ir], below[il], below[i], below[ir]};
                  for (int j = 0; j < 8; ++j) e[j][k] = v[j];
                }
                auto f4 = [](const float* v) { return F4{v[0], v[1], v[2], v[3]}; };
                l = f4(lv), d = f4(dv);
                if (masking)
                  m = gradient(f4(e[0]), f4(e[1]), f4(e[2]), f4(e[3]), f4(e[4]), f4(e[5]), f4(e[6]), f4(e[7]));
              }
              x += 4;
              const auto changes = d != 0.f;
              if (!any(changes)) return;
              d = d / (1.f + dehalo_ * (d > 0.f ? splat(10.f) : splat(5.f)) * vabs(d));
              if (masking) {
                const F4 t = clamp((m * reach - lo) * slope, 0.f, 1.f);
                m = t * t * (3.f - 2.f * t);
              }
              const F4 q = vmax(l + gain_ * m * d, splat(0.f));
              const F4 y0v = l * l, y1v = q * q;
              const auto scales = changes && y0v > 1e-8f, lifts = changes && !(y0v > 1e-8f);
              const F4 ratio = y1v / (scales ? y0v : splat(1.f));
              r = scales ? r * ratio : lifts ? r + y1v : r;
              g = scales ? g * ratio : lifts ? g + y1v : g;
              b = scales ? b * ratio : lifts ? b + y1v : b;
            });
      }
    });
  }

 private:
  float gain_;
  double sigma_, masking_;
  float dehalo_;
  const std::atomic<bool>* interrupted_;
  detail::RenderPool* pool_;
};

}  // namespace

SharpenEffect::SharpenEffect()
    : EffectBase(effect_id::kSharpen,
                 {Parameter("Amount", 0, 100, 0), Parameter("Radius", 0, 100, 50), Parameter("Masking", 0, 100, 35),
                  Parameter("Dehalo", 0, 100, 50), Parameter("Adaptive", 0, 1, 0, true)}) {}

std::unique_ptr<EffectKernel> SharpenEffect::makeKernel(const ParameterList& p, const EffectRenderInfo& info,
                                                        const EffectParametersContextPtr& context) const {
  double amount = std::clamp(double(valueIn(p, "Amount")), 0.0, 100.0) / 100;
  // "Adaptive" (the automatic enhancement's layer): only as much as the picture's softness asks for,
  // so a sharp photo is left alone.
  if (valueIn(p, "Adaptive") >= 0.5f && context) amount *= enhance_analysis::shared(context)->sharpenNeed;
  if (amount <= 0) return nullptr;
  const double radius = std::clamp(double(valueIn(p, "Radius")), 0.0, 100.0) / 100;
  const double sigma = std::max(0.3, (0.5 + 2.0 * radius) * info.scale);
  // A quick preview leaves out sharpening finer than half an output pixel: at that size it hardly
  // shows, and it is a neighbourhood pass over the whole preview.
  if (info.quickPreview && (0.5 + 2.0 * radius) * info.scale < 0.5) return nullptr;
  return std::make_unique<SharpenKernel>(amount, sigma, std::clamp(double(valueIn(p, "Masking")), 0.0, 100.0) / 100,
                                         std::clamp(double(valueIn(p, "Dehalo")), 0.0, 100.0) / 100, info.interrupted,
                                         info.pool);
}

}  // namespace rova
