// Creation, loading, the engine list and notifications of the processor; the render path is
// QVRovaProcessorRenderer, to which the render methods here forward.
#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/RovaBridge/QVImageReader.h"
#include "QVCore/ImageProcessing/RovaBridge/QVRovaHelper.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/Log.h"
#include "rova/reader/ImageReader.h"

QVRovaProcessor::QVRovaProcessor()
    : renderer_(std::make_unique<QVRovaProcessorRenderer>(*this)),
      stateStore_(std::make_unique<QVRovaProcessorStateStore>(*this)) {}

QVRovaProcessor::~QVRovaProcessor() {
  // The layers may outlive the processor: they let go of the engine processor. Their own engine
  // work may still be queued, so this runs behind it on the queue (which outlives its owner).
  std::vector<LayerPtr> tree = layerStack_.layers();
  if (initialLayer_ && std::find(tree.begin(), tree.end(), initialLayer_) == tree.end())
    tree.insert(tree.begin(), initialLayer_);
  qv::Block detach = [tree] {
    for (const auto& layer : tree) layer->reset();
  };
  if (imageProcessingQueue_ && qv::OperationQueue::currentQueue() != imageProcessingQueue_)
    imageProcessingQueue_->addOperationWithBlock(std::move(detach));
  else
    detach();
  terminateToken_.reset();
  syncTokens_.clear();
  renderer_.reset();  // cancels and interrupts the renders it still holds
}

namespace {

// Queues a load whose completion must be answered exactly once: `work` answers it on every path it
// takes; when the operation is cancelled before it starts (cancelProcessingQueue), `unanswered`
// answers it with nothing once the operation has finished, so a waiter is never stranded.
void addLoadOperation(const std::shared_ptr<qv::OperationQueue>& queue, qv::Block work, qv::Block unanswered) {
  auto ran = std::make_shared<std::atomic<bool>>(false);
  auto op = qv::BlockOperation::make([ran, work = std::move(work)] {
    ran->store(true);
    work();
  });
  op->addFinishObserver([ran, unanswered = std::move(unanswered)] {
    if (!ran->load() && unanswered) unanswered();
  });
  queue->addOperation(op);
}

// The engine's update callback: holds the processor weakly; the main-thread half runs later.
std::function<void()> updateCallbackFor(std::weak_ptr<QVRovaProcessor> weak) {
  return [weak] {
    auto p = weak.lock();
    if (!p) return;
    p->updateLoadStateFromLayer(p->initialImageLayer());
    if (!p->updatesModelOnMainThread()) return;
    qv::MainExecutor::shared().async([weak] {
      if (auto processor = weak.lock()) processor->update();
    });
  };
}

}  // namespace

void QVRovaProcessor::setUp() {
  cppProcessor_ = std::make_shared<rova::ImageProcessor>();
  cppProcessor_->setUpdateCallback(updateCallbackFor(weakSelf()));
  canvasSize_ = CGSizeZero;
  localCacheDisabled_ = false;
  setNotify(true);
  auto weak = weakSelf();
  terminateToken_ = qv::NotificationCenter::defaultCenter().addObserver(kQVApplicationWillTerminateNotification,
                                                                        nullptr, [weak](const qv::Notification&) {
                                                                          if (auto p = weak.lock())
                                                                            p->applicationWillTerminate();
                                                                        });
}

void QVRovaProcessor::applicationWillTerminate() { cancelProcessingQueue(); }

std::string QVRovaProcessor::description() const {
  char text[64];
  std::snprintf(text, sizeof text, "<QVRovaProcessor: %p>", static_cast<const void*>(this));
  return text;
}

QVRovaProcessor::Ptr QVRovaProcessor::initWithURL(const std::string& path) {
  auto p = init();
  if (auto layer = p->loadImageFromURL(path)) p->setInitialLayer(layer);
  return p;
}

QVRovaProcessor::Ptr QVRovaProcessor::initWithRovaProcessor(const rova::ImageProcessorPtr& engine) {
  auto p = init();
  p->adoptRovaProcessor(engine);
  return p;
}

QVRovaProcessor::Ptr QVRovaProcessor::initWithImageProcessor(QVRovaProcessor& other) {
  rova::ImageProcessorPtr copy;
  other.performOnImageProcessingQueue(
      [&] {
        if (auto engine = other.cppProcessor()) copy = std::make_shared<rova::ImageProcessor>(*engine);
      },
      true);
  auto p = init();
  if (!copy) return p;
  // The engine's copy has no update callback; this processor listens to its own copy.
  copy->setUpdateCallback(updateCallbackFor(p->weakSelf()));
  p->adoptRovaProcessor(copy);
  auto otherLayers = other.layers();
  auto active = other.activeLayer();
  auto it = std::find(otherLayers.begin(), otherLayers.end(), active);
  auto mine = p->layers();
  if (it != otherLayers.end() && size_t(it - otherLayers.begin()) < mine.size()) {
    std::lock_guard<std::recursive_mutex> lock(p->mutex_);
    p->layerStack_.setActive(mine[size_t(it - otherLayers.begin())]);
  }
  return p;
}

void QVRovaProcessor::adoptRovaProcessor(const rova::ImageProcessorPtr& engine) {
  if (!engine) return;
  cppProcessor_ = engine;
  std::vector<rova::BaseLayerPtr> topLevel;
  rova::CropDescription crop = rova::CropDescriptionNone;
  rova::Size canvas;
  performOnImageProcessingQueue(
      [&] {
        for (const auto& layer : engine->layers())
          if (layer->level() == 0) topLevel.push_back(layer);
        crop = engine->getCropDescription();
        canvas = engine->canvasSize();
      },
      true);
  if (!crop.isNone()) {
    auto description = std::make_shared<QVTCropDescription>();
    CGSize canvasSize = CGSizeMake(canvas.width, canvas.height);
    description->setImageSize(canvasSize);
    description->setCropRect(rova::cgRectFromRectROI(crop.rect(), canvasSize));
    description->setRotation(crop.rotation);
    setCropDescriptionField(description);
  }
  for (size_t i = 0; i < topLevel.size(); ++i) {
    auto layer = QVIPLayerFactory::layerWithCppLayer(topLevel[i], weakAs<QVParentLayerProtocol>(), engine);
    if (!layer) continue;
    auto image = std::dynamic_pointer_cast<QVIPImageLayer>(layer);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (i == 0 && image) {
      initialLayer_ = image;
      loadedImageState_ = uint64_t(image->loadState()) + 1;
      if (useInitialLayerAsFirst()) layerStack_.append(image);
    } else {
      layerStack_.append(layer);
    }
  }
  auto list = layers();
  if (!list.empty()) setActiveLayer(list.back(), true);
}

// ---- Initial layer ----

QVRovaProcessor::LayerPtr QVRovaProcessor::initialLayer() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return initialLayer_;
}

QVRovaProcessor::ImageLayerPtr QVRovaProcessor::initialImageLayer() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return initialLayer_;
}

QVRovaProcessor::ImageLayerPtr QVRovaProcessor::loadingLayer() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return loadingLayer_;
}

std::string QVRovaProcessor::initialLayerDefaultName() const {
  return qv::QVSLocalization::localizedStringForKey("Original Image");
}

// Loads install their layer from the processing queue while the main thread reads the model: the
// layer is attached completely before it is published under the lock, so whoever sees it as the
// initial layer sees it with this processor as parent, its engine processor and its sublayers.
// That includes its develop layer: the engine's update after a load makes the main thread ask the
// published layer for it, and a develop layer inserted there would change the sublayer list while
// the load (still on the processing queue) walks it to validate the engine's list.
void QVRovaProcessor::setInitialLayer(const ImageLayerPtr& layer) {
  if (layer) {
    if (layer == initialImageLayer()) return;
    layer->developLayer();
    layer->setProcessor(cppProcessor_);
    layer->setLevel(0);
    // Sublayers made before the layer had a processor get it now; without a parent yet this
    // records no history step and reports nothing.
    if (!layer->subLayers().empty()) layer->QVIPLayer::setLayers(layer->subLayers());
    layer->setParent(weakAs<QVParentLayerProtocol>());
  }
  ImageLayerPtr old;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (layer == initialLayer_) return;
    old = initialLayer_;
    initialLayer_ = layer;
    if (old) layerStack_.removeAll(old);
    if (layer && useInitialLayerAsFirst()) layerStack_.insert(layer, 0);
    canvasSize_ = CGSizeZero;
    ++canvasGeneration_;
    updateLoadStateFromLayer(layer);
  }
  if (old) {
    // The replaced layer stops reporting here. The main thread may still be reading it, so it is
    // detached there, unless it came back into this processor meanwhile.
    auto weak = weakSelf();
    qv::dispatchOnMainThread([weak, old] {
      auto p = weak.lock();
      if (!p || old->parent().get() != static_cast<QVParentLayerProtocol*>(p.get())) return;
      auto list = p->layers();
      if (p->initialLayer() != old && std::find(list.begin(), list.end(), old) == list.end()) old->setParent({});
    });
  }
  doRovaLayersValidation();
  postOnMainThread(kQVImageProcessorIninitialLayerUpdated);
}

void QVRovaProcessor::updateLoadStateFromLayer(const ImageLayerPtr& layer) {
  int state = layer ? layer->loadState() : -1;
  loadedImageState_ = (state >= 0 && state <= 3) ? uint64_t(state) + 1 : 0;
}

bool QVRovaProcessor::configureInitialLayer(const ImageLayerPtr& layer, const std::vector<std::string>& paths,
                                            bool fastRawPreview) {
  if (!layer || paths.empty()) return false;
  return layer->configureWithImageAtURL(paths.front(), fastRawPreview);
}

// ---- Loading ----

QVRovaProcessor::ImageLayerPtr QVRovaProcessor::loadImageFromURL(const std::string& path) {
  auto layer = std::dynamic_pointer_cast<QVIPImageLayer>(QVIPLayerFactory::layerWithUrl(path));
  if (!layer) return nullptr;
  layer->setName(initialLayerDefaultName());
  layerStack_.setActive(layer);
  dropOriginalPreviews();
  return layer;
}

void QVRovaProcessor::loadImageFromURLs(const std::vector<std::string>& paths, Completion completion) {
  loadImageFromURLs(paths, QVImageReader::isFastRawPreview(), std::move(completion));
}

void QVRovaProcessor::loadImageFromURLs(const std::vector<std::string>& paths, bool useFastRaw, Completion completion) {
  auto layer = std::dynamic_pointer_cast<QVIPImageLayer>(QVIPLayerFactory::imageLayer());
  if (!layer) layer = QVIPImageLayer::make();
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    loadingLayer_ = layer;
  }
  auto weak = weakSelf();
  // Delivered on the main thread, with nothing when the load was cancelled or the processor is gone.
  auto nothing = [completion] {
    qv::MainExecutor::shared().async([completion] {
      if (completion) completion(nullptr, nullptr, nullptr, CGSizeZero, CGRectZero);
    });
  };
  addLoadOperation(
      imageProcessingQueue(),
      [weak, layer, paths, useFastRaw, completion, nothing] {
        auto p = weak.lock();
        if (!p) return nothing();
        bool ok = p->configureInitialLayer(layer, paths, useFastRaw);
        qv::MainExecutor::shared().async([weak, layer, ok, completion] {
          auto processor = weak.lock();
          if (!processor) {
            if (completion) completion(nullptr, nullptr, nullptr, CGSizeZero, CGRectZero);
            return;
          }
          QVIPImagePtr preview, thumbnail;
          if (ok) {
            layer->setName(processor->initialLayerDefaultName());
            processor->installLoadedLayer(layer);
            preview = processor->originalLowResImage();
            thumbnail = processor->getOriginalThumbnail();
          }
          if (layer->readImageCanceled()) processor->invalid_ = true;
          {
            std::lock_guard<std::recursive_mutex> lock(processor->mutex_);
            if (processor->loadingLayer_ == layer) processor->loadingLayer_.reset();
          }
          if (completion) completion(preview, thumbnail, nullptr, CGSizeZero, CGRectZero);
        });
      },
      nothing);
}

void QVRovaProcessor::installLoadedLayer(const ImageLayerPtr& layer) {
  dropOriginalPreviews();
  setInitialLayer(layer);
  LayerPtr active = layer;
  if (!useInitialLayerAsFirst()) {
    // A fresh adjustment layer above the picture is where the user starts working.
    active = QVIPLayerFactory::layer();
    active->setName(qv::QVSLocalization::localizedStringForKey("Adjustment Layer") + " 1");
    addLayer(active);
  }
  setActiveLayer(active, true);
  postOnMainThread(kQVImageProcessorImageDidLoad);
}

void QVRovaProcessor::loadImageAtURL(const std::string& path, CGSize fitSize,
                                     std::function<void(QVIPImagePtr)> completion) {
  auto weak = weakSelf();
  auto nothing = [completion] {
    if (completion) completion(nullptr);
  };
  addLoadOperation(
      imageProcessingQueue(),
      [weak, path, fitSize, completion, nothing] {
        auto p = weak.lock();
        if (!p) return nothing();
        auto layer = std::dynamic_pointer_cast<QVIPImageLayer>(QVIPLayerFactory::imageLayer());
        if (!layer) layer = QVIPImageLayer::make();
        {
          std::lock_guard<std::recursive_mutex> lock(p->mutex_);
          p->loadingLayer_ = layer;
        }
        QVIPImagePtr fitted;
        if (p->isReducedReadForFitSize()) layer->setReadFitSize(fitSize);
        bool fastRaw = QVImageReader::isFastRawPreview();
        if (fastRaw && rova::ImageReader::instance().isRawImageFile(path)) {
          const rova::Size s = rova::ImageReader::instance().getImageSize(path);
          fastRaw = halfSizeCovers(CGSizeMake(s.width, s.height), fitSize);
        }
        std::string reason;
        const bool configured = layer->configureWithImageAtURL(path, fastRaw, &reason);
        {
          std::lock_guard<std::recursive_mutex> lock(p->mutex_);
          p->lastLoadError_ = configured ? std::string() : reason;
        }
        if (configured) {
          layer->setName(p->initialLayerDefaultName());
          p->dropOriginalPreviews();
          p->setInitialLayer(layer);
          fitted = p->imageFittingSize(fitSize);
        }
        if (layer->readImageCanceled()) p->invalid_ = true;
        {
          std::lock_guard<std::recursive_mutex> lock(p->mutex_);
          if (p->loadingLayer_ == layer) p->loadingLayer_.reset();
        }
        if (completion) completion(fitted);
      },
      nothing);
}

void QVRovaProcessor::dropOriginalPreviews() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  originalLowResImage_.reset();
  originalCroppedLowResImage_.reset();
}

rova::ImageDataRGBfPtr QVRovaProcessor::originalImageForPreview() {
  rova::ImageDataRGBfPtr data;
  auto engine = cppProcessor_;
  bool develop = !QVImageReader::isApplyRawDevelop();
  performOnImageProcessingQueue([&] { data = engine->getOriginalImageWithRawDevelop(false, develop); }, true);
  return data;
}

QVIPImagePtr QVRovaProcessor::originalLowResImage() {
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (originalLowResImage_) return originalLowResImage_;
  }
  auto data = originalImageForPreview();
  if (!data) return nullptr;
  auto image = QVIPImage::initWithImageData(data, true);
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  originalLowResImage_ = image;
  return image;
}

QVIPImagePtr QVRovaProcessor::originalCroppedLowResImage() {
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (originalCroppedLowResImage_) return originalCroppedLowResImage_;
  }
  auto image = originalLowResImage();
  if (!image) return nullptr;
  auto crop = cropDescription();
  if (crop && !crop->isIdentity()) image = image->imageWithCropRect(lowResRect(), crop->rotation());
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  originalCroppedLowResImage_ = image;
  return image;
}

std::string QVRovaProcessor::lastLoadError() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return lastLoadError_;
}

bool QVRovaProcessor::halfSizeCovers(CGSize picture, CGSize fitSize) {
  if (picture.width <= 0 || picture.height <= 0 || fitSize.width <= 0 || fitSize.height <= 0) return false;
  const rova::Size need = QVRovaHelper::pixelSize(fittingSize(picture, fitSize));
  // Half-size decodes round up.
  return std::ceil(picture.width / 2) >= need.width && std::ceil(picture.height / 2) >= need.height;
}

CGSize QVRovaProcessor::fittingSize(CGSize canvas, CGSize box) {
  if (canvas.width <= 0 || canvas.height <= 0 || box.width <= 0 || box.height <= 0) return canvas;
  double rw = canvas.width / box.width, rh = canvas.height / box.height;
  if (std::max(rw, rh) < 1) return canvas;
  if (rw > rh) return CGSizeMake(box.width, canvas.height / rw);
  return CGSizeMake(canvas.width / rh, box.height);
}

QVIPImagePtr QVRovaProcessor::imageFittingSize(CGSize size) {
  CGSize canvas = canvasSize();
  CGSize fitted = fittingSize(canvas, size);
  rova::ImageDataRGBfPtr data;
  auto engine = cppProcessor_;
  performOnImageProcessingQueue(
      [&] {
        auto image = engine->getOriginalImage();
        if (!image) return;
        if (fitted == canvas)
          data = image->imageData();
        else
          data = image->imageData(QVRovaHelper::pixelSize(fitted));
      },
      true);
  return data ? QVIPImage::initWithImageData(data, true) : nullptr;
}

// ---- Geometry and engine access ----

CGSize QVRovaProcessor::canvasSize() {
  uint64_t generation;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (canvasSize_.width != 0 || canvasSize_.height != 0) return canvasSize_;
    generation = canvasGeneration_;
  }
  rova::Size size;
  auto engine = cppProcessor_;
  performOnImageProcessingQueue([&] { size = engine->canvasSize(); }, true);
  CGSize read = CGSizeMake(size.width, size.height);
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  // A new picture installed meanwhile: the size read may be the old one's, so it is not kept.
  if (generation == canvasGeneration_) canvasSize_ = read;
  return read;
}

CGSize QVRovaProcessor::imageSize() {
  auto crop = cropDescription();
  if (crop && !crop->isIdentity()) return crop->cropRect().size;
  return canvasSize();
}

std::shared_ptr<QVTCropDescription> QVRovaProcessor::cropDescription() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return cropDescription_;
}

void QVRovaProcessor::setCropDescriptionField(std::shared_ptr<QVTCropDescription> crop) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  cropDescription_ = std::move(crop);
}

rova::ImagePtr QVRovaProcessor::originalImage() {
  rova::ImagePtr image;
  auto engine = cppProcessor_;
  performOnImageProcessingQueue([&] { image = engine->getOriginalImage(); }, true);
  return image;
}

rova::ImageDataRGBfPtr QVRovaProcessor::lastResult() {
  rova::ImageDataRGBfPtr data;
  auto engine = cppProcessor_;
  performOnImageProcessingQueue([&] { data = engine->getLastResult(); }, true);
  return data;
}

rova::ImageDataRGBfPtr QVRovaProcessor::lastResultThumbnail() {
  rova::ImageDataRGBfPtr data;
  auto engine = cppProcessor_;
  performOnImageProcessingQueue([&] { data = engine->getLastResultThumbnail(); }, true);
  return data;
}

uint64_t QVRovaProcessor::imageWidth() {
  auto data = lastResult();
  return data ? uint64_t(data->width()) : 0;
}

uint64_t QVRovaProcessor::imageHeight() {
  auto data = lastResult();
  return data ? uint64_t(data->height()) : 0;
}

QVIPImagePtr QVRovaProcessor::getOriginalThumbnail() {
  rova::ImageDataRGBfPtr data;
  auto engine = cppProcessor_;
  performOnImageProcessingQueue([&] { data = engine->getOriginalThumbnail(); }, true);
  return data ? QVIPImage::initWithImageData(data) : nullptr;
}

std::shared_ptr<QVExifInfo> QVRovaProcessor::exifInfo() const {
  auto layer = initialImageLayer();
  return layer ? layer->exifInfo() : nullptr;
}

QVIPEffectsProvider& QVRovaProcessor::effectsProvider() const { return QVIPEffectsProvider::sharedEffectsProvider(); }

// ---- Queue ----

std::shared_ptr<qv::OperationQueue> QVRovaProcessor::imageProcessingQueue() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!imageProcessingQueue_) imageProcessingQueue_ = qv::OperationQueue::make("ipq_" + description(), 1);
  return imageProcessingQueue_;
}

void QVRovaProcessor::performOnImageProcessingQueue(qv::Block block, bool sync) {
  auto queue = imageProcessingQueue();
  if (sync && qv::OperationQueue::currentQueue() == queue) return block();
  auto op = queue->addOperationWithBlock(std::move(block));
  if (sync) op->waitUntilFinished();
}

void QVRovaProcessor::setSuspendProcessing(bool suspend) { imageProcessingQueue()->setSuspended(suspend); }

// ---- Layer stack ----

std::vector<QVRovaProcessor::LayerPtr> QVRovaProcessor::layers() const { return layerStack_.layers(); }

void QVRovaProcessor::addLayer(const LayerPtr& layer) { addLayer(layer, layers().size()); }

void QVRovaProcessor::addLayer(const LayerPtr& layer, uint64_t index) {
  if (!layer) return;
  if (index > layerStack_.count()) return;
  layer->setProcessor(cppProcessor_);
  layer->setParent(weakAs<QVParentLayerProtocol>());
  layer->setLevel(0);
  layerStack_.insert(layer, size_t(index));
  layer->setCropDescription(cropDescription());
  if (!layer->subLayers().empty()) layer->setLayers(layer->subLayers());
  doRovaLayersValidation();
  if (notify_) {
    setNeedsDisplayWithInfo(qv::Dictionary{{kQVChangeTypeStateInfoKey, kQVImageProcessorLayersListDidChange}});
    postOnMainThread(kQVImageProcessorLayersListDidChange, {{kQVImageProcessorAddedLayersIndexes, qv::Value(index)}});
  }
}

QVRovaProcessor::LayerPtr QVRovaProcessor::activeLayer() const { return layerStack_.active(); }

QVRovaProcessor::LayerPtr QVRovaProcessor::editedLayer() const { return layerStack_.edited(); }

void QVRovaProcessor::setEditedLayerField(LayerPtr layer) { layerStack_.setEdited(std::move(layer)); }

void QVRovaProcessor::setActiveLayer(const LayerPtr& layer, bool skipStateDidChangeNotification) {
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!layer || layer == layerStack_.active()) return;
    if (!layerStack_.contains(layer)) return;
  }
  if (auto history = historyManager()) history->registerHistoryWithActionName(layer->name() + ": Activated");
  layerStack_.setActive(layer);
  // Mask drawing goes on on the new active layer when it can be edited; else it ends.
  if (editedLayer()) setEditedLayer(canEditLayer(layer) ? layer : nullptr);
  validateActiveLayer(skipStateDidChangeNotification);
  setNeedsDisplayWithInfo(qv::Dictionary{{kQVChangeTypeStateInfoKey, kQVImageProcessorActiveLayerDidChange}});
  postOnMainThread(kQVImageProcessorActiveLayerDidChange);
}

void QVRovaProcessor::validateActiveLayer(bool skip) {
  auto list = layers();
  auto active = activeLayer();
  size_t a = size_t(std::find(list.begin(), list.end(), active) - list.begin());
  if (a == list.size()) a = SIZE_MAX;
  for (size_t i = 0; i < list.size(); ++i) list[i]->setActive(a >= i, skip);
}

void QVRovaProcessor::moveLayer(const LayerPtr& layerRef, int64_t index) {
  LayerPtr layer = layerRef;  // the caller's reference may be an element of the list that moves
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (index < 0 || !layerStack_.canMove(layer, size_t(index))) return;
  }
  if (auto history = historyManager())
    history->registerHistoryWithActionNameAdditionalInfo(layer->name() + ": Moved To Position",
                                                         qv::Value(std::to_string(index + 1)));
  if (!layerStack_.move(layer, size_t(index))) return;
  // Moving only the layer's own engine layer would leave its engine sublayers behind: the list is
  // brought back to the walk of the model, which keeps the unchanged part below the move.
  doRovaLayersValidation();
  validateActiveLayer(false);
  postOnMainThread(kQVImageProcessorLayersArrangementDidChange);
  setNeedsDisplay();
}

void QVRovaProcessor::doRovaLayersValidation() {
  auto initial = initialLayer();
  if (!initial) return;
  auto list = layers();
  std::vector<LayerPtr> expected;
  if (std::find(list.begin(), list.end(), initial) == list.end()) expected = initial->rovaWaySublayers();
  for (const auto& layer : list) {
    auto part = layer->rovaWaySublayers();
    expected.insert(expected.end(), part.begin(), part.end());
  }
  std::vector<rova::BaseLayerPtr> wanted;
  for (const auto& layer : expected) wanted.push_back(layer->cppLayer());
  auto weak = weakSelf();
  qv::Block work = [weak, wanted] {
    auto p = weak.lock();
    if (!p || !p->cppProcessor_) return;
    auto engine = p->cppProcessor_;
    size_t i = 0, n = engine->getLayersCount();
    while (i < n && i < wanted.size() && engine->layerAtIndex(i) == wanted[i]) ++i;
    if (i < n || n < wanted.size()) {
      while (engine->getLayersCount() > i) engine->removeLayer(engine->layerAtIndex(i));
      for (size_t k = i; k < wanted.size(); ++k) {
        if (!wanted[k]) {
          QVLogError("ROVA LAYERS VALIDATION FAILED");
          p->scheduleRovaLayersValidation();
          break;
        }
        engine->addLayer(wanted[k], rova::ImageProcessor::kAppend);
      }
    }
  };
  // Loads on the processing queue install their layer there: the list must be right at once.
  auto queue = imageProcessingQueue();
  if (qv::OperationQueue::currentQueue() == queue)
    work();
  else
    queue->addOperationWithBlock(std::move(work));
}

void QVRovaProcessor::scheduleRovaLayersValidation() {
  const uint64_t number = ++scheduledValidation_;
  auto weak = weakSelf();
  qv::MainExecutor::shared().asyncAfter(double(0.2f), [weak, number] {
    auto p = weak.lock();
    if (p && p->scheduledValidation_.load() == number) p->doRovaLayersValidation();
  });
}

// ---- Notifications and counters ----

void QVRovaProcessor::setNotify(bool notify) {
  notify_ = notify;
  notificationQueue()->setAllowsSendingNotifications(notify);
}

std::shared_ptr<QVNotificationQueue> QVRovaProcessor::notificationQueue() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!notificationQueue_)
    notificationQueue_ =
        QVNotificationQueue::make(kQVImageProcessorStateDidChange, std::weak_ptr<void>(sharedAs<QVModelObject>()));
  return notificationQueue_;
}

void QVRovaProcessor::setNeedsDisplayWithInfo(const QVNotificationQueue::Info& info) {
  notificationQueue()->queueNotificationWithInfo(info);
}

void QVRovaProcessor::forcePostStateNotifications() {
  auto queue = notificationQueue();
  qv::dispatchOnMainThread([queue] { queue->forcePostDefferedNotifications(); });
}

void QVRovaProcessor::setPostStateNotificationsSuspended(bool suspended) {
  auto queue = notificationQueue();
  qv::dispatchOnMainThread([queue, suspended] { queue->setSuspended(suspended); });
}

// The counter changes on the processing queue and on the main thread; each change and the
// processing flag it implies are one step under the lock, and only a change of the flag posts.
void QVRovaProcessor::increaseProcessingCounter() {
  bool started;
  {
    std::lock_guard<std::mutex> lock(processingMutex_);
    ++processingCounter_;
    started = !processing_.exchange(true);
  }
  if (started) postOnMainThread(kQVImageProcessorDidStartProcessingNotification);
}

void QVRovaProcessor::decreaseProcessingCounter() {
  bool ended;
  {
    std::lock_guard<std::mutex> lock(processingMutex_);
    if (processingCounter_ == 0) return;
    ended = --processingCounter_ == 0 && processing_.exchange(false);
  }
  if (ended) postOnMainThread(kQVImageProcessorDidEndProcessingNotification);
}

void QVRovaProcessor::update() {
  clearCaches();
  dropOriginalPreviews();
  if (auto layer = initialImageLayer()) layer->update();
  postOnMainThread(kQVImageProcessorDidUpdate);
  setNeedsDisplay();
}

namespace {

// Change kinds and keys that layers and masks report.
constexpr const char* kLayerStateChangeType = "QVLayerDidChangeStateNotification";
constexpr const char* kLayerStateNeedProgressKey = "QVLayerDidChangeStateNeedProgress";
constexpr const char* kMaskSettingsChangeKey = "kQVLayerMaskSettingsDidChange";

}  // namespace

void QVRovaProcessor::childWillChangeState(const std::shared_ptr<QVModelObject>&, const QVChangeInfo& info) {
  if (info.changeType() != kLayerStateChangeType || !info[kLayerStateNeedProgressKey].asBool()) return;
  auto history = historyManager();
  if (!history || !history->applyingHistoryLevel()) return;
  if (needProgressForChangingState_.exchange(true)) return;
  qv::NotificationCenter::defaultCenter().post(kQVImageProcessorHardStateStartChangeNotification,
                                               sharedAs<QVModelObject>());
}

void QVRovaProcessor::childDidChangeState(const std::shared_ptr<QVModelObject>& child, const QVChangeInfo& info) {
  const std::string type = info.changeType();
  if (type == kQVLayerDidChangeSublayersNotification) {
    // A layer that leaves the tree while its mask is being drawn is no longer edited.
    if (auto edited = editedLayer()) {
      auto editedObject = std::static_pointer_cast<QVModelObject>(edited);
      bool removed = info.object(kQVModifyedLayer) == editedObject;
      if (auto it = info.objects.find(kQVModifyedLayers); it != info.objects.end())
        removed = removed || std::find(it->second.begin(), it->second.end(), editedObject) != it->second.end();
      if (removed) setEditedLayer(nullptr);
    }
  } else if (type == kQVImageLayerPositionDidChange) {
    // A sublayer moved inside a top-level layer; the initial layer has no index in the stack.
    qv::Dictionary userInfo;
    auto list = layers();
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const LayerPtr& l) { return std::static_pointer_cast<QVModelObject>(l) == child; });
    if (child && it != list.end()) userInfo[kQVSublayersIndexes] = qv::Array{qv::Value(uint64_t(it - list.begin()))};
    postOnMainThread(kQVImageProcessorFiltersArrangementDidChange, std::move(userInfo));
  }
  if (info.contains(kMaskSettingsChangeKey)) previewsCache()->removeAllObjects();
  if (type == kQVLayerDidChangeSublayersNotification) doRovaLayersValidation();
  if (!notify()) return;
  if (isNotifyAsync())
    setNeedsDisplayWithInfo(info.values);
  else
    notificationQueue()->forcePostNotificationWithInfo(info.values);
}

// ---- Rendering, caches and cancellation (the renderer's) ----

std::string QVRovaProcessor::renderSettingsText(const QVIPProcessParams& params) const {
  return renderer_->renderSettingsText(params);
}

std::string QVRovaProcessor::renderKey(const QVIPProcessParams& params) const { return renderer_->renderKey(params); }

std::string QVRovaProcessor::stateID() { return renderer_->defaultStateID(); }

std::shared_ptr<QVRovaCache> QVRovaProcessor::previewsCache() { return renderer_->previewsCache(); }

std::shared_ptr<QVRovaCache> QVRovaProcessor::originalRoiCache() { return renderer_->originalRoiCache(); }

std::shared_ptr<QVRovaCache> QVRovaProcessor::thumbnailsCache() { return renderer_->thumbnailsCache(); }

void QVRovaProcessor::clearCaches() { renderer_->clearCaches(); }

QVRovaProcessor::OperationPtr QVRovaProcessor::operationForProcessImageWithParams(
    const std::shared_ptr<QVIPProcessParams>& params, Completion completion) {
  return renderer_->operationForProcessImageWithParams(params, std::move(completion));
}

QVRovaProcessor::OperationPtr QVRovaProcessor::operationForProcessImageRect(CGRect rect, CGSize fitSize,
                                                                            int64_t colorspace, int64_t depth,
                                                                            bool applyCrop, Completion completion) {
  return renderer_->operationForProcessImageRect(rect, fitSize, colorspace, depth, applyCrop, std::move(completion));
}

QVRovaProcessor::OperationPtr QVRovaProcessor::operationForProcessImageRect(
    CGRect rect, CGSize fitSize, int64_t colorspace, int64_t depth, bool applyCrop, bool disableShowMask,
    bool disableHotPixels, bool disableColdPixels, bool disableCache, bool obtainOriginalRoi, bool async,
    bool runCallbackInBackground, Completion completion) {
  return renderer_->operationForProcessImageRect(rect, fitSize, colorspace, depth, applyCrop, disableShowMask,
                                                 disableHotPixels, disableColdPixels, disableCache, obtainOriginalRoi,
                                                 async, runCallbackInBackground, std::move(completion));
}

void QVRovaProcessor::processImageWithParams(const std::shared_ptr<QVIPProcessParams>& params, Completion completion) {
  renderer_->processImageWithParams(params, std::move(completion));
}

void QVRovaProcessor::processImageRect(CGRect rect, CGSize fitSize, Completion completion) {
  renderer_->processImageRect(rect, fitSize, std::move(completion));
}

void QVRovaProcessor::processImageRect(CGRect rect, CGSize fitSize, int64_t colorspace, int64_t depth,
                                       bool obtainOriginalRoi, bool async, Completion completion) {
  renderer_->processImageRect(rect, fitSize, colorspace, depth, obtainOriginalRoi, async, std::move(completion));
}

void QVRovaProcessor::processFullSizeImageWithColorspace(int64_t colorspace, int64_t depth, Completion completion) {
  processFullSizeImageWithColorspace(colorspace, imageSize(), depth, false, false, false, false, true,
                                     std::move(completion));
}

void QVRovaProcessor::processFullSizeImageWithColorspace(int64_t colorspace, CGSize newSize, int64_t depth,
                                                         bool disableShowMask, bool disableHotPixels,
                                                         bool disableColdPixels, bool disableCache, bool async,
                                                         Completion completion) {
  renderer_->processFullSizeImageWithColorspace(colorspace, newSize, depth, disableShowMask, disableHotPixels,
                                                disableColdPixels, disableCache, async, std::move(completion));
}

void QVRovaProcessor::processNotCroppedFullSizeImageWithColorspace(int64_t colorspace, CGSize newSize, int64_t depth,
                                                                   bool disableShowMask, bool disableHotPixels,
                                                                   bool disableColdPixels, bool disableCache,
                                                                   bool async, Completion completion) {
  renderer_->processNotCroppedFullSizeImageWithColorspace(colorspace, newSize, depth, disableShowMask, disableHotPixels,
                                                          disableColdPixels, disableCache, async,
                                                          std::move(completion));
}

CGSize QVRovaProcessor::lowResFitSize(CGSize size) { return QVRovaProcessorRenderer::lowResFitSize(size); }

void QVRovaProcessor::processLowResAndClampResult(bool clamp, bool async, Completion completion) {
  renderer_->processLowResAndClampResult(clamp, async, std::move(completion));
}

void QVRovaProcessor::processOriginalLowResAndClampResult(Completion completion) {
  renderer_->processOriginalLowResAndClampResult(std::move(completion));
}

QVIPImagePtr QVRovaProcessor::obtainOriginalRoiFromLayer(const rova::BaseLayerPtr& layer, bool) {
  return renderer_->originalRoiFromLayer(layer);
}

QVRovaProcessor::OperationPtr QVRovaProcessor::processImageRectOperation() const {
  return renderer_->operation(QVRovaProcessorRenderer::Kind::ImageRect);
}

void QVRovaProcessor::cancelImageProcessingOperations() { renderer_->cancelImageProcessingOperations(); }

void QVRovaProcessor::cancelProcessingQueue() {
  cancelImageProcessingOperations();
  if (auto loading = loadingLayer()) loading->setReadImageCanceled(true);
  auto queue = imageProcessingQueue();
  queue->setSuspended(true);
  queue->cancelAllOperations();
  queue->setSuspended(false);
}

void QVRovaProcessor::cancelProcessingOperationsAndCompletions() {
  renderer_->cancelProcessingOperationsAndCompletions();
}

// ---- Saved state and history (the state store's) ----

void QVRovaProcessor::setHistoryManager(std::weak_ptr<QVHistoryManagerProtocol> history) {
  stateStore_->setHistoryManager(std::move(history));
}

void QVRovaProcessor::historyManagerSaveStateForHistoryWithUUID(QVHistoryManagerProtocol& manager,
                                                                const std::string& uuid,
                                                                QVHistoryManagerDelegate::Completion completion) {
  stateStore_->saveState(manager, uuid, std::move(completion));
}

void QVRovaProcessor::historyManagerRestoreStateForUUID(QVHistoryManagerProtocol& manager, const std::string& uuid,
                                                        QVHistoryManagerDelegate::Completion completion) {
  stateStore_->restoreState(manager, uuid, std::move(completion));
}

void QVRovaProcessor::historyManagerRemoveStateForUUID(QVHistoryManagerProtocol& manager, const std::string& uuid) {
  stateStore_->removeState(manager, uuid);
}

std::optional<std::vector<std::string>> QVRovaProcessor::historyManagerAllTexturesFromStateUUID(
    QVHistoryManagerProtocol&, const std::string& uuid) {
  return allTexturesFromStateUUID(uuid).value_or(std::vector<std::string>{});
}

std::optional<std::vector<std::string>> QVRovaProcessor::allTexturesFromStateUUID(const std::string& uuid) {
  return stateStore_->allTexturesFromStateUUID(uuid);
}

qv::Array QVRovaProcessor::allSublayersForLayers(const qv::Array& entries) {
  return QVRovaProcessorStateStore::allSublayersForLayers(entries);
}

QVRovaProcessor::LayerPtr QVRovaProcessor::findLayerWithState(const std::shared_ptr<QVLayerStateModelProtocol>& state,
                                                              const std::vector<LayerPtr>& list) {
  return QVRovaProcessorStateStore::findLayerWithState(state, list);
}

void QVRovaProcessor::updateWithNotifyAsync(const std::function<void()>& block) {
  enableNotifyAsync();
  if (block) block();
  disableNotifyAsync();
}

// ---- Memory and geometry ----

void QVRovaProcessor::clearMemory() {
  clearCaches();
  dropOriginalPreviews();
  auto weak = weakSelf();
  performOnImageProcessingQueue(
      [weak] {
        if (auto p = weak.lock()) p->cppProcessor()->clearCache();
      },
      false);
}

void QVRovaProcessor::reset() {
  if (auto initial = initialLayer()) initial->reset();
  for (const auto& layer : layers()) layer->reset();
}

CGSize QVRovaProcessor::lowResSize() {
  CGSize canvas = canvasSize();
  return CGSizeMake(std::floor(canvas.width * lowResScale()), std::floor(canvas.height * lowResScale()));
}

CGRect QVRovaProcessor::lowResRect() const {
  auto crop = cropDescription();
  if (!crop) return CGRectZero;
  CGRect r = crop->cropRect();
  const double s = lowResScale();
  return CGRectMake(std::floor(r.origin.x * s), std::floor(r.origin.y * s), std::floor(r.size.width * s),
                    std::floor(r.size.height * s));
}

void QVRovaProcessor::updateCropRect(CGRect rect) {
  const rova::RectRoi region = rova::truncated(rova::rectRoiFromCGRect(rect, canvasSize()));
  auto weak = weakSelf();
  performOnImageProcessingQueue(
      [weak, region] {
        if (auto p = weak.lock()) p->cppProcessor()->setCropRect(region);
      },
      false);
}
