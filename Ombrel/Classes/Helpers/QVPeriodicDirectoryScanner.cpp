#include "Ombrel/Classes/Helpers/QVPeriodicDirectoryScanner.h"

#include <algorithm>
#include <filesystem>

#include "QVPlatform/Error.h"
#include "QVPlatform/NotificationCenter.h"

namespace fs = std::filesystem;

namespace {

// The visible entries of a folder, sorted by name; nothing when it cannot be read.
std::vector<fs::path> visibleEntries(const fs::path& folder) {
  std::vector<fs::path> entries;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    auto name = it->path().filename().string();
    if (!name.empty() && name[0] != '.') entries.push_back(it->path());
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

}  // namespace

QVPeriodicDirectoryScanner::QVPeriodicDirectoryScanner() { setUpdateRate(15.0); }

std::shared_ptr<QVPeriodicDirectoryScannerDelegate> QVPeriodicDirectoryScanner::delegate() const {
  std::lock_guard guard(mutex_);
  return delegate_.lock();
}

void QVPeriodicDirectoryScanner::setDelegate(const std::shared_ptr<QVPeriodicDirectoryScannerDelegate>& delegate) {
  std::lock_guard guard(mutex_);
  delegate_ = delegate;
}

std::string QVPeriodicDirectoryScanner::targetDirectoryPath() const {
  std::lock_guard guard(mutex_);
  return targetDirectoryPath_;
}

void QVPeriodicDirectoryScanner::setTargetDirectoryPath(std::string path) {
  std::lock_guard guard(mutex_);
  targetDirectoryPath_ = std::move(path);
}

void QVPeriodicDirectoryScanner::startService() {
  startTimerForKey(kQVPeriodicDirectoryScannerTimerKey,
                   weakBlock(this, [](QVPeriodicDirectoryScanner& self) { self.scanTargetDirectory(); }));
}

void QVPeriodicDirectoryScanner::stopService() { stopTimerForKey(kQVPeriodicDirectoryScannerTimerKey); }

std::vector<std::string> QVPeriodicDirectoryScanner::listDirectory(const std::string& path) {
  std::vector<std::string> paths;
  for (const auto& entry : visibleEntries(path)) {
    std::error_code ec;
    if (fs::is_directory(entry, ec)) {
      for (const auto& inner : visibleEntries(entry)) paths.push_back(inner.string());
    } else {
      paths.push_back(entry.string());
    }
  }
  return paths;
}

void QVPeriodicDirectoryScanner::scanTargetDirectory() {
  auto target = targetDirectoryPath();
  if (target.empty()) {
    auto error = std::make_shared<qv::Error>(kQVErrorDomainProcessing, 103);
    qv::NotificationCenter::defaultCenter().post(kQVNotificationProcessingError, error);
    return;
  }
  auto paths = listDirectory(target);
  auto receiver = delegate();
  if (!receiver) return;
  std::weak_ptr<QVPeriodicDirectoryScanner> weak =
      std::static_pointer_cast<QVPeriodicDirectoryScanner>(shared_from_this());
  auto report = [weak, receiver, paths] {
    if (auto scanner = weak.lock()) receiver->scannerDidTrackFilePaths(*scanner, paths);
  };
  // Scans run on the callback queue already; the report goes there without another hop.
  auto queue = callbackQueue();
  if (!queue) return;
  if (queue->isCurrent() || (queue == qv::DispatchQueue::main() && qv::MainExecutor::shared().isMainThread()))
    report();
  else
    runAsyncOnCallbackQueue(report);
}
