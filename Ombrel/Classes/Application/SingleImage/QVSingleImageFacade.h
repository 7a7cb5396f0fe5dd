#pragma once
// What the single-image screens ask of the application core, as an interface: the real one goes
// to the facade (QVSingleImageAppFacade); tests give a fake. Completions may arrive on any thread
// unless noted; the screen brings them to the main thread.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QVPlatform/ImageIO/NSImage.h"

class QVSingleImageFacade {
 public:
  using ImageCompletion = std::function<void(const std::string& path, NSImageRef image)>;
  using ProcessedCompletion = std::function<void(const std::string& path, NSImageRef image, NSImageRef processedImage)>;

  virtual ~QVSingleImageFacade() = default;
  virtual NSImageRef processedImageAtPath(const std::string& path, int64_t imageType) = 0;
  virtual NSImageRef originalImageAtPath(const std::string& path, int64_t imageType) = 0;
  virtual NSImageRef lensedPreviewAtPath(const std::string& path) = 0;
  virtual bool autoLensCorrectionEnabled() = 0;
  virtual double boostAmountForImagePath(const std::string& path) = 0;
  virtual void updateAmount(double amount, const std::string& path) = 0;
  virtual void loadBlurredImageAtPath(const std::string& path, ImageCompletion completion) = 0;
  virtual void processImageAtPath(const std::string& path, int64_t imageType, int64_t priority) = 0;
  // The image's next processing result, delivered once on the main thread; a new start replaces
  // the observation.
  virtual void startImageProcessingObservation(const std::string& path, int64_t imageType,
                                               ProcessedCompletion completion) = 0;
  virtual void stopImageProcessingObservation() = 0;
  virtual void cleanAt(const std::string& path, const std::vector<uint64_t>& imageTypes) = 0;
  // The file's pixel size, (0, 0) when unreadable.
  virtual CGSize imageSizeForPath(const std::string& path) = 0;
};

// The facade of the running application.
std::shared_ptr<QVSingleImageFacade> QVMakeSingleImageAppFacade();
