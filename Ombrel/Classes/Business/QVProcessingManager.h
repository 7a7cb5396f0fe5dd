#pragma once
// The two task managers the facade owns: processing (enhanced images, on "QVImageProcessing.Queue")
// and loading (source images, on "QVImageLoading.Queue"). Their completions receive the path of
// the finished operation's task, which for a displaced urgent preview is not the request's own.
#include "Ombrel/Classes/Business/QVSyncTaskManager.h"
#include "QVPlatform/ImageIO/NSImage.h"

class QVProcessingManager : public QVImageTaskManager {
 public:
  using Completion = std::function<void(const std::string& path, NSImageRef image, NSImageRef processedImage)>;
  using LensCompletion = std::function<void(const std::string& path, NSImageRef image, NSImageRef processedImage,
                                            NSImageRef lensCorrectionImage)>;
  // On the process-wide processing queue.
  static std::shared_ptr<QVProcessingManager> make();
  using QVImageTaskManager::QVImageTaskManager;

  std::shared_ptr<QVImageTaskOperation> makeOperation(const TaskPtr& params) override;
  void processImageWithTaskParams(const TaskPtr& params, Completion completion);
  void processImageWithTaskParams(const TaskPtr& params, LensCompletion completion);
};

class QVImageLoader : public QVImageTaskManager {
 public:
  using Completion = std::function<void(const std::string& path, NSImageRef image)>;
  // On the process-wide loading queue.
  static std::shared_ptr<QVImageLoader> make();
  using QVImageTaskManager::QVImageTaskManager;

  std::shared_ptr<QVImageTaskOperation> makeOperation(const TaskPtr& params) override;
  // Loads at priority 3, without export preset; the completion is optional.
  void loadImageAtPath(const std::string& path, int64_t type, Completion completion);
};
