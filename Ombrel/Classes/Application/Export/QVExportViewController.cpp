#include "Ombrel/Classes/Application/Export/QVExportViewController.h"

#include <QRegion>
#include <QString>
#include <algorithm>

#include "Ombrel/Classes/Application/Export/QVExportDatasource.h"
#include "Ombrel/Classes/Application/Export/QVExportManagerFactory.h"
#include "Ombrel/Classes/Application/Export/QVFileRevealer.h"
#include "Ombrel/Classes/Application/MainWindow/QVDragViewAssistant.h"
#include "Ombrel/Classes/Application/SoundManager/QVSoundManager.h"
#include "Ombrel/Classes/Business/ExportManager/QVExportManagerBusiness.h"
#include "QVAppKit/NSView+Extensions.h"
#include "QVAppKit/NSViewController+SwitchViewAnimation.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/NotificationCenter.h"
#include "QVPlatform/Value.h"

// What the managers hold: forwards to the panel while it lives.
class QVExportViewController::Updater : public QVExportProgressUpdatable, public QVExportOptionsViewDelegate {
 public:
  explicit Updater(QVExportViewController* panel) : panel_(panel) {}
  void detach() { panel_ = nullptr; }
  void onExportStarted(QVExportManagable& manager) override {
    if (panel_) panel_->onExportStarted(manager);
  }
  void updateProgress(uint64_t part, uint64_t partsCount) override {
    if (panel_) panel_->updateProgress(part, partsCount);
  }
  void onExportFinished(QVExportManagable& manager) override {
    if (panel_) panel_->onExportFinished(manager);
  }
  void onExportCanceled(QVExportManagable& manager) override {
    if (panel_) panel_->onExportCanceled(manager);
  }
  void onExportFailed(QVExportManagable& manager, const std::string& sourcePath, const qv::Error& error) override {
    if (panel_) panel_->onExportFailed(manager, sourcePath, error);
  }
  void exportOnDiskDialogDidCancel() override {
    if (panel_) panel_->exportOnDiskDialogDidCancel();
  }
  void advancedSettingsOptionDidSelect() override {
    if (panel_) panel_->advancedSettingsOptionDidSelect();
  }

 private:
  QVExportViewController* panel_;
};

QVExportViewController::QVExportViewController() : updater_(std::make_shared<Updater>(this)) {}

QVExportViewController::~QVExportViewController() {
  updater_->detach();
  NSViewControllerSwitchViewAnimation::cancelVisibilityChange(this);
  if (progressView_) progressView_->stopAnimation();
}

std::shared_ptr<QVExportProgressUpdatable> QVExportViewController::progressUpdater() const { return updater_; }

void QVExportViewController::loadView() {
  auto* view = QVMake<QVView>();
  view->setBackgroundColor(QColor());
  setView(view);
}

void QVExportViewController::viewDidLoad() {
  QVViewController::viewDidLoad();
  // Above the screen's own views.
  view()->raise();
  // A state asked for before the view existed is the one the loaded panel shows.
  updateWithExportState(currentState_);
}

void QVExportViewController::nextTurn(std::function<void(QVExportViewController*)> block) {
  std::weak_ptr<int> alive = alive_;
  qv::MainExecutor::shared().async([this, alive, block] {
    if (alive.lock()) block(this);
  });
}

// ---- Views ----

QVExportBeginView* QVExportViewController::makeBeginView(uint64_t itemsCount, bool showSlider) {
  return QVMake<QVExportBeginView>(itemsCount, showSlider);
}

QVExportBeginView* QVExportViewController::exportBeginView() {
  if (!beginView_) {
    const auto paths = imagesPathsToShare();
    bool slider = true;
    if (delegate_) slider = delegate_->exportControllerShouldShowSlider(this).value_or(true);
    beginView_ = makeBeginView(paths.empty() ? 1 : paths.size(), slider);
    beginView_->setDelegate(this);
    // The row may outlive the controller (out of the panel while another row shows).
    beginView_->setControlsFrameObserver([this, alive = std::weak_ptr<int>(alive_)] {
      if (alive.lock()) updateInputMask();
    });
  }
  return beginView_;
}

QVExportProcessView* QVExportViewController::exportInProgressView() {
  if (!progressView_) {
    progressView_ = QVMake<QVExportProcessView>();
    progressView_->setActionDelegate(this);
  }
  return progressView_;
}

QVExportEndView* QVExportViewController::exportEndView() {
  if (!endView_) {
    endView_ = QVMake<QVExportEndView>();
    endView_->setDelegate(this);
  }
  return endView_;
}

std::vector<QVView*> QVExportViewController::viewsPool() {
  return {exportBeginView(), exportInProgressView(), exportEndView()};
}

std::vector<std::string> QVExportViewController::imagesPathsToShare() const {
  if (dataSource_)
    if (auto paths = dataSource_->exportControllerPathsToShare()) return *paths;
  return {};
}

void QVExportViewController::updateWithExportState(uint64_t state) {
  // Loading the view shows the current state: set it first, and let the load make the one change.
  if (!isViewLoaded()) {
    currentState_ = state;
    view();
    return;
  }
  ++generation_;
  if (delegate_) delegate_->exportControllerWillChangeExportState(this, state);
  currentState_ = state;
  std::vector<QVView*> hide = viewsPool(), show;
  if (state <= QVExportViewStateEnd) {
    if (state == QVExportViewStateInProgress) exportInProgressView()->prepareForReuse();
    QVView* shown = hide[state];
    hide.erase(hide.begin() + int64_t(state));
    show.push_back(shown);
  }
  // Hidden views that are not on screen need no fade.
  hide.erase(std::remove_if(hide.begin(), hide.end(), [this](QVView* v) { return v->superview() != view(); }),
             hide.end());
  // The three views are see-through and keep their buttons in the same corner (the begin row's DONE
  // or export menu, CANCEL, the end view's DONE): a leaving view held in sight through the fade would
  // have its button drawn under the coming one's. So the leaving views go out of sight at once and
  // the coming view fades in alone; the leaving ones leave the panel when the fade has ended. This
  // change decides every view on screen, so an earlier fade still running is dropped first.
  NSViewControllerSwitchViewAnimation::cancelVisibilityChange(this);
  std::vector<QPointer<QWidget>> leaving;
  for (QVView* v : hide) {
    v->setAlpha(0);
    leaving.emplace_back(v);
  }
  // Leaving the begin row, the whole panel takes the pointer at once; coming back, only once the
  // other views have left.
  updateInputMask();
  std::weak_ptr<int> alive = alive_;
  auto didChange = [this, alive, state, leaving, generation = generation_] {
    if (!alive.lock()) return;
    // A later change decides the views itself.
    if (generation == generation_) {
      std::vector<QWidget*> remove;
      for (const auto& v : leaving)
        if (v && v->parentWidget() == view()) remove.push_back(v);
      NSViewExtensions::removeFromSuperviews(remove);
    }
    updateInputMask();
    if (delegate_) delegate_->exportControllerDidChangeExportState(this, state);
  };
  if (!NSViewControllerSwitchViewAnimation::changeVisibility(this, {}, show, true, didChange))
    nextTurn([didChange](QVExportViewController*) { didChange(); });
  qv::NotificationCenter::defaultCenter().post(kQVExportStateChangedNotificationName,
                                               std::make_shared<qv::Value>(int64_t(state)));
}

bool QVExportViewController::passesClicksThrough() const {
  if (currentState_ != QVExportViewStateBegin || !beginView_ || !isViewLoaded()) return false;
  QWidget* root = const_cast<QVExportViewController*>(this)->view();
  // Until the other views have faded out and left, the whole panel takes the pointer.
  for (QWidget* other : {static_cast<QWidget*>(progressView_.data()), static_cast<QWidget*>(endView_.data())})
    if (other && other->parentWidget() == root) return false;
  return beginView_->superview() == root;
}

void QVExportViewController::updateInputMask() {
  if (!isViewLoaded()) return;
  QWidget* root = view();
  if (!passesClicksThrough()) {
    if (!root->mask().isEmpty()) root->clearMask();
    return;
  }
  QRegion region;
  for (QWidget* control : beginView_->visibleControls()) {
    const QRect rect(control->mapTo(root, QPoint(0, 0)), control->size());
    region += rect.adjusted(-int(kControlsMargin), -int(kControlsMargin), int(kControlsMargin), int(kControlsMargin));
  }
  // An empty mask would mean "no mask": keep one pixel out of the way instead.
  if (region.isEmpty()) region = QRegion(0, 0, 1, 1);
  if (root->mask() != region) root->setMask(region);
}

void QVExportViewController::reload() {
  for (QVView* v : {static_cast<QVView*>(beginView_.data()), static_cast<QVView*>(progressView_.data()),
                    static_cast<QVView*>(endView_.data())}) {
    if (!v) continue;
    v->removeFromSuperview();
    v->deleteLater();
  }
  NSViewControllerSwitchViewAnimation::cancelVisibilityChange(this);
  if (progressView_) progressView_->stopAnimation();
  beginView_ = nullptr;
  progressView_ = nullptr;
  endView_ = nullptr;
  updateWithExportState(currentState_);
}

void QVExportViewController::updateExportedItemsCount() {
  exportBeginView()->updateExpotedItemsCount(imagesPathsToShare().size());
}

void QVExportViewController::setExportControlsEnabled(bool enabled, bool isProcessing) {
  exportBeginView()->setControlsEnabled(enabled && !isProcessing);
  exportBeginView()->setExportControlsTranslucent(isProcessing);
  exportInProgressView()->actionButton()->setUserInteractionEnabled(enabled);
  exportEndView()->actionButton()->setUserInteractionEnabled(enabled);
}

void QVExportViewController::setSliderBoostAmount(double fraction) {
  exportBeginView()->setSliderBoostAmount(fraction);
}

std::map<std::string, QWidget*> QVExportViewController::animatableViews() {
  if (currentState_ != QVExportViewStateEnd) return {};
  return {{kQVExportFinishViewKey, exportEndView()}, {kQVExportDoneButtonKey, exportEndView()->actionButton()}};
}

void QVExportViewController::notifyDidChangeFocus(bool focused) {
  if (delegate_) delegate_->exportControllerDidChangeFocus(this, focused);
}

// ---- Managers ----

std::shared_ptr<QVExportManagable> QVExportViewController::exportManager() {
  if (!exportManager_) {
    exportManager_ = QVExportManagerFactory::exportManagerForPlatform(kQVExportPlatformInteractive);
    exportManager_->setProgressUpdater(updater_);
    exportManager_->setExportOptionDelegate(updater_);
  }
  return exportManager_;
}

std::shared_ptr<QVExportManagable> QVExportViewController::exportManagerBusiness() {
  if (!exportManagerBusiness_) {
    exportManagerBusiness_ = QVExportManagerFactory::exportManagerForPlatform(kQVExportPlatformPreset);
    exportManagerBusiness_->setProgressUpdater(updater_);
  }
  return exportManagerBusiness_;
}

// ---- Exports ----

void QVExportViewController::exportImages(const std::vector<std::string>& paths, uint64_t type) {
  if (type == 0) {
    // Kept for the export-options route, which the save dialog may open.
    paths_ = paths;
    notifyDidChangeFocus(true);
  }
  beginExport(paths, type, exportManager());
}

void QVExportViewController::beginExport(const std::vector<std::string>& paths, uint64_t type,
                                         const std::shared_ptr<QVExportManagable>& manager) {
  prepareViewsForExport(type, paths.size());
  runningManager_ = manager;
  manager->prepareExportPaths(paths);
  manager->exportWithType(type);
}

void QVExportViewController::prepareViewsForExport(uint64_t type, uint64_t filesCount) {
  std::optional<std::string> name;
  if (auto key = QVExportDatasource::exportTypeString(type))
    name = QString::fromStdString(qv::QVSLocalization::localizedStringForKey(*key)).toUpper().toStdString();
  exportInProgressView()->updateTitleWithServiceType(type, name, filesCount);
  showReveal_ = type == 0;
}

void QVExportViewController::exportBeginViewDidClickExportMenuItemOfType(QVExportBeginView*, uint64_t type) {
  if (type == kQVExportTypeNone) return;
  showReveal_ = false;
  const auto paths = imagesPathsToShare();
  nextTurn([paths, type](QVExportViewController* panel) { panel->exportImages(paths, type); });
}

void QVExportViewController::exportActionedBasicViewDidClickActionButton(QVExportActionedBasicView*) {
  if (currentState_ == QVExportViewStateInProgress)
    cancelExport();
  else if (currentState_ == QVExportViewStateEnd)
    finishExport();
}

void QVExportViewController::cancelExport() {
  if (runningManager_) runningManager_->cancelProcessing();
  // The user's cancel stops the dots and the phase text as the manager's does.
  exportInProgressView()->stopAnimation();
  updateWithExportState(QVExportViewStateBegin);
  exportInProgressView()->prepareForReuse();
  notifyDidChangeFocus(false);
  if (delegate_) delegate_->exportControllerDidCancel(this);
}

void QVExportViewController::finishExport() {
  updateWithExportState(QVExportViewStateBegin);
  exportInProgressView()->prepareForReuse();
  notifyDidChangeFocus(false);
  if (delegate_) delegate_->exportControllerDidFinish(this);
  // The next export gets a new interactive manager.
  if (runningManager_ == exportManager_) runningManager_ = nullptr;
  exportManager_ = nullptr;
}

void QVExportViewController::exportEndViewDidClickReveal(QVExportEndView*) {
  if (!exportManager_) return;
  const auto& exported = exportManager_->exportedPaths();
  if (!exported.empty()) QVFileRevealer::shared()->revealFiles(exported);
}

// ---- Progress ----

void QVExportViewController::onExportStarted(QVExportManagable&) {
  failures_.clear();
  exportInProgressView()->setImagesPathsToShare(imagesPathsToShare());
  updateWithExportState(QVExportViewStateInProgress);
  exportInProgressView()->startAnimation();
  if (delegate_) delegate_->exportControllerDidStart(this);
}

void QVExportViewController::updateProgress(uint64_t part, uint64_t partsCount) {
  if (currentState_ != QVExportViewStateInProgress) return;
  QVExportProcessView* panel = exportInProgressView();
  panel->setCurrentPart(part);
  panel->progressView()->setPartsCount(partsCount);
  panel->progressView()->setCurrentPart(part);
}

void QVExportViewController::onExportFinished(QVExportManagable& manager) {
  if (currentState_ != QVExportViewStateInProgress) return;
  if (runningManager_ && runningManager_.get() != &manager) return;
  QVProgressView* bar = exportInProgressView()->progressView();
  // The managers report the steps before each photo; the last one ends with the finish.
  updateProgress(bar->partsCount(), bar->partsCount());
  const uint64_t written = manager.exportedPaths().size();
  std::weak_ptr<int> alive = alive_;
  const uint64_t generation = generation_;
  bar->waitEndAnimationWithCompletion([this, alive, generation, written] {
    if (!alive.lock() || generation != generation_) return;
    QVSoundManager::playCompleteSounds();
    exportInProgressView()->stopAnimation();
    exportInProgressView()->prepareForReuse();
    exportEndView()->setExportedCount(written, written + failures_.size());
    updateWithExportState(QVExportViewStateEnd);
    reportFailures(written);
  });
}

void QVExportViewController::onExportFailed(QVExportManagable& manager, const std::string& sourcePath,
                                            const qv::Error& error) {
  if (runningManager_ && runningManager_.get() != &manager) return;
  const auto found = error.userInfo.find("reason");
  std::string reason = found == error.userInfo.end() ? std::string() : found->second.asString();
  if (reason.empty()) reason = error.description;
  failures_.push_back({sourcePath, reason});
}

void QVExportViewController::reportFailures(uint64_t exported) {
  if (failures_.empty()) return;
  nextTurn([failures = failures_, exported](QVExportViewController*) {
    QVSolvaneAlerts::showAlertExportFailed(failures, exported);
  });
}

void QVExportViewController::onExportCanceled(QVExportManagable& manager) {
  if (currentState_ != QVExportViewStateInProgress) return;
  if (runningManager_ && runningManager_.get() != &manager) return;
  exportInProgressView()->stopAnimation();
  cancelExport();
  exportInProgressView()->prepareForReuse();
  // Nothing was written: say why.
  reportFailures(0);
}

// ---- The export-options route ----

void QVExportViewController::advancedSettingsOptionDidSelect() {
  if (settingsVC_) return;
  settingsVC_ = QVBatchSettingsWindow::make();
  notifyDidChangeFocus(true);
  std::weak_ptr<int> alive = alive_;
  settingsVC_->showWithCompletion([this, alive](std::shared_ptr<QVBatchPreset> preset) {
    if (!alive.lock()) return;
    settingsVC_ = nullptr;
    if (!preset) return notifyDidChangeFocus(false);
    nextTurn([preset](QVExportViewController* panel) {
      auto manager = panel->exportManagerBusiness();
      if (auto business = std::dynamic_pointer_cast<QVExportManagerBusiness>(manager)) business->setPreset(preset);
      panel->beginExport(panel->paths_, 0, manager);
      panel->paths_.clear();
    });
  });
}
