#include "Ombrel/Classes/Helpers/QVFilePromisesFetcher.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>

#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/Places.h"

namespace fs = std::filesystem;

namespace {
constexpr double kPromisesScanRate = 0.5;
}  // namespace

std::shared_ptr<QVDraggingInfo> QVFilePromisesFetcher::draggingInfo() const {
  std::lock_guard guard(mutex_);
  return draggingInfo_;
}

void QVFilePromisesFetcher::setDraggingInfo(std::shared_ptr<QVDraggingInfo> drag) {
  std::lock_guard guard(mutex_);
  draggingInfo_ = std::move(drag);
}

QVFilePromisesFetcher::FetchCompletion QVFilePromisesFetcher::fetchCompletion() const {
  std::lock_guard guard(mutex_);
  return fetchCompletion_;
}

void QVFilePromisesFetcher::setFetchCompletion(FetchCompletion completion) {
  std::lock_guard guard(mutex_);
  fetchCompletion_ = std::move(completion);
}

double QVFilePromisesFetcher::promiseTimeout() const {
  std::lock_guard guard(mutex_);
  return promiseTimeout_;
}

void QVFilePromisesFetcher::setPromiseTimeout(double seconds) {
  std::lock_guard guard(mutex_);
  promiseTimeout_ = seconds;
}

std::string QVFilePromisesFetcher::promisesDirectoryPath() {
  std::lock_guard guard(mutex_);
  if (promisesDirectoryPath_.empty())
    promisesDirectoryPath_ = (fs::path(qv::places::temporaryDirectory()) / qv::stringWithUUID()).string();
  std::error_code ec;
  fs::create_directories(promisesDirectoryPath_, ec);
  return promisesDirectoryPath_;
}

void QVFilePromisesFetcher::startService() {
  stopService();
  auto drag = draggingInfo();
  if (!drag) return;
  auto folder = promisesDirectoryPath();
  auto names = drag->namesOfPromisedFilesDroppedAtDestination(folder);
  if (names.empty()) return;
  promisePaths_.clear();
  for (const auto& name : names) promisePaths_.push_back((fs::path(folder) / name).string());
  stopScanner();
  scansWithoutAllFiles_ = 0;
  directoryScanner_ = createDirectoryScannerWithPath(folder);
  directoryScanner_->start();
}

std::shared_ptr<QVPeriodicDirectoryScanner> QVFilePromisesFetcher::createDirectoryScannerWithPath(
    const std::string& path) {
  auto scanner = QVPeriodicDirectoryScanner::make();
  scanner->setTargetDirectoryPath(path);
  scanner->setUpdateRate(kPromisesScanRate);
  scanner->setDelegate(std::static_pointer_cast<QVFilePromisesFetcher>(shared_from_this()));
  scanner->setCallbackQueue(runQueue());
  return scanner;
}

void QVFilePromisesFetcher::stopScanner() {
  if (directoryScanner_) directoryScanner_->stop();
  directoryScanner_.reset();
}

void QVFilePromisesFetcher::scannerDidTrackFilePaths(QVPeriodicDirectoryScanner& scanner,
                                                     const std::vector<std::string>& paths) {
  // A report of a scanner abandoned by a newer start is stale.
  if (&scanner != directoryScanner_.get()) return;
  std::set<std::string> listed;
  for (const auto& path : paths) listed.insert(fs::path(path).filename().string());
  bool all = std::all_of(promisePaths_.begin(), promisePaths_.end(),
                         [&](const std::string& p) { return listed.count(fs::path(p).filename().string()) > 0; });
  if (!all) {
    // Promised files that never arrive must not keep the fetcher scanning for ever.
    double limit = promiseTimeout();
    if (double(++scansWithoutAllFiles_) * kPromisesScanRate >= limit) {
      QVLogWarning("The promised files did not arrive within %g s; no longer waiting for them", limit);
      stopScanner();
    }
    return;
  }
  stopScanner();
  notifyOfCreatedPromiseFiles(promisePaths_);
}

void QVFilePromisesFetcher::notifyOfCreatedPromiseFiles(const std::vector<std::string>& paths) {
  auto completion = fetchCompletion();
  if (!completion) return;
  runAsyncOnCallbackQueue([completion, paths] { completion(paths); });
}
