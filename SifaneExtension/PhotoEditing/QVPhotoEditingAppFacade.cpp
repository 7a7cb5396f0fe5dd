#include "SifaneExtension/PhotoEditing/QVPhotoEditingAppFacade.h"

#include <cstdio>
#include <cstdlib>

#include "Ombrel/Classes/Application/Panels/QVUsageEvents.h"
#include "Ombrel/Classes/Business/ExportManager/QVImageSaver.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Business/QVAppSettings.h"
#include "Ombrel/Classes/Helpers/QVImageHelpers.h"
#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"
#include "Ombrel/Classes/QVAnalyticsEvents/QVAnalytics.h"
#include "Ombrel/Classes/QVAnalyticsEvents/QVTrackUserAction.h"
#include "QVCore/Common/QVCoreStartup.h"
#include "QVPlatform/ImageIO/ImageIO.h"

namespace {

class QVPhotoEditingAppFacade : public QVPhotoEditingFacade {
 public:
  bool startEngine() override { return QVApp::startEngine(); }

  void setUpServices() override {
    QVAppSettings::setPhotosExtension(true);
    QVCoreStartup();
    QVAnalytics::loadConfiguration();
    QVApp::setupLogger();
    QVApp::setupErrorTracker();
  }

  void setAppLaunched() override {
    if (auto tracker = QVApp::eventTracker()) tracker->setAppLaunched(true);
  }

  void trackEvent(uint64_t type, int64_t code) override {
    if (auto tracker = QVApp::eventTracker()) tracker->trackEvent(type, code);
  }

  void fireAppLaunchAction() override {
    if (auto launch = QVAppLaunchAction::appLaunched()) launch->fire();
  }

  std::optional<std::string> validateImageAtPath(const std::string& path) override {
    qv::Error error;
    if (QVImageHelpers::validateImageAtPath(path, &error)) return std::nullopt;
    return error.code == QVImageValidationErrorExcludedType ? "a type of photo the enhancement does not take: " + path
                                                            : "not a photo that can be decoded: " + path;
  }
  bool validateSizeForPath(const std::string& path) override { return QVImageHelpers::validateSizeForPath(path); }
  void showAlertLessThanMinimumSize(const std::string& path) override {
    QVSolvaneAlerts::showAlertLessThanMinimumSize({QVImageHelpers::tooSmallImage(path)});
  }

  void terminate(int status) override {
    // The event logs are written as each event is recorded; nothing else needs to be closed.
    std::fflush(nullptr);
    std::_Exit(status);
  }

  void trackEventImageLoadWithPaths(const std::vector<std::string>& paths) override {
    QVUsageEvents::trackEventImageLoadWithPaths(paths);
  }
  void trackEventImageExportWithPaths(const std::vector<std::string>& paths, uint64_t exportType) override {
    QVUsageEvents::trackEventImageExportWithPaths(paths, exportType);
  }

  void processImageAtPath(const std::string& path, int64_t imageType, ProcessingCompletion completion) override {
    QVApp::processImageAtPath(path, imageType, std::move(completion));
  }

  void applyBoostAmount(double amount, NSImageRef originalImage, NSImageRef processedImage, const std::string& path,
                        ImageCompletion completion) override {
    if (amount <= 0) return completion(std::move(originalImage));
    if (amount >= 1) return completion(std::move(processedImage));
    QVApp::applyBoostAmount(amount, path, std::move(originalImage), std::move(processedImage), kBlendDepth,
                            std::move(completion));
  }

 private:
  static constexpr int kBlendDepth = 8;

  std::optional<std::string> writeTIFF(const NSImageRef& image, const std::string& sourcePath,
                                       const std::string& path) override {
    // Through the export writer: the source's metadata comes along, and the file appears whole or
    // not at all, only under a free name: whatever is there (even the photo itself) stays.
    auto error =
        QVImageSaver::saveImage(image, sourcePath, path, kUTTypeTIFF, /*shouldOverwrite=*/false, nullptr, nullptr);
    if (!error) return std::nullopt;
    std::string reason = error->userInfo["reason"].asString();
    return error->description + (reason.empty() ? std::string() : ": " + reason);
  }

  void cancelProcessingAndClean() override { QVApp::cancelProcessingAndClean(true); }
};

}  // namespace

std::shared_ptr<QVPhotoEditingFacade> QVMakePhotoEditingAppFacade() {
  return std::make_shared<QVPhotoEditingAppFacade>();
}
