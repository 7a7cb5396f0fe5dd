#include "Ombrel/Classes/Application/SingleImage/QVSingleImageFacade.h"
#include "Ombrel/Classes/Business/NSResponder+ImageProcessing.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Business/QVImageSettingsManager.h"
#include "QVCore/Utils/QVImageUtils.h"

namespace {

class QVSingleImageAppFacade : public QVSingleImageFacade {
 public:
  NSImageRef processedImageAtPath(const std::string& path, int64_t type) override {
    return QVApp::processedImageAtPath(path, type);
  }
  NSImageRef originalImageAtPath(const std::string& path, int64_t type) override {
    return QVApp::originalImageAtPath(path, type);
  }
  NSImageRef lensedPreviewAtPath(const std::string& path) override { return QVApp::lensedPreviewAtPath(path); }
  bool autoLensCorrectionEnabled() override { return QVApp::autoLensCorrectionEnabled(); }
  double boostAmountForImagePath(const std::string& path) override { return QVApp::boostAmountForImagePath(path); }
  void updateAmount(double amount, const std::string& path) override {
    if (auto settings = QVApp::imageSettingsManager()) settings->updateAmount(amount, path);
  }
  void loadBlurredImageAtPath(const std::string& path, ImageCompletion completion) override {
    QVApp::loadBlurredImageAtPath(path, std::move(completion));
  }
  void processImageAtPath(const std::string& path, int64_t type, int64_t priority) override {
    QVApp::processImageAtPath(path, type, priority);
  }
  void startImageProcessingObservation(const std::string& path, int64_t type, ProcessedCompletion completion) override {
    observer_->startImageProcessingObservationForPath(path, type, std::move(completion));
  }
  void stopImageProcessingObservation() override { observer_->stopImageProcessingObservation(); }
  void cleanAt(const std::string& path, const std::vector<uint64_t>& types) override { QVApp::cleanAt(path, types); }
  CGSize imageSizeForPath(const std::string& path) override { return QVImageUtils::imageSizeForPath(path); }

 private:
  std::shared_ptr<QVImageProcessingObserver> observer_ = QVImageProcessingObserver::make();
};

}  // namespace

std::shared_ptr<QVSingleImageFacade> QVMakeSingleImageAppFacade() { return std::make_shared<QVSingleImageAppFacade>(); }
