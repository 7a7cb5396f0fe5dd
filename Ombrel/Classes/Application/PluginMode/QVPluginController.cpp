#include "Ombrel/Classes/Application/PluginMode/QVPluginController.h"

#include <QCoreApplication>
#include <algorithm>
#include <filesystem>
#include <set>

#include "Ombrel/Classes/Application/Alerts/QVModalAlerts.h"
#include "Ombrel/Classes/Application/Panels/QVUsageEvents.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginInstallWindowController.h"
#include "Ombrel/Classes/Business/ExportManager/QVImageSaver.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/ImageIO/QVShareManager.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/NotificationCenter.h"
#include "QVPlatform/OwnFiles.h"

namespace fs = std::filesystem;

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
    const double amount = QVApp::boostAmountForImagePath(path);
    if (amount <= 0) return completion(std::move(source));
    if (amount >= 1) return completion(std::move(processed));
    // At 16 bits: the pictures are still in linear light here, which 8 bits would band in the
    // shadows; the writer encodes the blend display-referred.
    QVApp::applyBoostAmount(amount, path, std::move(source), std::move(processed), 16,
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
             bool replace, std::string* error) override {
    return QVShareManager::shared().saveImage(image, path, type, properties, error, replace);
  }
};

class ModalAlerts : public QVPluginController::Alerts {
 public:
  void showImageCannotBeSaved(const std::string& reason) override {
    QVModalAlerts::showAlertImageCannotBeSaved(reason);
  }
};

class ApplicationQuit : public QVPluginController::Terminator {
 public:
  // Ends the main loop: the application delegate's termination (image work stopped, dialogs
  // closed, the will-terminate notification) follows from it. Not `quit()`: that first asks every
  // window to close, and the main window answers a close in plug-in mode by cancelling the run,
  // which would end it again and again.
  void terminate(int status) override { QCoreApplication::exit(status); }
};

// The types the export writer writes.
bool isWritableType(const std::string& type) {
  const auto types = CGImageDestinationCopyTypeIdentifiers();
  return std::find(types.begin(), types.end(), type) != types.end();
}

// Something (a file, a folder, a link, even a dangling one) has this name.
bool nameTaken(const std::string& path) { return qv::entryAt(path).isTaken(); }

// One spelling per file for the targets of a run ("out/./a.jpg" is "out/a.jpg").
std::string targetKey(const std::string& path) {
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(fs::absolute(path, ec), ec);
  return ec ? fs::path(path).lexically_normal().string() : canonical.string();
}

// "name_2.ext", "name_3.ext", ... beside `path`: the first whose name is free and not among `claimed`.
std::string freeName(const std::string& path, const std::set<std::string>& claimed) {
  const fs::path p(path);
  const std::string stem = p.stem().string(), extension = p.extension().string();
  for (int n = 2;; ++n) {
    const std::string candidate = (p.parent_path() / (stem + "_" + std::to_string(n) + extension)).string();
    if (!nameTaken(candidate) && !claimed.count(targetKey(candidate))) return candidate;
  }
}

// What a result carries of its source: the source's metadata, its depth (16 bits for a source of
// more than 8 when the type holds them) and its colour space, in which the samples are encoded.
qv::Value resultProperties(const std::string& source, const std::string& type) {
  qv::Value properties = QVImageUtils::imagePropertiesAtPath(source);
  if (!properties.isDictionary()) properties = qv::Dictionary{};
  const bool deep = QVImageUtils::colorDepthAtPath(source) > 8 && CGImageDestinationTypeHoldsSixteenBits(type);
  properties.set(kCGImagePropertyDepth, int64_t(deep ? 16 : 8));
  properties.set(kQVImageDestinationColorSpace,
                 qv::Value(CGColorSpaceCopyICCData(qv::displayColorSpaceForFile(source))));
  return properties;
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

std::string QVPluginController::savePathForPath(const std::string& path, bool* named) const {
  const auto& manager = modeManager();
  const std::string savePath = manager.savePath(), image = manager.imagePath();
  auto answer = [named](std::string target, bool exactly) {
    if (named) *named = exactly;
    return target;
  };
  for (const auto& [source, target] : manager.pathsForSave()) {
    if (source == path) return answer(target, true);
  }
  if (!image.empty() && path == image) return answer(savePath.empty() ? image : savePath, true);
  if (!savePath.empty()) return answer(fs::path(path).replace_extension(fs::path(savePath).extension()), false);
  return answer(path, false);
}

std::string QVPluginController::outputTypeFor(const std::string& readType, const std::string& outputPath) const {
  if (fs::path(outputPath).has_extension()) return CGImageDestinationTypeForPath(outputPath);
  if (!modeManager().lightroomExtrasResPath().empty()) return kUTTypeTIFF;
  return isWritableType(readType) ? readType : std::string(kUTTypeTIFF);
}

std::vector<QVPluginController::Destination> QVPluginController::planDestinations(
    const std::vector<std::string>& sources) const {
  std::vector<Destination> destinations;
  std::set<std::string> claimed;
  for (const auto& source : sources) {
    Destination d;
    d.source = source;
    bool named = false;
    d.asked = d.path = savePathForPath(source, &named);
    d.type = outputTypeFor(QVImageUtils::imageTypeAtPath(source), d.path);
    if (d.type.empty()) {
      // A file's type is its name's: a name no writer writes gets a TIFF of that name instead.
      d.path = fs::path(d.path).replace_extension(".tif").string();
      d.type = kUTTypeTIFF;
      d.note = "no image of the kind \"" + fs::path(d.asked).extension().string() + "\" can be written";
      named = false;
    } else if (QVImageUtils::isRawImage(d.path)) {
      d.path = fs::path(d.path).replace_extension(".tif").string();
      d.type = kUTTypeTIFF;
      d.note = "a camera RAW is never overwritten by a rendering";
      named = false;
    }
    if (claimed.count(targetKey(d.path))) {
      d.note = "another result of this run goes to " + d.path;
      named = false;
    }
    // Only a file the host named is replaced; any other result takes a name nothing has.
    d.freeBase = d.path;
    if (!named && (nameTaken(d.path) || claimed.count(targetKey(d.path)))) d.path = freeName(d.path, claimed);
    d.replace = named;
    d.properties = resultProperties(source, d.type);
    claimed.insert(targetKey(d.path));
    destinations.push_back(std::move(d));
  }
  return destinations;
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
  failures_.clear();
  saved_.clear();
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
    QVLogError("plug-in export: %s could not be processed; it has no result", path.c_str());
    failures_.push_back({path, savePathForPath(path), "the photo could not be read or processed"});
  }
  if (processingPart_ == parts_) endRun();
  updateProgress();
}

void QVPluginController::endRun() {
  auto run = run_;
  saveImages(run ? run->results : std::map<std::string, NSImageRef>{});
  finishExport();
  // The host first (it waits for the answer), then the user.
  auto& notifier = *services_.notifier;
  for (const auto& d : saved_)
    notifier.post(kQVHostResultSaved, {d.source, d.asked, d.path}, {d.source, d.asked, d.path});
  for (const auto& f : failures_)
    notifier.post(kQVHostResultFailed, {f.source, f.asked, f.reason}, {f.source, f.asked});
  int status = 0;
  if (failures_.empty()) {
    notifier.post(kQVHostTerminationOK);
    modeManager().applyPluginMode();
  } else {
    const std::string reason = std::to_string(failures_.size()) + " of " + std::to_string(parts_) +
                               (parts_ == 1 ? " image has" : " images have") +
                               " no result: " + failures_.front().reason;
    // "ok" is the host's word that the program ends, whatever the run's outcome; the failure came
    // before it.
    notifier.post(kQVHostTerminationFailed, {reason});
    notifier.post(kQVHostTerminationOK);
    modeManager().failPluginMode(reason);
    status = 1;
    // Modal: the quit below is scheduled once the user has read them.
    for (const auto& f : failures_)
      services_.alerts->showImageCannotBeSaved(fs::path(f.source).filename().string() + ": " + f.reason);
  }
  auto terminator = services_.terminator;
  qv::MainExecutor::shared().asyncAfter(kQVPluginTerminateDelay,
                                        [terminator, status] { terminator->terminate(status); });
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
  std::vector<std::string> sources;
  for (const auto& source : paths())
    if (images.count(source)) sources.push_back(source);
  // Every target and every source's metadata before the first write: a result written in place of
  // another photo of the run never changes what that photo's own result carries.
  for (auto& d : planDestinations(sources)) {
    if (!d.note.empty())
      QVLogInfo("plug-in export: the result of %s goes to %s, not %s: %s", d.source.c_str(), d.path.c_str(),
                d.asked.c_str(), d.note.c_str());
    std::string reason;
    if (writeResult(images.at(d.source), d, &reason)) {
      exportedPaths_.push_back(d.path);
      saved_.push_back(std::move(d));
    } else {
      QVLogError("plug-in export: %s could not be written as %s: %s", d.path.c_str(), d.type.c_str(), reason.c_str());
      failures_.push_back({d.source, d.asked, reason});
    }
  }
}

bool QVPluginController::writeResult(const NSImageRef& image, Destination& d, std::string* reason) {
  CGImageRef bitmap = image ? image->CGImage() : nullptr;
  if (!bitmap) {
    *reason = "the processed photo has no pixels";
    return false;
  }
  // A rename over a read-only file needs only the folder's permission: refused, as the export does.
  if (auto readOnly = QVImageSaver::readOnlyReason(d.path)) {
    *reason = *readOnly;
    return false;
  }
  // A free name may be taken between the plan and the write: the next one then, a few times.
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string error;
    if (services_.writer->write(bitmap, d.path, d.type, d.properties, d.replace, &error)) {
      services_.facade->imageWasSaved();
      return true;
    }
    *reason = error.empty() ? "the file could not be written" : error;
    if (d.replace || !nameTaken(d.path)) return false;
    d.path = freeName(d.freeBase.empty() ? d.path : d.freeBase, {});
  }
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
    terminator->terminate(0);
  });
}

void QVPluginController::installPlugins() {
  if (!pluginInstallWC_) pluginInstallWC_ = std::make_unique<QVPluginInstallWindowController>(launchInfo());
  pluginInstallWC_->show();
}
