#include "rova/effects/LensCorrectionEffect.h"

#include <lensfun/lensfun.h>

#include <algorithm>
#include <mutex>

#include "rova/LensDatabase.h"
#include "rova/effects/EffectIDs.h"

namespace rova {
namespace {

struct LensMatch {
  const lfLens* lens = nullptr;
  float crop = 1;
};

LensMatch findLens(const OrvantaExifData& exif) {
  std::lock_guard<std::mutex> lock(lensDatabaseMutex());
  LensMatch m;
  if (exif.cameraModel.empty() || exif.lensModel.empty()) return m;
  lfDatabase* db = sharedLensDatabase();
  const lfCamera** cameras = db->FindCamerasExt(exif.cameraName.c_str(), exif.cameraModel.c_str(), 0);
  const lfCamera* camera = cameras ? cameras[0] : nullptr;
  const lfLens** lenses = db->FindLenses(camera, nullptr, exif.lensModel.c_str(), 0);
  if (lenses && lenses[0]) {
    m.lens = lenses[0];
    m.crop = camera ? camera->CropFactor : lenses[0]->CropFactor;
  }
  lf_free(lenses);
  lf_free(cameras);
  return m;
}

class LensKernel : public EffectKernel {
 public:
  LensKernel(const LensMatch& match, const OrvantaExifData& exif, Size stored, double decodedScale, float distortion,
             float vignetting, float tca)
      : modifier_(match.lens, match.crop, int(std::lround(stored.width / decodedScale)),
                  int(std::lround(stored.height / decodedScale))),
        scale_(decodedScale),
        distortion_(distortion),
        vignetting_(vignetting),
        tca_(tca) {
    int flags = 0;
    // Correcting barrel distortion pulls the corners inwards; the automatic scale enlarges the
    // corrected picture just enough that no edge is left empty.
    if (distortion > 0) flags |= LF_MODIFY_DISTORTION | LF_MODIFY_SCALE;
    if (tca > 0) flags |= LF_MODIFY_TCA;
    if (vignetting > 0) flags |= LF_MODIFY_VIGNETTING;
    const float focal = exif.focalLength > 0 ? exif.focalLength : match.lens->MinFocal;
    const float aperture = exif.fNumber > 0 ? exif.fNumber : 8.f;
    active_ = modifier_.Initialize(match.lens, LF_PF_F32, focal, aperture, 1000.f, 0.f, LF_RECTILINEAR, flags, false);
  }
  bool active() const { return (active_ & ~LF_MODIFY_SCALE) != 0; }

  EffectKernelKind kind() const override { return EffectKernelKind::Geometry; }

  void sourcePoint(double x, double y, float out[6]) const override {
    // The modifier works in pixels of the full-size picture.
    float res[6];
    const float fx = float(x / scale_), fy = float(y / scale_);
    if (!(active_ & (LF_MODIFY_DISTORTION | LF_MODIFY_TCA | LF_MODIFY_SCALE)) ||
        !modifier_.ApplySubpixelGeometryDistortion(fx - 0.5f, fy - 0.5f, 1, 1, res)) {
      for (int c = 0; c < 3; ++c) out[2 * c] = float(x), out[2 * c + 1] = float(y);
      return;
    }
    // Partial strengths move part of the way from the uncorrected point; colour fringes are the
    // difference between each channel and green.
    const float gx = res[2] + 0.5f, gy = res[3] + 0.5f;
    const float bx = fx + (gx - fx) * distortion_, by = fy + (gy - fy) * distortion_;
    for (int c = 0; c < 3; ++c) {
      const float cx = bx + (res[2 * c] + 0.5f - gx) * tca_, cy = by + (res[2 * c + 1] + 0.5f - gy) * tca_;
      out[2 * c] = float(cx * scale_), out[2 * c + 1] = float(cy * scale_);
    }
  }

  void gain(double x, double y, float out[3]) const override {
    out[0] = out[1] = out[2] = 1;
    if (!(active_ & LF_MODIFY_VIGNETTING)) return;
    float px[3] = {1, 1, 1};
    modifier_.ApplyColorModification(px, float(x / scale_ - 0.5), float(y / scale_ - 0.5), 1, 1,
                                     LF_CR_3(RED, GREEN, BLUE), int(sizeof px));
    for (int c = 0; c < 3; ++c) out[c] = 1 + (px[c] - 1) * vignetting_;
  }

 private:
  lfModifier modifier_;
  double scale_;
  float distortion_, vignetting_, tca_;
  int active_ = 0;
};

}  // namespace

LensCorrectionEffect::LensCorrectionEffect()
    : EffectBase(effect_id::kLensCorrection,
                 {Parameter("Distortion", 0, 100, 100), Parameter("Vignetting", 0, 100, 100),
                  Parameter("ChromaticAberration", 0, 100, 100)}) {}

bool LensCorrectionEffect::hasProfileFor(const OrvantaExifData& exif) { return findLens(exif).lens != nullptr; }

std::unique_ptr<EffectKernel> LensCorrectionEffect::makeKernel(const ParameterList& p, const EffectRenderInfo&,
                                                               const EffectParametersContextPtr& context) const {
  if (!context || !context->originalImage()) return nullptr;
  const ImagePtr& image = context->originalImage();
  const float distortion = std::clamp(valueIn(p, "Distortion"), 0.f, 100.f) / 100;
  const float vignetting = std::clamp(valueIn(p, "Vignetting"), 0.f, 100.f) / 100;
  const float tca = std::clamp(valueIn(p, "ChromaticAberration"), 0.f, 100.f) / 100;
  if (distortion == 0 && vignetting == 0 && tca == 0) return nullptr;
  LensMatch match = findLens(image->exif());
  if (!match.lens) return nullptr;
  auto kernel = std::make_unique<LensKernel>(match, image->exif(), image->size(), image->source()->decodedScale(),
                                             distortion, vignetting, tca);
  if (!kernel->active()) return nullptr;
  return kernel;
}

}  // namespace rova
