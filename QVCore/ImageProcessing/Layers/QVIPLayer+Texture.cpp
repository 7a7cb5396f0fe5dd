// A layer's own pixels: textures loaded from files, the history's texture cache, fitting to the
// frame (scale modes) and the free transform between platform and engine coordinates.
#include <cmath>
#include <filesystem>
#include <fstream>

#include "QVCore/ImageProcessing/Base/QVImageProcessorProtocol.h"
#include "QVCore/ImageProcessing/History/QVHistoryManagerProtocol.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVCore/ImageProcessing/RovaBridge/QVIPImage.h"
#include "QVCore/ImageProcessing/RovaBridge/QVImageReader.h"
#include "QVCore/ImageProcessing/RovaBridge/QVRovaHelper.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/Places.h"
#include "rova/Rova.h"
#include "rova/layers/ImageLayer.h"
#include "rova/reader/ImageReader.h"

namespace {

constexpr const char* kQVLayerDidAddTextureNotification = "QVLayerDidAddTextureNotification";
constexpr const char* kQVLayerDidDeleteTextureNotification = "QVLayerDidDeleteTextureNotification";
constexpr const char* kQVLayerDidChangeScaleTextureNotification = "kQVLayerDidChangeScaleTextureNotification";
constexpr const char* kQVLayerDidConfigureWithImageNotification = "kQVLayerDidConfigureWithImageNotification";

namespace fs = std::filesystem;

QVChangeInfo needProgressInfo() {
  QVChangeInfo info;
  info.set(kQVChangeTypeStateInfoKey, "QVLayerDidChangeStateNotification");
  info.set("QVLayerDidChangeStateNeedProgress", true);
  return info;
}

QVChangeInfo transformInfo() {
  QVChangeInfo info;
  info.set(kQVChangeTypeStateInfoKey, kQVLayerDidChangeTransformNotification);
  return info;
}

// The vertical flip within a height k: (x, y) -> (x, k - y).
CGAffineTransform flip(double k) { return {1, 0, 0, -1, 0, k}; }

std::shared_ptr<rova::ImageLayer> asImageLayer(const rova::BaseLayerPtr& layer) {
  return layer && layer->kind() == rova::kLayerKindImage ? std::dynamic_pointer_cast<rova::ImageLayer>(layer) : nullptr;
}

// A name taken from a saved record must stay inside the resources folder.
bool isPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

std::vector<uint8_t> readFile(const std::string& path) { return qv::readFileBytes(path).value_or(qv::Bytes{}); }

}  // namespace

// ---- Image content ----

QVIPLayer::LayerPtr QVIPLayer::initWithURL(const std::string& path) {
  auto layer = initWithDefaultSettings();
  return layer->configureWithImageAtURL(path) ? layer : nullptr;
}

QVIPLayer::LayerPtr QVIPLayer::initWithImageData(const rova::ImageDataRGBfPtr& data) {
  return data ? initWithImage(rova::Image::make(data)) : nullptr;
}

QVIPLayer::LayerPtr QVIPLayer::initWithImage(const rova::ImagePtr& image) {
  if (!image || image->width() <= 0 || image->height() <= 0) return nullptr;
  auto layer = initWithDefaultSettings();
  return layer->configureWithImage(image) ? layer : nullptr;
}

void QVIPLayer::takeImageSettings(const rova::Image& image) {
  width_ = image.width();
  height_ = image.height();
  amount_ = 1.0;
  effectsAmount_ = 1.0;
  isEnabled_ = true;
  maskEnabled_ = true;
  isAdjustmentLayer_ = false;
}

bool QVIPLayer::configureWithImage(const rova::ImagePtr& image) {
  if (!image || image->width() <= 0 || image->height() <= 0) return false;
  // The pixels the layer shows now are kept in the texture cache before they are replaced.
  saveImageOrTexture();
  auto engineLayer = std::make_shared<rova::ImageLayer>(image);
  const rova::BaseLayerPtr old = cppLayer_;
  engineLayer->setLevel(old ? old->level() : level_);
  // The swap, in the processor's list at the old layer's place, runs where engine work runs (we
  // wait for it, so the layer outlives it).
  performOnParentProcessingQueue(
      [this, old, engineLayer] {
        if (old && processor_) {
          const int64_t index = processor_->layerIndex(old);
          if (index >= 0) {
            processor_->removeLayer(old);
            processor_->addLayer(engineLayer, size_t(index));
          }
        }
        cppLayer_ = engineLayer;
      },
      true);
  takeImageSettings(*image);
  imageDidChange();
  postOnMainThread(kQVLayerDidConfigureWithImageNotification);
  return true;
}

bool QVIPLayer::configureWithImageAtURL(const std::string& path, bool fastRawPreview, std::string* error) {
  std::string reason;
  rova::ImagePtr image = readImageAtPath(path, fastRawPreview, &reason);
  if (!image) {
    if (error) *error = reason;
    QV_LOG_FAILURE("Couldn't read image at path: " + path + " (" + reason + ")");
    return false;
  }
  auto engineLayer = std::make_shared<rova::ImageLayer>(image);
  if (!engineLayer->getSourceImage()) {
    QV_LOG_FAILURE("Couldn't create rova::ImageLayer from image at path: " + path);
    return false;
  }
  engineLayer->setLevel(cppLayer_ ? cppLayer_->level() : level_);
  cppLayer_ = engineLayer;
  takeImageSettings(*image);
  textureURL_ = path;
  imageDidChange();
  return true;
}

void QVIPLayer::setTextureURL(const std::string& url) {
  if (textureURL_ && *textureURL_ == url) return;
  setTextureFromURL(url, nullptr);
}

// ---- Geometry ----

rova::AffineTransform QVIPLayer::engineTransformForAffineTransform(const CGAffineTransform& m, double canvasHeight,
                                                                   double sourceHeight) {
  // Flip within the source's height, transform, flip within the canvas's height.
  return rova::AffineTransform::fromCG(
      CGAffineTransformConcat(CGAffineTransformConcat(flip(sourceHeight), m), flip(canvasHeight)));
}

CGAffineTransform QVIPLayer::affineTransformForEngineTransform(const rova::AffineTransform& e, double canvasHeight,
                                                               double sourceHeight) {
  return CGAffineTransformConcat(CGAffineTransformConcat(flip(sourceHeight), e.toCG()), flip(canvasHeight));
}

CGSize QVIPLayer::canvasSize() {
  if (auto p = parentProcessor()) {
    const CGSize size = p->canvasSize();
    if (size.width != 0 || size.height != 0) return size;
  }
  rova::Size size{};
  onEngineLayer([&size](rova::BaseLayer& layer) { size = layer.transformSettings().canvasSize; }, true);
  return CGSizeMake(size.width, size.height);
}

CGSize QVIPLayer::imageSize() {
  rova::Size size{};
  onEngineLayer(
      [&size](rova::BaseLayer& layer) {
        if (auto image = layer.kind() == rova::kLayerKindImage ? static_cast<rova::ImageLayer&>(layer).getSourceImage()
                                                               : nullptr)
          size = image->size();
      },
      true);
  return CGSizeMake(size.width, size.height);
}

std::optional<CGAffineTransform> QVIPLayer::getAffineTransformFromCppLayer() {
  if (!cppLayer_) return std::nullopt;
  const rova::ImageTransformSettings settings = cppLayer_->transformSettings();
  const rova::AffineTransform e = settings.transformType == rova::ImageTransformSettings::kAffineTransform
                                      ? settings.transform
                                      : rova::AffineTransform::identity();
  auto image = asImageLayer(cppLayer_);
  const double h = image && image->getSourceImage() ? image->getSourceImage()->height() : 0;
  return affineTransformForEngineTransform(e, settings.canvasSize.height, h);
}

void QVIPLayer::setAffineTransform(std::optional<CGAffineTransform> transform) {
  if (transform == affineTransform_) return;
  registerHistory("Free Transform Tool: Apply");
  setState(nullptr);
  affineTransform_ = transform;
  textureScaleMode_ = 0;
  onEngineLayer([transform](rova::BaseLayer& layer) {
    rova::ImageTransformSettings settings = layer.transformSettings();
    if (transform) {
      auto source =
          layer.kind() == rova::kLayerKindImage ? static_cast<rova::ImageLayer&>(layer).getSourceImage() : nullptr;
      const double h = source ? source->height() : 0;
      settings.transformType = rova::ImageTransformSettings::kAffineTransform;
      settings.transform = engineTransformForAffineTransform(*transform, settings.canvasSize.height, h);
    } else {
      settings.transformType = rova::ImageTransformSettings::kNoTransform;
      settings.transform = {0, 0, 0, 0, 0, 0};
    }
    layer.setTransformSettings(settings);
  });
  postOnMainThread(kQVLayerDidChangeTransformNotification);
  if (auto p = parent()) p->childDidChangeState(self(), transformInfo());
}

void QVIPLayer::adjustTransformForScaleMode(uint64_t mode, bool applyOriginalOrientation) {
  auto image = asImageLayer(cppLayer_);
  if (!image || !image->getSourceImage() || !processor_) return;
  const rova::CropDescription crop = processor_->getCropDescription();
  const rova::Size frame = crop.isNone() ? processor_->canvasSize() : crop.size();
  const rova::AffineTransform k = crop.getAffineTransform();  // identity without a crop
  const rova::Size source = image->getSourceImage()->size();
  const int orientation = processor_->orientation();
  double w = source.width, h = source.height;
  if (applyOriginalOrientation && orientation > 4) std::swap(w, h);
  if (w <= 0 || h <= 0 || frame.width <= 0 || frame.height <= 0) return;
  double sx = frame.width / w, sy = frame.height / h;
  if (mode == 2) sx = sy = std::max(sx, sy);
  if (mode == 3) sx = sy = std::min(sx, sy);
  const double tx = (frame.width - std::round(w * sx)) * 0.5;
  const double ty = (frame.height - std::round(h * sy)) * 0.5;
  rova::AffineTransform t;
  t.translate(float(tx), float(ty));
  t.scale(float(sx), float(sy));
  if (applyOriginalOrientation) t.prepend(rova::ImageTransformSettings::transformForOrientation(orientation, source));
  t.append(k.inverted());
  rova::ImageTransformSettings settings = image->transformSettings();
  settings.orientation = orientation;
  settings.transformType = rova::ImageTransformSettings::kAffineTransform;
  settings.transform = t;
  image->setTransformSettings(settings);
}

void QVIPLayer::setTextureScaleMode(uint64_t mode, bool adjustTransform, bool applyOriginalOrientation) {
  if (mode == textureScaleMode_) return;
  registerHistory(name_ + ": Texture Scale Mode Changed");
  setState(nullptr);
  textureScaleMode_ = mode;
  if (!adjustTransform) {
    postOnMainThread(kQVLayerDidChangeScaleTextureNotification);
    return;
  }
  std::weak_ptr<QVIPLayer> weak = weakSelf();
  performOnParentProcessingQueue(
      [weak, mode, applyOriginalOrientation] {
        auto self = weak.lock();
        if (!self) return;
        self->adjustTransformForScaleMode(mode, applyOriginalOrientation);
        auto transform = self->getAffineTransformFromCppLayer();
        qv::dispatchOnMainThread([weak, transform] {
          auto self = weak.lock();
          if (!self) return;
          self->affineTransform_ = transform;
          self->postOnMainThread(kQVLayerDidChangeScaleTextureNotification);
          self->postOnMainThread(kQVLayerDidChangeTransformNotification);
          if (auto p = self->parent()) p->childDidChangeState(self, transformInfo());
        });
      },
      false);
}

// ---- Texture loading ----

void QVIPLayer::setReadImageCanceled(bool canceled) { imageReads_.setCanceled(canceled); }

rova::ImagePtr QVIPLayer::readImageAtPath(const std::string& path, bool fastRawPreview, std::string* error) {
  return imageReads_.read(path, fastRawPreview, error);
}

void QVIPLayer::loadRovaTexture(const rova::ImagePtr& image) {
  if (!image) return;
  const int64_t index = processor_ && cppLayer_ ? processor_->layerIndex(cppLayer_) : -1;
  if (index >= 0) {
    if (cppLayer_->kind() == rova::kLayerKindImage) {
      if (auto adjustment = processor_->convertLayerAtIndexToAdjustmentLayer(size_t(index))) cppLayer_ = adjustment;
    }
    if (auto layer = processor_->convertLayerAtIndexToImageLayer(size_t(index), image)) cppLayer_ = layer;
  } else {
    // Not in an engine list yet: the image layer simply takes the engine layer's place.
    auto layer = std::make_shared<rova::ImageLayer>(image);
    if (cppLayer_) layer->setLevel(cppLayer_->level());
    cppLayer_ = layer;
  }
  postOnMainThread(kQVLayerDidAddTextureNotification);
}

void QVIPLayer::loadTexture(const rova::ImagePtr& image, bool sync) {
  isAdjustmentLayer_ = false;
  if (mask_) mask_->finishDrawing();
  std::weak_ptr<QVIPLayer> weak = weakSelf();
  performOnParentProcessingQueue(
      [weak, image] {
        if (auto self = weak.lock()) {
          self->loadRovaTexture(image);
          self->postOnMainThread(kQVLayerDidAddTextureNotification);
        }
      },
      sync);
}

void QVIPLayer::setTextureFromURL(const std::string& url, bool adjustTransform, bool applyOriginalOrientation,
                                  TextureCompletion completion) {
  const auto finish = [completion](bool loaded, int64_t reason) {
    if (completion) completion(loaded, reason);
  };
  // The file read is the history's cached copy when the layer has no texture yet.
  std::string path = url;
  const bool firstTexture = !textureURL_ || textureURL_->empty();
  if (firstTexture && parent()) {
    if (auto history = historyManager())
      if (auto cached = history->cachedPathForTextureWithPath(url)) path = *cached;
  }
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return finish(false, 0);

  auto processor = parentProcessor();
  if (processor) {
    processor->setPostStateNotificationsSuspended(true);
    processor->increaseProcessingCounter();
  }
  // What was suspended and raised is undone whatever happens, the layer's going included.
  const auto release = [processor] {
    if (!processor) return;
    processor->setPostStateNotificationsSuspended(false);
    processor->decreaseProcessingCounter();
  };
  const auto done = [release, finish](bool loaded, int64_t reason) {
    release();
    finish(loaded, reason);
  };
  // While a history level is applied the whole load runs before this call returns; otherwise
  // each step is queued.
  const auto history = historyManager();
  const bool wait = history && history->applyingHistoryLevel();
  std::weak_ptr<QVIPLayer> weak = weakSelf();

  // 3. On the processing queue: the engine swap and the fit, the fitted transform read back.
  const auto swapAndFit = [weak, adjustTransform, applyOriginalOrientation](const rova::ImagePtr& image) {
    std::optional<CGAffineTransform> transform;
    auto self = weak.lock();
    if (!self) return transform;
    self->loadRovaTexture(image);
    if (adjustTransform) {
      self->adjustTransformForScaleMode(1, applyOriginalOrientation);
      transform = self->getAffineTransformFromCppLayer();
    }
    return transform;
  };
  // 4. On the main thread: the model takes the fit and the load is reported.
  const auto report = [weak, adjustTransform, release, done](std::optional<CGAffineTransform> transform) {
    auto self = weak.lock();
    if (!self) return release();
    self->textureScaleMode_ = 1;
    if (adjustTransform) self->affineTransform_ = transform;
    self->setState(nullptr);
    self->postOnMainThread(kQVLayerDidAddTextureNotification);
    if (auto p = self->parent()) p->childDidChangeState(self, QVChangeInfo{});
    done(true, 0);
  };
  // 2. On the main thread, only for a usable image: the history step, the texture's URL and
  // cache, then steps 3 and 4.
  const auto take = [weak, url, wait, release, done, swapAndFit, report](const rova::ImagePtr& image) {
    auto self = weak.lock();
    if (!self) return release();
    const int64_t reason = !image ? 1 : (image->width() < kMinTextureSide || image->height() < kMinTextureSide) ? 2 : 0;
    if (reason != 0) return done(false, reason);
    const std::string name = qv::isWinPath(url) ? qv::lastWinPathComponent(url) : qv::lastPathComponent(url);
    self->registerHistory("Add texture " + name);
    self->setState(nullptr);
    const bool firstTexture = !self->textureURL_ || self->textureURL_->empty();
    if (firstTexture) self->textureURL_ = url;
    self->isAdjustmentLayer_ = false;
    // A first texture goes into the history's texture cache at once, so the steps that show it
    // still find it when its file is gone.
    if (firstTexture && self->parent()) self->saveImageOrTexture();
    if (self->mask_) self->mask_->finishDrawing();
    if (auto p = self->parent()) p->childWillChangeState(self, needProgressInfo());
    if (wait) {
      std::optional<CGAffineTransform> transform;
      self->performOnParentProcessingQueue([&] { transform = swapAndFit(image); }, true);
      return report(transform);
    }
    self->performOnParentProcessingQueue(
        [image, swapAndFit, report] {
          const std::optional<CGAffineTransform> transform = swapAndFit(image);
          qv::dispatchOnMainThread([report, transform] { report(transform); });
        },
        false);
  };
  // 1. The read, on the processing queue.
  if (wait) {
    rova::ImagePtr image;
    performOnParentProcessingQueue([&] { image = readImageAtPath(path, false); }, true);
    return take(image);
  }
  performOnParentProcessingQueue(
      [weak, path, take] {
        auto self = weak.lock();
        rova::ImagePtr image = self ? self->readImageAtPath(path, false) : nullptr;
        qv::dispatchOnMainThread([take, image] { take(image); });
      },
      false);
}

void QVIPLayer::deleteTextureSync(bool sync) {
  if (isAdjustmentLayer_) return;
  registerHistory(name_ + ": Delete texture");
  setState(nullptr);
  isAdjustmentLayer_ = true;
  if (mask_) mask_->finishDrawing();
  std::weak_ptr<QVIPLayer> weak = weakSelf();
  performOnParentProcessingQueue(
      [weak] {
        auto self = weak.lock();
        if (!self || !self->processor_ || !self->cppLayer_) return;
        const int64_t index = self->processor_->layerIndex(self->cppLayer_);
        if (index < 0) return;
        if (auto layer = self->processor_->convertLayerAtIndexToAdjustmentLayer(size_t(index))) self->cppLayer_ = layer;
      },
      sync);
  setAffineTransform(std::nullopt);
  if (auto p = parent()) p->childDidChangeState(self(), QVChangeInfo{});
  postOnMainThread(kQVLayerDidDeleteTextureNotification);
}

// ---- Texture cache ----

namespace {

// The picture compressed into a new "rovacompressedimagedata" file of the history's resources
// folder, named by a new UUID; its name and path, or nullopt when there is nothing to write or the
// write failed.
std::optional<std::pair<std::string, std::string>> writeCompressedTexture(QVHistoryManagerProtocol& history,
                                                                          const rova::ImagePtr& image) {
  const std::vector<uint8_t> bytes = QVRovaHelper::compressedImageDataForImage(image);
  if (bytes.empty()) return std::nullopt;
  const std::string name = qv::stringWithUUID() + "." + kQVRovaCompressedImageDataExtension;
  const std::string path = (fs::path(history.resourcesPath()) / name).string();
  if (!qv::writeFileAtomically(path, bytes.data(), bytes.size())) {
    QV_LOG_FAILURE("[NSData writeToFile:" + path + " atomically:YES] == NO");
    return std::nullopt;
  }
  return std::make_pair(name, path);
}

}  // namespace

void QVIPLayer::saveImageOrTexture() {
  auto history = historyManager();
  if (!history || isAdjustmentLayer_ || historyTextureName_) return;
  if (textureURL_ && !textureURL_->empty()) {
    if (history->updateCacheTextureWithPath(*textureURL_)) return;
  }
  rova::ImagePtr image;
  onEngineLayer(
      [&image](rova::BaseLayer& layer) {
        if (layer.kind() == rova::kLayerKindImage) image = static_cast<rova::ImageLayer&>(layer).getSourceImage();
      },
      true);
  auto written = writeCompressedTexture(*history, image);
  if (!written) return;
  historyTextureName_ = written->first;
  if (!textureURL_ || textureURL_->empty()) textureURL_ = written->second;
}

// Pixels that live only in memory (a layer made from engine data: merges, denoise, erase) are
// cached when the layer joins a document with a history, so a saved step can bring them back.
// Layers with a file (the opened picture, textures) are left alone: their file is what a step
// records. The history lives on the main thread, so an attach elsewhere (a load on the processing
// queue) caches from there later; the engine picture of an image layer is read-only and is read
// directly, without waiting for the processing queue in the middle of a stack operation.
void QVIPLayer::cacheOwnPixelsAfterAttach() {
  if (isAdjustmentLayer_ || historyTextureName_ || (textureURL_ && !textureURL_->empty())) return;
  if (!qv::MainExecutor::shared().isMainThread()) {
    auto weak = weakSelf();
    qv::MainExecutor::shared().async([weak] {
      if (auto self = weak.lock()) self->cacheOwnPixelsAfterAttach();
    });
    return;
  }
  auto history = historyManager();
  const rova::BaseLayerPtr engineLayer = cppLayer_;
  if (!history || !engineLayer || engineLayer->kind() != rova::kLayerKindImage) return;
  auto written = writeCompressedTexture(*history, static_cast<rova::ImageLayer&>(*engineLayer).getSourceImage());
  if (!written) return;
  historyTextureName_ = written->first;
  textureURL_ = written->second;
  // A record taken before holds no texture name.
  setState(nullptr);
}

bool QVIPLayer::loadCppImageFromRova() {
  if (!historyTextureName_) return false;
  auto p = parentProcessor();
  if (!p) return false;
  auto candidates = p->layers();
  if (auto initial = p->initialLayer()) candidates.push_back(initial);
  for (const auto& other : candidates) {
    if (!other || other.get() == this || other->historyTextureName() != historyTextureName_) continue;
    rova::ImagePtr image = other->cppSourceImage();
    if (!image) {
      if (auto engineImage = asImageLayer(other->cppLayer())) image = engineImage->getSourceImage();
    }
    if (!image) return false;
    loadTexture(image, true);
    return true;
  }
  return false;
}

void QVIPLayer::setHistoryTextureName(std::optional<std::string> name) {
  auto history = historyManager();
  bool changed = name != historyTextureName_;
  if (name && !isPlainFileName(*name)) {
    // Treated as a cache file that is not there: it is never looked for outside the folder.
    QVLogError("Texture name is not a plain file name: %s", name->c_str());
    historyTextureName_.reset();
    textureURL_.reset();
    changed = false;
  }
  if (!changed && textureURL_ && !textureURL_->empty() && history) {
    // The layer shows its URL's texture: the name is news unless it names that file's cached copy
    // (so no name at all, for a cached texture, takes the texture away).
    auto cached = history->cachedPathForTextureWithPath(*textureURL_);
    const std::optional<std::string> cachedName =
        cached ? std::optional<std::string>(qv::lastPathComponent(*cached)) : std::nullopt;
    changed = cachedName != name;
  }
  if (changed) {
    historyTextureName_ = name;
    textureURL_.reset();
    if (name && !loadCppImageFromRova()) {
      const std::string path = history ? (fs::path(history->resourcesPath()) / *name).string() : std::string();
      std::error_code error;
      rova::ImagePtr image;
      if (!path.empty() && fs::is_regular_file(path, error)) {
        if (auto p = parent()) p->childWillChangeState(self(), needProgressInfo());
        const std::vector<uint8_t> bytes = readFile(path);
        image = fs::path(path).extension() == std::string(".") + kQVRovaCompressedImageDataExtension
                    ? QVRovaHelper::rovaImagePtrFromRovacompressedimagedata(bytes)
                    : QVRovaHelper::rovaImagePtrFromRovaimagedata(bytes);
      }
      // A missing or unreadable cache file leaves the layer without cache name.
      if (image) {
        loadTexture(image, true);
      } else {
        historyTextureName_.reset();
      }
    }
  }
  if ((!historyTextureName_) && (!textureURL_ || textureURL_->empty())) deleteTextureSync(true);
}

// ---- Orientation and fitted previews ----

void QVIPLayer::setImageOrientation(uint64_t orientation) {
  if (orientation == imageOrientation_) return;
  imageOrientation_ = orientation;
  for (const auto& layer : subLayers_) layer->setImageOrientation(orientation);
  setTextureScaleMode(0, false);
}

std::shared_ptr<qv::Operation> QVIPLayer::imageLayerPreviewFitToSize(
    CGSize fitSize, std::function<void(std::shared_ptr<QVIPImage>)> completion) {
  // What the render needs of the document, read now on the caller's thread.
  rova::Size canvas{};
  rova::CropDescription crop = rova::CropDescriptionNone;
  if (auto p = parentProcessor()) {
    const CGSize size = p->canvasSize();
    canvas = {int(size.width), int(size.height)};
    if (auto description = p->cropDescription(); description && !description->isIdentity()) {
      const rova::RectRoi r = rova::truncated(rova::rectRoiFromCGRect(description->cropRect(), double(canvas.height)));
      crop = {float(description->rotation()), r.x, r.y, r.width, r.height};
    }
  }
  const bool rawDevelop = !QVImageReader::isApplyRawDevelop();
  std::weak_ptr<QVIPLayer> weak = weakSelf();
  auto op = qv::BlockOperation::make([weak, canvas, crop, rawDevelop, fitSize, completion] {
    std::shared_ptr<QVIPImage> result;
    auto self = weak.lock();
    auto image = self ? asImageLayer(self->cppLayer_) : nullptr;
    if (image && self->processor_) {
      const rova::Size frame = crop.isNone() ? canvas : crop.size();
      if (frame.width > 0 && frame.height > 0) {
        rova::ImageTransformSettings settings = image->transformSettings();
        settings.canvasSize = canvas;
        settings.cropDescription = crop;
        const double w = frame.width, h = frame.height;
        const double s = std::min(fitSize.width / w, fitSize.height / h);
        settings.sourceRect = {0, 0, w, h};
        settings.outputSize = {std::max(1, int(std::lround(w * s))), std::max(1, int(std::lround(h * s)))};
        if (crop.isNone() && settings.transformType == rova::ImageTransformSettings::kNoTransform) {
          settings.transformType = rova::ImageTransformSettings::kAffineTransform;
          settings.transform = rova::AffineTransform::identity();
        }
        auto copy = std::static_pointer_cast<rova::ImageLayer>(image->copy());
        copy->setTransformSettings(settings);
        auto pixels = rawDevelop ? copy->getWorkingImageWithRawDevelop() : copy->getWorkingImage();
        result = QVIPImage::initWithImageData(pixels, true);
      }
    }
    qv::dispatchOnMainThread([completion, result] {
      if (completion) completion(result);
    });
  });
  if (auto queue = parentProcessingQueue()) {
    queue->addOperation(op);
  } else {
    op->start();
  }
  return op;
}
