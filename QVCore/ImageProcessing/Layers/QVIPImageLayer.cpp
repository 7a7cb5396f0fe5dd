#include "QVCore/ImageProcessing/Layers/QVIPImageLayer.h"

#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/RovaBridge/QVDCPHelper.h"
#include "QVCore/ImageProcessing/RovaBridge/QVRovaService.h"
#include "QVPlatform/Log.h"
#include "rova/Rova.h"

namespace {

// Registered when the library is loaded, so the factory makes image layers for type 3 from the
// start.
const bool kRegistered = [] {
  QVIPImageLayer::registerClass();
  return true;
}();

}  // namespace

QVIPImageLayer::Ptr QVIPImageLayer::make() {
  auto layer = std::make_shared<QVIPImageLayer>();
  layer->setUpDefaultSettings();
  return layer;
}

void QVIPImageLayer::registerClass() {
  QVIPLayerFactory::registerLayerClass({3, "QVIPImageLayer", [] { return std::make_shared<QVIPImageLayer>(); },
                                        [](const QVIPLayer& l) { return dynamic_cast<const QVIPImageLayer*>(&l); }});
  QVIPLayerFactory::registerPictureLayerMaker([] { return make(); });
}

// ---- Content ----

rova::ImageLayerPtr QVIPImageLayer::imageLayer() const {
  auto engine = cppLayer_;
  if (!engine || engine->kind() != rova::kLayerKindImage) return nullptr;
  return std::dynamic_pointer_cast<rova::ImageLayer>(engine);
}

rova::ImagePtr QVIPImageLayer::cppSourceImage() const {
  auto engine = imageLayer();
  return engine ? engine->getSourceImage() : nullptr;
}

int QVIPImageLayer::loadState() const {
  auto engine = imageLayer();
  return engine ? engine->getLoadState() : 0;
}

// ---- EXIF ----

std::shared_ptr<QVExifInfo> QVIPImageLayer::exifInfo() {
  if (exifInfo_) return exifInfo_;
  auto source = cppSourceImage();
  if (!source) return nullptr;
  rova::OrvantaExifData exif = source->exif();
  // A picture whose engine record lacks exposure data may still carry it in the texture's file.
  if (auto url = sourceTextureURL(); url && exif.isoSpeed < 0 && exif.fNumber < 0 && exif.focalLength != 0)
    exif = QVImageReader::readOrvantaExif(*url);
  auto info = std::make_shared<QVExifInfo>();
  info->isoSpeed = exif.isoSpeed;
  info->shutterSpeed = exif.shutterSpeed;
  info->fNumber = exif.fNumber;
  info->focaleLen = exif.focalLength;
  info->ev = exif.ev;
  info->minFocalLen = exif.minFocalLen;
  info->maxFocalLen = exif.maxFocalLen;
  info->minShutter = exif.minShutter;
  info->maxShutter = exif.maxShutter;
  info->isAppleCamera = exif.isAppleCamera;
  info->isRaw = exif.isRaw;
  info->isHDR = exif.isHDR;
  info->extension = exif.extension;
  info->cameraName = exif.cameraName;
  info->cameraModel = exif.cameraModel;
  info->lcpAvailable = exif.hasLcpProfile();
  exifInfo_ = info;
  return info;
}

bool QVIPImageLayer::isRaw() const {
  if (exifInfo_) return exifInfo_->isRaw;
  auto source = cppSourceImage();
  return source && source->exif().isRaw;
}

// ---- Develop layer ----

QVIPLayer::LayerPtr QVIPImageLayer::developLayer() {
  if (auto existing = QVIPLayer::developLayer()) return existing;
  auto candidate = makeDevelopLayerCandidate();
  if (!candidate) return nullptr;
  applyDefaultDcpToDevelopLayer(candidate);
  candidate->setHidden(true);
  insertLayer(candidate, 0);
  return candidate;
}

QVIPLayer::LayerPtr QVIPImageLayer::makeDevelopLayerCandidate() {
  return QVIPEffectsProvider::sharedEffectsProvider().makeAdjustmentLayerWithIdentifier(kQVDevelopLayerIdentifier,
                                                                                        std::nullopt, self());
}

std::shared_ptr<QVEffectParameterProtocol> QVIPImageLayer::dcpParamFromDevelopLayer(const LayerPtr& develop) {
  if (!develop) return nullptr;
  const std::string rawDevelopId = QVRovaService::effectIdForEffectType(3);
  for (const auto& sub : develop->subLayers()) {
    for (const auto& effect : sub->effects()) {
      if (effect->identifier() != rawDevelopId) continue;
      for (const auto& parameter : effect->parameters())
        if (parameter->identifier() == "Texture") return parameter;
      return nullptr;
    }
  }
  return nullptr;
}

bool QVOptionalDataHasNoPath(const QVOptionalData& data) {
  if (!data || !data->isDictionary()) return true;
  const qv::Value* path = data->find(kQVParameterOptionalDataPathKey);
  return !path || path->asString().empty();
}

void QVIPImageLayer::applyDefaultDcpToDevelopLayer(const LayerPtr& develop) {
  auto parameter = dcpParamFromDevelopLayer(develop);
  if (!parameter || !QVOptionalDataHasNoPath(parameter->optionalData())) return;
  auto exif = exifInfo();
  if (!exif) return;
  qv::Value description = QVDCPHelper::getDefaultDcpInfoForCameraName(exif->cameraName, exif->cameraModel);
  if (description.isNull()) return;
  parameter->setOptionalData(QVMakeOptionalData(std::move(description)), QVParameterOptionalDataTypeImageFile);
}

bool QVIPImageLayer::hasVelorinDefaultDCP() {
  auto parameter = dcpParamFromDevelopLayer(developLayer());
  return !parameter || QVOptionalDataHasNoPath(parameter->optionalData());
}

// ---- Sublayers ----

void QVIPImageLayer::setLayers(LayerList layers) {
  size_t first = 0;
  auto develop = developLayer();
  if (!layers.empty() && layers.front() && layers.front()->isDevelopLayer()) {
    if (develop)
      develop->copyParamsFromLayer(layers.front());
    else
      insertLayer(layers.front(), 0);
    first = 1;
  } else if (develop) {
    develop->resetAll();
    develop->setHidden(true);
  }
  develop = QVIPLayer::developLayer();
  size_t keep = develop ? 1 : 0;
  while (subLayers().size() > keep) removeLastLayer();
  for (size_t i = first; i < layers.size(); ++i)
    if (layers[i]) addLayer(layers[i]);
}

void QVIPImageLayer::addLayers(LayerList layers) {
  if (!layers.empty() && layers.front() && layers.front()->isDevelopLayer() && containsDevelop())
    layers.erase(layers.begin());
  QVIPLayer::addLayers(std::move(layers));
}

void QVIPImageLayer::removeLayer(const LayerPtr& layer) {
  if (layer && layer->isDevelopLayer() && isRaw() && !subLayers().empty() && subLayers().front() == layer) {
    layer->resetAll();
    layer->setHidden(true);
    return;
  }
  QVIPLayer::removeLayer(layer);
}

void QVIPImageLayer::update() {
  exifInfo_.reset();
  auto develop = developLayer();
  if (!develop) return;
  bool wasHidden = develop->hidden();
  auto history = historyManager();
  if (history) history->setDisableHistoryRegistration(true);
  if (auto candidate = makeDevelopLayerCandidate()) develop->copyParamsFromLayerOverrideNonDefault(candidate, false);
  develop->updateEffectParametersContextWithOriginalImage(cppSourceImage());
  develop->setHidden(wasHidden);
  if (history) history->setDisableHistoryRegistration(false);
  applyDefaultDcpToDevelopLayer(develop);
}
