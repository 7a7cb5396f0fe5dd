#include "rova/layers/ImageLayer.h"

#include "rova/effects/EffectIDs.h"
#include "rova/effects/factory/EffectFactory.h"
#include "rova/layers/SourceSampling.h"

namespace rova {

ImageLayer::ImageLayer(ImagePtr image) : image_(std::move(image)) {
  if (image_ && image_->source() && image_->source()->data())
    pyramid_ = std::make_shared<SourcePyramid>(image_->source()->data());
}

ImageLayer::ImageLayer(const ImageLayer& other) : BaseLayer(other), image_(other.image_), pyramid_(other.pyramid_) {}

int ImageLayer::getLoadState() const {
  if (!pyramid_) return 0;
  return image_->source()->isReducedSize() ? 1 : 3;
}

AffineTransform ImageLayer::layerToCanvas(int orientation) const {
  ImageTransformSettings s = transformSettings();
  if (s.transformType == ImageTransformSettings::kAffineTransform) return s.transform;
  return ImageTransformSettings::transformForOrientation(orientation, image_ ? image_->size() : Size{});
}

ImageDataRGBfPtr ImageLayer::getWorkingImage() const { return workingImage(Working::Plain); }
ImageDataRGBfPtr ImageLayer::getWorkingImageWithRawDevelop() const { return workingImage(Working::RawDevelop); }
ImageDataRGBfPtr ImageLayer::getWorkingImageWithLensCorrection() const { return workingImage(Working::Lens); }

ImageDataRGBfPtr ImageLayer::workingImage(Working kind) const {
  if (!pyramid_) return nullptr;
  ImageTransformSettings s = transformSettings();
  const int orientation = s.orientation >= 1 && s.orientation <= 8 ? s.orientation : 1;
  Size canvas =
      s.canvasSize.isEmpty() ? ImageTransformSettings::orientedSize(orientation, image_->size()) : s.canvasSize;
  Size frame = s.cropDescription.isNone() ? canvas : s.cropDescription.size();
  RectRoiF region = s.sourceRect;
  if (region.width <= 0 || region.height <= 0) region = {0, 0, double(frame.width), double(frame.height)};
  Size out = s.outputSize.isEmpty() ? Size{int(region.width), int(region.height)} : s.outputSize;
  if (out.isEmpty()) return nullptr;

  AffineTransform toCanvas = detail::outputToCanvas(region, out, s.cropDescription);
  AffineTransform toSource = toCanvas;
  toSource.append(layerToCanvas(orientation).inverted());

  auto context = EffectParametersContext::forImage(image_);
  EffectRenderInfo info;
  info.scale = std::sqrt(std::fabs(double(toSource.a) * toSource.d - double(toSource.b) * toSource.c));
  info.scale = info.scale > 0 ? image_->source()->decodedScale() / info.scale : 1;
  info.canvasSize = canvas;
  info.outputToCanvas = toCanvas;
  info.isRaw = isRaw();

  std::unique_ptr<EffectKernel> geometry;
  if (kind == Working::Lens)
    if (auto lens = EffectFactory::instance().makeEffectWithID(effect_id::kLensCorrection, context))
      geometry = lens->makeKernel(info);
  ImageDataRGBfPtr result = detail::sampleSource(*pyramid_, toSource, out, geometry.get());
  if (result && pyramid_->hasAlpha()) {
    auto alpha = detail::sampleSourceAlpha(*pyramid_, toSource, out, geometry.get());
    if (!alpha) return nullptr;
    result->setAlpha(std::move(alpha));
  }
  if (result && kind == Working::RawDevelop && isRaw())
    if (auto develop = EffectFactory::instance().makeEffectWithID(effect_id::kRawDevelopCommon, context))
      if (auto kernel = develop->makeKernel(info)) detail::applyPointKernel(*kernel, *result);
  return result;
}

uint64_t ImageLayer::stateHash() const {
  uint64_t h = BaseLayer::stateHash();
  mix(h, reinterpret_cast<uintptr_t>(image_.get()));
  return h;
}

}  // namespace rova
