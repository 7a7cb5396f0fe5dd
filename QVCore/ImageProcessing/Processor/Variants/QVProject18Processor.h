#pragma once
// The processor of layered documents: its image layer is itself the first (bottom) layer of the
// stack, so it is never removed, edited as an adjustment or replaced by a new layer at index 0.
// Superclass of QVZel18Processor and of the HDR processor (which answers `useInitialLayerAsFirst`
// with false again: index 0 then makes a first layer, type 2).
//
// First use of the class sets the reader to the new open method without RAW development: the
// develop layer of the image layer develops RAW pictures instead.
#include <memory>

#include "QVCore/ImageProcessing/Processor/QVProcessorClassSwitches.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"

class QVProject18Processor : public QVRovaProcessor {
 public:
  static std::shared_ptr<QVProject18Processor> init() { return create<QVProject18Processor>(); }
  QVProject18Processor();

  // The switches of this class; set once, when the class is first used.
  static QVProcessorClassSwitches& classSwitches();

  bool useInitialLayerAsFirst() const override { return true; }
  using QVRovaProcessor::createLayerAtIndex;
  // Index 0 is the image layer's place: refused (logged) while it stands first, else a first layer.
  LayerPtr createLayerAtIndex(uint64_t index) override;
  // An image layer (type 3).
  LayerPtr createImageLayerAtIndex(uint64_t index) override;
  // Not the initial layer, a develop layer or a dodge-and-burn layer.
  bool canEditLayer(const LayerPtr& layer) const override;
  // Never the bottom layer.
  bool canRemoveLayer(const LayerPtr& layer) const override;
  // Also makes the new layer's hidden develop layer when it has none.
  void setInitialLayer(const ImageLayerPtr& layer) override;
  // The unprocessed picture at preview scale with the default RAW development.
  rova::ImageDataRGBfPtr originalImageForPreview() override;
  // Runs on the caller's thread (the render calls it on the processing queue): the lens-corrected
  // working image in quick-preview mode when the layer has a lens-correction sublayer over a
  // picture, else the working image with RAW development; nullptr for other layers.
  QVIPImagePtr obtainOriginalRoiFromLayer(const rova::BaseLayerPtr& layer, bool forQuickPreviewMode) override;
  Ptr allocSameClass() const override { return create<QVProject18Processor>(); }
};
