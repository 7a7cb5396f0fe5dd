#include "rova/effects/DodgeBurnEffect.h"

#include <opencv2/imgproc.hpp>

#include "rova/effects/EffectIDs.h"
#include "rova/effects/ToneMath.h"
#include "rova/kernels/Kernels.h"

namespace rova {
namespace {

struct Guide {
  cv::Mat lightness;          // blurred perceptual lightness at the analysis size
  double perSourcePixel = 1;  // guide pixels per stored pixel of the original
};

class DodgeBurnKernel : public EffectKernel {
 public:
  DodgeBurnKernel(std::shared_ptr<const Guide> guide, const EffectRenderInfo& info, float dodge, float burn,
                  bool overlay)
      : guide_(std::move(guide)), dodge_(dodge), burn_(burn), overlay_(overlay) {
    toGuide_ = info.outputToCanvas;
    toGuide_.append(info.canvasToSource);
    toGuide_.append(AffineTransform::scaling(float(guide_->perSourcePixel), float(guide_->perSourcePixel)));
  }

  void applyRow(float* px, int n, int x0, int y) const override {
    const cv::Mat& g = guide_->lightness;
    for (int i = 0; i < n; ++i, px += 3) {
      double gx, gy;
      toGuide_.apply(x0 + i + 0.5, y + 0.5, gx, gy);
      const float u = std::clamp(float(gx - 0.5), 0.f, float(g.cols - 1)),
                  v = std::clamp(float(gy - 0.5), 0.f, float(g.rows - 1));
      const int ix = std::min(int(u), std::max(0, g.cols - 2)), iy = std::min(int(v), std::max(0, g.rows - 2));
      const int ix1 = std::min(ix + 1, g.cols - 1), iy1 = std::min(iy + 1, g.rows - 1);
      const float fx = u - ix, fy = v - iy;
      const float top = g.at<float>(iy, ix) + (g.at<float>(iy, ix1) - g.at<float>(iy, ix)) * fx;
      const float bottom = g.at<float>(iy1, ix) + (g.at<float>(iy1, ix1) - g.at<float>(iy1, ix)) * fx;
      const double l = top + (bottom - top) * fy;
      const float push = float(dodge_ * (1 - tone::smoothstep(0.0, 0.5, l)) - burn_ * tone::smoothstep(0.5, 1.0, l));
      if (overlay_) {
        px[0] = px[1] = px[2] = 0.5f + 0.25f * push;
      } else {
        const float f = std::exp2(push);
        px[0] *= f, px[1] *= f, px[2] *= f;
      }
    }
  }

 private:
  std::shared_ptr<const Guide> guide_;
  AffineTransform toGuide_;
  float dodge_, burn_;
  bool overlay_;
};

}  // namespace

DodgeBurnEffect::DodgeBurnEffect()
    : EffectBase(effect_id::kDodgeBurn, {Parameter("Dodge", 0, 100, 30), Parameter("Burn", 0, 100, 30),
                                         Parameter("Radius", 0, 100, 50), Parameter("Output", 0, 1, 0, true)}) {}

std::unique_ptr<EffectKernel> DodgeBurnEffect::makeKernel(const ParameterList& p, const EffectRenderInfo& info,
                                                          const EffectParametersContextPtr& context) const {
  const float dodge = std::clamp(valueIn(p, "Dodge"), 0.f, 100.f) / 100;
  const float burn = std::clamp(valueIn(p, "Burn"), 0.f, 100.f) / 100;
  const bool overlay = valueIn(p, "Output") >= 0.5f;
  if (!context || !context->originalImage() || (dodge == 0 && burn == 0 && !overlay)) return nullptr;
  const float radius = std::clamp(valueIn(p, "Radius"), 0.f, 100.f) / 100;
  const int radiusKey = int(std::lround(radius * 100));
  auto guide = context->analysis<Guide>(
      "ROVADodgeBurnEffect.guide." + std::to_string(radiusKey), [&context, radius]() -> std::shared_ptr<const Guide> {
        auto img = context->analysisImage();
        if (!img) return nullptr;
        auto g = std::make_shared<Guide>();
        g->lightness.create(img->height(), img->width(), CV_32F);
        for (int y = 0; y < img->height(); ++y)
          for (int x = 0; x < img->width(); ++x)
            g->lightness.at<float>(y, x) = float(tone::toPerceptual(std::max(0.f, tone::luminance(&img->row(y)[x].r))));
        const double sigma = (0.01 + 0.05 * radius) * std::max(img->width(), img->height());
        cv::GaussianBlur(g->lightness, g->lightness, cv::Size(0, 0), sigma, sigma, cv::BORDER_REPLICATE);
        g->perSourcePixel = double(img->width()) / std::max(1, context->originalImage()->width());
        return g;
      });
  if (!guide) return nullptr;
  return std::make_unique<DodgeBurnKernel>(guide, info, dodge, burn, overlay);
}

}  // namespace rova
