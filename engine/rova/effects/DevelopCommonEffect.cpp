#include "rova/effects/DevelopCommonEffect.h"

#include <vector>

#include "rova/effects/DcpProfile.h"
#include "rova/effects/EffectIDs.h"
#include "rova/effects/ToneMath.h"

namespace rova {
namespace {

ParameterList developParameters(bool raw) {
  ParameterList list{Parameter("Exposure", -5, 5, 0),        Parameter("Contrast", -100, 100, 0),
                     Parameter("Highlights", -100, 100, 0),  Parameter("Shadows", -100, 100, 0),
                     Parameter("Whites", -100, 100, 0),      Parameter("Blacks", -100, 100, 0),
                     Parameter("Temperature", -100, 100, 0), Parameter("Tint", -100, 100, 0),
                     Parameter("Saturation", -100, 100, 0),  Parameter("Vibrance", -100, 100, 0)};
  if (raw) list.emplace_back("Texture", 0, 1, 0, true);
  return list;
}

constexpr double kShoulder = 0.8;
constexpr float kFlare = 0.002f;  // lets a lifted black rise from pure black

struct ToneSettings {
  double contrast = 0, highlights = 0, shadows = 0, whites = 0, blacks = 0;
  bool identity() const { return !contrast && !highlights && !shadows && !whites && !blacks; }
};

// The tone curve in the perceptual scale, p in 0..1.
double toneCurve(double p, const ToneSettings& t) {
  const double b0 = -0.08 * t.blacks;
  p = std::max(0.0, (p - b0) / (1 - b0));
  p *= 1 + 0.2 * t.whites * p * p;
  if (p < 1) {
    p += 0.9 * t.shadows * p * std::pow(1 - p, 3);
    p += 0.9 * t.highlights * (1 - p) * p * p * p;
    const double c = 0.5 * t.contrast;
    p += c * (p - 0.5) * 4 * p * (1 - p);
  }
  return std::max(0.0, p);
}

class DevelopKernel : public EffectKernel {
 public:
  DevelopKernel(std::array<float, 3> gains, double exposureFactor, const ToneSettings& tone, float saturation,
                float vibrance, std::shared_ptr<const DcpProfile> profile)
      : gains_(gains), k_(exposureFactor), saturation_(saturation), vibrance_(vibrance), profile_(std::move(profile)) {
    if (k_ > 1) limit_ = (1 - kShoulder) * (k_ - kShoulder) / (k_ - 1);
    if (!tone.identity()) {
      lut_.resize(kLut);
      for (int i = 0; i < kLut; ++i) {
        const double u = double(i) / (kLut - 1), y = u * u;
        lut_[i] = float(tone::fromPerceptual(toneCurve(tone::toPerceptual(y), tone)));
      }
    }
  }

  void applyRow(float* px, int n, int, int) const override {
    for (int i = 0; i < n; ++i, px += 3) {
      float c[3] = {px[0] * gains_[0], px[1] * gains_[1], px[2] * gains_[2]};
      float y = tone::luminance(c);
      if (limit_ > 0 && y > kShoulder) {
        const double over = y - kShoulder;
        const float f = float(kShoulder + over / (1 + over / limit_));
        for (float& v : c) v *= f / y;
        y = f;
      }
      if (!lut_.empty()) {
        const float yc = std::max(0.f, y);
        float t;
        if (yc >= 1) {
          t = yc * lut_.back();
        } else {
          const float pos = std::sqrt(yc) * (kLut - 1);
          const int i0 = std::min(int(pos), kLut - 2);
          t = lut_[i0] + (lut_[i0 + 1] - lut_[i0]) * (pos - i0);
        }
        const float ratio = t / (yc + kFlare);
        for (float& v : c) v = (std::max(v, 0.f) + kFlare) * ratio;
      }
      if (profile_) profile_->applyLook(c);
      if (saturation_ != 1 || vibrance_ != 0) {
        const float l = tone::luminance(c);
        const float mx = std::max({c[0], c[1], c[2]}), mn = std::min({c[0], c[1], c[2]});
        const float sigma = mx > 1e-6f ? std::clamp((mx - mn) / mx, 0.f, 1.f) : 0.f;
        const float factor = saturation_ * (1 + vibrance_ * (1 - sigma) * (1 - sigma));
        for (float& v : c) v = std::max(0.f, l + (v - l) * factor);
      }
      px[0] = c[0], px[1] = c[1], px[2] = c[2];
    }
  }

 private:
  static constexpr int kLut = 1024;
  std::array<float, 3> gains_;
  double k_;
  double limit_ = 0;
  std::vector<float> lut_;  // tone-mapped luminance over sqrt(Y) in 0..1
  float saturation_, vibrance_;
  std::shared_ptr<const DcpProfile> profile_;
};

}  // namespace

DevelopCommonEffect::DevelopCommonEffect(bool raw)
    : EffectBase(raw ? effect_id::kRawDevelopCommon : effect_id::kDevelopCommon, developParameters(raw)), raw_(raw) {}

std::unique_ptr<EffectKernel> DevelopCommonEffect::makeKernel(const ParameterList& p, const EffectRenderInfo& info,
                                                              const EffectParametersContextPtr&) const {
  (void)info;
  auto value = [&p](const char* id) { return double(valueIn(p, id)) / 100.0; };
  // The RAW decode is the faithful base (the file's exposure, levels, colour and white balance): the
  // RAW variant adds nothing of its own but the camera profile.
  double ev = valueIn(p, "Exposure");
  ToneSettings tone{std::clamp(value("Contrast"), -1.0, 1.0), std::clamp(value("Highlights"), -1.0, 1.0),
                    std::clamp(value("Shadows"), -1.0, 1.0), std::clamp(value("Whites"), -1.0, 1.0),
                    std::clamp(value("Blacks"), -1.0, 1.0)};
  const double temperature = tone::kReferenceTemperature * std::exp2(0.8 * std::clamp(value("Temperature"), -1.0, 1.0));
  const double tint = tone::kTintRange * std::clamp(value("Tint"), -1.0, 1.0);
  const float saturation = float(1 + std::clamp(value("Saturation"), -1.0, 1.0));
  const float vibrance = float(std::clamp(value("Vibrance"), -1.0, 1.0));
  std::shared_ptr<const DcpProfile> profile;
  if (raw_)
    if (const Parameter* texture = findParameter(p, "Texture"))
      if (!texture->optionalText().empty()) profile = DcpProfile::load(texture->optionalText());

  const bool neutralWB = value("Temperature") == 0 && value("Tint") == 0;
  if (ev == 0 && tone.identity() && neutralWB && saturation == 1 && vibrance == 0 && !profile) return nullptr;
  auto gains = neutralWB ? std::array<float, 3>{1, 1, 1} : tone::whiteBalanceGains(temperature, tint);
  const double k = std::exp2(ev);
  for (float& g : gains) g = float(g * k);
  return std::make_unique<DevelopKernel>(gains, k, tone, saturation, vibrance, profile);
}

}  // namespace rova
