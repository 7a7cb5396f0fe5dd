#include "rova/processor/Render.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

#include "rova/kernels/RenderPool.h"
#include "rova/layers/AdjustmentLayer.h"
#include "rova/layers/ImageLayer.h"
#include "rova/layers/SourceSampling.h"

namespace rova::detail {
namespace {

constexpr int kBand = 16;  // rows per tile of the fused point passes

struct Plan {
  BaseLayerPtr layer;
  const ImageLayer* image = nullptr;
  const AdjustmentLayer* adjustment = nullptr;
  uint64_t level = 0;
  bool active = false;  // enabled, and so are all its ancestors
  size_t end = 0;       // one past its subtree
  std::vector<std::unique_ptr<EffectKernel>> kernels;
  bool pointOnly = true;
  float opacity = 1, amount = 1;
  BlendModeType mode = kBlendNormal;
  MaskImagePtr mask;

  bool plain() const { return opacity == 1 && amount == 1 && mode == kBlendNormal && !mask; }
};

class Renderer {
 public:
  explicit Renderer(const RenderRequest& rq) : rq_(rq) {}

  ImageDataRGBfPtr run() {
    if (rq_.layers.empty()) return nullptr;
    auto bottom = std::dynamic_pointer_cast<ImageLayer>(rq_.layers.front());
    if (!bottom || !bottom->pyramid()) return nullptr;

    // Requested output frame to canvas.
    outToCanvas_ = AffineTransform::scaling(float(1 / rq_.scale), float(1 / rq_.scale));
    outToCanvas_.append(AffineTransform::translation(float(rq_.region.x), float(rq_.region.y)));
    if (!rq_.crop.isNone()) outToCanvas_.append(rq_.crop.getAffineTransform().inverted());

    info_.scale = rq_.scale * bottom->getSourceImage()->source()->decodedScale();
    info_.canvasSize = rq_.canvas;
    info_.outputToCanvas = outToCanvas_;
    info_.canvasToSource = bottom->layerToCanvas(rq_.orientation).inverted();
    info_.isRaw = bottom->isRaw();
    info_.lowRes = rq_.lowRes;
    info_.quickPreview = rq_.quickPreview;
    info_.exportMode = rq_.exportMode;
    info_.interrupted = rq_.interrupted;
    info_.pool = rq_.pool;

    plan();
    if (stopped()) return nullptr;

    // Context for the region kernels, limited to the frame.
    int margin = 0;
    for (auto& p : plans_)
      if (p.active)
        for (auto& k : p.kernels) margin += k->margin();
    const double fx0 = rq_.region.x * rq_.scale, fy0 = rq_.region.y * rq_.scale;
    const double fx1 = (rq_.frame.width - rq_.region.right()) * rq_.scale;
    const double fy1 = (rq_.frame.height - rq_.region.bottom()) * rq_.scale;
    ml_ = std::min(margin, int(std::floor(fx0 + 1e-6)));
    mt_ = std::min(margin, int(std::floor(fy0 + 1e-6)));
    const int mr = std::max(0, std::min(margin, int(std::floor(fx1 + 1e-6))));
    const int mb = std::max(0, std::min(margin, int(std::floor(fy1 + 1e-6))));
    ml_ = std::max(0, ml_), mt_ = std::max(0, mt_);
    buffer_ = {rq_.outputSize.width + ml_ + mr, rq_.outputSize.height + mt_ + mb};
    bufferToCanvas_ = AffineTransform::translation(float(-ml_), float(-mt_));
    bufferToCanvas_.append(outToCanvas_);

    ImageDataRGBfPtr base;
    if (!renderRange(0, plans_.size(), base) || !base || stopped()) return nullptr;
    // The picture that sets the canvas gives the result its transparency, read with the same
    // geometry as its colour; an opaque picture has no plane and costs nothing here.
    if (baseLayer_ && baseLayer_->pyramid()->hasAlpha()) {
      auto alpha = sampleLayerAlpha(*baseLayer_, true);
      if (!alpha || !base->setAlpha(std::move(alpha))) return nullptr;
    }
    if (ml_ || mt_ || mr || mb) return base->copy({ml_, mt_, rq_.outputSize.width, rq_.outputSize.height});
    return base;
  }

 private:
  bool stopped() const { return rq_.interrupted && rq_.interrupted->load(std::memory_order_relaxed); }

  void plan() {
    const size_t n = rq_.layers.size();
    plans_.resize(n);
    std::vector<size_t> parents;  // indices of the open ancestors
    for (size_t i = 0; i < n; ++i) {
      Plan& p = plans_[i];
      p.layer = rq_.layers[i];
      p.level = p.layer->level();
      while (!parents.empty() && plans_[parents.back()].level >= p.level) parents.pop_back();
      p.active = p.layer->isEnabled() && (parents.empty() || plans_[parents.back()].active);
      parents.push_back(i);
      p.image = dynamic_cast<const ImageLayer*>(p.layer.get());
      p.adjustment = dynamic_cast<const AdjustmentLayer*>(p.layer.get());
      p.opacity = p.layer->opacity();
      p.amount = std::clamp(p.layer->getEffectAmount(), 0.f, 1.f);
      p.mode = p.layer->blendMode();
      p.mask = p.layer->workingMask();
    }
    for (size_t i = 0; i < n; ++i) {
      size_t j = i + 1;
      while (j < n && plans_[j].level > plans_[i].level) ++j;
      plans_[i].end = j;
    }
    for (auto& p : plans_) {
      if (!p.active || !p.adjustment) continue;
      for (auto& effect : p.adjustment->effects()) {
        auto kernel = effect->makeKernel(info_);
        if (!kernel) continue;
        if (kernel->kind() == EffectKernelKind::Geometry) {
          // Geometry corrects the picture itself: it goes into the reading of the bottom layer.
          if (!geometry_) geometry_ = std::move(kernel);
          continue;
        }
        if (kernel->kind() == EffectKernelKind::Region) p.pointOnly = false;
        p.kernels.push_back(std::move(kernel));
      }
    }
  }

  // The pixels of an image layer over the buffer.
  ImageDataRGBfPtr sampleLayer(const ImageLayer& layer, bool bottom) {
    AffineTransform toSource = bufferToCanvas_;
    toSource.append(layer.layerToCanvas(rq_.orientation).inverted());
    const Size origin{int(std::lround(rq_.region.x * rq_.scale)) - ml_,
                      int(std::lround(rq_.region.y * rq_.scale)) - mt_};
    ImageSource* consumable =
        bottom && rq_.consumeSource && layer.getSourceImage() ? layer.getSourceImage()->source().get() : nullptr;
    return sampleSource(*layer.pyramid(), toSource, buffer_, bottom ? geometry_.get() : nullptr, rq_.interrupted,
                        origin, rq_.pool, consumable);
  }

  ImageDataFPtr sampleLayerAlpha(const ImageLayer& layer, bool bottom) {
    AffineTransform toSource = bufferToCanvas_;
    toSource.append(layer.layerToCanvas(rq_.orientation).inverted());
    const Size origin{int(std::lround(rq_.region.x * rq_.scale)) - ml_,
                      int(std::lround(rq_.region.y * rq_.scale)) - mt_};
    return sampleSourceAlpha(*layer.pyramid(), toSource, buffer_, bottom ? geometry_.get() : nullptr, rq_.interrupted,
                             origin);
  }

  // Per-pixel alpha of a layer over the buffer: its mask, times (for pictures above the bottom) the
  // area its pixels cover and their own transparency. nullptr means 1 everywhere.
  ImageDataFPtr alphaFor(const Plan& p, bool coverage) {
    ImageDataFPtr own =
        coverage && p.image && p.image->pyramid()->hasAlpha() ? sampleLayerAlpha(*p.image, false) : nullptr;
    if (!p.mask && !coverage) return nullptr;
    auto alpha = ImageDataF::createUninitialized(buffer_.width, buffer_.height);
    if (!alpha) return nullptr;
    cv::Mat dst = asMat(*alpha);
    if (p.mask) {
      const AffineTransform& m = bufferToCanvas_;
      cv::Matx23d w(m.a, m.c, 0.5 * m.a + 0.5 * m.c + m.tx - 0.5, m.b, m.d, 0.5 * m.b + 0.5 * m.d + m.ty - 0.5);
      cv::warpAffine(asMat(*p.mask->data()), dst, w, dst.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                     cv::BORDER_CONSTANT, cv::Scalar(0));
    } else {
      dst.setTo(1.f);
    }
    if (coverage && p.image) {
      AffineTransform toLayer = bufferToCanvas_;
      toLayer.append(p.image->layerToCanvas(rq_.orientation).inverted());
      const Size s = p.image->getSourceImage()->size();
      parallelRows(buffer_.height, kBand, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
          float* row = alpha->row(y);
          for (int x = 0; x < buffer_.width; ++x) {
            double u, v;
            toLayer.apply(x + 0.5, y + 0.5, u, v);
            if (u < 0 || v < 0 || u >= s.width || v >= s.height) row[x] = 0;
          }
          if (own)
            for (int x = 0; x < buffer_.width; ++x) row[x] *= own->row(y)[x];
        }
      });
    }
    return alpha;
  }

  // A copy of a whole buffer, made on every core (a layer with partial opacity or amount keeps the
  // pixels below it while its effects work).
  ImageDataRGBfPtr parallelCopy(const ImageDataRGBf& src) const {
    auto out = workBuffer(rq_.pool, {src.width(), src.height()}, src.colorProfileType());
    if (!out) return nullptr;
    parallelRows(src.height(), 32, [&](int y0, int y1) {
      std::copy(src.floats() + size_t(y0) * src.width() * 3, src.floats() + size_t(y1) * src.width() * 3,
                out->floats() + size_t(y0) * src.width() * 3);
    });
    return out;
  }

  void applyPoint(const EffectKernel& k, float* row, int y) const { k.applyRow(row, buffer_.width, -ml_, y - mt_); }

  // A run of point-only adjustment layers without sublayers: every layer over one band of rows
  // before the next band, so the pixels stay in cache.
  bool fusedPass(const std::vector<const Plan*>& run, ImageDataRGBf& base) {
    std::vector<ImageDataFPtr> alphas;
    for (auto* p : run) alphas.push_back(alphaFor(*p, false));
    const int w = buffer_.width;
    const bool blends = std::any_of(run.begin(), run.end(), [](const Plan* p) { return !p->plain(); });
    parallelRows(buffer_.height, kBand, [&](int y0, int y1) {
      if (stopped()) return;
      std::vector<float> tmp(blends ? size_t(w) * 3 : 0);
      for (int y = y0; y < y1; ++y) {
        float* row = base.floats() + size_t(y) * w * 3;
        for (size_t li = 0; li < run.size(); ++li) {
          const Plan& p = *run[li];
          if (p.plain()) {
            for (auto& k : p.kernels) applyPoint(*k, row, y);
            continue;
          }
          std::copy(row, row + size_t(w) * 3, tmp.begin());
          for (auto& k : p.kernels) applyPoint(*k, tmp.data(), y);
          if (p.amount < 1)
            for (size_t i = 0; i < tmp.size(); ++i) tmp[i] = row[i] + (tmp[i] - row[i]) * p.amount;
          blendPixels(p.mode, row, tmp.data(), row, w, p.opacity, alphas[li] ? alphas[li]->row(y) : nullptr);
        }
      }
    });
    return !stopped();
  }

  void blendInto(ImageDataRGBf& base, const ImageDataRGBf& content, const Plan& p, const ImageDataFPtr& alpha) {
    const int w = buffer_.width;
    parallelRows(buffer_.height, kBand, [&](int y0, int y1) {
      for (int y = y0; y < y1; ++y)
        blendPixels(p.mode, base.floats() + size_t(y) * w * 3, content.floats() + size_t(y) * w * 3,
                    base.floats() + size_t(y) * w * 3, w, p.opacity, alpha ? alpha->row(y) : nullptr);
    });
  }

  bool renderRange(size_t begin, size_t end, ImageDataRGBfPtr& base) {
    size_t i = begin;
    while (i < end) {
      if (stopped()) return false;
      const Plan& p = plans_[i];
      const size_t subEnd = std::min(p.end, end);
      if (!p.active) {
        i = subEnd;
        continue;
      }
      if (p.image) {
        const bool bottom = !base;
        ImageDataRGBfPtr content = sampleLayer(*p.image, bottom);
        if (!content) return false;
        if (!renderRange(i + 1, subEnd, content)) return false;
        if (bottom) {
          base = content;
          baseLayer_ = p.image;
        } else {
          blendInto(*base, *content, p, alphaFor(p, true));
        }
        i = subEnd;
        continue;
      }
      if (!base) {  // nothing below to adjust
        i = subEnd;
        continue;
      }
      if (p.pointOnly && subEnd == i + 1) {
        std::vector<const Plan*> run;
        while (i < end) {
          const Plan& q = plans_[i];
          if (q.image || !q.pointOnly || std::min(q.end, end) != i + 1) break;
          if (q.active && !q.kernels.empty()) run.push_back(&q);
          ++i;
        }
        if (!run.empty() && !fusedPass(run, *base)) return false;
        continue;
      }
      // Region kernels or sublayers: the layer works on a whole buffer.
      ImageDataRGBfPtr content = p.plain() ? base : parallelCopy(*base);
      if (!content) return false;
      for (auto& k : p.kernels) {
        if (stopped()) return false;
        if (k->kind() == EffectKernelKind::Region) {
          k->applyRegion(*content);
        } else {
          const EffectKernel& kernel = *k;
          parallelRows(buffer_.height, kBand, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y) applyPoint(kernel, content->floats() + size_t(y) * buffer_.width * 3, y);
          });
        }
      }
      if (content != base && p.amount < 1) {
        const size_t row = size_t(buffer_.width) * 3;
        parallelRows(buffer_.height, kBand, [&](int y0, int y1) {
          float* c = content->floats() + size_t(y0) * row;
          const float* b = base->floats() + size_t(y0) * row;
          const size_t count = size_t(y1 - y0) * row;
          for (size_t k = 0; k < count; ++k) c[k] = b[k] + (c[k] - b[k]) * p.amount;
        });
      }
      if (!renderRange(i + 1, subEnd, content)) return false;
      if (content != base) blendInto(*base, *content, p, alphaFor(p, false));
      i = subEnd;
    }
    return true;
  }

  const RenderRequest& rq_;
  std::vector<Plan> plans_;
  std::unique_ptr<EffectKernel> geometry_;
  const ImageLayer* baseLayer_ = nullptr;  // the picture the result starts from
  EffectRenderInfo info_;
  AffineTransform outToCanvas_, bufferToCanvas_;
  int ml_ = 0, mt_ = 0;
  Size buffer_;
};

}  // namespace

ImageDataRGBfPtr render(const RenderRequest& request) { return Renderer(request).run(); }

}  // namespace rova::detail
