#include "QVCore/ImageProcessing/QVHDRProcessing/QVHDRProcessor.h"

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/QVHDRProcessing/NSArray+SortByEvs.h"
#include "QVCore/ImageProcessing/RovaBridge/QVImageReader.h"
#include "QVCore/ImageProcessing/RovaBridge/QVRovaHelper.h"
#include "QVCore/Model/Entities/QVWorkspace.h"
#include "QVPlatform/Dispatch.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/Places.h"
#include "rova/ImageCompressorProxy.h"
#include "rova/layers/ImageLayer.h"

namespace fs = std::filesystem;

namespace {
constexpr const char* kDefaultWorkspaceIdentifier = "default";

rova::ImageDataRGBfPtr copyData(const rova::ImageDataRGBfPtr& src) {
  if (!src) return nullptr;
  auto out = rova::ImageDataRGBf::createUninitialized(src->width(), src->height(), src->colorProfileType());
  if (out) std::copy(src->data(), src->data() + src->pixelCount(), out->data());
  return out;
}
}  // namespace

QVProcessorClassSwitches& QVHDRProcessor::classSwitches() {
  static QVProcessorClassSwitches switches([] {
    QVIPEffectsProvider::setReplaceEffectIDIntoRawID(false);
    QVImageReader::setApplyRawDevelop(true);
  });
  return switches;
}

// The superclass's switches are set first (its constructor runs first), then these over them.
QVHDRProcessor::QVHDRProcessor() { classSwitches().applyOnce(); }

// ---- Fields ----

std::shared_ptr<QVHDRSettingsProtocol> QVHDRProcessor::hdrSettings() const {
  std::lock_guard<std::mutex> lock(hdrMutex_);
  return hdrSettings_;
}
void QVHDRProcessor::setHdrSettings(std::shared_ptr<QVHDRSettingsProtocol> settings) {
  std::lock_guard<std::mutex> lock(hdrMutex_);
  hdrSettings_ = std::move(settings);
}
std::vector<std::string> QVHDRProcessor::paths() const {
  std::lock_guard<std::mutex> lock(hdrMutex_);
  return paths_;
}
void QVHDRProcessor::setPaths(std::vector<std::string> paths) {
  std::lock_guard<std::mutex> lock(hdrMutex_);
  paths_ = std::move(paths);
}
void QVHDRProcessor::setHdrEVValues(std::optional<std::vector<double>> values) {
  std::lock_guard<std::mutex> lock(hdrMutex_);
  hdrEVValues_ = std::move(values);
}
rova::ImageDataRGBfPtr QVHDRProcessor::middleBracketDataPtr() const {
  std::lock_guard<std::mutex> lock(hdrMutex_);
  return middleBracketData_;
}

std::optional<std::vector<double>> QVHDRProcessor::hdrEVValues() {
  const auto list = paths();
  if (list.size() < 2) return std::nullopt;
  {
    std::lock_guard<std::mutex> lock(hdrMutex_);
    if (hdrEVValues_) return hdrEVValues_;
  }
  NSArraySortByEvs::sortUrlsByEvsWithCompletion(list, [this](auto, std::optional<std::vector<double>> evs) {
    if (evs) setHdrEVValues(std::move(evs));
  });
  std::lock_guard<std::mutex> lock(hdrMutex_);
  return hdrEVValues_;
}

void QVHDRProcessor::setMiddleBracketDataPtr(const rova::ImageDataRGBfPtr& data) {
  {
    std::lock_guard<std::mutex> lock(hdrMutex_);
    if (middleBracketData_ == data) return;
    middleBracketData_ = data;
  }
  qv::NotificationCenter::defaultCenter().post(kQVImageProcessorMiddleBracketDataUpdated, shared_from_this());
  cacheMiddleBracket();
}

std::string QVHDRProcessor::cachedMiddleBracketPath() {
  auto history = historyManager();
  if (!history) return {};
  const std::string resources = history->resourcesPath();
  if (resources.empty()) return {};
  return (fs::path(resources) /
          (std::string(kQVHDRCachedMiddleBracketFileName) + "." + kQVRovaCompressedImageDataExtension))
      .string();
}

void QVHDRProcessor::cacheMiddleBracket() {
  const auto data = middleBracketDataPtr();
  if (!data) return;
  const std::string path = cachedMiddleBracketPath();
  if (path.empty()) return;
  const auto bytes = rova::ImageCompressorProxy::compress(*data);
  if (bytes.empty()) return;
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  qv::writeFileAtomically(path, bytes.data(), bytes.size());
}

// ---- Merge ----

std::vector<const char*> QVHDRProcessor::cPathsFromPaths(const std::vector<std::string>& paths) {
  std::vector<const char*> out;
  for (const auto& p : paths) out.push_back(p.c_str());
  return out;
}

rova::HDRMergeResult QVHDRProcessor::makeHDRImageWithURLs(const std::vector<std::string>& urls) {
  setPaths(urls);
  auto settings = hdrSettings();
  if (!settings) {
    settings = QVHDRSettings::defaultSettings();
    setHdrSettings(settings);
  }
  rova::HDRSettings engineSettings;
  if (auto own = std::dynamic_pointer_cast<QVHDRSettings>(settings)) {
    engineSettings = own->rovaHDRSettings();
  } else {
    engineSettings =
        QVHDRSettings::hdrSettingsFromDictionaryRepresentation(settings->dictionaryRepresentation())->rovaHDRSettings();
  }
  std::weak_ptr<QVHDRProcessor> weak = weakHDR();
  return rova::make_HDR(urls, engineSettings, rova::Size{0, 0}, [weak](rova::HDRMergingPhaseName phase) {
    if (auto self = weak.lock()) self->handleProgressWithPhaseName(phase);
  });
}

// ---- Loading ----

bool QVHDRProcessor::configureInitialLayer(const ImageLayerPtr& layer, const std::vector<std::string>& urls,
                                           bool /*fastRawPreview*/) {
  return configureInitialLayer(layer, urls);
}

bool QVHDRProcessor::configureInitialLayer(const ImageLayerPtr& layer, const std::vector<std::string>& urls) {
  if (!layer) return false;
  if (auto history = historyManager()) {
    if (auto cached = history->cachedInitialTexturePath())
      if (configureInitialLayer(layer, urls, cached)) return true;
  }
  auto result = makeHDRImageWithURLs(urls);
  setMiddleBracketDataPtr(result.middleBracketData);
  if (!result.image) return false;
  return layer->configureWithImage(result.image);
}

bool QVHDRProcessor::configureInitialLayer(const ImageLayerPtr& layer, const std::vector<std::string>& urls,
                                           const std::optional<std::string>& cashedTexturePath) {
  if (!layer || !cashedTexturePath || cashedTexturePath->empty()) return false;
  const auto bytes = qv::readFileBytes(*cashedTexturePath);
  if (!bytes) return false;
  auto cachedImage = QVRovaHelper::rovaImagePtrFromRovacompressedimagedata(*bytes);
  if (!cachedImage) return false;

  setPaths(urls);
  if (!hdrSettings()) setHdrSettings(QVHDRSettings::defaultSettings());

  const std::string middlePath = urls.empty() ? std::string() : urls[urls.size() / 2];
  layer->setHistoryTextureName(fs::path(*cashedTexturePath).filename().string());
  layer->setTextureURL(*cashedTexturePath);
  if (!middlePath.empty()) layer->setSourceTextureURL(middlePath);

  rova::ImageDataRGBfPtr middle;
  const std::string middleCache = cachedMiddleBracketPath();
  if (!middleCache.empty()) {
    if (auto middleBytes = qv::readFileBytes(middleCache))
      if (auto image = QVRovaHelper::rovaImagePtrFromRovacompressedimagedata(*middleBytes))
        middle = image->imageData({}, {}, false);
  }
  if (middle) {
    setMiddleBracketDataPtr(middle);
  } else if (!middlePath.empty()) {
    std::weak_ptr<QVHDRProcessor> weak = weakHDR();
    qv::DispatchQueue::global(qv::QualityOfService::Default)->async([weak, middlePath] {
      auto image = QVImageReader::make()->readImageWithPath(middlePath, false);
      auto data = image ? copyData(image->imageData()) : nullptr;
      qv::dispatchOnMainThread([weak, data] {
        if (auto self = weak.lock()) self->setMiddleBracketDataPtr(data);
      });
    });
  }
  return layer->configureWithImage(cachedImage);
}

// ---- Layers ----

void QVHDRProcessor::createBracketImageLayerAtIndex(uint64_t index, const std::string& layerName,
                                                    const std::string& imageURL, LayerCompletion completion) {
  if (auto history = historyManager()) {
    std::string action = qv::QVSLocalization::localizedStringForKey(kQVHDRNewBracketLayerActionFormat);
    if (auto at = action.find("%@"); at != std::string::npos) action.replace(at, 2, layerName);
    history->registerHistoryWithActionName(action);
  }
  std::weak_ptr<QVHDRProcessor> weak = weakHDR();
  qv::DispatchQueue::global(qv::QualityOfService::Background)->async([weak, index, layerName, imageURL, completion] {
    auto layer = QVIPLayerFactory::layerWithUrl(imageURL);
    qv::dispatchOnMainThread([weak, layer, index, layerName, completion] {
      auto self = weak.lock();
      if (!self) return;
      if (layer) {
        layer->setName(layerName);
        self->addLayer(layer, index);
        layer->setWorkspace(self->workspaceForLayerIdx(index));
      }
      if (completion) completion(layer);
    });
  });
}

QVRovaProcessor::LayerPtr QVHDRProcessor::createLayerAtIndex(uint64_t index) {
  auto layer = QVHDRProcessorSuperclass::createLayerAtIndex(index);
  if (layer) layer->setWorkspace(workspaceForLayerIdx(index));
  return layer;
}

QVRovaProcessor::LayerPtr QVHDRProcessor::createImageLayerAtIndex(uint64_t index) {
  auto layer = QVHDRProcessorSuperclass::createImageLayerAtIndex(index);
  if (layer) layer->setWorkspace(workspaceForLayerIdx(index));
  return layer;
}

QVRovaProcessor::LayerPtr QVHDRProcessor::createLayerAtIndex(uint64_t index, uint64_t layerType) {
  auto layer = QVHDRProcessorSuperclass::createLayerAtIndex(index, layerType);
  if (layer) layer->setWorkspace(workspaceForLayerIdx(index));
  return layer;
}

QVRovaProcessor::LayerPtr QVHDRProcessor::createOriginalImageLayerAtIndex(uint64_t index,
                                                                          const std::string& imageName) {
  auto layer = QVHDRProcessorSuperclass::createOriginalImageLayerAtIndex(index, imageName);
  if (layer) layer->setWorkspace(workspaceForLayerIdx(index));
  return layer;
}

bool QVHDRProcessor::canDuplicateLayer(const LayerPtr& layer) const {
  if (!QVHDRProcessorSuperclass::canDuplicateLayer(layer)) return false;
  const auto list = layers();
  return list.empty() || list.front() != layer;
}

bool QVHDRProcessor::canEditLayer(const LayerPtr& layer) const {
  if (!QVHDRProcessorSuperclass::canEditLayer(layer)) return false;
  auto active = activeLayer();
  if (!active || !layer) return true;
  const auto subs = active->subLayers();
  return std::find(subs.begin(), subs.end(), layer) == subs.end();
}

void QVHDRProcessor::applyPresetWithLayers(const std::vector<LayerPtr>& preset,
                                           const std::optional<std::string>& presetUUID, const LayerPtr& onLayer) {
  std::vector<LayerPtr> presetLayers = preset;
  auto target = onLayer ? onLayer : activeLayer();
  if (!target) return;
  setNotify(false);
  auto sublayers = target->subLayers();
  LayerPtr develop;
  if (dynamic_cast<QVLayerWithLensProtocol*>(target.get())) develop = target->developLayer();
  const bool presetHasDevelop = !presetLayers.empty() && presetLayers.front() && presetLayers.front()->isDevelopLayer();
  const bool containsDevelop = develop && std::find(sublayers.begin(), sublayers.end(), develop) != sublayers.end();
  if (presetHasDevelop) {
    if (develop) {
      if (!containsDevelop) sublayers.insert(sublayers.begin(), develop);
    } else {
      presetLayers.erase(presetLayers.begin());
    }
  } else if (containsDevelop) {
    sublayers.erase(std::find(sublayers.begin(), sublayers.end(), develop));
  }
  if (sublayers.size() == presetLayers.size()) {
    for (size_t i = 0; i < sublayers.size(); ++i)
      if (sublayers[i] && presetLayers[i]) sublayers[i]->applyParamsFromLayer(presetLayers[i]);
  } else {
    for (const auto& layer : sublayers) {
      if (!layer) continue;
      auto match = std::find_if(presetLayers.begin(), presetLayers.end(),
                                [&](const LayerPtr& p) { return p && p->identifier() == layer->identifier(); });
      if (match != presetLayers.end()) layer->applyParamsFromLayer(*match);
    }
  }
  target->setPresetUUID(presetUUID);
  setNotify(true);
  setNeedsDisplayWithInfo(qv::Dictionary{{"kQVChangeTypeStateInfoKey", qv::Value("kQVImageProcessorSelectPreset")}});
}

// ---- Workspaces ----

std::string QVHDRProcessor::workspaceIdentifierForLayerIdx(uint64_t) const { return kDefaultWorkspaceIdentifier; }

namespace {
std::mutex workspaceSourceMutex;
QVHDRProcessor::WorkspaceSource& workspaceSource() {
  static QVHDRProcessor::WorkspaceSource source;
  return source;
}
QVHDRProcessor::WorkspaceSource currentWorkspaceSource() {
  std::lock_guard<std::mutex> lock(workspaceSourceMutex);
  return workspaceSource();
}
}  // namespace

void QVHDRProcessor::setWorkspaceSource(WorkspaceSource source) {
  std::lock_guard<std::mutex> lock(workspaceSourceMutex);
  workspaceSource() = std::move(source);
}

std::shared_ptr<QVWorkspace> QVHDRProcessor::workspaceForLayerIdx(uint64_t index) {
  if (auto workspace = workspaceForIdentifier(workspaceIdentifierForLayerIdx(index))) return workspace;
  const auto source = currentWorkspaceSource();
  return source.defaultWorkspace ? source.defaultWorkspace(activeLayer()) : nullptr;
}

std::shared_ptr<QVWorkspace> QVHDRProcessor::workspaceForIdentifier(const std::string& identifier) {
  const auto source = currentWorkspaceSource();
  return source.shipped ? source.shipped(identifier, activeLayer()) : nullptr;
}

// ---- Compare images ----

QVIPImagePtr QVHDRProcessor::originalCroppedImageForCompare() {
  if (!middleBracketDataPtr()) return originalCroppedLowResImage();
  QVIPImagePtr result;
  auto active = activeLayer();
  auto engineLayer = active ? active->cppLayer() : nullptr;
  performOnImageProcessingQueue([&] { result = obtainOriginalRoiFromLayer(engineLayer, false); }, true);
  return result;
}

QVIPImagePtr QVHDRProcessor::obtainOriginalRoiFromLayer(const rova::BaseLayerPtr& layer, bool forQuickPreviewMode) {
  auto middle = middleBracketDataPtr();
  if (!middle) return QVHDRProcessorSuperclass::obtainOriginalRoiFromLayer(layer, forQuickPreviewMode);
  QVIPImagePtr result;
  performOnImageProcessingQueue(
      [&] {
        // A stand-in engine layer over the middle exposure, placed as the layer is: its working
        // image is the same region and size the layer's own would be.
        auto unit = std::make_shared<rova::ImageLayer>(rova::Image::make(middle));
        if (layer) unit->setTransformSettings(layer->transformSettings());
        if (auto working = unit->getWorkingImage()) result = QVIPImage::initWithImageData(working, true);
      },
      true);
  return result;
}

// ---- Copies and history ----

QVRovaProcessor::Ptr QVHDRProcessor::allocSameClass() const {
  auto copy = create<QVHDRProcessor>();
  std::lock_guard<std::mutex> lock(hdrMutex_);
  copy->paths_ = paths_;
  copy->hdrEVValues_ = hdrEVValues_;
  copy->middleBracketData_ = middleBracketData_;
  return copy;
}

std::optional<std::vector<std::string>> QVHDRProcessor::historyManagerAllTexturesFromStateUUID(
    QVHistoryManagerProtocol& manager, const std::string& uuid) {
  auto textures = QVHDRProcessorSuperclass::historyManagerAllTexturesFromStateUUID(manager, uuid);
  std::vector<std::string> names = textures.value_or(std::vector<std::string>{});
  auto addOnce = [&](const std::string& name) {
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  };
  for (const auto& p : paths()) addOnce(fs::path(p).filename().string());
  addOnce(std::string(kQVHDRCachedMiddleBracketFileName) + "." + kQVRovaCompressedImageDataExtension);
  return names;
}
