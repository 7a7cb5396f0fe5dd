#pragma once
// Regions of a picture shown on screen: a region cut out and scaled to an output size, only a part
// of that output, and the output pixels that a change of canvas pixels reaches. The retouching
// tools hand out just the changed part of a preview, so a stroke never re-scales the whole view.
#include <memory>

#include "rova/ImageData.h"
#include "rova/RectRoi.h"

namespace rova {

// A region of an image (top-left pixels) cut out and scaled (bilinear) to an output size.
ImageDataRGBfPtr cutAndScale(const ImageDataRGBf& image, const RectRoiF& region, Size output);
// The part (output pixels, top-left, within the output) of cutAndScale(image, region, output):
// the same samples, made without the rest. nullptr for an empty part.
ImageDataRGBfPtr cutAndScalePart(const ImageDataRGBf& image, const RectRoiF& region, Size output, const RectRoi& part);

// The output pixels that canvas pixels `changed` (top-left) can reach when `region` of the canvas
// is shown at `scaleX` x `scaleY` output pixels per canvas pixel: the mapped rectangle widened by
// one output pixel for the resampling and cut to an output of `output` size; zero when none.
RectRoi outputRectForChange(const RectRoi& changed, const RectRoiF& region, double scaleX, double scaleY, Size output);

// An image compute unit: a picture and a transform (a region of it and an output size); its
// working image is the region at that size, made when first asked for and kept until the transform
// changes. One caller at a time.
class ImageComputeUnit {
 public:
  // The zero region stands for the whole picture, the zero output size for the region's own size.
  struct Transform {
    RectRoiF region;
    Size outputSize;
    friend bool operator==(const Transform&, const Transform&) = default;
  };

  explicit ImageComputeUnit(ImageDataRGBfPtr image) : image_(std::move(image)) {}
  const Transform& transform() const { return transform_; }
  void setTransform(const Transform& transform);
  // nullptr without a picture or for an empty region.
  const ImageDataRGBfPtr& workingImage();

 private:
  ImageDataRGBfPtr image_, working_;
  Transform transform_;
};

}  // namespace rova
