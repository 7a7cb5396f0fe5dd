#pragma once
// Lists a folder every `updateRate` seconds (15 unless set) and hands the list to its delegate.
//
// Each tick runs `scanTargetDirectory` on the callback queue (the main queue unless set). The list
// holds the folder's visible entries, a subfolder replaced by its own visible entries one level
// down, as full paths sorted by name; it is passed also when empty. Without a target folder each
// tick posts "QVNotificationProcessingError" with the error (domain "QVErrorDomainProcessing",
// code 103) as object and reports no list.
#include <memory>
#include <string>
#include <vector>

#include "Ombrel/Classes/Helpers/QVPeriodicBackgroundService.h"

inline constexpr const char* kQVPeriodicDirectoryScannerTimerKey = "QVPeriodicDirectoryScannerTimerKey";
inline constexpr const char* kQVNotificationProcessingError = "QVNotificationProcessingError";
inline constexpr const char* kQVErrorDomainProcessing = "QVErrorDomainProcessing";

class QVPeriodicDirectoryScanner;

class QVPeriodicDirectoryScannerDelegate {
 public:
  virtual ~QVPeriodicDirectoryScannerDelegate() = default;
  virtual void scannerDidTrackFilePaths(QVPeriodicDirectoryScanner& scanner, const std::vector<std::string>& paths) = 0;
};

class QVPeriodicDirectoryScanner : public QVPeriodicBackgroundService {
 public:
  static std::shared_ptr<QVPeriodicDirectoryScanner> make() { return std::make_shared<QVPeriodicDirectoryScanner>(); }
  QVPeriodicDirectoryScanner();
  std::string className() const override { return "QVPeriodicDirectoryScanner"; }

  std::shared_ptr<QVPeriodicDirectoryScannerDelegate> delegate() const;
  void setDelegate(const std::shared_ptr<QVPeriodicDirectoryScannerDelegate>& delegate);
  std::string targetDirectoryPath() const;
  void setTargetDirectoryPath(std::string path);

  void startService() override;
  void stopService() override;
  void scanTargetDirectory();
  // The listing of one scan.
  static std::vector<std::string> listDirectory(const std::string& path);

 private:
  mutable std::mutex mutex_;
  std::weak_ptr<QVPeriodicDirectoryScannerDelegate> delegate_;
  std::string targetDirectoryPath_;
};
