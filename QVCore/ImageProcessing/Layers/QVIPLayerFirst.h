#pragma once
// The first layer of layered documents (layer type 2): a plain layer whose engine layer carries the
// tag "2", and which lends the develop layer and the EXIF summary of its processor's initial image
// layer (so a first layer's dictionary carries that develop layer first).
#include <memory>

#include "QVCore/ImageProcessing/Layers/QVIPImageLayer.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"

class QVIPLayerFirst : public QVIPLayer, public QVLayerWithLensProtocol {
 public:
  // A new first layer with the default settings and its tag.
  static std::shared_ptr<QVIPLayerFirst> initWithDefaultSettings();
  static void registerClass();

  uint64_t layerType() const override { return 2; }
  // The EXIF summary of the current processor's initial layer; nullptr outside a processor.
  std::shared_ptr<QVExifInfo> exifInfo() override;
  // The develop layer of the current processor's initial layer; nullptr outside a processor.
  LayerPtr developLayer() override;
  LayerList visibleLayers() const override;
  void resetAdjustmentLayers() override;

 protected:
  void setUpDefaultSettings() override;
  LayerPtr allocSameClass() const override { return std::make_shared<QVIPLayerFirst>(); }

 private:
  std::shared_ptr<QVIPLayer> initialLayerOfProcessor() const;
};
