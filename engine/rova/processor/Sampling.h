#pragma once
// Internal: reading source pixels for a render (OpenCV underneath).
#include <functional>

#include <opencv2/core.hpp>

#include "rova/AffineTransform.h"
#include "rova/CropDescription.h"
#include "rova/effects/Effect.h"
#include "rova/layers/SourcePyramid.h"

namespace rova::detail {

class RenderPool;

// A view of engine RGB float data as an OpenCV matrix (no copy).
inline cv::Mat asMat(ImageDataRGBf& d) { return cv::Mat(d.height(), d.width(), CV_32FC3, d.floats()); }
inline cv::Mat asMat(const ImageDataRGBf& d) {
  return cv::Mat(d.height(), d.width(), CV_32FC3, const_cast<float*>(d.floats()));
}
inline cv::Mat asMat(ImageDataF& d) { return cv::Mat(d.height(), d.width(), CV_32FC1, d.data()); }
inline cv::Mat asMat(const ImageDataF& d) {
  return cv::Mat(d.height(), d.width(), CV_32FC1, const_cast<float*>(d.data()));
}

// Fills an output buffer of the given size: output pixel centre (x + 0.5, y + 0.5) maps through
// outputToSource into continuous coordinates of the pyramid's base; the value is read bilinearly from
// the pyramid level that keeps the reading within a factor of two of the output resolution, with the
// edges repeated outside the source. When a geometry kernel is given (lens correction), the mapped
// point is a point of the corrected picture and the kernel says where each channel is read in the
// source and how much it is brightened; gridOrigin places the buffer in the whole render's output
// (whole pixels) so regions of one render evaluate the correction at the same points. The buffer
// comes from the pool when one is given. nullptr when memory is short or interrupted.
ImageDataRGBfPtr sampleSource(const SourcePyramid& pyramid, const AffineTransform& outputToSource, Size outputSize,
                              const EffectKernel* geometry = nullptr, const std::atomic<bool>* interrupted = nullptr,
                              Size gridOrigin = {}, RenderPool* pool = nullptr);

// Runs body(y0, y1) over bands of rows of a height, on every core.
void parallelRows(int height, int bandHeight, const std::function<void(int, int)>& body);

}  // namespace rova::detail

namespace rova::detail {

// Output pixel coordinates of a render of `region` (in the crop's frame when there is a crop, else
// in canvas pixels) at `output` size, to canvas coordinates.
inline AffineTransform outputToCanvas(const RectRoiF& region, Size output, const CropDescription& crop) {
  AffineTransform t =
      AffineTransform::scaling(float(region.width / output.width), float(region.height / output.height));
  t.append(AffineTransform::translation(float(region.x), float(region.y)));
  if (!crop.isNone()) t.append(crop.getAffineTransform().inverted());
  return t;
}

// Runs a point kernel over a whole buffer, in parallel bands.
void applyPointKernel(const EffectKernel& kernel, ImageDataRGBf& buffer);

}  // namespace rova::detail
