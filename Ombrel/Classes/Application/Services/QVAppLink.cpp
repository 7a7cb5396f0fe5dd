#include "Ombrel/Classes/Application/Services/QVAppLink.h"

#include <algorithm>
#include <mutex>

#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Business/QVImageSettingsManager.h"
#include "Ombrel/Classes/Helpers/QVSPluginModeManager.h"
#include "Ombrel/Classes/Model/Network/QVFeedbackSheet.h"

namespace QVAppLink {

bool startEngine() { return QVApp::startEngine(); }
void start() {
  // Once per process, however many delegates are made (tests make several).
  static std::once_flag once;
  std::call_once(once, [] { QVApp::start(); });
}

void configureWithArguments(const std::vector<std::string>& arguments) {
  QVSPluginModeManager::shared().configureWithArguments(arguments);
}

bool isPluginRunArguments(const std::vector<std::string>& arguments) {
  return std::find(arguments.begin(), arguments.end(), "-QVPluginMode") != arguments.end();
}

bool isPluginMode() { return QVApp::isPluginMode(); }
std::shared_ptr<QVBatchPresetManager> batchPresetManager() { return QVApp::batchPresetManager(); }
std::vector<std::string> pluginPhotoCollection() { return QVSPluginModeManager::shared().photoCollection(); }
bool isProcessingImages() { return QVApp::isProcessingImages(); }
bool exporting() { return QVApp::exporting(); }
bool autoLensCorrectionEnabled() { return QVApp::autoLensCorrectionEnabled(); }
void setAutoLensCorrectionEnabled(bool enabled) { QVApp::setAutoLensCorrectionEnabled(enabled); }
bool autoColorTemperatureEnabled() { return QVApp::autoColorTemperatureEnabled(); }
void setAutoColorTemperatureEnabled(bool enabled) { QVApp::setAutoColorTemperatureEnabled(enabled); }

bool cancelImageOperationsAndWaitUntilDone(double limitSeconds) {
  return QVApp::cancelImageOperationsAndWaitUntilDone(limitSeconds);
}

void processPreviewAtPath(const std::string& path, std::function<void(bool enhanced)> completion) {
  QVApp::processImageAtPath(path, 1, 2, [completion](const std::string&, NSImageRef, NSImageRef processed) {
    if (completion) completion(processed != nullptr);
  });
}

void loadThumbnailAtPath(const std::string& path, std::function<void(NSImageRef image)> completion) {
  QVApp::loadImageAtPath(path, 0, [completion](const std::string&, NSImageRef image) {
    if (completion) completion(image);
  });
}

double boostAmountForImagePath(const std::string& path) { return QVApp::boostAmountForImagePath(path); }
int64_t imageLoadCount() { return int64_t(QVApp::imageSettingsManager()->imageLoadsCount()); }
void setImageLoadCount(int64_t count) { QVApp::imageSettingsManager()->setImageLoadsCount(uint64_t(count)); }
int64_t imageExportCount() { return int64_t(QVApp::imageSettingsManager()->imageExportsCount()); }
void setImageExportCount(int64_t count) { QVApp::imageSettingsManager()->setImageExportsCount(uint64_t(count)); }

void trackEventsOfType(uint64_t type, const std::vector<qv::Dictionary>& infos) {
  QVApp::eventTracker()->trackEventsOfType(type, infos);
}

void sendFeedback(const QVFeedbackSheet& sheet, std::function<void(const std::optional<qv::Error>&)> completion) {
  QVApp::sendFeedback(sheet.serialize().value_or(qv::Dictionary{}),
                      [completion](const std::optional<qv::Error>& error, const qv::Value&) {
                        if (completion) completion(error);
                      });
}

}  // namespace QVAppLink
