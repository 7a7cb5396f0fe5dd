#pragma once
// A layer that carries pixels: an engine image placed on the canvas (the opened picture at the bottom
// of a document, or a texture). Its transform settings place it: without a transform its pixels map
// one to one onto the canvas; with one, the transform takes its pixels to canvas pixels.
#include "rova/Image.h"
#include "rova/layers/BaseLayer.h"
#include "rova/layers/SourcePyramid.h"

namespace rova {

class ImageLayer : public BaseLayer {
 public:
  explicit ImageLayer(ImagePtr image);
  ImageLayer(const ImageLayer& other);

  int kind() const override { return kLayerKindImage; }
  BaseLayerPtr copy() const override { return std::make_shared<ImageLayer>(*this); }

  ImagePtr getSourceImage() const { return image_; }
  // 0 without pixels, 1 when only a reduced-size decode is held, 3 when the full-size pixels are.
  int getLoadState() const;
  bool isRaw() const { return image_ && image_->exif().isRaw; }

  // The layer's pixels over its transform settings' source rectangle (the whole canvas when zero),
  // at their output size (the rectangle's own size when zero). The plain form is the pixels as
  // decoded; the RAW-develop form passes them through the default RAW development (identical for
  // other pictures); the lens form corrects distortion, vignetting and colour fringes from the
  // lens database when it knows the lens (identical otherwise).
  ImageDataRGBfPtr getWorkingImage() const;
  ImageDataRGBfPtr getWorkingImageWithRawDevelop() const;
  ImageDataRGBfPtr getWorkingImageWithLensCorrection() const;

  // Decoded pixels at full size and halvings (made on demand, kept with the layer and its copies).
  const std::shared_ptr<SourcePyramid>& pyramid() const { return pyramid_; }

  // The transform from this layer's pixels to canvas pixels for a processor orientation: the
  // settings' transform when set, else the orientation of the picture.
  AffineTransform layerToCanvas(int orientation) const;

  uint64_t stateHash() const override;

 private:
  enum class Working { Plain, RawDevelop, Lens };
  ImageDataRGBfPtr workingImage(Working kind) const;
  ImagePtr image_;
  std::shared_ptr<SourcePyramid> pyramid_;
};

using ImageLayerPtr = std::shared_ptr<ImageLayer>;

}  // namespace rova
