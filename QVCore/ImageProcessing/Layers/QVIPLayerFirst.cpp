#include "QVCore/ImageProcessing/Layers/QVIPLayerFirst.h"

#include "QVCore/ImageProcessing/Base/QVImageProcessorProtocol.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"

namespace {

const bool kRegistered = [] {
  QVIPLayerFirst::registerClass();
  return true;
}();

}  // namespace

std::shared_ptr<QVIPLayerFirst> QVIPLayerFirst::initWithDefaultSettings() {
  auto layer = std::make_shared<QVIPLayerFirst>();
  layer->setUpDefaultSettings();
  return layer;
}

void QVIPLayerFirst::registerClass() {
  QVIPLayerFactory::registerLayerClass({2, "QVIPLayerFirst", [] { return std::make_shared<QVIPLayerFirst>(); },
                                        [](const QVIPLayer& l) { return dynamic_cast<const QVIPLayerFirst*>(&l); }});
}

void QVIPLayerFirst::setUpDefaultSettings() {
  QVIPLayer::setUpDefaultSettings();
  if (cppLayer_) cppLayer_->setTag(QVIPLayerFactory::layerTagForLayerType(2));
}

std::shared_ptr<QVIPLayer> QVIPLayerFirst::initialLayerOfProcessor() const {
  auto processor = currentProcessor();
  return processor ? processor->initialLayer() : nullptr;
}

std::shared_ptr<QVExifInfo> QVIPLayerFirst::exifInfo() {
  auto lens = std::dynamic_pointer_cast<QVLayerWithLensProtocol>(initialLayerOfProcessor());
  return lens ? lens->exifInfo() : nullptr;
}

QVIPLayer::LayerPtr QVIPLayerFirst::developLayer() {
  auto initial = initialLayerOfProcessor();
  return initial ? initial->developLayer() : nullptr;
}

QVIPLayer::LayerList QVIPLayerFirst::visibleLayers() const {
  LayerList layers = QVIPLayer::visibleLayers();
  if (!needSaveLensToPreset()) return layers;
  auto initial = initialLayerOfProcessor();
  if (auto develop = initial ? initial->developLayer() : nullptr) layers.insert(layers.begin(), develop);
  return layers;
}

void QVIPLayerFirst::resetAdjustmentLayers() {
  QVIPLayer::resetAdjustmentLayers();
  if (auto develop = developLayer()) develop->resetEffects();
}
