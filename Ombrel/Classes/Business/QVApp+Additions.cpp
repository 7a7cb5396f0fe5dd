// The facade's image interface, effect strength, cancellation and cleaning.
#include <algorithm>
#include <atomic>
#include <chrono>

#include "Ombrel/Classes/Basic/QVCallbackOperation.h"
#include "Ombrel/Classes/Basic/QVQueueManager.h"
#include "Ombrel/Classes/Business/Cache/QVCacheManager.h"
#include "Ombrel/Classes/Business/Presets/QVEffectsPresetManager.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Business/QVAppSettings.h"
#include "Ombrel/Classes/Business/QVImageSettingsManager.h"
#include "Ombrel/Classes/Business/QVProcessingManager.h"
#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "QVPlatform/Dispatch.h"
#include "QVPlatform/ImageIO/NSImageAdditions.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/NotificationCenter.h"

namespace {
using ImageCompletion = QVApp::ImageCompletion;
using ProcessingCompletion = QVApp::ProcessingCompletion;

constexpr int64_t kPreview = 1;
constexpr int64_t kFullSize = 2;
constexpr int64_t kLensedPreview = 3;
constexpr uint64_t kBlurredCacheType = 5;
constexpr double kBlurRadius = 3.0;
}  // namespace

// ---- Cache reads ----

NSImageRef QVApp::blurredImageAtPath(const std::string& path) { return QVCacheManager::cachedBlurredImageAtPath(path); }

NSImageRef QVApp::processedImageAtPath(const std::string& path, int64_t imageType) {
  if (isPhotosExtension()) return nullptr;
  return QVCacheManager::cachedProcessedImageAtPath(path, uint64_t(imageType));
}

NSImageRef QVApp::originalImageAtPath(const std::string& path, int64_t imageType) {
  return QVCacheManager::cachedOriginalImageAtPath(path, uint64_t(imageType));
}

NSImageRef QVApp::lensedPreviewAtPath(const std::string& path) { return originalImageAtPath(path, kLensedPreview); }

// ---- Loading ----

void QVApp::loadImageAtPath(const std::string& path, int64_t imageType, ImageCompletion completion) {
  if (auto cached = originalImageAtPath(path, imageType)) {
    if (completion) completion(path, cached);
    return;
  }
  imageLoader()->loadImageAtPath(
      path, imageType, [imageType, completion](const std::string& loadedPath, NSImageRef image) {
        QVCacheManager::updateCacheImage(image, loadedPath, QVCacheManager::originalCacheType(imageType));
        if (completion) completion(loadedPath, image);
      });
}

void QVApp::loadBlurredImageAtPath(const std::string& path, ImageCompletion completion) {
  if (auto cached = blurredImageAtPath(path)) {
    if (completion) completion(path, cached);
    return;
  }
  loadImageAtPath(path, 0, [completion](const std::string& loadedPath, NSImageRef thumbnail) {
    NSImageRef blurred = thumbnail ? qv::darkImage(qv::blurredImageWithRadius(thumbnail, kBlurRadius)) : nullptr;
    QVCacheManager::updateCacheImage(blurred, loadedPath, kBlurredCacheType);
    if (completion) completion(loadedPath, blurred);
  });
}

// ---- Processing ----

void QVApp::processImagesAtPaths(const qv::Array& paths, int64_t imageType) {
  for (const auto& path : paths)
    if (const std::string* text = path.string()) processImageAtPath(*text, imageType);
}

void QVApp::processImageAtPath(const std::string& path, int64_t imageType, int64_t priority,
                               ProcessingCompletion completion) {
  processImageAtPath(path, imageType, priority, nullptr, std::move(completion));
}

void QVApp::processImageAtPath(const std::string& path, int64_t imageType, int64_t priority,
                               std::shared_ptr<QVBatchPreset> batchPreset, ProcessingCompletion completion) {
  processImageWithTaskParams(
      QVImageTaskParams::imageTaskParamsWithImagePath(path, imageType, priority, std::move(batchPreset)),
      std::move(completion));
}

void QVApp::processImageWithTaskParams(const std::shared_ptr<QVImageTaskParams>& params,
                                       ProcessingCompletion completion) {
  if (!params) return;
  const int64_t imageType = params->type();
  checkCacheAndProcessImageWithTaskParams(
      params, [imageType, completion](const std::string& path, NSImageRef image, NSImageRef processed) {
        if (completion) completion(path, image, processed);
        notifyObserversWithOriginalImage(image, processed, path, imageType);
      });
}

std::vector<std::shared_ptr<QVPreset>> QVApp::effectsPresetsForImagePath(const std::string& path) {
  std::vector<std::shared_ptr<QVPreset>> presets;
  auto manager = effectsPresetManager();
  if (!manager) return presets;
  if (autoColorTemperatureEnabled())
    if (auto preset = manager->autoColorTemperaturePreset()) presets.push_back(std::move(preset));
  if (auto preset = manager->defaultPresetForImagePath(path)) presets.push_back(std::move(preset));
  return presets;
}

void QVApp::checkCacheAndProcessImageWithTaskParams(const std::shared_ptr<QVImageTaskParams>& params,
                                                    ProcessingCompletion completion) {
  if (!params) return;
  QVQueueManager::shared().appQueue()->addBlockOperation([params, completion] {
    const int64_t type = params->type();
    const std::string& requestPath = params->path();
    auto extendPresets = [&] {
      auto presets = effectsPresetsForImagePath(requestPath);
      params->effectsPresets().insert(params->effectsPresets().end(), presets.begin(), presets.end());
    };
    if (type == kFullSize) {
      if (autoLensCorrectionEnabled()) {
        processImageWithLensCorrectionAndTaskParams(params, true, nullptr, nullptr, completion);
        return;
      }
      extendPresets();
      processingManager()->processImageWithTaskParams(
          params, QVProcessingManager::Completion(
                      [completion](const std::string& path, NSImageRef image, NSImageRef processed) {
                        if (completion) completion(path, image, processed);
                      }));
      return;
    }
    NSImageRef cachedSource = QVCacheManager::cachedOriginalImageAtPath(requestPath, uint64_t(type));
    NSImageRef cachedProcessed = QVCacheManager::cachedProcessedImageAtPath(requestPath, uint64_t(type));
    if (cachedSource && cachedProcessed) {
      if (completion) completion(requestPath, cachedSource, cachedProcessed);
      return;
    }
    if (type == kPreview && autoLensCorrectionEnabled()) {
      auto group = qv::DispatchGroup::make();
      auto sourceStored = [](const std::string& path, NSImageRef image) {
        QVCacheManager::updateCacheImage(image, path, QVCacheManager::originalCacheType(kPreview));
      };
      // The store's completion runs also when the store is cancelled, so the group always empties.
      auto lensedStored = [group](const std::string& path, NSImageRef lensed) {
        group->enter();
        QVCacheManager::updateCacheImage(lensed, path, QVCacheManager::originalCacheType(kLensedPreview),
                                         [group] { group->leave(); });
      };
      auto processedStored = [group, completion](const std::string& path, NSImageRef image, NSImageRef processed) {
        QVCacheManager::updateCacheImage(processed, path, QVCacheManager::processedCacheType(kPreview));
        if (!completion) return;
        // Waiting on the main thread would stall the interface: the group notifies the main queue.
        group->notify(qv::DispatchQueue::main(),
                      [completion, path, image, processed] { completion(path, image, processed); });
      };
      processImageWithLensCorrectionAndTaskParams(params, false, sourceStored, lensedStored, processedStored);
      return;
    }
    extendPresets();
    processingManager()->processImageWithTaskParams(
        params, QVProcessingManager::Completion([type, completion](const std::string& path, NSImageRef image,
                                                                   NSImageRef processed) {
          QVCacheManager::updateCacheImage(processed, path, QVCacheManager::processedCacheType(uint64_t(type)));
          QVCacheManager::updateCacheImage(image, path, QVCacheManager::originalCacheType(uint64_t(type)));
          if (completion) completion(path, image, processed);
        }));
  });
}

void QVApp::processImageWithLensCorrectionAndTaskParams(const std::shared_ptr<QVImageTaskParams>& params,
                                                        bool treatLensedImageAsOriginal,
                                                        ImageCompletion originalCompletion,
                                                        ImageCompletion lensedCompletion,
                                                        ProcessingCompletion processedCompletion) {
  if (!params) return;
  auto lensParams = params->copy();
  lensParams->setLensCorrectionPreset(effectsPresetManager()->lensCorrectionPreset());
  auto presets = effectsPresetsForImagePath(lensParams->path());
  lensParams->effectsPresets().insert(lensParams->effectsPresets().end(), presets.begin(), presets.end());
  processingManager()->processImageWithTaskParams(
      lensParams, QVProcessingManager::LensCompletion(
                      [treatLensedImageAsOriginal, originalCompletion, lensedCompletion, processedCompletion](
                          const std::string& path, NSImageRef source, NSImageRef processed, NSImageRef lensed) {
                        if (originalCompletion) originalCompletion(path, source);
                        if (lensedCompletion) lensedCompletion(path, lensed ? lensed : source);
                        if (processedCompletion)
                          processedCompletion(path, treatLensedImageAsOriginal && lensed ? lensed : source, processed);
                      }));
}

void QVApp::notifyObserversWithOriginalImage(NSImageRef image, NSImageRef processedImage, const std::string& path,
                                             int64_t imageType) {
  auto result = std::make_shared<QVImageProcessingResult>();
  result->setPath(path);
  result->setImage(std::move(image));
  result->setProcessedImage(std::move(processedImage));
  qv::Notification notification;
  notification.name = kQVAppDidProcessImageNotification;
  notification.object = std::make_shared<std::string>(*QVSolvaneHelpers::imageKeyAtPath(path, uint64_t(imageType)));
  notification.sender = notification.object.get();
  notification.userObjects[kQVAppProcessingResultKey] = result;
  qv::NotificationCenter::defaultCenter().post(notification);
}

// ---- Effect strength ----

struct QVApp::BlendRequest {
  double amount = 1;
  NSImageRef original;
  NSImageRef processed;
  int colorDepth = 8;
  // Every waiting caller's completion; a displaced request's caller receives the blend that ran.
  std::vector<BlendCompletion> completions;
  uint64_t generation = 0;
};

double QVApp::boostAmountForImagePath(const std::string& path) {
  return imageSettingsManager()->amountAtImagePath(path);
}

void QVApp::applyBoostAmount(double amount, const std::string& path, NSImageRef originalImage,
                             NSImageRef processedImage, int colorDepth, BlendCompletion completion) {
  auto app = shared();
  {
    std::lock_guard guard(app->blendMutex_);
    auto& request = app->pendingBlends_[path];
    if (!request) request = std::make_shared<BlendRequest>();
    request->amount = amount;
    request->original = std::move(originalImage);
    request->processed = std::move(processedImage);
    request->colorDepth = colorDepth;
    if (completion) request->completions.push_back(std::move(completion));
    ++request->generation;
  }
  app->scheduleBlend(path);
}

void QVApp::scheduleBlend(const std::string& path) {
  uint64_t generation;
  {
    std::lock_guard guard(blendMutex_);
    generation = pendingBlends_[path]->generation;
  }
  std::weak_ptr<QVApp> weakSelf = weak_from_this();
  qv::MainExecutor::shared().asyncAfter(kQVBoostAmountCoalescingDelay, [weakSelf, path, generation] {
    if (auto self = weakSelf.lock()) self->runBlend(path, generation);
  });
}

void QVApp::runBlend(const std::string& path, uint64_t generation) {
  std::shared_ptr<BlendRequest> request;
  {
    std::lock_guard guard(blendMutex_);
    auto it = pendingBlends_.find(path);
    // A later request for the photo restarted the quiet period.
    if (it == pendingBlends_.end() || it->second->generation != generation) return;
    request = std::move(it->second);
    pendingBlends_.erase(it);
  }
  auto operation = QVCallbackOperation::make();
  std::weak_ptr<QVCallbackOperation> weakOperation = operation;
  auto delivered = std::make_shared<std::atomic<bool>>(false);
  auto deliver = [request, delivered](const NSImageRef& image) {
    if (delivered->exchange(true)) return;
    for (const auto& completion : request->completions) completion(image);
  };
  operation->addCallback([request, path, deliver] {
    NSImageRef blended =
        qv::blendWith(request->processed, request->original, 1.0 - request->amount, request->colorDepth);
    imageSettingsManager()->updateAmount(request->amount, path);
    deliver(blended);
  });
  // A cancelled blend still answers its callers, with no image.
  operation->setFinishedCallback([weakOperation, deliver] {
    auto finished = weakOperation.lock();
    if (!finished || finished->isCancelled()) deliver(nullptr);
  });
  QVQueueManager::shared().imageBlendingQueue()->setObject(operation, "QVBlend_" + path);
}

void QVApp::applyBoostAmountIfNeededWithOriginalImage(NSImageRef originalImage, NSImageRef processedImage,
                                                      const std::string& path, BlendCompletion completion) {
  const double amount = boostAmountForImagePath(path);
  if (amount > 0 && amount < 1) {
    applyBoostAmount(amount, path, std::move(originalImage), std::move(processedImage), 8, std::move(completion));
    return;
  }
  if (!completion) return;
  completion(amount == 0 ? originalImage : processedImage);
}

// ---- Cancellation ----

void QVApp::cancelLoadingImageAtPath(const std::string& path, int64_t imageType) {
  imageLoader()->cancelTaskAtPath(path, imageType);
}

void QVApp::cancelProcessingImageAtPath(const std::string& path, int64_t imageType) {
  processingManager()->cancelTaskAtPath(path, imageType);
}

void QVApp::cancelProcessingAt(const std::string& path) { processingManager()->cancelTaskAtPath(path); }

void QVApp::cancel() { QVQueueManager::shared().cancelTasksOnAllQueues(); }

void QVApp::cancelProcessingAndClean(bool longTerm) {
  processingManager()->cancelAllTasks();
  QVQueueManager::shared().cancelTasksOnAllQueues();
  clean(longTerm);
}

void QVApp::cancelExportProcessing() {
  QVQueueManager::shared().cancelTasksOnAllQueues();
  clean(false, false);
}

void QVApp::setPhotosProcessedAtOnce(int64_t count) {
  // An export manager may give its share back while the application goes away.
  auto app = shared();
  auto manager = app ? app->processingManager_ : nullptr;
  if (auto queue = manager ? manager->syncQueue() : nullptr)
    queue->setMaxConcurrentOperationCount(std::max<int64_t>(1, count));
}

bool QVApp::cancelImageOperationsAndWaitUntilDone(double limitSeconds) {
  auto& queues = QVQueueManager::shared();
  std::vector<std::shared_ptr<qv::Operation>> running;
  // The processing queue may run several photos at once (a batch export): every one is waited for.
  for (const auto& queue : {processingManager()->syncQueue(), imageLoader()->syncQueue(), queues.imageBlendingQueue()})
    if (queue)
      for (auto& operation : queue->operations())
        if (operation->isExecuting()) running.push_back(std::move(operation));
  cancelProcessing();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(std::max(0.0, limitSeconds));
  bool allEnded = true;
  for (const auto& operation : running) {
    auto ended = std::make_shared<qv::DispatchSemaphore>(0);
    const uint64_t observer = operation->addFinishObserver([ended] { ended->signal(); });
    const double left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
    if (!ended->wait(std::max(0.0, left))) {
      allEnded = false;
      QVLogError("quit: gave up waiting for a running image operation after %.1f s", limitSeconds);
    }
    operation->removeFinishObserver(observer);
  }
  return allEnded;
}

// ---- Cleaning ----

void QVApp::clean(bool longTerm, bool removeSourceImagePaths) {
  if (removeSourceImagePaths) sourceManager()->setImagesPaths({});
  QVCacheManager::clean(longTerm);
  QVSolvaneHelpers::cleanTempDirectory();
  if (longTerm) imageSettingsManager()->clean();
}

void QVApp::cleanAt(const std::string& path, const std::vector<uint64_t>& imageTypes) {
  QVCacheManager::cleanAt(path, imageTypes, true);
}
