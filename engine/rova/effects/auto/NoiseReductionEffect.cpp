#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "rova/Parallel.h"
#include "rova/effects/ToneMath.h"
#include "rova/effects/auto/AutoEffects.h"
#include "rova/effects/auto/AutoSupport.h"
#include "rova/effects/auto/GuidedDenoise.h"
#include "rova/kernels/Kernels.h"

namespace rova {
namespace {

// Rows and columns a region's filtered pixels depend on (the luminance filter, then the colour filter
// guided by its result, each two box filters deep), with two to spare.
constexpr int kContext = auto_support::kDenoiseReach + 2;
// Under this noise (in the square-root scale, about two 8-bit steps in the mid-tones) nothing is
// done: it does not show, and fine texture measures a little like it. The reduction grows to its
// full strength at twice this.
constexpr double kNoiseFloor = 0.008;

struct NoiseEstimate {
  double sigma = 0;  // per full-resolution pixel, square-root scale
};

class NoiseKernel : public EffectKernel {
 public:
  NoiseKernel(double sigma, float amount, const std::atomic<bool>* interrupted)
      : sigma_(float(sigma)), amount_(amount), interrupted_(interrupted) {}
  EffectKernelKind kind() const override { return EffectKernelKind::Region; }
  int margin() const override { return kContext; }

  void applyRegion(ImageDataRGBf& buffer) const override {
    auto_support::guidedDenoise(buffer, sigma_, amount_, interrupted_);
  }

 private:
  float sigma_, amount_;
  const std::atomic<bool>* interrupted_;
};

}  // namespace

double NoiseReductionEffect::estimateNoise(const ImageDataRGBf& data) {
  // Fixed crops (a three by three grid) of square-root luminance; in each, the Laplacian-like mask
  // [1 -2 1; -2 4 -2; 1 -2 1] (Immerkaer's) cancels smooth content and leaves 6 sigma of noise; its
  // median absolute value ignores the edges. Texture (fur, fabric, foliage) measures like noise
  // too, but the noise of a picture is much the same everywhere while texture is not: the flattest
  // crops tell the noise, so the picture's estimate is the second lowest of the crops (the lowest
  // could be a crop of flat sky where compression smoothed the grain away).
  const int w = data.width(), h = data.height(), side = std::min({192, w, h});
  if (side < 8) return 0;
  // The crops are measured on the worker threads, each into its own slot (NaN: too little to tell).
  static constexpr std::pair<double, double> kCrops[] = {std::pair{0.5, 0.5}, {0.2, 0.2}, {0.5, 0.2},
                                                         {0.8, 0.2},          {0.2, 0.5}, {0.8, 0.5},
                                                         {0.2, 0.8},          {0.5, 0.8}, {0.8, 0.8}};
  constexpr size_t kCount = std::size(kCrops);
  std::array<double, kCount> perCrop;
  parallelFor(int64_t(kCount), 1, [&](int64_t c0, int64_t c1) {
    for (int64_t c = c0; c < c1; ++c) {
      const auto [cx, cy] = kCrops[c];
      perCrop[size_t(c)] = std::nan("");
      const int x0 = std::clamp(int(cx * w) - side / 2, 0, w - side),
                y0 = std::clamp(int(cy * h) - side / 2, 0, h - side);
      std::vector<float> p(size_t(side) * side);
      for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
          p[size_t(y) * side + x] = std::sqrt(std::max(0.f, tone::luminance(&data.row(y0 + y)[x0 + x].r)));
      // A hidden pixel (fully transparent) marks its neighbourhood as no measure of the grain.
      std::vector<uint8_t> hidden;
      if (data.alpha()) {
        hidden.assign(size_t(side) * side, 0);
        for (int y = 0; y < side; ++y)
          for (int x = 0; x < side; ++x)
            if (!isVisibleAlpha(data.alpha()->row(y0 + y)[x0 + x]))
              for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                  const int yy = y + dy, xx = x + dx;
                  if (yy >= 0 && yy < side && xx >= 0 && xx < side) hidden[size_t(yy) * side + xx] = 1;
                }
      }
      // The robust response of the mask over a plane of n x n pixels (NaN: too few to tell).
      auto sigmaOf = [&](const std::vector<float>& q, int n, const std::vector<uint8_t>& masked) {
        std::vector<float> r;
        r.reserve(q.size());
        for (int y = 1; y + 1 < n; ++y)
          for (int x = 1; x + 1 < n; ++x) {
            if (!masked.empty() && masked[size_t(y) * n + x]) continue;
            auto at = [&](int dx, int dy) { return q[size_t(y + dy) * n + x + dx]; };
            const float v = at(-1, -1) + at(1, -1) + at(-1, 1) + at(1, 1) -
                            2 * (at(0, -1) + at(0, 1) + at(-1, 0) + at(1, 0)) + 4 * at(0, 0);
            const float bright = at(0, 0);
            if (bright > 0.03f && bright < 0.97f) r.push_back(std::fabs(v));
          }
        if (r.size() < 100) return std::nan("");
        std::nth_element(r.begin(), r.begin() + r.size() / 2, r.end());
        return r[r.size() / 2] / (0.6745 * 6);
      };
      const double fine = sigmaOf(p, side, hidden);
      if (std::isnan(fine)) continue;
      // Grain is independent from pixel to pixel: the mean of two by two pixels holds half of it. Texture
      // (fur, foliage, fabric) is drawn over several pixels and holds as much or more at that scale. So
      // of what the mask finds, the part that halves is grain: a crop filled with fur or leaves, which
      // measured like heavy grain at every crop of a busy picture, now measures as what grain it has.
      const int half = side / 2;
      std::vector<float> binned(size_t(half) * half);
      for (int y = 0; y < half; ++y)
        for (int x = 0; x < half; ++x) {
          const float* a = &p[size_t(2 * y) * side + 2 * x];
          binned[size_t(y) * half + x] = 0.25f * (a[0] + a[1] + a[side] + a[side + 1]);
        }
      // A cell with a hidden pixel's neighbourhood in it marks its own neighbourhood.
      std::vector<uint8_t> hiddenCells;
      if (!hidden.empty()) {
        hiddenCells.assign(binned.size(), 0);
        for (int y = 0; y < side; ++y)
          for (int x = 0; x < side; ++x)
            if (hidden[size_t(y) * side + x])
              for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                  const int yy = y / 2 + dy, xx = x / 2 + dx;
                  if (yy >= 0 && yy < half && xx >= 0 && xx < half) hiddenCells[size_t(yy) * half + xx] = 1;
                }
      }
      const double coarse = sigmaOf(binned, half, hiddenCells);
      const double grain2 = std::isnan(coarse) ? fine * fine : (fine * fine - coarse * coarse) * 4 / 3;
      perCrop[size_t(c)] = std::sqrt(std::clamp(grain2, 0.0, fine * fine));
    }
  });
  std::vector<double> estimates;
  for (double e : perCrop)
    if (!std::isnan(e)) estimates.push_back(e);
  if (estimates.empty()) return 0;
  std::sort(estimates.begin(), estimates.end());
  return estimates[std::min<size_t>(1, estimates.size() - 1)];
}

NoiseReductionEffect::NoiseReductionEffect()
    : EffectBase(effect_id::kNoiseReduction, {Parameter("Amount", 0, 100, 100)}) {}

std::unique_ptr<EffectKernel> NoiseReductionEffect::makeKernel(const ParameterList& p, const EffectRenderInfo& info,
                                                               const EffectParametersContextPtr& context) const {
  const double amount = auto_support::amountOf(p);
  if (amount <= 0 || !context || !context->originalImage()) return nullptr;
  auto estimate =
      context->analysis<NoiseEstimate>(std::string(id()) + ".noise", [&]() -> std::shared_ptr<const NoiseEstimate> {
        auto e = std::make_shared<NoiseEstimate>();
        const auto& image = context->originalImage();
        auto data = image->imageData();
        if (!data) return e;
        // A reduced decode averages the noise away: scale back to full-resolution pixels.
        const double decoded = image->source() ? std::max(0.05, image->source()->decodedScale()) : 1.0;
        e->sigma = estimateNoise(*data) / decoded;
        // The ISO speed sets a floor: a high-ISO file that measured clean was smoothed in the camera
        // at the cost of grain that still shows at full size.
        const float iso = image->exif().isoSpeed;
        if (iso > 0) e->sigma = std::max(e->sigma, 0.0012 * std::sqrt(iso / 100.0));
        return e;
      });
  // A reduced render averages the noise by its scale.
  const double sigma = estimate->sigma * std::min(1.0, info.scale);
  if (sigma <= kNoiseFloor) return nullptr;
  const double strength = amount * std::clamp((sigma - kNoiseFloor) / kNoiseFloor, 0.0, 1.0);
  return std::make_unique<NoiseKernel>(sigma, float(strength), info.interrupted);
}

}  // namespace rova
