#include "rova/effects/TextureOverlayEffect.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>

#include "rova/Color.h"
#include "rova/codecs/Codecs.h"
#include "rova/effects/EffectIDs.h"

namespace rova {
namespace {

ImageDataRGBfPtr bitmapToLinear(const codecs::Bitmap& bm, bool linear) {
  auto out = ImageDataRGBf::createUninitialized(bm.width, bm.height);
  if (!out) return nullptr;
  float lut8[256];
  for (int i = 0; i < 256; ++i) lut8[i] = linear ? i / 255.f : srgbToLinear(i / 255.f);
  const int colour = bm.channels >= 3 ? 3 : 1;
  for (int y = 0; y < bm.height; ++y) {
    const uint8_t* row = bm.row(y);
    float* o = out->floats() + size_t(y) * bm.width * 3;
    for (int x = 0; x < bm.width; ++x)
      for (int c = 0; c < 3; ++c) {
        const size_t s = size_t(x) * bm.channels + (colour == 3 ? c : 0);
        float v;
        if (bm.depth == 8) {
          v = lut8[row[s]];
        } else if (bm.depth == 16) {
          uint16_t u;
          std::memcpy(&u, row + 2 * s, 2);
          v = linear ? u / 65535.f : srgbToLinear(u / 65535.f);
        } else {
          std::memcpy(&v, row + 4 * s, 4);
        }
        o[3 * x + c] = v;
      }
  }
  return out;
}

class TextureKernel : public EffectKernel {
 public:
  TextureKernel(ImageDataRGBfPtr texture, const EffectRenderInfo& info, float amount)
      : texture_(std::move(texture)), toCanvas_(info.outputToCanvas), amount_(amount) {
    const double cw = info.canvasSize.width, ch = info.canvasSize.height;
    const double tw = texture_->width(), th = texture_->height();
    scale_ = std::max(cw / tw, ch / th);  // canvas pixels per texture pixel: cover the canvas
    offsetX_ = (cw - tw * scale_) / 2;
    offsetY_ = (ch - th * scale_) / 2;
  }

  void applyRow(float* px, int n, int x0, int y) const override {
    const int tw = texture_->width(), th = texture_->height();
    for (int i = 0; i < n; ++i, px += 3) {
      double cx, cy;
      toCanvas_.apply(x0 + i + 0.5, y + 0.5, cx, cy);
      float u = float((cx - offsetX_) / scale_ - 0.5), v = float((cy - offsetY_) / scale_ - 0.5);
      u = std::clamp(u, 0.f, float(tw - 1));
      v = std::clamp(v, 0.f, float(th - 1));
      const int ix = std::min(int(u), tw - 2 < 0 ? 0 : tw - 2), iy = std::min(int(v), th - 2 < 0 ? 0 : th - 2);
      const int ix1 = std::min(ix + 1, tw - 1), iy1 = std::min(iy + 1, th - 1);
      const float fx = u - ix, fy = v - iy;
      const float* a = texture_->floats() + (size_t(iy) * tw + ix) * 3;
      const float* b = texture_->floats() + (size_t(iy) * tw + ix1) * 3;
      const float* c = texture_->floats() + (size_t(iy1) * tw + ix) * 3;
      const float* d = texture_->floats() + (size_t(iy1) * tw + ix1) * 3;
      for (int k = 0; k < 3; ++k) {
        const float top = a[k] + (b[k] - a[k]) * fx, bottom = c[k] + (d[k] - c[k]) * fx;
        const float t = top + (bottom - top) * fy;
        px[k] += (t - px[k]) * amount_;
      }
    }
  }

 private:
  ImageDataRGBfPtr texture_;
  AffineTransform toCanvas_;
  float amount_;
  double scale_ = 1, offsetX_ = 0, offsetY_ = 0;
};

}  // namespace

TextureOverlayEffect::TextureOverlayEffect()
    : EffectBase(effect_id::kTextureOverlay, {Parameter("Texture", 0, 1, 0, true), Parameter("Amount", 0, 100, 100)}) {}

ImageDataRGBfPtr TextureOverlayEffect::loadTexture(const std::string& path, int maxSide) {
  static std::mutex mutex;
  static std::deque<std::pair<std::string, ImageDataRGBfPtr>> cache;  // newest first
  const std::string key = path + "#" + std::to_string(maxSide);
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (auto& [k, v] : cache)
      if (k == key) return v;
  }
  codecs::Bytes bytes;
  if (!bytes.open(path, nullptr)) return nullptr;
  std::string ext;
  if (auto dot = path.find_last_of('.'); dot != std::string::npos) ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  codecs::DecodeRequest request;
  request.fitSize = {maxSide, maxSide};
  codecs::DecodeResult decoded;
  if (!codecs::decode(bytes.data(), bytes.size(), ext, request, decoded, nullptr)) return nullptr;
  codecs::Bitmap upright = codecs::orientBitmap(decoded.bitmap, decoded.info.orientation);
  ImageDataRGBfPtr texture = bitmapToLinear(upright, decoded.linear);
  if (texture && std::max(texture->width(), texture->height()) > maxSide) {
    const double s = double(maxSide) / std::max(texture->width(), texture->height());
    texture = resize(*texture, std::max(1, int(texture->width() * s)), std::max(1, int(texture->height() * s)));
  }
  if (!texture) return nullptr;
  std::lock_guard<std::mutex> lock(mutex);
  cache.emplace_front(key, texture);
  if (cache.size() > 4) cache.pop_back();
  return texture;
}

std::unique_ptr<EffectKernel> TextureOverlayEffect::makeKernel(const ParameterList& p, const EffectRenderInfo& info,
                                                               const EffectParametersContextPtr&) const {
  const float amount = std::clamp(valueIn(p, "Amount", 100), 0.f, 100.f) / 100;
  const Parameter* texture = findParameter(p, "Texture");
  if (amount <= 0 || !texture || info.canvasSize.isEmpty()) return nullptr;
  ImageDataRGBfPtr pixels = texture->optionalImage();
  if (!pixels && !texture->optionalText().empty()) pixels = loadTexture(texture->optionalText());
  if (!pixels || pixels->width() < 1 || pixels->height() < 1) return nullptr;
  return std::make_unique<TextureKernel>(pixels, info, amount);
}

}  // namespace rova
