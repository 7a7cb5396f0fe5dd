#pragma once
// One render of a processor's layer stack: which region, fitted into which size, in which colour
// space and depth, and how the result is delivered. A plain record: its maker fills it, the
// processor reads it; it is shared, never copied.
#include <cstdint>
#include <memory>

#include "QVBase/Geometry.h"

class QVIPProcessParams {
 public:
  // Every field zero (depth 0, not asynchronous): callers that build the whole record themselves
  // rely on this.
  QVIPProcessParams() = default;
  QVIPProcessParams(const QVIPProcessParams&) = delete;
  QVIPProcessParams& operator=(const QVIPProcessParams&) = delete;

  // A plain record with every field zero ("new").
  static std::shared_ptr<QVIPProcessParams> make() { return std::make_shared<QVIPProcessParams>(); }
  // A new record with the usual defaults: depth 16, asynchronous, everything else zero or off.
  static std::shared_ptr<QVIPProcessParams> defaultParams();

  // Region to render, in bottom-left-origin coordinates over the canvas (over the cropped canvas
  // when applyCrop is set).
  CGRect rect() const { return rect_; }
  void setRect(CGRect r) { rect_ = r; }
  // Size in pixels the region is fitted into.
  CGSize fitSize() const { return fitSize_; }
  void setFitSize(CGSize s) { fitSize_ = s; }
  // Colour-space code of the result (0 none, 1 sRGB, 2 Adobe RGB, 3 ProPhoto RGB, 4 working);
  // honoured in export mode only.
  int64_t colorspace() const { return colorspace_; }
  void setColorspace(int64_t c) { colorspace_ = c; }
  // Bits per channel of the result, 8 or 16.
  int64_t depth() const { return depth_; }
  void setDepth(int64_t d) { depth_ = d; }

  bool applyCrop() const { return applyCrop_; }
  void setApplyCrop(bool v) { applyCrop_ = v; }
  bool disableShowMask() const { return disableShowMask_; }
  void setDisableShowMask(bool v) { disableShowMask_ = v; }
  bool disableHotPixels() const { return disableHotPixels_; }
  void setDisableHotPixels(bool v) { disableHotPixels_ = v; }
  bool disableColdPixels() const { return disableColdPixels_; }
  void setDisableColdPixels(bool v) { disableColdPixels_ = v; }
  // Tells the engine not to use its own cache for this render.
  bool disableCache() const { return disableCache_; }
  void setDisableCache(bool v) { disableCache_ = v; }
  // Also deliver the unprocessed image of the first layer for the region.
  bool obtainOriginalRoi() const { return obtainOriginalRoi_; }
  void setObtainOriginalRoi(bool v) { obtainOriginalRoi_ = v; }
  // False makes the caller wait until the render and its completion have finished.
  bool isAsync() const { return isAsync_; }
  void setIsAsync(bool v) { isAsync_ = v; }
  // Deliver the completion on the processing queue instead of the main thread.
  bool runCallbackInBackground() const { return runCallbackInBackground_; }
  void setRunCallbackInBackground(bool v) { runCallbackInBackground_ = v; }
  // Make the result image from clamped pixel data.
  bool clampResult() const { return clampResult_; }
  void setClampResult(bool v) { clampResult_ = v; }

 private:
  CGRect rect_{};
  CGSize fitSize_{};
  int64_t colorspace_ = 0;
  int64_t depth_ = 0;
  bool applyCrop_ = false;
  bool disableShowMask_ = false;
  bool disableHotPixels_ = false;
  bool disableColdPixels_ = false;
  bool disableCache_ = false;
  bool obtainOriginalRoi_ = false;
  bool isAsync_ = false;
  bool runCallbackInBackground_ = false;
  bool clampResult_ = false;
};
