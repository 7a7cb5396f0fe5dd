#pragma once
// A layer of the engine's flat layer list. Every layer has a level (0 directly under the processor,
// a child one more than its parent: the list is the depth-first walk of the caller's layer tree),
// an on/off switch, opacity, the strength of its effects, a blend mode, an optional mask of the canvas
// size, transform settings and a set of text tags callers use to recognise it again.
//
// A layer's content is blended over what lies below it at its level; the layers that follow it at a
// deeper level (its sublayers) adjust that content first. See ImageProcessor for the render.
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "rova/MaskImage.h"
#include "rova/blend/BlendMode.h"
#include "rova/layers/ImageTransformSettings.h"

namespace rova {

enum LayerKind : int { kLayerKindImage = 1, kLayerKindAdjustment = 2 };

class BaseLayer {
 public:
  BaseLayer() = default;
  BaseLayer(const BaseLayer& other);
  BaseLayer& operator=(const BaseLayer&) = delete;
  virtual ~BaseLayer() = default;

  // kLayerKindImage or kLayerKindAdjustment.
  virtual int kind() const = 0;
  // A deep copy: own effects, own mask; an image layer shares its (read-only) source image.
  virtual std::shared_ptr<BaseLayer> copy() const = 0;

  void setTag(const std::string& tag);
  void removeTag(const std::string& tag);
  bool isTagPresent(const std::string& tag) const;
  std::set<std::string> tags() const;

  bool isEnabled() const;
  void setEnabled(bool enabled);
  uint64_t level() const;
  void setLevel(uint64_t level);
  float opacity() const;
  void setOpacity(float opacity);
  float getEffectAmount() const;
  void setEffectAmount(float amount);
  BlendModeType blendMode() const;
  void setBlendMode(BlendModeType mode);  // values outside the enumeration are ignored

  // Mask: values 0..1 of the canvas size; the layer acts where the mask is, scaled by it.
  bool isUseMask() const;
  void setUseMask(bool use);
  bool hasMask() const;
  MaskImagePtr getMask() const;
  void setMask(MaskImagePtr mask);
  void removeMask();
  void createMaskWithSize(Size size, float fill);
  // The mask setting the render applies over the mask values without changing them: density in
  // percent scales the mask, feather blurs it (radius in pixels). 100 and 0 leave the mask as it is.
  void setMaskSetting(double density, double feather);
  double maskDensity() const;
  double maskFeather() const;
  // The mask the render uses: the mask while use-mask is on, with the mask setting applied, else
  // none.
  MaskImagePtr workingMask() const;
  // Callers that paint into the mask's values call this afterwards so renders see the change.
  void resetMaskCache();
  // The same for a change known to lie within `changed` (top-left pixels): the update rectangles
  // then cover only what changed. An empty rectangle changes nothing.
  void maskPixelsChanged(const RectRoi& changed);
  void setNeedReblend(bool need);
  bool needReblend() const;
  // The part of the mask changed since the last call (the whole mask after any change); zero when
  // nothing changed. The two rectangles are tracked separately for the two consumers.
  RectRoi getWorkingMaskUpdateRect();
  RectRoi getMaskPreviewUpdateRect();
  // The mask over the settings' source rectangle (of the crop when it has one, else of the canvas),
  // resampled to its output size; nullptr without a mask.
  ImageDataFPtr maskPreviewForTransform(const ImageTransformSettings& settings) const;

  ImageTransformSettings transformSettings() const;
  void setTransformSettings(const ImageTransformSettings& settings);

  // Changes whenever anything that changes the layer's rendering changes.
  virtual uint64_t stateHash() const;

 protected:
  static void mix(uint64_t& h, uint64_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); }
  mutable std::mutex mutex_;

 private:
  std::set<std::string> tags_;
  bool enabled_ = true;
  uint64_t level_ = 0;
  float opacity_ = 1;
  float effectAmount_ = 1;
  BlendModeType blendMode_ = kBlendNormal;
  bool useMask_ = true;
  MaskImagePtr mask_;
  uint64_t maskRevision_ = 0;
  double maskDensity_ = 100, maskFeather_ = 0;
  // The mask with the setting applied, and the revision and setting it was made from.
  mutable MaskImagePtr settingMask_, settingMaskSource_;
  mutable uint64_t settingMaskRevision_ = 0;
  mutable double settingMaskDensity_ = 100, settingMaskFeather_ = 0;
  bool needReblend_ = false;
  bool workingMaskDirty_ = false, previewMaskDirty_ = false;
  // While dirty only in part: the union of the changed parts; zero when the whole mask is dirty.
  RectRoi workingMaskPart_{}, previewMaskPart_{};
  ImageTransformSettings transform_;
};

using BaseLayerPtr = std::shared_ptr<BaseLayer>;

}  // namespace rova
