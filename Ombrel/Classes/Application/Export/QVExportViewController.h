#pragma once
// The export panel that the single-image screen and the gallery lay over their content. It shows
// one of three views: the begin row (0, the export menu and the strength slider), the progress
// view (1) and the end view (2), fading the coming one in (the leaving one goes out of sight at once:
// the three are see-through with their buttons in one corner); it starts every export on one of its
// two managers (made through QVExportManagerFactory: the interactive one for the menu, the menu
// bar and disk exports, the preset-driven one for the export-options route), follows their
// progress, and on each switch of state tells its delegate (will change, and did change once the
// fade has ended) and posts "QVExportStateChangedNotificationName" with the state.
//
//   from  event                                   to   also
//   0     a manager started                        1    progress animation, exportControllerDidStart
//   1     the manager finished                     2    after the bar's end animation: the completion sound
//   1     the user's cancel / the manager's cancel 0    the running manager cancelled, exportControllerDidCancel
//   2     the end view's done button               0    exportControllerDidFinish; a new interactive manager next
//
// A photo the manager could not export is kept with its reason; when the export ends, every one is
// named in one alert (with the attention cue), and the end view counts what was written ("2 OF 3
// EXPORTED" in place of "EXPORT COMPLETE"). When nothing was written the manager cancels: the panel
// returns to the begin row and the alert says why.
//
// The panel remembers which manager runs the export and cancels that one; progress, finish and
// cancel reports count only while the state is 1 (a late one after a cancel is ignored), and the
// end of the bar's animation does nothing once the panel was reloaded or is gone. A choice in the
// export menu starts on the next turn of the main queue with the paths taken at the click; a
// title click (kQVExportTypeNone) starts nothing.
//
// In state 0 only the begin row's controls take the pointer: the rest of the panel lets clicks
// through to the screen below.
//
// Main thread only.
#include <QPointer>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Export/QVBatchSettingsWindow.h"
#include "Ombrel/Classes/Application/Export/QVExportBeginView.h"
#include "Ombrel/Classes/Application/Export/QVExportEndView.h"
#include "Ombrel/Classes/Application/Export/QVExportProcessView.h"
#include "Ombrel/Classes/Business/ExportManager/QVExportManagable.h"
#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"
#include "QVAppKit/QVViewController.h"

class QVExportViewController;
class QVBatchPreset;

enum QVExportViewState : uint64_t {
  QVExportViewStateBegin = 0,
  QVExportViewStateInProgress = 1,
  QVExportViewStateEnd = 2,
};

// All optional.
class QVExportViewControllerDelegate {
 public:
  virtual ~QVExportViewControllerDelegate() = default;
  virtual void exportControllerWillChangeExportState(QVExportViewController*, uint64_t state) {}
  virtual void exportControllerDidChangeExportState(QVExportViewController*, uint64_t state) {}
  virtual void exportControllerDidStart(QVExportViewController*) {}
  virtual void exportControllerDidFinish(QVExportViewController*) {}
  virtual void exportControllerDidCancel(QVExportViewController*) {}
  virtual std::optional<bool> exportControllerShouldShowSlider(QVExportViewController*) { return std::nullopt; }
  // True while a dialog or window of the export has the focus.
  virtual void exportControllerDidChangeFocus(QVExportViewController*, bool focused) {}
};

class QVExportViewControllerDataSource {
 public:
  virtual ~QVExportViewControllerDataSource() = default;
  virtual std::optional<std::vector<std::string>> exportControllerPathsToShare() { return std::nullopt; }
};

// Keys of `animatableViews` in state 2.
inline constexpr const char* kQVExportFinishViewKey = "QVGalleryViewControllerExportFinishViewKey";
inline constexpr const char* kQVExportDoneButtonKey = "QVGalleryViewControllerExportDoneButtonKey";

class QVExportViewController : public QVViewController,
                               public QVExportBeginViewDelegate,
                               public QVExportEndViewDelegate {
 public:
  // Room left around the begin row's controls for their shadows (and taken from the screen below).
  static constexpr double kControlsMargin = 24;

  QVExportViewController();
  ~QVExportViewController() override;
  void loadView() override;
  void viewDidLoad() override;

  QVExportViewControllerDelegate* delegate() const { return delegate_; }
  void setDelegate(QVExportViewControllerDelegate* delegate) { delegate_ = delegate; }
  QVExportViewControllerDataSource* dataSource() const { return dataSource_; }
  void setDataSource(QVExportViewControllerDataSource* source) { dataSource_ = source; }

  uint64_t currentState() const { return currentState_; }
  void updateWithExportState(uint64_t state);
  // Drops the three views (made again on next use, so the begin row counts the current paths)
  // and shows the current state again.
  void reload();

  QVExportBeginView* exportBeginView();
  QVExportProcessView* exportInProgressView();
  QVExportEndView* exportEndView();
  std::vector<QVView*> viewsPool();
  std::vector<std::string> imagesPathsToShare() const;
  void updateExportedItemsCount();
  void setExportControlsEnabled(bool enabled, bool isProcessing);
  void setSliderBoostAmount(double fraction);
  std::map<std::string, QWidget*> animatableViews();

  // ---- Exports ----
  void exportPhotosToDisk(const std::vector<std::string>& paths) { exportImages(paths, 0); }
  void exportAllImagesWithExportType(uint64_t type) { exportImages(imagesPathsToShare(), type); }
  void exportImages(const std::vector<std::string>& paths, uint64_t type);
  void beginExport(const std::vector<std::string>& paths, uint64_t type,
                   const std::shared_ptr<QVExportManagable>& manager);
  virtual void prepareViewsForExport(uint64_t type, uint64_t filesCount);
  void cancelExport();
  virtual void finishExport();

  // The managers, made on first use.
  std::shared_ptr<QVExportManagable> exportManager();
  std::shared_ptr<QVExportManagable> exportManagerBusiness();
  void setExportManager(std::shared_ptr<QVExportManagable> manager) { exportManager_ = std::move(manager); }
  // The manager of the export under way (or of the last one).
  const std::shared_ptr<QVExportManagable>& runningManager() const { return runningManager_; }
  bool isShowRevealInFinderButton() const { return showReveal_; }
  const std::vector<std::string>& paths() const { return paths_; }
  // The export-options window while it is open.
  const std::shared_ptr<QVBatchSettingsWindow>& settingsVC() const { return settingsVC_; }

  // ---- What the managers report (QVExportProgressUpdatable) ----
  void onExportStarted(QVExportManagable& manager);
  void updateProgress(uint64_t part, uint64_t partsCount);
  void onExportFinished(QVExportManagable& manager);
  void onExportCanceled(QVExportManagable& manager);
  void onExportFailed(QVExportManagable& manager, const std::string& sourcePath, const qv::Error& error);
  void exportOnDiskDialogDidCancel() { notifyDidChangeFocus(false); }
  // The photos of the export under way (or of the last one) that could not be exported.
  const std::vector<QVExportFailure>& failures() const { return failures_; }
  // The export dialog's options view asked for the export-options window.
  void advancedSettingsOptionDidSelect();
  // The object the managers hold (weakly) as their progress updater and option delegate.
  std::shared_ptr<QVExportProgressUpdatable> progressUpdater() const;

  // ---- Views ----
  void exportBeginViewDidClickExportMenuItemOfType(QVExportBeginView*, uint64_t type) override;
  void exportActionedBasicViewDidClickActionButton(QVExportActionedBasicView*) override;
  void exportEndViewDidClickReveal(QVExportEndView*) override;
  bool shouldShowRevealInFinderForExportEndView(QVExportEndView*) override { return showReveal_; }

  // Whether the panel lets clicks through outside the begin row's controls now.
  bool passesClicksThrough() const;

 protected:
  // The begin row (the plug-in panel has its own).
  virtual QVExportBeginView* makeBeginView(uint64_t itemsCount, bool showSlider);

 private:
  class Updater;
  void notifyDidChangeFocus(bool focused);
  void updateInputMask();
  // Names the failed photos in one alert, on the next turn.
  void reportFailures(uint64_t exported);
  // Runs on the next turn of the main queue while the panel lives.
  void nextTurn(std::function<void(QVExportViewController*)> block);

  QVExportViewControllerDelegate* delegate_ = nullptr;
  QVExportViewControllerDataSource* dataSource_ = nullptr;
  uint64_t currentState_ = QVExportViewStateBegin;
  std::shared_ptr<QVExportManagable> exportManager_;
  std::shared_ptr<QVExportManagable> exportManagerBusiness_;
  std::shared_ptr<QVExportManagable> runningManager_;
  QPointer<QVExportBeginView> beginView_;
  QPointer<QVExportProcessView> progressView_;
  QPointer<QVExportEndView> endView_;
  bool showReveal_ = false;
  std::vector<std::string> paths_;
  std::vector<QVExportFailure> failures_;
  std::shared_ptr<QVBatchSettingsWindow> settingsVC_;
  std::shared_ptr<Updater> updater_;
  // Bumped by every reload and state change: a bar's end animation of an older one does nothing.
  uint64_t generation_ = 0;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
