#pragma once
// One render request of an ImageProcessor.
#include <atomic>
#include <functional>
#include <memory>

#include "rova/RectRoi.h"

namespace rova {

struct ImageProcessorSettings {
  // The region to render: in the crop's frame when applyCrop is set and the processor has a crop,
  // else in canvas pixels (top-left origin). The zero region means the whole frame; a region
  // reaching outside is cut to the frame.
  RectRoiF region;
  RectRoi reserved;  // unused; kept so records keep their layout
  // The box the region is fitted into, keeping its proportions (zero: the region's own size).
  Size outputSize;
  bool applyCrop = true;
  // A fast render at no more than lowResScale of the canvas resolution.
  bool lowRes = false;
  // May answer from the previous render when nothing changed since.
  bool useCache = true;
  bool exportMode = false;
  bool quickPreview = false;
  // The caller renders this picture once, whole and at its own size, and then lets the processor go:
  // the render may make its result in the decoded picture's own buffer instead of a copy of it (a
  // full-size copy less in time and memory). The picture is then gone from the processor, whose
  // later renders fail. Taken only when nobody else holds the decoded pixels.
  bool consumeSource = false;
  // Set by another thread to stop the render; the render then delivers nothing.
  std::shared_ptr<std::atomic<bool>> interrupted;

  // The whole frame of `size` (the crop's when applyCrop, else the canvas's) at that size, export
  // quality, bypassing the engine's cache: what layers made from renders and derived processors take.
  static ImageProcessorSettings wholeFrameExport(Size size, bool applyCrop) {
    ImageProcessorSettings settings;
    settings.region = RectRoiF{0, 0, double(size.width), double(size.height)};
    settings.outputSize = size;
    settings.applyCrop = applyCrop;
    settings.lowRes = false;
    settings.useCache = false;
    settings.exportMode = true;
    settings.quickPreview = false;
    return settings;
  }
};

inline constexpr double kLowResScale = 0.3;

}  // namespace rova
