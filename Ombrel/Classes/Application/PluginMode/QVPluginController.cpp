#include "Ombrel/Classes/Application/PluginMode/QVPluginController.h"

#include <QCoreApplication>
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "Ombrel/Classes/Application/Alerts/QVModalAlerts.h"
#include "Ombrel/Classes/Application/Panels/QVUsageEvents.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginInstallWindowController.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/ImageIO/QVShareManager.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/NotificationCenter.h"

namespace {

class AppFacade : public QVPluginController::Facade {
 public:
  void setExporting(bool exporting) override { QVApp::setExporting(exporting); }
  void processFullSizeImageAtPath(const std::string& path, Processed completion) override {
    QVApp::processImageAtPath(path, 2, 2, [completion](const std::string&, NSImageRef source, NSImageRef processed) {
      completion(std::move(source), std::move(processed));
    });
  }
  void applyBoostAmount(NSImageRef source, NSImageRef processed, const std::string& path, Blended completion) override {
    QVApp::applyBoostAmountIfNeededWithOriginalImage(std::move(source), std::move(processed), path,
                                                     [completion](NSImageRef image) { completion(std::move(image)); });
  }
  void cancelProcessing() override { QVApp::cancelExportProcessing(); }
  void cancelProcessingAndClean() override { QVApp::cancelProcessingAndClean(true); }
  void trackExport(const std::vector<std::string>& paths, uint64_t type) override {
    QVUsageEvents::trackEventImageExportWithPaths(paths, type);
  }
  void imageWasSaved() override { QVLog(1, "plug-in result saved"); }
};

class ShareWriter : public QVPluginController::ImageWriter {
 public:
  bool write(const CGImageRef& image, const std::string& path, const std::string& type, const qv::Value& properties,
             std::string* error) override {
    return QVShareManager::shared().saveImage(image, path, type, properties, error);
  }
};

class ModalAlerts : public QVPluginController::Alerts {
 public:
  void showImageCannotBeSaved() override { QVModalAlerts::showAlertImageCannotBeSaved(); }
};

class ApplicationQuit : public QVPluginController::Terminator {
 public:
  // Ends the main loop: the application delegate's termination (image work stopped, dialogs
  // closed, the will-terminate notification) follows from it. Not `quit()`: that first asks every
  // window to close, and the main window answers a close in plug-in mode by cancelling the run,
  // which would end it again and again.
  void terminate() override { QCoreApplication::exit(0); }
};

std::string lowercased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return text;
}

// The types the export writer writes.
bool isWritableType(const std::string& type) {
  return type == kUTTypeJPEG || type == kUTTypePNG || type == kUTTypeTIFF || type == kUTTypeWebP ||
         type == kUTTypeJPEG2000;
}

}  // namespace

std::shared_ptr<QVPluginController::Facade> QVPluginController::makeAppFacade() {
  return std::make_shared<AppFacade>();
}

std::shared_ptr<QVPluginController> QVPluginController::make(Services services) {
  if (!services.facade) services.facade = makeAppFacade();
  if (!services.writer) services.writer = std::make_shared<ShareWriter>();
  if (!services.alerts) services.alerts = std::make_shared<ModalAlerts>();
  if (!services.terminator) services.terminator = std::make_shared<ApplicationQuit>();
  if (!services.notifier) services.notifier = QVHostNotifier::makeDefault();
  if (!services.modeManager) services.modeManager = &QVSPluginModeManager::shared();
  return std::shared_ptr<QVPluginController>(new QVPluginController(std::move(services)));
}

std::shared_ptr<QVPluginController> QVPluginController::make() { return make(Services()); }

QVPluginController::QVPluginController(Services services) : services_(std::move(services)) {}

// A quit already scheduled still happens when the controller goes first.
QVPluginController::~QVPluginController() = default;

QVPluginLaunchInfo QVPluginController::launchInfo() {
  return {kQVPluginApplicationName, kQVPluginName, kQVPluginApplicationUUID};
}

// ---- Paths ----

const std::vector<std::string>& QVPluginController::paths() const {
  paths_ = modeManager().photoCollection();
  return paths_;
}

bool QVPluginController::prepareExportPaths(const std::vector<std::string>&) { return !paths().empty(); }

std::string QVPluginController::exportPath() const { return modeManager().savePath(); }

std::string QVPluginController::savePathForPath(const std::string& path) const {
  const auto& manager = modeManager();
  const std::string savePath = manager.savePath();
  if (!savePath.empty() && savePath == manager.imagePath()) return path;
  for (const auto& [source, target] : manager.pathsForSave()) {
    if (source == path) return target;
  }
  if (!savePath.empty())
    return std::filesystem::path(path).replace_extension(std::filesystem::path(savePath).extension());
  return path;
}

std::string QVPluginController::outputTypeFor(const std::string& readType, const std::string& outputPath) const {
  if (readType.empty() || !isWritableType(readType)) return kUTTypeTIFF;
  if (!modeManager().lightroomExtrasResPath().empty()) return kUTTypeTIFF;
  if (lowercased(std::filesystem::path(outputPath).extension().string()) == ".tiff") return kUTTypeTIFF;
  return readType;
}

// ---- Export ----

bool QVPluginController::exportImages() {
  if (paths().empty()) {
    QVLogInfo("plug-in export: no host images, nothing to do");
    return false;
  }
  exportWithType(0);
  return true;
}

void QVPluginController::exportWithType(uint64_t type) {
  services_.facade->setExporting(true);
  const std::vector<std::string> sources = paths();
  parts_ = sources.size();
  processingPart_ = 0;
  type_ = type;
  exportedPaths_.clear();
  if (run_) run_->cancelled = true;
  auto run = std::make_shared<Run>();
  run_ = run;
  beginUpdateProgress();
  if (sources.empty()) {
    // Nothing will ever complete: end the run now, as the last image would.
    endRun();
    return;
  }
  std::weak_ptr<QVPluginController> weak = weak_from_this();
  auto facade = services_.facade;
  for (const auto& path : sources) {
    auto completed = [weak, run, path](NSImageRef image) {
      QVDispatchOnMainThread([weak, run, path, image] {
        if (auto self = weak.lock()) self->imageCompleted(run, path, image);
      });
    };
    facade->processFullSizeImageAtPath(path, [facade, path, completed](NSImageRef source, NSImageRef processed) {
      if (!processed) return completed(nullptr);
      facade->applyBoostAmount(std::move(source), std::move(processed), path, completed);
    });
  }
}

void QVPluginController::imageCompleted(const std::shared_ptr<Run>& run, const std::string& path, NSImageRef image) {
  if (run != run_ || run->cancelled) return;
  if (image) {
    run->results[path] = std::move(image);
  } else {
    QVLogError("plug-in export: %s could not be processed; it is left out", path.c_str());
  }
  if (processingPart_ == parts_) endRun();
  updateProgress();
}

void QVPluginController::endRun() {
  auto run = run_;
  saveImages(run ? run->results : std::map<std::string, NSImageRef>{});
  finishExport();
  services_.notifier->post(kQVHostTerminationOK);
  modeManager().applyPluginMode();
  auto terminator = services_.terminator;
  qv::MainExecutor::shared().asyncAfter(kQVPluginTerminateDelay, [terminator] { terminator->terminate(); });
}

void QVPluginController::beginUpdateProgress() {
  if (auto updater = progressUpdater()) updater->onExportStarted(*this);
  updateProgress();
}

void QVPluginController::updateProgress() {
  if (auto updater = progressUpdater()) updater->updateProgress(processingPart_, parts_);
  if (processingPart_ < parts_) ++processingPart_;
}

void QVPluginController::cancelProcessing() {
  if (run_) run_->cancelled = true;
  services_.facade->setExporting(false);
  services_.facade->cancelProcessing();
}

void QVPluginController::finishExport() {
  services_.facade->setExporting(false);
  services_.facade->trackExport(paths(), type_);
}

// ---- Writing ----

void QVPluginController::saveImages(const std::map<std::string, NSImageRef>& images) {
  const std::string hostImage = modeManager().imagePath();
  const std::string hostType = hostImage.empty() ? std::string() : QVImageUtils::imageTypeAtPath(hostImage);
  const qv::Value hostProperties = hostImage.empty() ? qv::Value() : QVImageUtils::imagePropertiesAtPath(hostImage);
  for (const auto& source : paths()) {
    auto found = images.find(source);
    if (found == images.end()) continue;
    const std::string output = savePathForPath(source);
    const std::string type = hostImage.empty() ? QVImageUtils::imageTypeAtPath(source) : hostType;
    const qv::Value properties = hostImage.empty() ? QVImageUtils::imagePropertiesAtPath(source) : hostProperties;
    if (saveImage(found->second, output, outputTypeFor(type, output), properties)) exportedPaths_.push_back(output);
  }
}

bool QVPluginController::saveImage(const NSImageRef& image, const std::string& path, const std::string& type,
                                   const qv::Value& properties) {
  CGImageRef bitmap = image ? image->CGImage() : nullptr;
  if (!bitmap) return false;
  std::string error;
  if (services_.writer->write(bitmap, path, type, properties, &error)) {
    services_.facade->imageWasSaved();
    return true;
  }
  QVLogError("plug-in export: %s could not be written as %s: %s", path.c_str(), type.c_str(), error.c_str());
  auto alerts = services_.alerts;
  QVDispatchOnMainThread([alerts] { alerts->showImageCannotBeSaved(); });
  return false;
}

// ---- Ending ----

void QVPluginController::cancelPlugin() {
  cancelProcessing();
  if (modeManager().isPluginMode()) {
    services_.notifier->post(kQVHostTerminationCancel);
    services_.notifier->post(kQVHostTerminationOK);
    modeManager().cancelPluginMode();
  }
  exitPlugin();
}

void QVPluginController::exitPlugin() {
  services_.facade->cancelProcessingAndClean();
  auto terminator = services_.terminator;
  qv::MainExecutor::shared().asyncAfter(kQVPluginExitDelay, [terminator] {
    qv::NotificationCenter::defaultCenter().post(kQVApplicationWillTerminateNotification);
    terminator->terminate();
  });
}

void QVPluginController::installPlugins() {
  if (!pluginInstallWC_) pluginInstallWC_ = std::make_unique<QVPluginInstallWindowController>(launchInfo());
  pluginInstallWC_->show();
}
