#pragma once
// The protocols between the export panel and its export managers.
//  - `QVExportManagable`: what the panel asks of every manager (interactive, preset-driven).
//  - `QVExportProgressUpdatable`: how a manager reports back; every method is optional (the
//    defaults do nothing) and is called on the main thread.
//  - `QVExportOptionsViewDelegate`: told when the save panel's options view asks for the
//    advanced (preset) settings.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "QVPlatform/Error.h"

class QVExportManagable;

class QVExportProgressUpdatable {
 public:
  virtual ~QVExportProgressUpdatable() = default;
  virtual void onExportStarted(QVExportManagable& manager) {}
  // Step `part` of `partsCount` (0 when the export begins).
  virtual void updateProgress(uint64_t part, uint64_t partsCount) {}
  virtual void onExportFinished(QVExportManagable& manager) {}
  virtual void onExportCanceled(QVExportManagable& manager) {}
  virtual void exportOnDiskDialogDidCancel() {}
  // One photo could not be exported (read, processed or written): its source path and why. The
  // export goes on with the others.
  virtual void onExportFailed(QVExportManagable& manager, const std::string& sourcePath, const qv::Error& error) {}
};

class QVExportOptionsViewDelegate {
 public:
  virtual ~QVExportOptionsViewDelegate() = default;
  virtual void advancedSettingsOptionDidSelect() {}
};

class QVExportManagable {
 public:
  virtual ~QVExportManagable() = default;
  // Keeps the paths for the next export; true when there is at least one.
  virtual bool prepareExportPaths(const std::vector<std::string>& paths) = 0;
  virtual void exportWithType(uint64_t type) = 0;
  // The user's cancel: stops the image work; no finish follows and no file is left half written.
  virtual void cancelProcessing() = 0;
  virtual void finishExport() = 0;

  virtual std::shared_ptr<QVExportProgressUpdatable> progressUpdater() const = 0;
  // Held weakly.
  virtual void setProgressUpdater(const std::shared_ptr<QVExportProgressUpdatable>& updater) = 0;
  virtual void setExportOptionDelegate(const std::shared_ptr<QVExportOptionsViewDelegate>&) {}
  virtual const std::vector<std::string>& paths() const = 0;
  virtual uint64_t type() const = 0;
  // The files the last export wrote (each exists once written; failures are never listed).
  virtual const std::vector<std::string>& exportedPaths() const = 0;
};
