#include "Ombrel/Classes/Application/Controllers/QVWindowControllerServices.h"

#include <algorithm>
#include <filesystem>
#include <random>

#include "Ombrel/Classes/Application/Panels/QVUsageEvents.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginController.h"
#include "Ombrel/Classes/Application/SingleImage/QVSingleImageFacade.h"
#include "Ombrel/Classes/Business/ErrorTracker/QVAppEventTracker.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/Bundle.h"

namespace {
std::shared_ptr<QVWindowControllerServices>& installed() {
  static std::shared_ptr<QVWindowControllerServices> services;
  return services;
}
}  // namespace

void QVWindowControllerServices::processImagesAtPaths(const std::vector<std::string>& paths, int64_t imageType) {
  qv::Array array;
  for (const auto& path : paths) array.push_back(qv::Value(path));
  QVApp::processImagesAtPaths(array, imageType);
}

bool QVWindowControllerServices::exported() { return QVApp::exported(); }
void QVWindowControllerServices::setPhotosExported(const std::vector<std::string>& paths, bool exported) {
  QVApp::setPhotosExported(paths, exported);
}
bool QVWindowControllerServices::isExporting() { return QVApp::exporting(); }
void QVWindowControllerServices::cancelProcessingAndClean(bool longTerm) { QVApp::cancelProcessingAndClean(longTerm); }

void QVWindowControllerServices::trackEventImageLoadWithPaths(const std::vector<std::string>& paths) {
  QVUsageEvents::trackEventImageLoadWithPaths(paths);
}

void QVWindowControllerServices::trackSampleImageOpened() {
  if (auto tracker = QVApp::eventTracker()) tracker->trackEvent(1, 2);
}

bool QVWindowControllerServices::isPluginMode() { return QVApp::isPluginMode(); }

CGSize QVWindowControllerServices::imageSizeForPath(const std::string& path) {
  return QVImageUtils::imageSizeForPath(path);
}

std::vector<std::string> QVWindowControllerServices::samplePaths() {
  namespace fs = std::filesystem;
  std::vector<std::string> paths;
  std::error_code error;
  const fs::path folder = fs::path(qv::Bundle::mainBundle().resourcePath()) / "Samples";
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::string extension = entry.path().extension().string();
    // The folder's licence note is no photo.
    if (entry.is_regular_file() && extension != ".md" && extension != ".txt") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

size_t QVWindowControllerServices::randomIndex(size_t count) {
  static std::mt19937 generator{std::random_device{}()};
  return std::uniform_int_distribution<size_t>(0, count - 1)(generator);
}

std::shared_ptr<QVSingleImageFacade> QVWindowControllerServices::singleImageFacade() {
  return QVMakeSingleImageAppFacade();
}

std::unique_ptr<QVWindowPluginController> QVWindowControllerServices::makePluginController() {
  // One plug-in controller for the whole process, never destroyed: the installer window it keeps
  // must not outlive the application object.
  static auto* controller = new std::shared_ptr<QVPluginController>(QVPluginController::make());
  struct Forward : QVWindowPluginController {
    void cancelPlugin() override { (*controller)->cancelPlugin(); }
    void installPlugins() override { (*controller)->installPlugins(); }
  };
  return std::make_unique<Forward>();
}

std::shared_ptr<QVWindowControllerServices> QVWindowControllerServices::shared() {
  if (!installed()) installed() = std::make_shared<QVWindowControllerServices>();
  return installed();
}

void QVWindowControllerServices::setShared(std::shared_ptr<QVWindowControllerServices> services) {
  installed() = std::move(services);
}
