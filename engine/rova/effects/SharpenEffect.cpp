#include "rova/effects/SharpenEffect.h"

#include <opencv2/imgproc.hpp>

#include "rova/effects/EffectIDs.h"
#include "rova/effects/ToneMath.h"
#include "rova/processor/Sampling.h"

namespace rova {
namespace {

class SharpenKernel : public EffectKernel {
 public:
  SharpenKernel(double amount, double sigma, double masking, double dehalo, const std::atomic<bool>* interrupted)
      : gain_(float(amount * 3)), sigma_(sigma), masking_(masking), dehalo_(float(dehalo)), interrupted_(interrupted) {}

  EffectKernelKind kind() const override { return EffectKernelKind::Region; }
  int margin() const override { return int(std::ceil(4 * sigma_)) + 3; }

  void applyRegion(ImageDataRGBf& buffer) const override {
    const int w = buffer.width(), h = buffer.height();
    // Perceptual lightness of the whole buffer first: bands below read it, never the sharpened rows.
    cv::Mat p(h, w, CV_32F);
    detail::parallelRows(h, 32, [&](int y0, int y1) {
      for (int y = y0; y < y1; ++y) {
        const float* px = buffer.floats() + size_t(y) * w * 3;
        float* out = p.ptr<float>(y);
        for (int x = 0; x < w; ++x) out[x] = std::sqrt(std::max(0.f, tone::luminance(px + 3 * x)));
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
      cv::Mat blurred, gx, gy;
      cv::GaussianBlur(p.rowRange(a, b), blurred, cv::Size(0, 0), sigma_, sigma_, cv::BORDER_REPLICATE);
      if (masking_ > 0) {
        cv::Sobel(blurred, gx, CV_32F, 1, 0, 3, 1.0 / 8, 0, cv::BORDER_REPLICATE);
        cv::Sobel(blurred, gy, CV_32F, 0, 1, 3, 1.0 / 8, 0, cv::BORDER_REPLICATE);
        cv::magnitude(gx, gy, gx);
      }
      for (int y = y0; y < y1; ++y) {
        float* px = buffer.floats() + size_t(y) * w * 3;
        const float* pp = p.ptr<float>(y);
        const float* bp = blurred.ptr<float>(y - a);
        const float* ep = masking_ > 0 ? gx.ptr<float>(y - a) : nullptr;
        for (int x = 0; x < w; ++x, px += 3) {
          float d = pp[x] - bp[x];
          if (d == 0) continue;
          d /= 1 + dehalo_ * (d > 0 ? 10.f : 5.f) * std::fabs(d);
          float m = 1;
          if (ep) {
            const float t = std::clamp((ep[x] * reach - lo) / (hi - lo), 0.f, 1.f);
            m = t * t * (3 - 2 * t);
          }
          const float q = std::max(0.f, pp[x] + gain_ * m * d);
          const float y0v = pp[x] * pp[x], y1v = q * q;
          if (y0v > 1e-8f) {
            const float r = y1v / y0v;
            px[0] *= r, px[1] *= r, px[2] *= r;
          } else {
            px[0] += y1v, px[1] += y1v, px[2] += y1v;
          }
        }
      }
    });
  }

 private:
  float gain_;
  double sigma_, masking_;
  float dehalo_;
  const std::atomic<bool>* interrupted_;
};

}  // namespace

SharpenEffect::SharpenEffect()
    : EffectBase(effect_id::kSharpen, {Parameter("Amount", 0, 100, 0), Parameter("Radius", 0, 100, 50),
                                       Parameter("Masking", 0, 100, 35), Parameter("Dehalo", 0, 100, 50)}) {}

std::unique_ptr<EffectKernel> SharpenEffect::makeKernel(const ParameterList& p, const EffectRenderInfo& info,
                                                        const EffectParametersContextPtr&) const {
  const double amount = std::clamp(double(valueIn(p, "Amount")), 0.0, 100.0) / 100;
  if (amount <= 0) return nullptr;
  const double radius = std::clamp(double(valueIn(p, "Radius")), 0.0, 100.0) / 100;
  const double sigma = std::max(0.3, (0.5 + 2.0 * radius) * info.scale);
  return std::make_unique<SharpenKernel>(amount, sigma, std::clamp(double(valueIn(p, "Masking")), 0.0, 100.0) / 100,
                                         std::clamp(double(valueIn(p, "Dehalo")), 0.0, 100.0) / 100, info.interrupted);
}

}  // namespace rova
