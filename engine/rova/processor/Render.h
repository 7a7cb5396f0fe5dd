#pragma once
// Internal: the render of a processor's layer list (see ImageProcessor.h for the model).
#include <atomic>
#include <vector>

#include "rova/CropDescription.h"
#include "rova/layers/BaseLayer.h"

namespace rova::detail {

class RenderPool;

struct RenderRequest {
  std::vector<BaseLayerPtr> layers;
  int orientation = 1;
  Size canvas;
  CropDescription crop = CropDescriptionNone;  // applied: the region is in its frame
  Size frame;                                  // the crop's size, or the canvas
  RectRoiF region;                             // inside the frame, not empty
  double scale = 1;                            // output pixels per canvas pixel
  Size outputSize;
  bool lowRes = false, quickPreview = false, exportMode = false;
  bool consumeSource = false;  // ImageProcessorSettings::consumeSource
  const std::atomic<bool>* interrupted = nullptr;
  RenderPool* pool = nullptr;  // working buffers kept between renders; nullptr: fresh memory
};

// nullptr when interrupted, when there is no picture or when memory is short.
ImageDataRGBfPtr render(const RenderRequest& request);

}  // namespace rova::detail
