#include "Ombrel/Classes/Application/SingleImage/QVSingleImageRules.h"

#include <algorithm>
#include <cmath>

#include "Ombrel/Classes/Application/Common/QVSingleImageNotifications.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/MainExecutor.h"

QVSingleImageRules::QVSingleImageRules(std::shared_ptr<QVSingleImageFacade> facade, QVSingleImagePort* port)
    : facade_(std::move(facade)), port_(port) {}

QVSingleImageRules::~QVSingleImageRules() {
  if (facade_) facade_->stopImageProcessingObservation();
}

std::optional<std::string> QVSingleImageRules::exportViewControllerStateStringFromState(uint64_t state) {
  switch (state) {
    case QVExportImageViewControllerState_Processing:
      return "QVExportImageViewControllerState_Processing";
    case QVExportImageViewControllerState_Processed:
      return "QVExportImageViewControllerState_Processed";
    case QVExportImageViewControllerState_Exporting:
      return "QVExportImageViewControllerState_Exporting";
    default:
      return std::nullopt;
  }
}

bool QVSingleImageRules::setCurrentState(uint64_t state) {
  if (stateSet_ && state == currentState_) return false;
  // The screen starts in no state: its first state is announced too.
  stateSet_ = true;
  currentState_ = state;
  qv::NotificationCenter::defaultCenter().post(kQVExportViewStateDidChangeNotification,
                                               std::make_shared<uint64_t>(state));
  return true;
}

NSImageRef QVSingleImageRules::imagePreviewToSetAsOriginal(NSImageRef source, const std::string& path) {
  if (facade_->autoLensCorrectionEnabled()) {
    if (auto lensed = facade_->lensedPreviewAtPath(path)) return lensed;
  }
  return source;
}

void QVSingleImageRules::fillProcessed(NSImageRef source, NSImageRef result, const std::string& path) {
  port_->setImages(imagePreviewToSetAsOriginal(source, path), source, result);
  const double amount = facade_->boostAmountForImagePath(path);
  if (amount >= 0) port_->setResultAlpha(amount);
}

void QVSingleImageRules::showProcessedImageWithPath(const std::string& path, bool animated) {
  imagePath_ = path;
  failed_ = false;
  resultArrived_ = false;
  std::weak_ptr<int> alive = alive_;
  auto stillShowing = [this, alive, path] { return alive.lock() && imagePath_ == path; };
  NSImageRef result = facade_->processedImageAtPath(path, kPreviewImageType);
  if (result) {
    NSImageRef source = facade_->originalImageAtPath(path, kPreviewImageType);
    onImageProcessed(result, source, path);
    port_->updateWithExportState(QVExportImageViewControllerState_Processed, animated);
    fillProcessed(source, result, path);
    facade_->loadBlurredImageAtPath(path, [this, stillShowing](const std::string&, NSImageRef blurred) {
      qv::dispatchOnMainThread([this, stillShowing, blurred] {
        if (stillShowing()) port_->setBlurredImage(blurred);
      });
    });
    return;
  }
  facade_->loadBlurredImageAtPath(path, [this, stillShowing](const std::string&, NSImageRef blurred) {
    qv::dispatchOnMainThread([this, stillShowing, blurred] {
      if (!stillShowing()) return;
      port_->setBlurredImage(blurred);
      // A result that came first (or a failure) keeps its state; the previous photo's does not.
      if (!failed_ && !resultArrived_) {
        port_->updateWithExportState(QVExportImageViewControllerState_Processing, true);
      }
    });
  });
  facade_->processImageAtPath(path, kPreviewImageType, kPreviewPriority);
  facade_->startImageProcessingObservation(
      path, kPreviewImageType,
      [this, stillShowing](const std::string& donePath, NSImageRef source, NSImageRef processed) {
        if (!stillShowing()) return;
        if (!processed) {
          // Nothing to compare: say so and stay locked in the processing state.
          failed_ = true;
          QVLogWarning("Could not enhance %s", imagePath_.c_str());
          port_->showProcessingFailed();
          return;
        }
        resultArrived_ = true;
        fillProcessed(source, processed, imagePath_);
        onImageProcessed(processed, source, imagePath_);
        port_->updateWithExportState(QVExportImageViewControllerState_Processed, true);
        port_->setappCompareImageForLensCorrectionIfNeeded();
        (void)donePath;
      });
}

void QVSingleImageRules::onImageProcessed(NSImageRef, NSImageRef, const std::string& path) {
  const double amount = facade_->boostAmountForImagePath(path);
  if (amount >= 0) {
    changeBoostSliderAmount(amount);
    port_->updateSliderOffset(amount);
  }
}

void QVSingleImageRules::changeBoostSliderAmount(double amount) {
  port_->setResultAlpha(amount);
  if (!imagePath_.empty()) facade_->updateAmount(amount, imagePath_);
}

void QVSingleImageRules::onAppPresetSettingsChanged() {
  if (imagePath_.empty()) return;
  facade_->cleanAt(imagePath_, {uint64_t(kPreviewImageType)});
  showProcessedImageWithPath(imagePath_);
}

std::vector<std::string> QVSingleImageRules::phaseDescriptions() {
  std::vector<std::string> phases;
  for (const char* key : {"Analyzing Image", "Looking for Faces", "Improving Exposure", "Enhancing White Balance",
                          "Looking for Skies", "Recovering Colors", "Reducing Noise", "Doing Magic"}) {
    phases.push_back(qv::QVSLocalization::localizedStringForKey(key) + "...");
  }
  return phases;
}

CGSize QVSingleImageRules::processingImageSize() {
  const CGSize size = facade_->imageSizeForPath(imagePath_);
  if (size.width <= 0 || size.height <= 0) return CGSizeZero;
  const double s = std::min(kPreviewFitSide / size.width, kPreviewFitSide / size.height);
  return CGSizeMake(std::ceil(size.width * s), std::ceil(size.height * s));
}
