#include "Ombrel/Classes/Business/QVProcessingManager.h"

#include "Ombrel/Classes/Basic/QVQueueManager.h"
#include "Ombrel/Classes/Business/QVImageLoadingOperation.h"
#include "Ombrel/Classes/Business/QVImageProcessingOperation.h"

std::shared_ptr<QVProcessingManager> QVProcessingManager::make() {
  return std::make_shared<QVProcessingManager>(QVQueueManager::shared().imageProcessingQueue());
}

std::shared_ptr<QVImageTaskOperation> QVProcessingManager::makeOperation(const TaskPtr& params) {
  return QVImageProcessingOperation::initWithTaskParams(params);
}

void QVProcessingManager::processImageWithTaskParams(const TaskPtr& params, Completion completion) {
  if (!completion) return;
  processImageWithTaskParams(params, [completion = std::move(completion)](const std::string& path, NSImageRef image,
                                                                          NSImageRef processed, NSImageRef) {
    completion(path, std::move(image), std::move(processed));
  });
}

void QVProcessingManager::processImageWithTaskParams(const TaskPtr& params, LensCompletion completion) {
  if (!completion) return;
  performTaskWithParams(params, [completion = std::move(completion)](std::shared_ptr<QVImageTaskOperation> op) {
    auto processing = std::dynamic_pointer_cast<QVImageProcessingOperation>(op);
    if (!processing) return;
    completion(processing->params()->path(), processing->originalImage(), processing->processedImage(),
               processing->lensCorrectionImage());
  });
}

std::shared_ptr<QVImageLoader> QVImageLoader::make() {
  return std::make_shared<QVImageLoader>(QVQueueManager::shared().imageLoadingQueue());
}

std::shared_ptr<QVImageTaskOperation> QVImageLoader::makeOperation(const TaskPtr& params) {
  return QVImageLoadingOperation::initWithTaskParams(params);
}

void QVImageLoader::loadImageAtPath(const std::string& path, int64_t type, Completion completion) {
  auto params = QVImageTaskParams::imageTaskParamsWithImagePath(path, type, 3);
  performTaskWithParams(params, [completion = std::move(completion)](std::shared_ptr<QVImageTaskOperation> op) {
    auto loading = std::dynamic_pointer_cast<QVImageLoadingOperation>(op);
    if (completion && loading) completion(loading->params()->path(), loading->loadedImage());
  });
}
