// The render path of the processor: request records become operations on the processing queue,
// answered from the result caches or rendered by the engine, and delivered to their completions.
#include "QVCore/ImageProcessing/Processor/QVRovaProcessorRenderer.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "QVCore/Categories/NSAffineTransform+Addition.h"
#include "QVCore/ImageProcessing/Base/QVLayerStateModelProtocol.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"
#include "QVCore/ImageProcessing/RovaBridge/QVRovaHelper.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"

namespace {

// Numbers as the platform's rectangle and size texts write them: the shortest form that reads back.
std::string numberText(double v) {
  if (v == 0) v = 0;  // no "-0"
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, result.ptr);
}

std::string sizeText(CGSize s) { return "{" + numberText(s.width) + ", " + numberText(s.height) + "}"; }

std::string rectText(CGRect r) {
  return "{{" + numberText(r.origin.x) + ", " + numberText(r.origin.y) + "}, " + sizeText(r.size) + "}";
}

// `defaultParams` for a region, fit size, colour space and depth.
std::shared_ptr<QVIPProcessParams> rectParams(CGRect rect, CGSize fitSize, int64_t colorspace, int64_t depth) {
  auto params = QVIPProcessParams::defaultParams();
  params->setRect(rect);
  params->setFitSize(fitSize);
  params->setColorspace(colorspace);
  params->setDepth(depth);
  return params;
}

// Set while the processing queue builds the render that takes the engine's crop away for once:
// the cache keys follow the model, whose crop stays, so that render must neither answer from nor
// fill the result caches (a later cropped render of the same size would get the uncropped picture).
thread_local bool buildingUncroppedRender = false;

void deliverNothing(const QVRovaProcessorRenderer::Completion& completion) {
  if (completion) completion(nullptr, nullptr, nullptr, CGSizeZero, CGRectZero);
}

// Hands a delivery over the way the request asks for: on the rendering thread, to a waiting
// caller on the main thread, or on the main thread (waiting for it when the render is not async).
void deliverAsAsked(const QVIPProcessParams& params, const std::shared_ptr<qv::Block>& deferred, qv::Block deliver) {
  if (params.runCallbackInBackground())
    deliver();
  else if (deferred)
    *deferred = std::move(deliver);
  else if (!params.isAsync())
    qv::dispatchSyncOnMainThread(deliver);
  else
    qv::dispatchOnMainThread(std::move(deliver));
}

}  // namespace

QVRovaProcessorRenderer::QVRovaProcessorRenderer(QVRovaProcessor& owner) : owner_(owner) {}

QVRovaProcessorRenderer::~QVRovaProcessorRenderer() {
  for (const auto& op : slots_)
    if (op) {
      op->cancel();
      op->interruptProcessing();
    }
}

// ---- Keys ----

std::string QVRovaProcessorRenderer::renderSettingsText(const QVIPProcessParams& params) const {
  std::string text = std::to_string(params.colorspace()) + ":" + std::to_string(params.depth()) + ":" +
                     std::to_string(owner_.orientation());
  if (params.applyCrop()) {
    text += ":1";
    auto crop = owner_.cropDescription();
    if (crop && !crop->isIdentity()) text += ":" + qv::md5(crop->cropDescriptionDictionary().description());
  }
  text += std::string(":") + (params.disableShowMask() ? "1" : "0") + ":" + (params.disableHotPixels() ? "1" : "0") +
          ":" + (params.disableColdPixels() ? "1" : "0") + ":" + std::to_string(owner_.overlayPixelsType());
  return text;
}

std::string QVRovaProcessorRenderer::renderKey(const QVIPProcessParams& params) const {
  return rectText(params.rect()) + ":" + sizeText(params.fitSize()) + "_" + renderSettingsText(params);
}

// The state the caches are keyed on: every layer's saved-state hash (the initial layer first, then
// the stack in order), the clipping marks and the active layer's place. Layers hold their state
// record until they change, so an unchanged stack costs one digest per layer. Read on the caller's
// (model) thread when the render is built: the render runs after the engine work of every model
// change made before it, so the key matches what the engine renders.
std::string QVRovaProcessorRenderer::defaultStateID() const {
  auto hashOf = [](const std::shared_ptr<QVIPLayer>& layer) -> std::string {
    auto state = layer ? layer->state() : nullptr;
    return state ? state->stateHash() : std::string();
  };
  std::string text = hashOf(owner_.initialLayer());
  const auto list = owner_.layers();
  for (const auto& layer : list) text += ":" + hashOf(layer);
  text += std::string(":") + (owner_.showHotPixels() ? "1" : "0") + ":" + (owner_.showColdPixels() ? "1" : "0");
  const auto active = owner_.activeLayer();
  if (auto it = std::find(list.begin(), list.end(), active); active && it != list.end())
    text += ":" + std::to_string(it - list.begin());
  return text;
}

// ---- Caches ----

std::shared_ptr<QVRovaCache> QVRovaProcessorRenderer::cache(std::shared_ptr<QVRovaCache>& field) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!field) field = QVRovaCache::make();
  return field;
}

std::shared_ptr<QVRovaCache> QVRovaProcessorRenderer::previewsCache() { return cache(previewsCache_); }

std::shared_ptr<QVRovaCache> QVRovaProcessorRenderer::originalRoiCache() { return cache(originalRoiCache_); }

std::shared_ptr<QVRovaCache> QVRovaProcessorRenderer::thumbnailsCache() { return cache(thumbnailsCache_); }

void QVRovaProcessorRenderer::clearCaches() {
  previewsCache()->removeAllObjects();
  originalRoiCache()->removeAllObjects();
  thumbnailsCache()->removeAllObjects();
}

// ---- The operation ----

QVRovaProcessorRenderer::OperationPtr QVRovaProcessorRenderer::operationForProcessImageWithParams(
    const std::shared_ptr<QVIPProcessParams>& params, Completion completion) {
  return makeRenderOperation(params, std::move(completion), nullptr);
}

QVRovaProcessorRenderer::OperationPtr QVRovaProcessorRenderer::makeRenderOperation(
    const std::shared_ptr<QVIPProcessParams>& params, Completion completion,
    const std::shared_ptr<qv::Block>& deferred) {
  if (!params || !owner_.initialLayer() || CGRectIsEmpty(params->rect())) {
    deliverNothing(completion);
    return nullptr;
  }
  bool useCaches = !owner_.editedLayer() && !owner_.isLocalCacheDisabled() && !buildingUncroppedRender;
  std::string key = renderKey(*params);
  std::string settings = renderSettingsText(*params);
  bool lowRes = owner_.isLowResMode(), quickPreview = owner_.isQuickPreviewMode(), exportMode = owner_.isExportMode();
  // The engine's low-resolution, quick-preview and export paths make different pictures of one
  // state and request: each files its results apart.
  std::string state;
  if (useCaches)
    state = owner_.stateID() + ":" + (lowRes ? "1" : "0") + (quickPreview ? "1" : "0") + (exportMode ? "1" : "0");
  // The region key follows the picture's placement and, when the develop layer has sublayers of its
  // own, their settings; the layer tree is read here, on the caller's (model) thread.
  std::string regionKeyBase = QVRovaCache::originalRoiKey(key);
  rova::BaseLayerPtr regionEngineLayer;
  if (auto initial = owner_.initialImageLayer()) {
    if (auto transform = initial->affineTransform())
      regionKeyBase += "_" + qv::md5(NSAffineTransformAddition::dictionary(*transform).description());
    auto subs = initial->subLayers();
    if (!subs.empty() && !subs.front()->subLayers().empty()) {
      regionEngineLayer = subs.front()->subLayers().front()->cppLayer();
      if (!regionEngineLayer) regionKeyBase += "_0";
    }
  }

  auto op = QVIPProcessOperation::make();
  if (owner_.isWorkInBackground()) op->setQualityOfService(qv::QualityOfService::Background);
  auto weak = owner_.weakAs<QVRovaProcessor>();
  std::weak_ptr<QVIPProcessOperation> weakOp = op;
  // A render that is cancelled before it starts (its block then never runs) or whose processor is
  // gone still answers once, with nothing, so whoever waits for it is released; unless its
  // completion was cancelled too. A caller waiting on the main thread (`deferred`) is answered by
  // queueKind after its wait.
  auto started = std::make_shared<std::atomic<bool>>(false);
  auto answerNothing = [params, completion, deferred](const QVIPProcessOperation& render) {
    if (render.cancelCompletion() || !completion) return;
    deliverAsAsked(*params, deferred, [completion] { deliverNothing(completion); });
  };
  if (!deferred)
    op->addFinishObserver([started, weakOp, answerNothing] {
      auto self = weakOp.lock();
      if (self && !started->load()) answerNothing(*self);
    });
  op->addExecutionBlock([=] {
    started->store(true);
    auto p = weak.lock();
    auto self = weakOp.lock();
    if (!self) return;
    if (!p || self->isCancelled()) return answerNothing(*self);
    p->renderer().runRender(self, params, completion, {useCaches, lowRes, quickPreview, exportMode, state}, key,
                            settings, regionKeyBase, regionEngineLayer, deferred);
  });
  return op;
}

void QVRovaProcessorRenderer::runRender(const std::shared_ptr<QVIPProcessOperation>& op,
                                        const std::shared_ptr<QVIPProcessParams>& params, const Completion& completion,
                                        RenderModes modes, const std::string& key, const std::string& settings,
                                        const std::string& regionKeyBase, const rova::BaseLayerPtr& regionEngineLayer,
                                        const std::shared_ptr<qv::Block>& deferred) {
  const bool useCaches = modes.useCaches, lowRes = modes.lowRes, quickPreview = modes.quickPreview,
             exportMode = modes.exportMode;
  owner_.increaseProcessingCounter();
  auto engine = owner_.cppProcessor();
  QVIPImagePtr image, thumbnail, region;
  std::string previewKey, thumbnailKey;
  bool needRender = true;
  if (useCaches) {
    previewKey = QVRovaCache::previewKey(modes.state, key);
    thumbnailKey = QVRovaCache::thumbnailKey(modes.state, settings);
    image = previewsCache()->cachedObjectForKey<QVIPImage>(previewKey);
    thumbnail = thumbnailsCache()->cachedObjectForKey<QVIPImage>(thumbnailKey);
    needRender = !image || !thumbnail;
  }

  // The unprocessed region depends on the develop layer's deeper settings too (read here, on the
  // queue, where the engine layer is current).
  std::string regionKey = regionKeyBase;
  if (regionEngineLayer) {
    char hash[32];
    std::snprintf(hash, sizeof hash, "%016" PRIx64, regionEngineLayer->stateHash());
    regionKey += std::string("_") + hash + "_" + (quickPreview ? "quickPreivew_YES" : "quickPreview_NO");
  }

  bool impossible = false;
  if (needRender && !op->isCancelled()) {
    // The reference frame: the crop's when the render asks for it and there is one.
    rova::Size canvas = engine->canvasSize();
    CGSize reference = CGSizeMake(canvas.width, canvas.height);
    rova::CropDescription crop = engine->getCropDescription();
    if (params->applyCrop() && !crop.isNone()) reference = CGSizeMake(crop.width, crop.height);
    rova::RectRoiF region2 = rova::rectRoiFromCGRect(params->rect(), reference.height);
    rova::RectRoiF frame{0, 0, reference.width, reference.height};
    if (!frame.contains(region2)) region2 = region2.intersection(frame);
    // The engine reads a zero region as "the whole frame"; a request wholly outside the picture
    // must not become a render of all of it.
    if (region2.isEmpty()) {
      impossible = true;
    } else {
      rova::BaseLayerPtr savedMask;
      bool savedHot = engine->showHotPixels(), savedCold = engine->showColdPixels();
      if (params->disableShowMask()) {
        savedMask = engine->showMaskLayer();
        engine->setShowMaskLayer(nullptr);
      }
      if (params->disableHotPixels()) engine->setShowHotPixels(false);
      if (params->disableColdPixels()) engine->setShowColdPixels(false);
      rova::ImageProcessorSettings request;
      request.region = region2;
      request.reserved = {};
      request.outputSize = QVRovaHelper::pixelSize(params->fitSize());
      request.applyCrop = params->applyCrop();
      request.lowRes = lowRes;
      request.useCache = !params->disableCache();
      request.exportMode = exportMode;
      request.consumeSource = exportMode && !request.useCache && owner_.isSingleRender();
      request.quickPreview = quickPreview;
      request.interrupted = op->processingInterrupted();
      bool ok = engine->startProcessing(request);
      rova::ImageDataRGBfPtr result = ok ? engine->getLastResult() : nullptr;
      if (params->disableShowMask()) engine->setShowMaskLayer(savedMask);
      engine->setShowHotPixels(savedHot);
      engine->setShowColdPixels(savedCold);
      if (!result) {
        impossible = true;
        if (!op->isProcessingInterrupted()) QVLogError("The engine made no result for the render %s", key.c_str());
      } else {
        int64_t colorspace =
            exportMode ? params->colorspace() : QVRovaHelper::colorSpaceForColorProfileType(result->colorProfileType());
        bool clamp = params->clampResult();
        image = QVIPImage::initWithImageData(result, colorspace, uint64_t(params->depth()), clamp);
        if (exportMode && image) image->setBitmapForFile(true);
        // An export's result goes to a file, not to a screen: no thumbnail (it cost a shrink of the
        // whole full-size result).
        if (!thumbnail && !exportMode && !op->isCancelled())
          if (auto small = engine->getLastResultThumbnail())
            thumbnail = QVIPImage::initWithImageData(small, colorspace, uint64_t(params->depth()), clamp);
        // An export that asked for no cache is a one-off: the result image is the only copy kept,
        // so its bitmap conversion can free the float picture.
        if (exportMode && !request.useCache) engine->releaseLastResult();
      }
    }
  }

  if (params->obtainOriginalRoi() && !op->isProcessingInterrupted() && !impossible) {
    region = originalRoiCache()->cachedObjectForKey<QVIPImage>(regionKey);
    if (!region) region = owner_.obtainOriginalRoiFromLayer(engine->layerAtIndex(0), quickPreview);
  }

  auto weak = owner_.weakAs<QVRovaProcessor>();
  qv::Block deliver = [weak, op, params, completion, useCaches, image, thumbnail, region, previewKey, thumbnailKey,
                       regionKey, impossible] {
    auto p = weak.lock();
    if (!p) return;
    if (op->isProcessingInterrupted() || impossible) {
      deliverNothing(completion);
    } else {
      auto& renderer = p->renderer();
      if (region) renderer.originalRoiCache()->cacheObject(region, regionKey);
      if (useCaches) {
        if (image) renderer.previewsCache()->cacheObject(image, previewKey);
        if (thumbnail) renderer.thumbnailsCache()->cacheObject(thumbnail, thumbnailKey);
      }
      if (!op->cancelCompletion() && completion)
        completion(image, thumbnail, region, params->fitSize(), params->rect());
    }
    p->decreaseProcessingCounter();
  };
  deliverAsAsked(*params, deferred, std::move(deliver));
}

QVIPImagePtr QVRovaProcessorRenderer::originalRoiFromLayer(const rova::BaseLayerPtr& layer) {
  QVIPImagePtr image;
  owner_.performOnImageProcessingQueue(
      [&] {
        auto imageLayer = std::dynamic_pointer_cast<rova::ImageLayer>(layer);
        if (!imageLayer || imageLayer->kind() != rova::kLayerKindImage) return;
        if (auto working = imageLayer->getWorkingImage())
          image = QVIPImage::initWithImageData(working->copy(), 0, 16, true);
      },
      true);
  return image;
}

// ---- Queued renders ----

void QVRovaProcessorRenderer::queueKind(Kind kind, const std::shared_ptr<QVIPProcessParams>& params,
                                        Completion completion, bool wait) {
  const size_t slot = size_t(kind);
  OperationPtr previous;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    previous = slots_[slot];
  }
  // Latest wins: the previous render of this kind never starts, or stops inside the engine.
  if (previous) {
    previous->cancel();
    previous->interruptProcessing();
  }
  auto queue = owner_.imageProcessingQueue();
  bool onQueue = qv::OperationQueue::currentQueue() == queue;
  // A caller on the main thread that waits for a main-thread delivery runs the delivery itself.
  std::shared_ptr<qv::Block> deferred;
  if (wait && !params->runCallbackInBackground() && qv::MainExecutor::shared().isMainThread())
    deferred = std::make_shared<qv::Block>();
  auto holder = std::make_shared<std::weak_ptr<QVIPProcessOperation>>();
  auto weak = owner_.weakAs<QVRovaProcessor>();
  Completion forward = [weak, holder, slot, completion](QVIPImagePtr image, QVIPImagePtr thumbnail, QVIPImagePtr region,
                                                        CGSize fitSize, CGRect rect) {
    if (completion) completion(std::move(image), std::move(thumbnail), std::move(region), fitSize, rect);
    auto p = weak.lock();
    auto op = holder->lock();
    if (!p || !op) return;
    auto& renderer = p->renderer();
    std::lock_guard<std::mutex> lock(renderer.mutex_);
    if (renderer.slots_[slot] == op) renderer.slots_[slot].reset();
  };
  auto op = makeRenderOperation(params, forward, deferred);
  if (!op) return;
  *holder = op;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slots_[slot] = op;
  }
  if (onQueue && wait) {
    // Waiting on the serial queue from inside it would never end: run the render here.
    op->start();
  } else {
    queue->addOperation(op);
    if (wait) op->waitUntilFinished();
  }
  // The delivery holds the operation, whose block holds this slot: empty it so neither outlives the call.
  if (deferred && *deferred) {
    qv::Block deliver = std::move(*deferred);
    *deferred = nullptr;
    deliver();
  }
}

void QVRovaProcessorRenderer::processImageWithParams(const std::shared_ptr<QVIPProcessParams>& params,
                                                     Completion completion) {
  if (!params) return;
  CGRect requested = params->rect();
  Completion forward = [completion, requested](QVIPImagePtr image, QVIPImagePtr thumbnail, QVIPImagePtr region,
                                               CGSize fitSize, CGRect) {
    if (completion) completion(std::move(image), std::move(thumbnail), std::move(region), fitSize, requested);
  };
  queueKind(Kind::ImageRect, params, std::move(forward), !params->isAsync());
}

void QVRovaProcessorRenderer::processImageRect(CGRect rect, CGSize fitSize, Completion completion) {
  auto params = rectParams(rect, fitSize, 1, 16);
  params->setApplyCrop(false);
  params->setDisableCache(true);
  params->setObtainOriginalRoi(false);
  params->setIsAsync(true);
  params->setRunCallbackInBackground(true);
  queueKind(Kind::ImageRect, params, std::move(completion), false);
}

void QVRovaProcessorRenderer::processImageRect(CGRect rect, CGSize fitSize, int64_t colorspace, int64_t depth,
                                               bool obtainOriginalRoi, bool async, Completion completion) {
  auto params = rectParams(rect, fitSize, colorspace, depth);
  params->setObtainOriginalRoi(obtainOriginalRoi);
  params->setIsAsync(async);
  params->setApplyCrop(true);
  params->setClampResult(true);
  processImageWithParams(params, std::move(completion));
}

QVRovaProcessorRenderer::OperationPtr QVRovaProcessorRenderer::operationForProcessImageRect(
    CGRect rect, CGSize fitSize, int64_t colorspace, int64_t depth, bool applyCrop, Completion completion) {
  auto params = rectParams(rect, fitSize, colorspace, depth);
  params->setApplyCrop(applyCrop);
  return operationForProcessImageWithParams(params, std::move(completion));
}

QVRovaProcessorRenderer::OperationPtr QVRovaProcessorRenderer::operationForProcessImageRect(
    CGRect rect, CGSize fitSize, int64_t colorspace, int64_t depth, bool applyCrop, bool disableShowMask,
    bool disableHotPixels, bool disableColdPixels, bool disableCache, bool obtainOriginalRoi, bool async,
    bool runCallbackInBackground, Completion completion) {
  auto params = rectParams(rect, fitSize, colorspace, depth);
  params->setApplyCrop(applyCrop);
  params->setDisableShowMask(disableShowMask);
  params->setDisableHotPixels(disableHotPixels);
  params->setDisableColdPixels(disableColdPixels);
  params->setDisableCache(disableCache);
  params->setObtainOriginalRoi(obtainOriginalRoi);
  params->setIsAsync(async);
  params->setRunCallbackInBackground(runCallbackInBackground);
  return operationForProcessImageWithParams(params, std::move(completion));
}

void QVRovaProcessorRenderer::processFullSizeImageWithColorspace(int64_t colorspace, CGSize newSize, int64_t depth,
                                                                 bool disableShowMask, bool disableHotPixels,
                                                                 bool disableColdPixels, bool disableCache, bool async,
                                                                 Completion completion) {
  CGSize size = owner_.imageSize();
  auto params = rectParams(CGRectMake(0, 0, size.width, size.height), newSize, colorspace, depth);
  params->setApplyCrop(true);
  params->setDisableShowMask(disableShowMask);
  params->setDisableHotPixels(disableHotPixels);
  params->setDisableColdPixels(disableColdPixels);
  params->setDisableCache(disableCache);
  params->setObtainOriginalRoi(false);
  params->setIsAsync(async);
  params->setRunCallbackInBackground(false);
  queueKind(Kind::FullSize, params, std::move(completion), false);
}

void QVRovaProcessorRenderer::processNotCroppedFullSizeImageWithColorspace(int64_t colorspace, CGSize newSize,
                                                                           int64_t depth, bool disableShowMask,
                                                                           bool disableHotPixels,
                                                                           bool disableColdPixels, bool disableCache,
                                                                           bool async, Completion completion) {
  auto weak = owner_.weakAs<QVRovaProcessor>();
  owner_.performOnImageProcessingQueue(
      [weak, colorspace, newSize, depth, disableShowMask, disableHotPixels, disableColdPixels, disableCache,
       completion = std::move(completion)]() mutable {
        auto self = weak.lock();
        if (!self || !self->cppProcessor()) return;
        const rova::CropDescription saved = self->cppProcessor()->getCropDescription();
        self->cppProcessor()->setCropDescription(rova::CropDescriptionNone);
        auto restore = [weak, saved, completion = std::move(completion)](QVIPImagePtr image, QVIPImagePtr thumbnail,
                                                                         QVIPImagePtr originalRoi, CGSize fitSize,
                                                                         CGRect rect) {
          if (auto owner = weak.lock()) {
            owner->performOnImageProcessingQueue(
                [weak, saved] {
                  if (auto p = weak.lock(); p && p->cppProcessor()) p->cppProcessor()->setCropDescription(saved);
                },
                true);
          }
          if (completion) completion(image, thumbnail, originalRoi, fitSize, rect);
        };
        // The render is queued behind this block, so it sees the crop taken away. It never waits:
        // a wait here, on the processing queue, would hold the crop away from every other render.
        buildingUncroppedRender = true;
        self->processFullSizeImageWithColorspace(colorspace, newSize, depth, disableShowMask, disableHotPixels,
                                                 disableColdPixels, disableCache, true, std::move(restore));
        buildingUncroppedRender = false;
      },
      false);
}

CGSize QVRovaProcessorRenderer::lowResFitSize(CGSize size) {
  float longest = float(std::max(size.width, size.height));
  if (longest <= 0) return CGSizeZero;
  float s = std::min(1.0f, 1700.0f / longest);
  return CGSizeMake(std::round(size.width * double(s)), std::round(size.height * double(s)));
}

void QVRovaProcessorRenderer::processLowResAndClampResult(bool clamp, bool async, Completion completion) {
  CGSize size = owner_.imageSize();
  auto params = QVIPProcessParams::defaultParams();
  params->setRect(CGRectMake(0, 0, size.width, size.height));
  params->setFitSize(lowResFitSize(size));
  params->setDepth(8);
  params->setApplyCrop(true);
  params->setObtainOriginalRoi(true);
  params->setClampResult(clamp);
  params->setIsAsync(async);
  queueKind(Kind::LowRes, params, std::move(completion), !async);
}

void QVRovaProcessorRenderer::processOriginalLowResAndClampResult(Completion completion) {
  CGSize size = owner_.canvasSize();
  auto params = QVIPProcessParams::defaultParams();
  params->setRect(CGRectMake(0, 0, size.width, size.height));
  params->setFitSize(lowResFitSize(size));
  params->setClampResult(true);
  queueKind(Kind::OriginalLowRes, params, std::move(completion), false);
}

// ---- Cancellation ----

QVRovaProcessorRenderer::OperationPtr QVRovaProcessorRenderer::operation(Kind kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return slots_[size_t(kind)];
}

void QVRovaProcessorRenderer::cancelImageProcessingOperations() {
  std::vector<OperationPtr> cancelled;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& slot : slots_)
      if (slot) {
        cancelled.push_back(slot);
        slot.reset();
      }
  }
  for (const auto& op : cancelled) {
    op->cancel();
    op->interruptProcessing();
  }
}

void QVRovaProcessorRenderer::cancelProcessingOperationsAndCompletions() {
  for (const auto& op : owner_.imageProcessingQueue()->operations())
    if (auto render = std::dynamic_pointer_cast<QVIPProcessOperation>(op)) {
      render->setCancelCompletion(true);
      render->cancel();
    }
}
