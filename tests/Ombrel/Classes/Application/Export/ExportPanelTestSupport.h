#pragma once
// Fakes and helpers of the export panel's tests: managers that record what the panel asks and
// report when told, a recording delegate and data source, a recording file revealer and
// export-options window, and a pump that moves both manual clocks.
#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Export/QVBatchSettingsWindow.h"
#include "Ombrel/Classes/Application/Export/QVExportManagerFactory.h"
#include "Ombrel/Classes/Application/Export/QVExportViewController.h"
#include "Ombrel/Classes/Application/Export/QVFileRevealer.h"
#include "Ombrel/Classes/Business/ExportManager/QVExportManagerBusiness.h"
#include "Ombrel/Classes/Business/ExportManager/QVImageSaver.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVPlatform/MainExecutor.h"

namespace export_test {

// Moves both manual clocks in frames of 1/60 s and lets Qt deliver what they caused.
inline void pump(double seconds) {
  for (double t = 0; t < seconds - 1e-9; t += 1.0 / 60) {
    QVAnimationDriver::shared().advance(1.0 / 60);
    qv::MainExecutor::shared().advance(1.0 / 60);
    QCoreApplication::processEvents();
  }
  qv::MainExecutor::shared().runUntilIdle();
}

// What a manager was asked, as text ("prepare a,b", "export 2", "cancel"), and reports on demand.
class FakeManager : public QVExportManagable {
 public:
  std::vector<std::string> calls;
  std::vector<std::string> exported;

  bool prepareExportPaths(const std::vector<std::string>& paths) override {
    paths_ = paths;
    std::string joined;
    for (const auto& p : paths) joined += (joined.empty() ? "" : ",") + p;
    calls.push_back("prepare " + joined);
    return !paths.empty();
  }
  void exportWithType(uint64_t type) override {
    type_ = type;
    calls.push_back("export " + std::to_string(type));
  }
  void cancelProcessing() override { calls.push_back("cancel"); }
  void finishExport() override {}
  std::shared_ptr<QVExportProgressUpdatable> progressUpdater() const override { return updater_.lock(); }
  void setProgressUpdater(const std::shared_ptr<QVExportProgressUpdatable>& u) override { updater_ = u; }
  void setExportOptionDelegate(const std::shared_ptr<QVExportOptionsViewDelegate>& d) override { options_ = d; }
  std::shared_ptr<QVExportOptionsViewDelegate> optionDelegate() const { return options_.lock(); }
  const std::vector<std::string>& paths() const override { return paths_; }
  uint64_t type() const override { return type_; }
  const std::vector<std::string>& exportedPaths() const override { return exported; }

  // Reports, as a manager does.
  void start() {
    failed.clear();
    if (auto u = updater_.lock()) u->onExportStarted(*this), u->updateProgress(0, paths_.size());
  }
  void step(uint64_t part) {
    if (auto u = updater_.lock()) u->updateProgress(part, paths_.size());
  }
  void finish() {
    exported = paths_;
    if (auto u = updater_.lock()) u->onExportFinished(*this);
  }
  // The photo could not be written: reported, and left out of what the finish lists.
  void fail(const std::string& path, const std::string& reason) {
    failed.push_back(path);
    if (auto u = updater_.lock()) u->onExportFailed(*this, path, QVImageSaver::imageSaveError(reason));
  }
  // Ends with what was written: finished when something was, else cancelled.
  void end() {
    exported.clear();
    for (const auto& p : paths_)
      if (std::find(failed.begin(), failed.end(), p) == failed.end()) exported.push_back(p);
    if (auto u = updater_.lock()) exported.empty() ? u->onExportCanceled(*this) : u->onExportFinished(*this);
  }
  std::vector<std::string> failed;
  void cancel() {
    if (auto u = updater_.lock()) u->onExportCanceled(*this);
  }
  void dialogCancelled() {
    if (auto u = updater_.lock()) u->exportOnDiskDialogDidCancel();
  }

 private:
  std::weak_ptr<QVExportProgressUpdatable> updater_;
  std::weak_ptr<QVExportOptionsViewDelegate> options_;
  std::vector<std::string> paths_;
  uint64_t type_ = 0;
};

// The preset-driven manager with its image work replaced by a record.
class FakeBusinessManager : public QVExportManagerBusiness {
 public:
  std::vector<std::string> calls;
  bool prepareExportPaths(const std::vector<std::string>& paths) override {
    std::string joined;
    for (const auto& p : paths) joined += (joined.empty() ? "" : ",") + p;
    calls.push_back("prepare " + joined);
    return QVExportManagerBusiness::prepareExportPaths(paths);
  }
  void exportWithType(uint64_t type) override { calls.push_back("export " + std::to_string(type)); }
  void cancelProcessing() override { calls.push_back("cancel"); }
};

// Every delegate call as text, in order, with the posted states mixed in by the fixture.
class RecordingDelegate : public QVExportViewControllerDelegate {
 public:
  std::vector<std::string>* log = nullptr;
  std::optional<bool> showSlider;
  void exportControllerWillChangeExportState(QVExportViewController*, uint64_t s) override {
    log->push_back("will " + std::to_string(s));
  }
  void exportControllerDidChangeExportState(QVExportViewController*, uint64_t s) override {
    log->push_back("did " + std::to_string(s));
  }
  void exportControllerDidStart(QVExportViewController*) override { log->push_back("start"); }
  void exportControllerDidFinish(QVExportViewController*) override { log->push_back("finish"); }
  void exportControllerDidCancel(QVExportViewController*) override { log->push_back("cancel"); }
  std::optional<bool> exportControllerShouldShowSlider(QVExportViewController*) override { return showSlider; }
  void exportControllerDidChangeFocus(QVExportViewController*, bool f) override {
    log->push_back(f ? "focus 1" : "focus 0");
  }
};

class PathsSource : public QVExportViewControllerDataSource {
 public:
  std::vector<std::string> paths;
  std::optional<std::vector<std::string>> exportControllerPathsToShare() override { return paths; }
};

class RecordingRevealer : public QVFileRevealer {
 public:
  std::vector<std::vector<std::string>> revealed;
  void revealFiles(const std::vector<std::string>& paths) override { revealed.push_back(paths); }
};

// An export-options window held open until the test closes it.
class HeldSettingsWindow : public QVBatchSettingsWindow {
 public:
  Completion completion;
  void showWithCompletion(Completion c) override { completion = std::move(c); }
  void close(std::shared_ptr<QVBatchPreset> preset) {
    auto c = std::move(completion);
    completion = nullptr;
    if (c) c(std::move(preset));
  }
};

}  // namespace export_test
