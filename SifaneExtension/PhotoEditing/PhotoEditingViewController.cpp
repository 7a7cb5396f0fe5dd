#include "SifaneExtension/PhotoEditing/PhotoEditingViewController.h"

#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "QVApplicationInfo/QVApplicationInfo.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/MainExecutor.h"

namespace {

constexpr uint64_t kEventTypeError = 0;
constexpr uint64_t kEventTypeInfo = 1;
constexpr int64_t kEventCodeWrongSize = 1;  // "Load image of wrong size"
constexpr int64_t kEventCodeLaunched = 1;   // "App was launched"

}  // namespace

std::string PhotoEditingViewController::extensionIdentifier() {
  return std::string(QVApplicationInfo::bundleIdentifier) + ".photoextension";
}

QVAdjustmentData PhotoEditingViewController::adjustmentData() {
  return QVAdjustmentData(extensionIdentifier(), kQVExtensionAdjustmentFormatVersion, kQVExtensionAdjustmentData);
}

PhotoEditingViewController::PhotoEditingViewController(std::shared_ptr<QVPhotoEditingFacade> facade)
    : facade_(std::move(facade)) {}

PhotoEditingViewController::~PhotoEditingViewController() = default;

void PhotoEditingViewController::load(QVPhotoEditingFacade& facade) {
  if (!facade.startEngine()) QVLogError("the image engine did not start");
}

void PhotoEditingViewController::viewDidLoad() {
  facade_->setUpServices();
  // Two launch records, as the application's statistics count them: the tracker's own on the
  // switch, then the explicit one.
  facade_->setAppLaunched();
  facade_->trackEvent(kEventTypeInfo, kEventCodeLaunched);
  if (view_) view_->setContainerHidden(true);
  facade_->fireAppLaunchAction();
}

void PhotoEditingViewController::viewWillAppear() { setIsViewAppeared(true); }

void PhotoEditingViewController::setInput(const QVContentEditingInput& input) {
  if (input_ && *input_ == input) return;
  input_ = input;
  performPresentationCheck();
}

void PhotoEditingViewController::setIsViewAppeared(bool appeared) {
  if (isViewAppeared_ == appeared) return;
  isViewAppeared_ = appeared;
  performPresentationCheck();
}

void PhotoEditingViewController::performPresentationCheck() {
  if (!input_ || !isViewAppeared_ || isContentPresented_) return;
  isContentPresented_ = true;
  presentContent();
}

void PhotoEditingViewController::presentContent() {
  const std::string path = input_->fullSizeImagePath();
  // A file the reader cannot open has no size at all: that is a failure of its own, not a photo
  // that is too small.
  if (const auto unreadable = facade_->validateImageAtPath(path)) {
    reportFailure(*unreadable);
    return;
  }
  if (!facade_->validateSizeForPath(path)) {
    // Nothing is shown of a photo the enhancement cannot take: the alert, its event and the end
    // of the process follow on the main queue.
    std::weak_ptr<QVPhotoEditingFacade> facade = facade_;
    qv::MainExecutor::shared().async([facade, path] {
      auto strong = facade.lock();
      if (!strong) return;
      strong->showAlertLessThanMinimumSize(path);
      strong->trackEvent(kEventTypeError, kEventCodeWrongSize);
      strong->terminate(kQVExtensionSmallPhotoStatus);
    });
    return;
  }
  if (view_) view_->setContainerHidden(false);
  exportPathStorage_ = std::make_unique<QVExportImageDatasource>(std::vector<std::string>{path});
  if (view_) {
    std::weak_ptr<int> alive = alive_;
    view_->setPreviewFailureHandler([this, alive, path] {
      if (alive.lock()) reportFailure("the photo could not be decoded or enhanced: " + path);
    });
    view_->showImageController(exportPathStorage_->pathsOrEmpty().front());
  }
  facade_->trackEventImageLoadWithPaths({path});
}

void PhotoEditingViewController::reportFailure(const std::string& reason) {
  if (failureReported_) return;
  failureReported_ = true;
  QVLogError("The photo cannot be edited: %s", reason.c_str());
  std::weak_ptr<int> alive = alive_;
  qv::MainExecutor::shared().async([this, alive, reason] {
    if (alive.lock() && failureHandler_) failureHandler_(reason);
  });
}

void PhotoEditingViewController::finishContentEditingWithCompletionHandler(CompletionHandler handler) {
  std::weak_ptr<int> alive = alive_;
  QVDispatchOnMainThread([this, alive, handler = std::move(handler)]() mutable {
    if (!alive.lock()) return;
    const auto paths = exportPathStorage_ ? exportPathStorage_->pathsOrEmpty() : std::vector<std::string>{};
    if (paths.empty()) {
      handler(nullptr, std::string("No photo is being edited"));
      return;
    }
    const std::string path = paths.front();
    if (view_) view_->updateWithExportState(kExportingState);
    facade_->processImageAtPath(
        path, kFullSizeImageType,
        [this, alive, path, handler = std::move(handler)](const std::string&, NSImageRef source,
                                                          NSImageRef result) mutable {
          QVDispatchOnMainThread([this, alive, path, source, result, handler = std::move(handler)]() mutable {
            if (!alive.lock()) return;
            if (!source || !result) {
              finishEditing();
              handler(nullptr, "The photo could not be enhanced at full size: " + path);
              return;
            }
            // The strength on the slider, which the extension never stores per photo.
            const double amount = view_ ? view_->boostAmount() : 1.0;
            facade_->applyBoostAmount(
                amount, source, result, path,
                [this, alive, path, handler = std::move(handler)](NSImageRef image) mutable {
                  QVDispatchOnMainThread([this, alive, path, image, handler = std::move(handler)]() mutable {
                    if (!alive.lock()) return;
                    finishWithImage(path, image, std::move(handler));
                  });
                });
          });
        });
  });
}

void PhotoEditingViewController::finishWithImage(const std::string& path, NSImageRef image, CompletionHandler handler) {
  std::weak_ptr<int> alive = alive_;
  auto written = [this, alive, path, image, handler = std::move(handler)]() mutable {
    if (!alive.lock()) return;
    writeOutput(path, image, std::move(handler));
  };
  if (view_) {
    view_->completeExportAnimation(std::move(written));
  } else {
    QVDispatchOnMainThread(std::move(written));
  }
  facade_->trackEventImageExportWithPaths({path}, kDiskExportType);
}

void PhotoEditingViewController::writeOutput(const std::string& path, NSImageRef image, CompletionHandler handler) {
  auto output = std::make_shared<QVContentEditingOutput>(*input_);
  output->setAdjustmentData(adjustmentData());
  std::optional<std::string> failure;
  if (!image) {
    failure = "The photo could not be blended at its strength: " + path;
  } else {
    // Whole, to the edit's temporary name: the host's commit puts it under its name.
    failure = facade_->writeTIFF(image, path, output->renderingTemporaryPath());
  }
  finishEditing();
  if (failure) {
    QVLogError("The edited photo was not written: %s", failure->c_str());
    handler(nullptr, failure);
    return;
  }
  handler(std::move(output), std::nullopt);
}

void PhotoEditingViewController::finishEditing() { facade_->cancelProcessingAndClean(); }
