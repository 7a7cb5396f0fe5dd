#include "QVCore/ImageProcessing/Processor/Variants/QVProject18Processor.h"

#include <algorithm>

#include "QVCore/ImageProcessing/RovaBridge/QVImageReader.h"
#include "QVPlatform/Log.h"
#include "rova/effects/EffectIDs.h"
#include "rova/layers/AdjustmentLayer.h"

QVProcessorClassSwitches& QVProject18Processor::classSwitches() {
  static QVProcessorClassSwitches switches([] {
    QVImageReader::useNewOpenMethod(true);
    QVImageReader::setApplyRawDevelop(false);
  });
  return switches;
}

QVProject18Processor::QVProject18Processor() { classSwitches().applyOnce(); }

QVRovaProcessor::LayerPtr QVProject18Processor::createLayerAtIndex(uint64_t index) {
  if (index != 0) return QVRovaProcessor::createLayerAtIndex(index, 0);
  if (useInitialLayerAsFirst()) {
    QVLogError("Can't create layer at first position, for this position used initial");
    return nullptr;
  }
  return QVRovaProcessor::createLayerAtIndex(0, 2);
}

QVRovaProcessor::LayerPtr QVProject18Processor::createImageLayerAtIndex(uint64_t index) {
  return QVRovaProcessor::createLayerAtIndex(index, 3);
}

bool QVProject18Processor::canEditLayer(const LayerPtr& layer) const {
  if (!QVRovaProcessor::canEditLayer(layer) || !layer) return false;
  return layer != initialLayer() && !layer->isDevelopLayer() && !layer->isDodgeBurnLayer();
}

bool QVProject18Processor::canRemoveLayer(const LayerPtr& layer) const {
  if (!QVRovaProcessor::canRemoveLayer(layer)) return false;
  auto list = layers();
  return list.front() != layer;
}

void QVProject18Processor::setInitialLayer(const ImageLayerPtr& layer) {
  QVRovaProcessor::setInitialLayer(layer);
  if (layer) layer->developLayer();
}

rova::ImageDataRGBfPtr QVProject18Processor::originalImageForPreview() {
  rova::ImageDataRGBfPtr data;
  auto engine = cppProcessor();
  if (!engine) return nullptr;
  performOnImageProcessingQueue([&] { data = engine->getOriginalImageWithRawDevelop(false, true); }, true);
  return data;
}

namespace {

// Whether one of the image layer's direct sublayers in the engine list corrects the lens with an
// effect that knows its picture.
bool hasLensCorrectionOverPicture(const rova::ImageProcessorPtr& engine, const rova::BaseLayerPtr& layer) {
  if (!engine) return false;
  auto list = engine->layers();
  auto it = std::find(list.begin(), list.end(), layer);
  if (it == list.end()) return false;
  const uint64_t level = layer->level();
  for (++it; it != list.end() && (*it)->level() > level; ++it) {
    if ((*it)->level() != level + 1) continue;
    auto adjustment = std::dynamic_pointer_cast<rova::AdjustmentLayer>(*it);
    auto effect = adjustment ? adjustment->effectAtIndex(0) : nullptr;
    if (!effect || effect->id() != rova::effect_id::kLensCorrection) continue;
    auto context = effect->context();
    return context && context->originalImage();
  }
  return false;
}

}  // namespace

QVIPImagePtr QVProject18Processor::obtainOriginalRoiFromLayer(const rova::BaseLayerPtr& layer,
                                                              bool forQuickPreviewMode) {
  auto imageLayer = std::dynamic_pointer_cast<rova::ImageLayer>(layer);
  if (!imageLayer || imageLayer->kind() != rova::kLayerKindImage) return nullptr;
  rova::ImageDataRGBfPtr working;
  if (forQuickPreviewMode && hasLensCorrectionOverPicture(cppProcessor(), layer))
    working = imageLayer->getWorkingImageWithLensCorrection();
  if (!working) working = imageLayer->getWorkingImageWithRawDevelop();
  if (!working) return nullptr;
  // Clamping works on the data: the layer may keep its working image, so the copy is clamped.
  return QVIPImage::initWithImageData(working->copy(), 0, 16, true);
}
