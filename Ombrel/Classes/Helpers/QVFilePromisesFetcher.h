#pragma once
// Receives the file promises of a drag (files that the source application writes only after the
// drop) into a fresh temporary folder and reports the files once all of them exist.
//
// The drag is an interface the interface layer fills in (`QVDraggingInfo`). `start()` asks it for
// the promised names at the promises folder, then watches that folder every 0.5 s with a directory
// scanner whose callback queue is the fetcher's run queue, so the fetcher's state lives on that
// queue. Once every promised name is listed (a file of that name in a subfolder counts), scanning
// stops and the fetch completion receives the promised paths, in promise order, on the callback
// queue. Files that never come stop the watch after `promiseTimeout()` seconds (5 minutes unless
// set), with a warning and no completion; starting again abandons the previous watch.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Ombrel/Classes/Helpers/QVPeriodicDirectoryScanner.h"

// The three facts of a drag the fetcher needs.
class QVDraggingInfo {
 public:
  virtual ~QVDraggingInfo() = default;
  // Whether the drag carries file promises.
  virtual bool hasFilePromises() const = 0;
  // Asks the source to write its promised files into the folder; answers their names.
  virtual std::vector<std::string> namesOfPromisedFilesDroppedAtDestination(const std::string& folder) = 0;
};

class QVFilePromisesFetcher : public QVBackgroundService, public QVPeriodicDirectoryScannerDelegate {
 public:
  using FetchCompletion = std::function<void(const std::vector<std::string>& paths)>;

  static std::shared_ptr<QVFilePromisesFetcher> make() { return std::make_shared<QVFilePromisesFetcher>(); }
  std::string className() const override { return "QVFilePromisesFetcher"; }

  static bool hasPromiseFiles(const std::shared_ptr<QVDraggingInfo>& drag) { return drag && drag->hasFilePromises(); }

  std::shared_ptr<QVDraggingInfo> draggingInfo() const;
  void setDraggingInfo(std::shared_ptr<QVDraggingInfo> drag);
  FetchCompletion fetchCompletion() const;
  void setFetchCompletion(FetchCompletion completion);
  double promiseTimeout() const;
  void setPromiseTimeout(double seconds);

  // Run queue only (read them there, e.g. with runQueue()->sync).
  const std::vector<std::string>& promisePaths() const { return promisePaths_; }
  const std::shared_ptr<QVPeriodicDirectoryScanner>& directoryScanner() const { return directoryScanner_; }
  // "<temporary folder>/<UUID>", made once per fetcher (with its parents when missing).
  std::string promisesDirectoryPath();

  void startService() override;
  void scannerDidTrackFilePaths(QVPeriodicDirectoryScanner& scanner, const std::vector<std::string>& paths) override;
  void notifyOfCreatedPromiseFiles(const std::vector<std::string>& paths);
  std::shared_ptr<QVPeriodicDirectoryScanner> createDirectoryScannerWithPath(const std::string& path);

 private:
  void stopScanner();

  mutable std::mutex mutex_;
  std::shared_ptr<QVDraggingInfo> draggingInfo_;
  FetchCompletion fetchCompletion_;
  double promiseTimeout_ = 300;
  std::string promisesDirectoryPath_;
  // Run queue only.
  std::vector<std::string> promisePaths_;
  std::shared_ptr<QVPeriodicDirectoryScanner> directoryScanner_;
  int64_t scansWithoutAllFiles_ = 0;
};
