#pragma once
// Internal: the small toolkit that effects, layers and the processor share for pixel loops (OpenCV
// views of engine data, parallel row bands, render geometry). It depends on the engine's basic
// types only, so effects and layers never reach into the processor's internals.
#include <functional>

#include <opencv2/core.hpp>

#include "rova/AffineTransform.h"
#include "rova/CropDescription.h"
#include "rova/ImageData.h"
#include "rova/RectRoi.h"

namespace rova::detail {

// A view of engine RGB float data as an OpenCV matrix (no copy).
inline cv::Mat asMat(ImageDataRGBf& d) { return cv::Mat(d.height(), d.width(), CV_32FC3, d.floats()); }
inline cv::Mat asMat(const ImageDataRGBf& d) {
  return cv::Mat(d.height(), d.width(), CV_32FC3, const_cast<float*>(d.floats()));
}
inline cv::Mat asMat(ImageDataF& d) { return cv::Mat(d.height(), d.width(), CV_32FC1, d.data()); }
inline cv::Mat asMat(const ImageDataF& d) {
  return cv::Mat(d.height(), d.width(), CV_32FC1, const_cast<float*>(d.data()));
}

// Runs body(y0, y1) over bands of rows of a height, on every core.
void parallelRows(int height, int bandHeight, const std::function<void(int, int)>& body);

// Output pixel coordinates of a render of `region` (in the crop's frame when there is a crop, else
// in canvas pixels) at `output` size, to canvas coordinates.
inline AffineTransform outputToCanvas(const RectRoiF& region, Size output, const CropDescription& crop) {
  AffineTransform t =
      AffineTransform::scaling(float(region.width / output.width), float(region.height / output.height));
  t.append(AffineTransform::translation(float(region.x), float(region.y)));
  if (!crop.isNone()) t.append(crop.getAffineTransform().inverted());
  return t;
}

}  // namespace rova::detail
