#pragma once
// The image layer (layer type 3): the opened picture in an engine image layer, with the develop
// layer that holds its RAW development kept as sublayer 0. A processor's initial layer is always
// one; further ones come from the layer factory.
//
// Until the layer is configured with a picture its engine layer is a plain adjustment layer;
// `configureWithImageAtURL` reads the file through QVImageReader and puts an engine image layer in
// its place (the layer is placed into a processor afterwards). The develop layer is made from the
// catalogue on first use, hidden, with the camera's default profile filled in; it is only ever
// reset and hidden, never removed, while the picture is RAW.
//
// Model calls run on the main thread; the engine image layer's source picture is read-only, so the
// EXIF summary and the source image are read from it directly.
#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVCore/ImageProcessing/RovaBridge/QVImageReader.h"
#include "QVCore/Utils/QVExifInfo.h"
#include "rova/layers/ImageLayer.h"

// Layers that carry lens and camera information (the image layer and the first layer).
class QVLayerWithLensProtocol {
 public:
  virtual ~QVLayerWithLensProtocol() = default;
  virtual std::shared_ptr<QVExifInfo> exifInfo() = 0;
  virtual bool needSaveLensToPreset() const { return true; }
};

class QVIPImageLayer : public QVIPLayer, public QVLayerWithLensProtocol {
 public:
  using Ptr = std::shared_ptr<QVIPImageLayer>;

  // A new, empty image layer (the factory's type 3).
  static Ptr make();
  // Installs the class with the layer factory (done once at load; safe to call again).
  static void registerClass();

  uint64_t layerType() const override { return 3; }
  bool isAdjustmentLayer() const override { return false; }

  // ---- Content ----

  // The engine layer as an engine image layer; nullptr before configuration.
  rova::ImageLayerPtr imageLayer() const;
  rova::ImagePtr cppSourceImage() const override;
  // The engine's load state of the pixels (0 without an engine image layer).
  int loadState() const;

  // ---- EXIF ----
  std::shared_ptr<QVExifInfo> exifInfo() override;
  void setExifInfo(std::shared_ptr<QVExifInfo> info) { exifInfo_ = std::move(info); }
  bool isRaw() const override;

  // ---- Develop layer and camera profile ----
  LayerPtr developLayer() override;
  LayerPtr makeDevelopLayerCandidate();
  // The "Texture" parameter of the RAW develop-common effect in the develop layer's sublayers.
  static std::shared_ptr<QVEffectParameterProtocol> dcpParamFromDevelopLayer(const LayerPtr& develop);
  // Fills a missing camera profile with the camera's default one (when there is one).
  void applyDefaultDcpToDevelopLayer(const LayerPtr& develop);
  // True when the camera-profile parameter names no profile file.
  bool hasVelorinDefaultDCP();

  // ---- Sublayers: the develop layer stays first ----
  void setLayers(LayerList layers) override;
  void addLayers(LayerList layers) override;
  void removeLayer(const LayerPtr& layer) override;

  // Rebuilds the EXIF summary and the develop layer after the picture changed.
  void update();

 protected:
  LayerPtr allocSameClass() const override { return std::make_shared<QVIPImageLayer>(); }
  // A new picture (QVIPLayer's configureWithImage / configureWithImageAtURL): the EXIF summary is
  // rebuilt from it on demand.
  void imageDidChange() override { exifInfo_.reset(); }

 private:
  std::shared_ptr<QVExifInfo> exifInfo_;
};

// A missing path or an empty one under kQVParameterOptionalDataPathKey.
bool QVOptionalDataHasNoPath(const QVOptionalData& data);
