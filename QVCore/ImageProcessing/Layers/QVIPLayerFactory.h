#pragma once
// The one place that turns a layer type code, a layer's class or an existing engine layer into a
// layer of the right class.
//
// Type codes: 0 plain layer (QVIPLayer, also every unknown code), 1 ignore-disabling layer,
// 2 first layer of layered documents, 3 image layer. Types 1 and 2 put their code as decimal text
// on the engine layer as a tag, so a layer rebuilt from the engine list finds its class again;
// an engine image layer is type 3 whatever its tags. The classes of types 1, 2 and 3 register
// themselves with `registerLayerClass` when the library loads (until then those codes make plain
// layers), so the factory never includes its own subclasses.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "QVCore/Common/QVCoreHelpers.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"

// A layer class as the factory knows it.
struct QVIPLayerClass {
  uint64_t layerType = 0;
  std::string name;
  // A bare object of the class (plain initialisation; the factory runs the set-up).
  std::function<std::shared_ptr<QVIPLayer>()> alloc;
  // Whether a layer is of this class or derives from it.
  std::function<bool(const QVIPLayer&)> isKindOf;
};

class QVIPLayerFactory {
 public:
  static std::shared_ptr<QVIPLayer> layer() { return layerWithLayerType(0); }
  static std::shared_ptr<QVIPLayer> imageLayer() { return layerWithLayerType(3); }
  // A new image layer holding the picture read from the file; nullptr when it cannot be read.
  static std::shared_ptr<QVIPLayer> layerWithUrl(const std::string& path);
  // A new image layer showing the engine picture or the engine RGB data (the data is not copied);
  // nullptr for no picture or an empty one.
  static std::shared_ptr<QVIPLayer> layerWithRovaImage(const rova::ImagePtr& image);
  static std::shared_ptr<QVIPLayer> layerWithImageData(const rova::ImageDataRGBfPtr& data);
  // A new layer of the code's class made with the default settings.
  static std::shared_ptr<QVIPLayer> layerWithLayerType(uint64_t type);
  static QVIPLayerClass layerClassForLayerType(uint64_t type);
  static uint64_t layerTypeForLayerClass(const QVIPLayerClass& layerClass) { return layerClass.layerType; }
  // The type of the layer's class: 1 for ignore-disabling layers, then 3, then 2, else 0.
  static uint64_t layerTypeForLayer(const QVIPLayer& layer);
  // A new layer of the given layer's class with the default settings (nothing copied).
  static std::shared_ptr<QVIPLayer> layerWithClassOfLayer(const QVIPLayer& layer);
  // A layer of the recognised class over an existing engine layer, its subtree rebuilt from the
  // engine list. The tag test runs on the parent's processing queue (inline when the caller
  // already runs there).
  static std::shared_ptr<QVIPLayer> layerWithCppLayer(const rova::BaseLayerPtr& cppLayer,
                                                      std::weak_ptr<QVParentLayerProtocol> parent,
                                                      const rova::ImageProcessorPtr& cppProcessor);

  // The engine tag of a type code ("1", "2", ...).
  static std::string layerTagForLayerType(uint64_t type) { return QVCoreHelpers::layerTagForLayerType(type); }
  // Installs the class of type 1, 2 or 3 (other codes are refused); unregistering falls back to
  // the plain class.
  static void registerLayerClass(QVIPLayerClass layerClass);
  // How layerWithUrl / layerWithRovaImage make the (set-up) layer that takes a picture; the image
  // layer class installs it. Independent of the class registered for type 3.
  static void registerPictureLayerMaker(std::function<std::shared_ptr<QVIPLayer>()> make);
  static void unregisterLayerClass(uint64_t type);
};
