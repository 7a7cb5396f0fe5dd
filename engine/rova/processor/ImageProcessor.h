#pragma once
// The engine's image processor: one flat ordered list of levelled layers over a canvas, a crop, an
// orientation and display overlays, rendered on request for any region at any fit size.
//
// The list is the depth-first walk of a layer tree: level 0 layers lie directly on the canvas; the
// layers that follow a layer at a deeper level are its sublayers. The first layer is normally the
// image layer holding the picture; it sets the canvas (its size, turned by the orientation).
//
// Rendering, bottom to top at each level: an image layer's content is its pixels; an adjustment
// layer's content is what lies below it, passed through its effects (mixed with the unchanged
// pixels by its effect amount). The sublayers then adjust that content, and the content is blended
// over what lies below with the layer's blend mode, opacity and mask. Disabled layers are skipped
// with their sublayers.
//
// Not thread-safe for concurrent mutation and rendering: callers run all of it on one queue. Only
// the interrupt flag of a render is written from other threads.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "rova/CropDescription.h"
#include "rova/Image.h"
#include "rova/layers/AdjustmentLayer.h"
#include "rova/layers/ImageLayer.h"
#include "rova/processor/ImageProcessorSettings.h"

namespace rova {

namespace detail {
class RenderPool;
}

class ImageProcessor {
 public:
  static constexpr size_t kAppend = SIZE_MAX;
  static constexpr int kThumbnailSide = 256;

  ImageProcessor();
  // A deep copy: copies of every layer (own effects and masks; image layers share their pixels),
  // the crop, orientation and overlays. The update callback is not copied.
  ImageProcessor(const ImageProcessor& other);
  ImageProcessor& operator=(const ImageProcessor&) = delete;

  // Called (on the thread making the change) when the picture at the bottom changes.
  void setUpdateCallback(std::function<void()> callback);

  // The list. Indices beyond the end append; a layer already in the list or null is refused.
  bool addLayer(BaseLayerPtr layer, size_t index = kAppend);
  bool removeLayer(const BaseLayerPtr& layer);
  // Moves a layer to the index (clamped to the list); false when it is not in the list.
  bool moveLayer(const BaseLayerPtr& layer, size_t index);
  int64_t layerIndex(const BaseLayerPtr& layer) const;  // -1 when absent
  BaseLayerPtr layerAtIndex(size_t index) const;        // nullptr past the end
  size_t getLayersCount() const;
  std::vector<BaseLayerPtr> layers() const;
  // Replace the layer at the index by an adjustment (or image) layer keeping its level, tags,
  // switches, opacity, blend mode, mask and transform; the new layer, or nullptr for a bad index.
  BaseLayerPtr convertLayerAtIndexToAdjustmentLayer(size_t index);
  BaseLayerPtr convertLayerAtIndexToImageLayer(size_t index, ImagePtr image);

  // The bottom image layer's picture size, turned by the orientation; zero without a picture.
  Size canvasSize() const;
  CropDescription getCropDescription() const;
  void setCropDescription(const CropDescription& crop);
  // Sets the crop rectangle, keeping the rotation.
  void setCropRect(const RectRoi& rect);
  int orientation() const;
  void setOrientation(int orientation);  // EXIF orientation 1..8; others are ignored

  // Display overlays: the mask of one layer tinted red over the result; clipped pixels marked
  // (type 0: highlights red, shadows blue; 1: highlights black, shadows white; 2: highlights white,
  // shadows black, everything else mid grey).
  void setShowMaskLayer(BaseLayerPtr layer);
  BaseLayerPtr showMaskLayer() const;
  void setShowHotPixels(bool show);
  bool showHotPixels() const;
  void setShowColdPixels(bool show);
  bool showColdPixels() const;
  void setOverlayPixelsType(int type);
  int overlayPixelsType() const;

  // Renders synchronously; true when a result was made. When the interrupt flag is set during the
  // render it returns false promptly and the previous result stays.
  bool startProcessing(const ImageProcessorSettings& settings);
  ImageDataRGBfPtr getLastResult() const;
  ImageDataRGBfPtr getLastResultThumbnail() const;  // the last result fitted into kThumbnailSide

  // The bottom layer's picture.
  ImagePtr getOriginalImage() const;
  // The whole canvas unprocessed: at full resolution, or at kLowResScale of it (each side rounded
  // down) for previews; with the default RAW development when asked and the picture is RAW.
  ImageDataRGBfPtr getOriginalImageWithRawDevelop(bool fullResolution, bool applyRawDevelop) const;
  ImageDataRGBfPtr getOriginalThumbnail() const;

  // Drops what renders keep between calls (the last result and the working buffers kept for the next
  // render of the same size; decoded pyramids stay with their layers).
  void clearCache();
  // Forgets the last result and its thumbnail but keeps the pooled buffers: after a one-off render
  // (an export) whose caller holds the result, so the full-size picture is not kept twice.
  void releaseLastResult();

  // For an image layer of the list: a processor that renders the layer alone (with its sublayers)
  // and one that renders everything below it. Both nullptr when the layer is not an image layer of
  // the list.
  std::pair<std::shared_ptr<ImageProcessor>, std::shared_ptr<ImageProcessor>>
  getImageLayerPreviewAndBackgroundProcessors(const BaseLayerPtr& layer) const;

 private:
  void notifyUpdate();
  std::shared_ptr<ImageLayer> bottomImageLayer() const;

  mutable std::mutex mutex_;
  std::vector<BaseLayerPtr> layers_;
  CropDescription crop_ = CropDescriptionNone;
  int orientation_ = 1;
  BaseLayerPtr showMaskLayer_;
  bool showHot_ = false, showCold_ = false;
  int overlayType_ = 0;
  std::function<void()> updateCallback_;
  ImageDataRGBfPtr lastResult_;
  mutable ImageDataRGBfPtr lastThumbnail_;
  uint64_t lastKey_ = 0;
  bool hasLastKey_ = false;
  // Working buffers of renders of one preview size, reused by the next render of that size.
  std::shared_ptr<detail::RenderPool> pool_;
};

using ImageProcessorPtr = std::shared_ptr<ImageProcessor>;

}  // namespace rova
