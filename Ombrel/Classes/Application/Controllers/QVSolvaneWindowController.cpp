#include "Ombrel/Classes/Application/Controllers/QVSolvaneWindowController.h"

#include <QGuiApplication>
#include <utility>

#include "Ombrel/Classes/Application/Common/QVSingleImageNotifications.h"
#include "Ombrel/Classes/Application/Controllers/QVMainScreens.h"
#include "Ombrel/Classes/Application/Export/QVExportViewController.h"
#include "Ombrel/Classes/Application/Feedback/QVFeedbackWindowController.h"
#include "Ombrel/Classes/Application/Menus/QVMenuController.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenView.h"
#include "Ombrel/Classes/Application/Panels/QVSolvanePanels.h"
#include "Ombrel/Classes/Application/SoundManager/QVSoundManager.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "Ombrel/Classes/Application/Transitions/QVAnimatedScreenTransition.h"
#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/MainExecutor.h"

namespace {

const char* modeLogName(int64_t mode) {
  switch (mode) {
    case 0:
      return "QVExportViewMode_Open";
    case 1:
      return "QVExportViewMode_SingleView";
    case 2:
      return "QVExportViewMode_MultipleView";
    default:
      return "None";
  }
}

std::function<bool()>& replaceKeyQuery() {
  static std::function<bool()> query = [] {
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier);
  };
  return query;
}

// The title bar's height: sheets open below it.
constexpr double kSheetTopOffset = 36;

}  // namespace

void QVSolvaneWindowController::setReplaceKeyQuery(std::function<bool()> query) {
  replaceKeyQuery() =
      query ? std::move(query) : [] { return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier); };
}

std::shared_ptr<QVSolvaneWindowController> QVSolvaneWindowController::make() {
  std::shared_ptr<QVSolvaneWindowController> controller(new QVSolvaneWindowController());
  controller->build();
  return controller;
}

QVSolvaneWindowController::~QVSolvaneWindowController() {
  observers_.clear();
  transition_.reset();
  cancelled_.clear();
  current_.reset();
  dragViewAssistant_.reset();
  if (dragView_) dragView_->setDelegate(nullptr);
  if (exportPathStorage_) exportPathStorage_->setDelegate(nullptr);
  delete window_.data();
}

void QVSolvaneWindowController::build() {
  services_ = QVWindowControllerServices::shared();
  auto* window = new QVSolvaneWindow();
  window->setWindowTitle(QStringLiteral("Solvane"));
  window_ = window;
  // The drag view covers the content; the screens sit inside it, so drags over them reach it.
  dragView_ = QVMake<QVOpenDragView>(CGRectMake(0, 0, 10, 10));
  QVEmbedInContainer(dragView_, window->contentView());
  vcContainer_ = QVMake<QVView>(CGRectMake(0, 0, 10, 10));
  QVEmbedInContainer(vcContainer_, dragView_);
  window->titlebarContainer()->raise();
  dragView_->setDelegate(this);
  dragViewAssistant_ = std::make_unique<QVDragViewAssistant>(dragView_);

  std::weak_ptr<QVSolvaneWindowController> weak = weak_from_this();
  window->shouldClose = [weak] {
    auto self = weak.lock();
    return !self || self->windowShouldClose();
  };
  window->willClose = [weak] {
    if (auto self = weak.lock(); self && self->delegate_)
      self->delegate_->solvaneWindowControllerWillCloseWindow(self.get());
  };
  window->didShow = [weak] {
    if (auto self = weak.lock(); self && self->current_) self->current_->enter();
  };
  registerTransitions();
  currentMode_ = 0;
  updateForCurrentMode();

  auto& center = qv::NotificationCenter::defaultCenter();
  auto on = [weak](void (QVSolvaneWindowController::*method)()) {
    return [weak, method](const qv::Notification&) {
      if (auto self = weak.lock()) ((*self).*method)();
    };
  };
  observers_.push_back(
      center.addObserver(kQVOpenSampleImageClicked, nullptr, on(&QVSolvaneWindowController::onOpenSampleImage)));
  observers_.push_back(
      center.addObserver(kQVShowFeedbackWindowClicked, nullptr, on(&QVSolvaneWindowController::showFeedbackWindow)));
  if (!isPluginMode()) {
    observers_.push_back(
        center.addObserver(kQVExportViewStateDidChangeNotification, nullptr, [weak](const qv::Notification& n) {
          auto self = weak.lock();
          if (auto state = QVSingleImageNotifications::objectValue<uint64_t>(n); self && state)
            self->onExportViewStateDidChange(*state);
        }));
  }
}

void QVSolvaneWindowController::after(double seconds, std::function<void(QVSolvaneWindowController&)> block) {
  std::weak_ptr<QVSolvaneWindowController> weak = weak_from_this();
  qv::MainExecutor::shared().asyncAfter(seconds, [weak, block = std::move(block)] {
    if (auto self = weak.lock()) block(*self);
  });
}

// ---- Screens and modes ----

QVOpenMainScreen* QVSolvaneWindowController::openScreen() const {
  return dynamic_cast<QVOpenMainScreen*>(current_.get());
}
QVSingleMainScreen* QVSolvaneWindowController::singleScreen() const {
  return dynamic_cast<QVSingleMainScreen*>(current_.get());
}
QVGalleryMainScreen* QVSolvaneWindowController::galleryScreen() const {
  return dynamic_cast<QVGalleryMainScreen*>(current_.get());
}
QVOpenViewController* QVSolvaneWindowController::openViewController() const {
  auto* open = openScreen();
  return open ? open->controller() : nullptr;
}

std::unique_ptr<QVMainScreen> QVSolvaneWindowController::viewControllerForMode(int64_t mode) {
  switch (mode) {
    case 0:
      return std::make_unique<QVOpenMainScreen>(this, this, makeTitleBar());
    case 1: {
      auto single = std::make_unique<QVSingleMainScreen>(this, services_->singleImageFacade());
      const auto paths = imagePaths();
      if (!paths.empty()) single->controller()->showProcessedImageWithPath(paths.front());
      return single;
    }
    case 2:
      return std::make_unique<QVGalleryMainScreen>(this);
    default:
      return nullptr;
  }
}

void QVSolvaneWindowController::updateForCurrentMode() {
  updateForMode(currentMode_, viewControllerForMode(currentMode_));
}

void QVSolvaneWindowController::updateForMode(int64_t mode, std::unique_ptr<QVMainScreen> screen, bool shapeWindow) {
  currentMode_ = mode;
  if (window_) {
    // Under a window manager the new screen's shape is taken in one step: a motion there is a round
    // trip per step, each step laid out and painted again late (the gallery's grid changed its
    // columns on the way), with the old picture shown where the manager put the window meanwhile.
    const bool inOneStep = window_->isVisible() && window_->answersFramesLate();
    const bool animated = window_->isVisible() && !inOneStep;
    window_->setSizeMode(mode);
    const CGSize size = firstImageSize();
    if (shapeWindow && inOneStep) window_->setKeepsOldPicture(false);
    if (!shapeWindow) {
      // Already in shape: animating it again would move it away from where the motion ended.
    } else if (mode == 1 && (size.width > 0 && size.height > 0)) {
      window_->updateWithContentSize(size, std::nullopt, animated);
    } else {
      window_->updateWithCurrentSizeMode(animated);
    }
    window_->setKeepsOldPicture(true);
    window_->updateTopControlsVisibility(mode);
  }
  present(std::move(screen));
}

void QVSolvaneWindowController::present(std::unique_ptr<QVMainScreen> screen) {
  // A transition still running (or running back after a cancel) would show the screen that goes
  // now: it stops without reporting.
  transition_.reset();
  transitionMoving_ = false;
  finishWhenStill_ = nullptr;
  cancelled_.clear();
  if (current_) {
    current_->leave();
    if (QWidget* view = current_->view()) {
      view->hide();
      view->setParent(nullptr);
    }
  }
  current_ = std::move(screen);
  if (!current_) return;
  // A transition may have put it in already.
  if (current_->view()->parentWidget() != vcContainer_) QVEmbedInContainer(current_->view(), vcContainer_);
  current_->view()->show();
  current_->enter();
  if (auto* bar = window_ ? window_->titleBarView() : nullptr) {
    bar->setImportButtonType(currentMode_ == 0 ? 0 : QVUIStyle::importButtonType());
    bar->setEnableImportMoreButton(QVMenuController::isImportExportMenuEnabled());
  }
}

std::vector<std::string> QVSolvaneWindowController::transitionPaths() const {
  // The photo the gallery is leaving for is kept apart from the open list until it shows.
  if (exportPathStorage_ && exportPathStorage_->tempPaths() && !exportPathStorage_->tempPaths()->empty())
    return *exportPathStorage_->tempPaths();
  return imagePaths();
}

CGSize QVSolvaneWindowController::firstImageSize() const {
  const std::vector<std::string> paths = transitionPaths();
  return paths.empty() ? CGSizeZero : services_->imageSizeForPath(paths.front());
}

// ---- Paths ----

std::vector<std::string> QVSolvaneWindowController::imagePaths() const {
  return exportPathStorage_ ? exportPathStorage_->pathsOrEmpty() : std::vector<std::string>{};
}

bool QVSolvaneWindowController::isPluginMode() const { return services_->isPluginMode(); }

std::vector<std::string> QVSolvaneWindowController::updatePaths(const std::vector<std::string>& paths) {
  // Validation may show alerts, whose loops run queued work: no queued drop starts meanwhile.
  ++validating_;
  const std::vector<std::string> valid = QVExportImageDatasource::validateFilenames(paths);
  --validating_;
  if (valid.empty()) {
    if (isPluginMode()) {
      if (window_) window_->hide();
      if (!pluginController_) pluginController_ = services_->makePluginController();
      pluginController_->cancelPlugin();
    }
    return {};
  }
  QVSoundManager::playDropSounds();
  if (exportPathStorage_) {
    exportPathStorage_->addPaths(valid);
  } else {
    exportPathStorage_ = std::make_unique<QVExportImageDatasource>(valid);
    exportPathStorage_->setDelegate(this);
  }
  services_->trackEventImageLoadWithPaths(valid);
  // Photos opened now are not exported yet, whatever an export of the same file did before.
  services_->setPhotosExported(valid, false);
  return valid;
}

std::vector<std::string> QVSolvaneWindowController::replacePaths(const std::vector<std::string>& paths) {
  exportPathStorage_.reset();
  return updatePaths(paths);
}

void QVSolvaneWindowController::updatePathsAndChangeMode(const std::vector<std::string>& paths) {
  updatePaths(paths);
  const int64_t mode = viewModeFromPathsCount(imagePaths().size());
  if (mode == 2 && currentMode_ == 2) {
    if (auto* gallery = galleryScreen()) gallery->update();
    return;
  }
  if (mode == currentMode_ && mode != 1) return;
  // From the one photo the gallery comes with the motion a drop makes (the photo shrinks into its
  // cell), whichever control handed the photos in. A transition already under way is cut instead.
  if (currentMode_ == 1 && mode == 2 && !transition_) {
    if (auto* single = singleScreen()) single->controller()->cancelStateTransition();
    transitAndComplete(1, 2, nullptr, nullptr);
    return;
  }
  currentMode_ = mode;
  updateForCurrentMode();
}

void QVSolvaneWindowController::exportImagePathsDidChange(QVExportImageDatasource*) {
  if (currentMode_ != 2) return;
  if (imagePaths().empty()) {
    currentMode_ = 0;
    updateForCurrentMode();
  } else if (auto* gallery = galleryScreen()) {
    gallery->update();
  }
}

// ---- Entry points ----

void QVSolvaneWindowController::simulateDrop(const std::vector<std::string>& paths) {
  QVLog(1, "simulateDrop:");
  if (paths.empty()) return;
  queuedDrops_.insert(queuedDrops_.end(), paths.begin(), paths.end());
  dropQueuedPaths();
}

bool QVSolvaneWindowController::isSettledForDrop() const {
  return current_ && !transition_ && validating_ == 0 && !current_->isTakingDrop() && !isExportUnderWay();
}

bool QVSolvaneWindowController::isExportUnderWay() const {
  return (current_ && current_->exportState() == QVExportViewStateInProgress) || services_->isExporting() ||
         QVSolvanePanels::isSavePanelShowed();
}

void QVSolvaneWindowController::dropQueuedPaths() {
  // How often a waiting drop looks at the screen again, and how often a drop the screen let go of
  // without taking it is made again before it is given up (neither screen does that today).
  constexpr double kCheckInterval = 0.05;
  constexpr int kMaximumAttempts = 3;
  auto checkLater = [this] {
    if (dropCheckScheduled_) return;
    dropCheckScheduled_ = true;
    after(kCheckInterval, [](QVSolvaneWindowController& c) {
      c.dropCheckScheduled_ = false;
      c.dropQueuedPaths();
    });
  };
  if (!dropInFlight_ && queuedDrops_.empty()) return;
  if (!isSettledForDrop()) {
    checkLater();
    return;
  }
  if (dropInFlight_) {
    DropInFlight done = std::move(*dropInFlight_);
    dropInFlight_.reset();
    if (!done.taken && done.attempts >= kMaximumAttempts) {
      QVLogError("the screen did not take %zu dropped paths after %d attempts", done.paths.size(), done.attempts);
    } else if (!done.taken) {
      // The screen settled without taking them (what it waited for was called off): once more.
      queuedDrops_.insert(queuedDrops_.begin(), done.paths.begin(), done.paths.end());
      queuedDropAttempts_ = done.attempts;
    }
  }
  if (queuedDrops_.empty()) return;
  DropInFlight drop;
  drop.paths = std::exchange(queuedDrops_, {});
  drop.ticket = ++dropTickets_;
  drop.attempts = std::exchange(queuedDropAttempts_, 0) + 1;
  dropInFlight_ = drop;
  std::weak_ptr<QVSolvaneWindowController> weak = weak_from_this();
  // The program's own drop never replaces the photo shown, whatever keys are held.
  current_->dragEntered(drop.paths, false, [weak, ticket = drop.ticket, paths = drop.paths] {
    auto self = weak.lock();
    if (!self || !self->dropInFlight_ || self->dropInFlight_->ticket != ticket || self->dropInFlight_->taken) return;
    self->dropInFlight_->taken = true;
    self->processDroppedImagePaths(paths);
  });
  checkLater();
}

void QVSolvaneWindowController::addImagesAtPaths(const std::vector<std::string>& paths) {
  QVLog(1, "addImagesAtPaths:");
  if (current_ && current_->exportState() != 0) return;
  updatePathsAndChangeMode(paths);
}

void QVSolvaneWindowController::addFilesViaOpenPanel() {
  QVLog(1, "addFilesViaOpenPanel");
  // On the open screen the panel is the screen's own: it springs up and shows the choice blurred.
  if (auto* open = openViewController()) {
    open->showAndHandleChooseFilesPanel();
    return;
  }
  openFiles();
}

void QVSolvaneWindowController::openFiles() {
  QVOverlayedViewController* overlayed = current_ ? current_->overlayed() : nullptr;
  if (overlayed) overlayed->showOverlay(true);
  std::weak_ptr<QVSolvaneWindowController> weak = weak_from_this();
  QVSolvanePanels::showAndHandleChooseFilesPanelHandler([weak](const std::optional<std::vector<std::string>>& paths) {
    auto self = weak.lock();
    if (!self) return;
    if (auto* overlay = self->current_ ? self->current_->overlayed() : nullptr) overlay->showOverlay(false);
    if (!self->imagePaths().empty()) {
      if (paths) self->addImagesAtPaths(*paths);
    } else if (paths && !paths->empty()) {
      self->after(0.3,
                  [chosen = *paths](QVSolvaneWindowController& c) { c.handleTransitionFromOpenViewWithPaths(chosen); });
    }
  });
}

void QVSolvaneWindowController::installPlugins() {
  if (!pluginController_) pluginController_ = services_->makePluginController();
  pluginController_->installPlugins();
}

void QVSolvaneWindowController::onOpenSampleImage() {
  const std::vector<std::string> samples = services_->samplePaths();
  if (samples.empty()) return;
  simulateDrop({samples[services_->randomIndex(samples.size())]});
  services_->trackSampleImageOpened();
}

void QVSolvaneWindowController::showFeedbackWindow() {
  feedbackWC_ = std::make_unique<QVFeedbackWindowController>();
  feedbackWC_->show();
}

double QVSolvaneWindowController::sheetTopOffset() const {
  return kSheetTopOffset + (currentMode_ == 0 && current_ ? current_->sheetTopInset() : 0);
}

void QVSolvaneWindowController::placeSheet(QWidget* panel) const {
  if (!window_ || !panel) return;
  // A panel asked from another window of ours (the quick preview) opens over that one.
  if (QWidget* over = panel->parentWidget() ? panel->parentWidget()->window() : nullptr; over && over != window_) {
    const QRect frame = over->frameGeometry();
    panel->move(frame.x() + (frame.width() - panel->width()) / 2, frame.y() + int(QVSolvaneTopBarView::kHeight));
    return;
  }
  QWidget* content = window_->contentView();
  const QPoint origin = content->mapToGlobal(QPoint(0, 0));
  panel->move(origin.x() + (content->width() - panel->width()) / 2, origin.y() + int(sheetTopOffset()));
}

// ---- Drags ----

void QVSolvaneWindowController::openDragViewDidEnter(QVOpenDragView* view) {
  handleDraggingEntered(view->URLs(), nullptr);
}

void QVSolvaneWindowController::openDragViewDidMoveWhileDragging(QVOpenDragView*, CGPoint location) {
  if (currentMode_ == 0 && current_) current_->dragMoved(location);
}

void QVSolvaneWindowController::openDragViewDidExit(QVOpenDragView* view) {
  if (current_) current_->dragExited(view->URLs());
}

void QVSolvaneWindowController::openDragViewDidDrop(QVOpenDragView* view) { processDroppedImagePaths(view->URLs()); }

void QVSolvaneWindowController::handleDraggingEntered(const std::vector<std::string>& paths,
                                                      std::function<void()> completion) {
  if (!current_) return;
  current_->dragEntered(paths, replaceKeyQuery()(), std::move(completion));
}

void QVSolvaneWindowController::processDroppedImagePaths(const std::vector<std::string>& paths) {
  QVLog(1, "current mode is %s", modeLogName(currentMode_));
  if (current_) current_->acceptDrop(paths);
}

void QVSolvaneWindowController::openViewControllerDidOpenPaths(QVOpenViewController*,
                                                               const std::vector<std::string>& paths) {
  after(0.3, [paths](QVSolvaneWindowController& c) {
    if (c.current_ && c.currentMode_ == 0) c.current_->acceptDrop(paths);
  });
}

// ---- Transitions ----

void QVSolvaneWindowController::transitFrom(int64_t from, int64_t to, std::unique_ptr<QVMainScreen> end,
                                            std::function<void(QVMainScreen* end)> completion) {
  std::weak_ptr<QVSolvaneWindowController> weak = weak_from_this();
  transition_ =
      QVScreenTransitions::make(from, to, std::move(end), [weak](int64_t mode) -> std::unique_ptr<QVMainScreen> {
        auto self = weak.lock();
        return self ? self->viewControllerForMode(mode) : nullptr;
      });
  QVScreenTransition* started = transition_.get();
  transitionMoving_ = true;
  transition_->animateTransition([weak, started, completion = std::move(completion)](QVMainScreen* end) {
    auto self = weak.lock();
    std::function<void()> finish;
    if (self && self->transition_.get() == started) {
      self->transitionMoving_ = false;
      finish = std::exchange(self->finishWhenStill_, nullptr);
    }
    if (completion) completion(end);
    if (finish) finish();
  });
}

void QVSolvaneWindowController::transitAndComplete(int64_t from, int64_t to, std::unique_ptr<QVMainScreen> end,
                                                   std::function<void(QVSolvaneWindowController&)> then) {
  std::weak_ptr<QVSolvaneWindowController> weak = weak_from_this();
  transitFrom(from, to, std::move(end), [weak, to, then = std::move(then)](QVMainScreen*) {
    auto self = weak.lock();
    if (!self || !self->transition_) return;
    self->completeTransition(to, std::move(self->transition_));
    if (then) then(*self);
  });
}

void QVSolvaneWindowController::beginTransition(int64_t to, std::function<void(QVMainScreen* end)> done) {
  if (transition_) {
    if (done) done(transition_->endScreen());
    return;
  }
  transitFrom(currentMode_, to, nullptr, std::move(done));
}

void QVSolvaneWindowController::finishTransition(int64_t to, std::function<void(QVMainScreen* end)> prepare) {
  if (!transition_) transitFrom(currentMode_, to, nullptr, nullptr);
  if (!transition_) return;
  if (prepare) prepare(transition_->endScreen());
  if (transitionMoving_) {
    // A drop made while the photo still moves: the end screen takes over when the motion has come
    // to rest, not in the middle of it.
    std::weak_ptr<QVSolvaneWindowController> weak = weak_from_this();
    finishWhenStill_ = [weak, to] {
      auto self = weak.lock();
      if (self && self->transition_) self->completeTransition(to, std::move(self->transition_));
    };
    return;
  }
  completeTransition(to, std::move(transition_));
}

void QVSolvaneWindowController::completeTransition(int64_t to, std::unique_ptr<QVScreenTransition> transition) {
  transition->finishTransition();
  updateForMode(to, transition->takeEndScreen(), !transition->shapesWindow());
}

void QVSolvaneWindowController::cancelTransition() {
  transitionMoving_ = false;
  finishWhenStill_ = nullptr;
  if (auto transition = std::move(transition_)) {
    transition->cancelTransition();
    cancelled_.push_back(std::move(transition));
  }
}

void QVSolvaneWindowController::registerTransitions() {
  std::weak_ptr<QVSolvaneWindowController> weak = weak_from_this();
  for (auto [from, to] : {std::pair<int64_t, int64_t>{0, 1}, {0, 2}, {1, 2}, {2, 1}, {2, 0}}) {
    QVScreenTransitions::setMaker(
        from, to,
        [weak](int64_t f, int64_t t, std::unique_ptr<QVMainScreen> end) -> std::unique_ptr<QVScreenTransition> {
          auto self = weak.lock();
          if (!self) return std::make_unique<QVImmediateScreenTransition>(f, t, std::move(end));
          QVAnimatedScreenTransition::Context context;
          context.start = self->current_.get();
          context.container = self->vcContainer_;
          context.paths = self->transitionPaths();
          if (const CGSize size = self->firstImageSize(); size.width > 0 && size.height > 0) context.imageSize = size;
          return std::make_unique<QVAnimatedScreenTransition>(f, t, std::move(end), std::move(context));
        });
  }
}

void QVSolvaneWindowController::handleTransitionFromOpenViewWithPaths(const std::vector<std::string>& paths) {
  const std::vector<std::string> valid = updatePaths(paths);
  if (valid.empty()) {
    if (auto* open = openViewController()) open->updateBlurredImageWithURL(std::nullopt);
    return;
  }
  const int64_t endMode = imagePaths().size() < 2 ? 1 : 2;
  // The valid images are enhanced as previews once their screen shows.
  transitAndComplete(0, endMode, nullptr,
                     [valid](QVSolvaneWindowController& c) { c.services_->processImagesAtPaths(valid, 1); });
}

void QVSolvaneWindowController::galleryDidLeaveASingleImageWithPath(const std::string& path,
                                                                    std::function<void()> animationCompletion) {
  auto single = std::make_unique<QVSingleMainScreen>(this, services_->singleImageFacade());
  single->controller()->showProcessedImageWithPath(path, false);
  transitAndComplete(2, 1, std::move(single), [animationCompletion](QVSolvaneWindowController& self) {
    if (animationCompletion) animationCompletion();
    auto* screen = self.singleScreen();
    if (!screen || screen->controller()->currentState() != 1) return;
    self.after(0.1, [](QVSolvaneWindowController& c) {
      auto* single = c.singleScreen();
      if (!single) return;
      auto* vc = single->controller();
      vc->performCurtainAnimation([vc](bool) { vc->onEndTransitionToState(vc->currentState()); });
    });
  });
}

// ---- Closing and starting over ----

bool QVSolvaneWindowController::windowShouldClose() {
  QVLog(1, "windowShouldClose:");
  if (isPluginMode()) {
    if (!pluginController_) pluginController_ = services_->makePluginController();
    pluginController_->cancelPlugin();
    return false;
  }
  if ((currentMode_ == 1 || currentMode_ == 2) && !closeSessionsWithAlert(true, services_->exported())) return false;
  if (delegate_) {
    delegate_->solvaneWindowControllerWillCloseWindow(this);
    return false;
  }
  return true;
}

bool QVSolvaneWindowController::closeSessionsWithAlert(bool showQuitButton, bool showCancelButton) {
  const int64_t answer =
      QVSolvaneAlerts::showAlertWantStartOverWithQuitButton(showQuitButton, !services_->exported(), showCancelButton,
                                                            imagePaths().size());
  if ((answer == kAnswerQuit || answer == kAnswerStartOver) && current_) current_->willPrepareToHideWindow();
  switch (answer) {
    case kAnswerQuit:
      return true;
    case kAnswerStartOver:
      startOver();
      return false;
    case kAnswerSaveFirst:
      exportWithExportType(0);
      return false;
    default:
      return false;
  }
}

void QVSolvaneWindowController::onStartOverMenuItem(QVMenuItem*) {
  if (current_ && current_->startOverFromOwnWindow()) return;
  closeSessionsWithAlert(false, true);
}

void QVSolvaneWindowController::startOver() {
  QVLog(1, "startOver");
  services_->cancelProcessingAndClean(false);
  cancelTransition();
  if (exportPathStorage_) exportPathStorage_->clear();
  if (auto* gallery = galleryScreen()) {
    std::weak_ptr<QVSolvaneWindowController> weak = weak_from_this();
    gallery->prepareToStartOver([weak] {
      if (auto self = weak.lock()) self->transitAndComplete(2, 0, nullptr, nullptr);
    });
  } else {
    currentMode_ = 0;
    if (exportPathStorage_) exportPathStorage_->clear();
    updateForCurrentMode();
  }
  if (dragView_) dragView_->setDraggingEnabled(true);
  if (!isPluginMode()) removeExportSubmenus();
}

// ---- Export ----

void QVSolvaneWindowController::exportWithExportType(uint64_t type) {
  if (current_) current_->exportWithExportType(type);
}

void QVSolvaneWindowController::onExportMenuItemSelected(QVMenuItem* item) {
  if (item && item->representedObject().has_value()) exportWithExportType(uint64_t(item->tag()));
}

void QVSolvaneWindowController::removeExportSubmenus() {
  QVMenuController::deleteExportSubmenuFromFileMenu();
  QVMenuController::deleteExportSubmenuFromMenu(titleBarItemsMenu());
}

void QVSolvaneWindowController::onExportViewStateDidChange(uint64_t state) {
  removeExportSubmenus();
  if (state != 1 || isPluginMode()) return;
  QVMenuController::addExportSubmenuToFileMenuWithTarget(this);
  QVMenuController::addExportSubmenuToMenu(titleBarItemsMenu(), this);
}

// ---- Title bar, menus and the window ----

QVMenu* QVSolvaneWindowController::titleBarItemsMenu() {
  if (!titleBarItemsMenu_) titleBarItemsMenu_ = QVMenuController::solvaneTitleBarMenuWithTarget(this);
  return titleBarItemsMenu_.get();
}

QVSolvaneTopBarView* QVSolvaneWindowController::makeTitleBar() {
  auto* bar = QVSolvaneTopBarView::topBarWithMenu(titleBarMenu_);
  bar->setTitle("Solvane");
  bar->setImportButtonType(imagePaths().empty() ? 0 : QVUIStyle::importButtonType());
  bar->setEnableImportMoreButton(true);
  bar->setDelegate(std::weak_ptr<QVSolvaneTopBarViewDelegate>(shared_from_this()));
  return bar;
}

QVSolvaneTopBarView* QVSolvaneWindowController::visibleTitleBar() const {
  if (auto* open = openViewController(); open && open->isViewLoaded()) {
    if (auto* view = dynamic_cast<QVOpenView*>(open->view())) {
      if (auto* bar = dynamic_cast<QVSolvaneTopBarView*>(view->titleBarView())) return bar;
    }
  }
  return window_ ? window_->titleBarView() : nullptr;
}

QVSolvaneTopBarView* QVSolvaneWindowController::createTitleBar(std::shared_ptr<QMenu> menu) {
  titleBarMenu_ = std::move(menu);
  auto* bar = makeTitleBar();
  bar->setBackgroundColor(QVUIStyle::darkColor());
  window_->setTitleBarView(bar);
  if (auto* open = openViewController()) open->insertTitleBarView(makeTitleBar());
  return bar;
}

void QVSolvaneWindowController::setTitleBarMenu(std::shared_ptr<QMenu> menu) {
  if (!window_) return;
  titleBarMenu_ = menu;
  if (auto* open = openViewController(); open && open->mainView()) {
    if (auto* bar = dynamic_cast<QVSolvaneTopBarView*>(open->mainView()->titleBarView())) bar->setTopBarMenu(menu);
  }
  if (auto* bar = window_->titleBarView()) {
    bar->setTopBarMenu(std::move(menu));
  } else {
    createTitleBar(std::move(menu));
  }
}

void QVSolvaneWindowController::showWindow() {
  if (!window_) return;
  if (!window_->isVisible()) window_->updateWithCurrentSizeMode(false);
  window_->show();
  window_->raise();
  window_->activateWindow();
}

bool QVSolvaneWindowController::isWindowVisible() const { return window_ && window_->isVisible(); }
bool QVSolvaneWindowController::isWindowMiniaturized() const { return window_ && window_->isMinimized(); }

void QVSolvaneWindowController::makeKeyAndOrderFront() {
  if (!window_) return;
  if (window_->isMinimized()) window_->showNormal();
  showWindow();
}

void QVSolvaneWindowController::closeWindow() {
  if (window_) window_->close();
}

bool QVSolvaneWindowController::validateMenuItem(QVMenuItem* item) {
  return QVMenuController::validateMenuItem(item, int64_t(imagePaths().size()));
}

void QVSolvaneWindowController::onHelpMenuItem(QVMenuItem* item) {
  QVMenuController::handleHelpMenuActionForItem(item);
}

void QVSolvaneWindowController::applyPlugin(QVMenuItem*) {
  qv::NotificationCenter::defaultCenter().post(kQVApplyPluginNotificationName);
}

void QVSolvaneWindowController::cancelPlugin(QVMenuItem*) {
  qv::NotificationCenter::defaultCenter().post(kQVCancelPluginNotificationName);
}
