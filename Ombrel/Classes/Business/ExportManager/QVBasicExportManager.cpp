#include "Ombrel/Classes/Business/ExportManager/QVBasicExportManager.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "Ombrel/Classes/Business/Batch/QVBatchPreset.h"
#include "Ombrel/Classes/Business/ExportManager/QVImageSaver.h"
#include "Ombrel/Classes/Business/ExportManager/QVSharingServices.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"
#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/OwnFiles.h"
#include "rova/LargeBufferReuse.h"

namespace fs = std::filesystem;

namespace {

std::mutex gTrackerMutex;
QVBasicExportManager::ExportTracker gExportTracker;

bool exists(const std::string& path) { return qv::entryAt(path).isTaken(); }

}  // namespace

void QVBasicExportManager::setExportTracker(ExportTracker tracker) {
  std::lock_guard lock(gTrackerMutex);
  gExportTracker = std::move(tracker);
}

QVBasicExportManager::QVBasicExportManager()
    : writingQueue_(qv::DispatchQueue::makeSerial("QVExportManager.Writing", qv::QualityOfService::UserInitiated)) {}

QVBasicExportManager::~QVBasicExportManager() {
  if (run_) processOneAtOnce(*run_);
  removeRunFolder();
}

bool QVBasicExportManager::prepareExportPaths(const std::vector<std::string>& paths) {
  paths_ = paths;
  return !paths_.empty();
}

void QVBasicExportManager::exportWithType(uint64_t) {
  exportedPaths_.clear();
  failedPaths_.clear();
}

bool QVBasicExportManager::isExporting() const { return run_ && !run_->cancelled && run_->completed < run_->total; }

// ---- Progress ----

void QVBasicExportManager::beginUpdateProgress() {
  QVApp::setExporting(true);
  if (auto updater = progressUpdater()) updater->onExportStarted(*this);
  updateProgress();
}

void QVBasicExportManager::updateProgress() {
  if (auto updater = progressUpdater()) updater->updateProgress(processingPart_, parts_);
  if (processingPart_ < parts_) ++processingPart_;
}

void QVBasicExportManager::finishExport() {
  QVApp::setExporting(false);
  // The photos written are exported; one that could not be written is not (marked so when it
  // failed): closing still offers to save first.
  QVApp::setPhotosExported(run_ ? run_->writtenSources : paths_, true);
  ExportTracker tracker;
  {
    std::lock_guard lock(gTrackerMutex);
    tracker = gExportTracker;
  }
  if (tracker) tracker(run_ ? run_->writtenSources : paths_, type_);
  if (auto updater = progressUpdater()) updater->onExportFinished(*this);
}

void QVBasicExportManager::cancelExport() {
  QVApp::setExporting(false);
  paths_.clear();
  if (auto updater = progressUpdater()) updater->onExportCanceled(*this);
}

void QVBasicExportManager::cancelProcessing() {
  if (run_) run_->cancelled = true;
  if (run_) processOneAtOnce(*run_);
  QVApp::cancelExportProcessing();
  removeRunFolder();
  paths_.clear();
  // The export is over: nothing else would clear the flag, as no finish follows a cancel.
  QVApp::setExporting(false);
}

bool QVBasicExportManager::revealExportedPaths() const {
  if (exportedPaths_.empty()) return false;
  return QVSharingServices::openURL(qv::deletingLastPathComponent(exportedPaths_.front()));
}

// ---- Names ----

std::string QVBasicExportManager::duplicatePath(const std::string& path) const { return freePath(path, Run{}); }

namespace {

// The targets every live run of the process has claimed, with the run that claimed each.
std::mutex gClaimsMutex;
std::map<std::string, const void*>& processClaims() {
  static std::map<std::string, const void*> claims;
  return claims;
}

}  // namespace

QVBasicExportManager::Run::~Run() { releaseClaims(*this); }

void QVBasicExportManager::claim(const RunPtr& run, const std::string& path) {
  run->claimed.insert(path);
  std::lock_guard<std::mutex> lock(gClaimsMutex);
  processClaims().emplace(path, run.get());
}

void QVBasicExportManager::releaseClaims(const Run& run) {
  std::lock_guard<std::mutex> lock(gClaimsMutex);
  auto& claims = processClaims();
  for (const auto& path : run.claimed)
    if (auto it = claims.find(path); it != claims.end() && it->second == &run) claims.erase(it);
}

bool QVBasicExportManager::isClaimedElsewhere(const std::string& path, const Run& run) {
  std::lock_guard<std::mutex> lock(gClaimsMutex);
  auto it = processClaims().find(path);
  return it != processClaims().end() && it->second != &run;
}

bool QVBasicExportManager::isTaken(const std::string& path, const Run& run) const {
  return run.claimed.count(path) || isClaimedElsewhere(path, run) || exists(path);
}

std::string QVBasicExportManager::freePath(const std::string& path, const Run& run) const {
  const std::string folder = qv::deletingLastPathComponent(path);
  const std::string file = qv::lastPathComponent(path);
  const size_t dot = file.rfind('.');
  // A leading dot starts a name, not an extension.
  const bool hasExtension = dot != std::string::npos && dot > 0;
  const std::string name = hasExtension ? file.substr(0, dot) : file;
  const std::string extension = hasExtension ? file.substr(dot) : std::string();
  for (uint64_t n = 2;; ++n) {
    const std::string candidate = qv::appendingPathComponent(folder, name + "_" + std::to_string(n) + extension);
    if (!isTaken(candidate, run)) return candidate;
  }
}

std::string QVBasicExportManager::tempImagePath(const std::string& sourcePath) {
  const std::string folder = QVSolvaneHelpers::imageCacheDirectory();
  std::error_code ec;
  fs::create_directories(folder, ec);
  return qv::appendingPathComponent(folder, std::to_string(std::hash<std::string>{}(sourcePath)) + ".jpg");
}

std::string QVBasicExportManager::resolveCollision(const RunPtr& run, const std::string& target, bool overwrite) {
  std::string resolved = target;
  bool replaces = overwrite;
  if (run->claimed.count(target)) {
    // Another photo of this export writes that name: never over it, and nothing to ask.
    resolved = freePath(target, *run);
    replaces = false;
  } else if ((exists(target) || isClaimedElsewhere(target, *run)) && !overwrite) {
    if (!run->applyToAll) {
      bool applyToAll = false;
      const int64_t answer = QVSolvaneAlerts::showAlertRenameExportImage(qv::lastPathComponent(target), &applyToAll);
      run->applyToAll = applyToAll;
      run->createNew = answer == QVAlertResultCreateNew;
    }
    if (run->createNew)
      resolved = freePath(target, *run);
    else
      replaces = true;
  }
  claim(run, resolved);
  if (replaces) run->replaceable.insert(resolved);
  return resolved;
}

// ---- A run ----

QVBasicExportManager::RunPtr QVBasicExportManager::beginRun(uint64_t count) {
  if (run_) run_->cancelled = true, processOneAtOnce(*run_);
  run_ = std::make_shared<Run>();
  run_->total = count;
  parts_ = count;
  processingPart_ = 0;
  beginUpdateProgress();
  return run_;
}

void QVBasicExportManager::requestImage(const RunPtr& run, uint64_t index, const std::string& path,
                                        const std::shared_ptr<QVBatchPreset>& batchPreset, int colorDepth,
                                        ImageReady ready) {
  std::weak_ptr<QVBasicExportManager> weakSelf = shared_from_this();
  auto deliver = [weakSelf, run, index, path, ready](NSImageRef image,
                                                     std::string reason = "the photo could not be read or processed") {
    QVDispatchOnMainThread([weakSelf, run, index, path, ready, image, reason] {
      run->waiting[index] = [weakSelf, run, index, path, ready, image, reason] {
        auto self = weakSelf.lock();
        if (!self || !self->isLive(run)) return;
        if (!image) return self->failImage(run, path, QVImageSaver::imageSourceError(reason));
        ready(run, index, path, image);
      };
      // A photo may wait on a question (a name already taken) whose dialog runs the main loop:
      // photos ready meanwhile queue up behind it instead of asking at once, so the questions
      // come one at a time and an "Apply to all" answers the rest.
      if (run->takingUp) return;
      run->takingUp = true;
      while (!run->waiting.empty() && run->waiting.begin()->first == run->nextInOrder) {
        auto next = std::move(run->waiting.begin()->second);
        run->waiting.erase(run->waiting.begin());
        ++run->nextInOrder;
        next();
      }
      run->takingUp = false;
    });
  };
  // A preset's colour space the renderer does not know would fail every render without a word.
  if (batchPreset && batchPreset->format()) {
    const int64_t space = batchPreset->format()->colorSpace();
    if (space != 0 && QVImageUtils::colorProfileTypeForColorSpace(space) == rova::kColorProfileUnknown)
      return deliver(nullptr, "the preset's colour space " + std::to_string(space) +
                                  " is unknown (1 sRGB, 2 Adobe RGB, 3 ProPhoto RGB)");
  }
  // A preset export's strength is the photo's when it is asked for. At full strength the render is
  // the result: no source to convert, no blend to wait for.
  const double amount = batchPreset ? QVApp::boostAmountForImagePath(path) : 0;
  const bool fullStrength = batchPreset && amount >= 1;
  auto processed = [run, path, batchPreset, colorDepth, amount, fullStrength, deliver](
                       const std::string&, NSImageRef source, NSImageRef processedImage) {
    if (run->cancelled) return;
    if (!processedImage) return deliver(nullptr);
    if (fullStrength)
      deliver(std::move(processedImage));
    else if (batchPreset)
      QVApp::applyBoostAmount(amount, path, std::move(source), std::move(processedImage), colorDepth, deliver);
    else
      QVApp::applyBoostAmountIfNeededWithOriginalImage(std::move(source), std::move(processedImage), path, deliver);
  };
  if (batchPreset) {
    auto params = QVImageTaskParams::imageTaskParamsWithImagePath(path, 2, 4, batchPreset);
    params->setKeepsOriginal(!fullStrength);
    // A 16-bit file is rendered at 16 bits (a preset names 16 bits for TIFF only; the export dialog
    // for every type that holds them).
    if (colorDepth == 16) params->setRenderDepth(16);
    QVApp::processImageWithTaskParams(params, processed);
  } else {
    QVApp::processImageAtPath(path, 2, 4, nullptr, processed);
  }
}

void QVBasicExportManager::writeInBackground(const RunPtr& run, const std::string& sourcePath,
                                             const std::string& target, Write write) {
  std::weak_ptr<QVBasicExportManager> weakSelf = shared_from_this();
  writingQueue_->async([weakSelf, run, sourcePath, target, write] {
    if (run->cancelled) return;
    const std::optional<qv::Error> error = write();
    QVDispatchOnMainThread([weakSelf, run, sourcePath, target, error] {
      auto self = weakSelf.lock();
      if (!self || !self->isLive(run)) return;
      if (error) return self->failImage(run, sourcePath, *error);
      self->exportedPaths_.push_back(target);
      run->writtenSources.push_back(sourcePath);
      run->writtenTargets.push_back(target);
      self->completeImage(run);
    });
  });
}

void QVBasicExportManager::failImage(const RunPtr& run, const std::string& sourcePath, const qv::Error& error) {
  const auto found = error.userInfo.find("reason");
  const std::string reason = found == error.userInfo.end() ? std::string() : found->second.asString();
  QVLogError("export of %s failed: %s%s%s", sourcePath.c_str(), error.description.c_str(), reason.empty() ? "" : ": ",
             reason.c_str());
  failedPaths_.push_back(sourcePath);
  if (auto updater = progressUpdater()) updater->onExportFailed(*this, sourcePath, error);
  if (isLive(run)) completeImage(run);
}

void QVBasicExportManager::processSeveralAtOnce(const RunPtr& run, const std::vector<std::string>& paths) {
  double largest = 0;
  for (const auto& path : paths) {
    const CGSize size = QVImageUtils::imageSizeForPath(path);
    largest = std::max(largest, size.width * size.height);
  }
  run->photosAtOnce = photosAtOnce(largest, availableMemory(), std::thread::hardware_concurrency());
  QVApp::setPhotosProcessedAtOnce(run->photosAtOnce);
  run->bufferReuse =
      std::make_unique<rova::LargeBufferReuse>(size_t(double(run->photosAtOnce) * kBytesPerPixelReused * largest));
}

void QVBasicExportManager::processOneAtOnce(Run& run) {
  if (run.photosAtOnce > 1) QVApp::setPhotosProcessedAtOnce(1);
  run.photosAtOnce = 1;
  run.bufferReuse.reset();
}

int64_t QVBasicExportManager::photosAtOnce(double pixels, double availableBytes, unsigned cores) {
  const int64_t byCores = std::max<int64_t>(1, int64_t(cores) * 3 / 4);
  if (pixels <= 0 || availableBytes <= 0) return 1;
  const auto byMemory = int64_t(0.5 * availableBytes / (kBytesPerPixelInFlight * pixels));
  return std::clamp<int64_t>(byMemory, 1, byCores);
}

double QVBasicExportManager::availableMemory() {
  std::ifstream info("/proc/meminfo");
  std::string key;
  double kB = 0;
  while (info >> key >> kB) {
    if (key == "MemAvailable:") return kB * 1024;
    info.ignore(1 << 10, '\n');
  }
  return 0;
}

void QVBasicExportManager::completeImage(const RunPtr& run) {
  // One step per photo done (written or failed), the last one ending the run instead: the steps
  // go 0 to n - 1 and the finish fills the bar.
  if (++run->completed < run->total) return updateProgress();
  // Every target is written (or failed): the names are the disk's to tell from now on.
  releaseClaims(*run);
  processOneAtOnce(*run);
  // A photo not written leaves the work unsaved, whatever an earlier export wrote: closing offers
  // to save first again.
  QVApp::setPhotosExported(failedPaths_, false);
  if (run->onComplete) return run->onComplete(run);
  if (run->writtenTargets.empty())
    cancelExport();
  else
    finishExport();
}

// ---- Temporary files ----

std::string QVBasicExportManager::makeRunFolder(const std::string& prefix) {
  removeRunFolder();
  const std::string parent = QVSolvaneHelpers::imageCacheDirectory();
  std::error_code ec;
  fs::create_directories(parent, ec);
  std::string pattern = qv::appendingPathComponent(parent, prefix + "-XXXXXX");
  if (!mkdtemp(pattern.data())) {
    QVLogError("cannot make a temporary folder in %s", parent.c_str());
    return {};
  }
  runFolder_ = pattern;
  return runFolder_;
}

void QVBasicExportManager::removeRunFolder() {
  if (runFolder_.empty()) return;
  std::error_code ec;
  fs::remove_all(runFolder_, ec);
  runFolder_.clear();
}
