#include "Ombrel/Classes/Application/Controllers/QVSolvaneWindowController.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <set>

#include "Ombrel/Classes/Application/Feedback/QVFeedbackWindowController.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryServices.h"
#include "Ombrel/Classes/Application/MainWindow/QVExportImageDatasource.h"
#include "Ombrel/Classes/Application/Menus/QVMenuController.h"
#include "Ombrel/Classes/Application/Panels/QVSolvanePanels.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginController.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "Ombrel/Classes/Application/SoundManager/QVSoundManager.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/NotificationCenter.h"

std::shared_ptr<QVSolvaneWindowController> QVSolvaneWindowController::make() {
  std::shared_ptr<QVSolvaneWindowController> controller(new QVSolvaneWindowController());
  controller->build();
  return controller;
}

QVSolvaneWindowController::~QVSolvaneWindowController() {
  dragViewAssistant_.reset();
  if (galleryVC_) galleryVC_->setDelegate(nullptr);
  galleryVC_.reset();
  if (dragView_) dragView_->setDelegate(nullptr);
  openVC_.reset();
  delete window_.data();
}

void QVSolvaneWindowController::build() {
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
    auto self = weak.lock();
    // The open screen appears each time the window shows it.
    if (self && self->openVC_) self->openVC_->viewDidAppear();
  };
  updateForCurrentMode();
  feedbackObserver_ = qv::NotificationCenter::defaultCenter().addObserver(kQVShowFeedbackWindowClicked, nullptr,
                                                                          [weak](const qv::Notification&) {
                                                                            if (auto self = weak.lock())
                                                                              self->showFeedbackWindow();
                                                                          });
}

void QVSolvaneWindowController::showFeedbackWindow() {
  if (!feedbackWindowController_) feedbackWindowController_ = std::make_unique<QVFeedbackWindowController>();
  feedbackWindowController_->show();
}

QVSolvaneTopBarView* QVSolvaneWindowController::makeTitleBar() {
  auto* bar = QVSolvaneTopBarView::topBarWithMenu(titleBarMenu_);
  bar->setTitle("Solvane");
  bar->setImportButtonType(paths_.empty() ? 0 : QVUIStyle::importButtonType());
  bar->setEnableImportMoreButton(true);
  bar->setDelegate(std::weak_ptr<QVSolvaneTopBarViewDelegate>(shared_from_this()));
  return bar;
}

QVSolvaneTopBarView* QVSolvaneWindowController::visibleTitleBar() const {
  if (openVC_ && openVC_->isViewLoaded()) {
    if (auto* open = dynamic_cast<QVOpenView*>(openVC_->view())) {
      if (auto* bar = dynamic_cast<QVSolvaneTopBarView*>(open->titleBarView())) return bar;
    }
  }
  return window_ ? window_->titleBarView() : nullptr;
}

void QVSolvaneWindowController::updateForCurrentMode() {
  const int64_t mode = screenMode();
  if (mode == currentMode_ || !window_) return;
  const bool animated = window_->isVisible();
  currentMode_ = mode;
  if (galleryVC_ && mode != QVScreenModeGallery) {
    galleryVC_->viewWillDisappear();
    galleryVC_->setDelegate(nullptr);
    galleryVC_->setDatasource(nullptr);
    if (QWidget* view = galleryVC_->view()) {
      view->hide();
      view->setParent(nullptr);
    }
    galleryVC_.reset();
  }
  if (mode != QVScreenModeSingle && placeholder_) {
    placeholder_->hide();
    placeholder_->deleteLater();
    placeholder_ = nullptr;
  }
  if (mode == QVScreenModeOpen) {
    openVC_ = std::make_unique<QVOpenViewController>();
    openVC_->setDelegate(this);
    QVEmbedInContainer(openVC_->view(), vcContainer_);
    openVC_->insertTitleBarView(makeTitleBar());
  } else {
    if (openVC_) {
      openVC_->setDelegate(nullptr);
      if (QWidget* view = openVC_->view()) {
        view->hide();
        view->setParent(nullptr);
      }
      openVC_.reset();
    }
    if (mode == QVScreenModeGallery) {
      showGallery();
    } else if (!placeholder_) {
      placeholder_ = QVMake<QVEmptyScreenView>(CGRectMake(0, 0, 10, 10));
      QVEmbedInContainer(placeholder_, vcContainer_);
      placeholder_->show();
    }
  }
  window_->changeSizeMode(mode, animated);
  if (window_->isVisible() && openVC_) openVC_->viewDidAppear();
}

QVSolvaneTopBarView* QVSolvaneWindowController::createTitleBar(std::shared_ptr<QMenu> menu) {
  titleBarMenu_ = std::move(menu);
  // The import-more button appears once photos are open (the open screen is the import place).
  auto* bar = makeTitleBar();
  bar->setBackgroundColor(QVUIStyle::darkColor());
  window_->setTitleBarView(bar);
  if (openVC_) openVC_->insertTitleBarView(makeTitleBar());
  return bar;
}

void QVSolvaneWindowController::setTitleBarMenu(std::shared_ptr<QMenu> menu) {
  if (!window_) return;
  titleBarMenu_ = menu;
  if (openVC_ && openVC_->mainView()) {
    if (auto* bar = dynamic_cast<QVSolvaneTopBarView*>(openVC_->mainView()->titleBarView())) bar->setTopBarMenu(menu);
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

int64_t QVSolvaneWindowController::screenMode() const { return paths_.empty() ? 0 : paths_.size() == 1 ? 1 : 2; }

void QVSolvaneWindowController::updatePathsAndChangeMode(std::vector<std::string> paths) {
  std::vector<std::string> added;
  const std::set<std::string> before(paths_.begin(), paths_.end());
  for (const auto& p : paths) {
    if (!before.count(p)) added.push_back(p);
  }
  if (paths.empty()) {
    ++generation_;
    enhanced_.clear();
  }
  paths_ = std::move(paths);
  const bool galleryShown = galleryVC_ != nullptr;
  updateForCurrentMode();
  if (galleryShown && galleryVC_) galleryVC_->reloadLastCells(added.size());
  if (placeholder_) placeholder_->setPathCount(std::set<std::string>(paths_.begin(), paths_.end()).size());
  if (window_) {
    if (auto* bar = window_->titleBarView()) {
      bar->setImportButtonType(paths_.empty() ? 0 : QVUIStyle::importButtonType());
      bar->setEnableImportMoreButton(QVMenuController::isImportExportMenuEnabled());
    }
  }
  QVLog(1, "screen mode %lld with %zu paths", static_cast<long long>(screenMode()), paths_.size());
  processPreviews(added);
}

void QVSolvaneWindowController::processPreviews(const std::vector<std::string>& paths) {
  std::weak_ptr<QVSolvaneWindowController> weak = weak_from_this();
  const uint64_t generation = generation_;
  for (const auto& path : std::set<std::string>(paths.begin(), paths.end())) {
    QVAppLink::processPreviewAtPath(path, [weak, path, generation](bool enhanced) {
      QVDispatchOnMainThread([weak, path, generation, enhanced] {
        auto self = weak.lock();
        if (!self || !enhanced || generation != self->generation_) return;
        self->enhanced_.insert(path);
        self->showEnhancedCount();
      });
    });
  }
  showEnhancedCount();
}

void QVSolvaneWindowController::showEnhancedCount() {
  const std::set<std::string> open(paths_.begin(), paths_.end());
  size_t count = 0;
  for (const auto& path : open) count += enhanced_.count(path);
  if (placeholder_) placeholder_->setEnhancedCount(count);
}

void QVSolvaneWindowController::simulateDrop(const std::vector<std::string>& paths) {
  QVLogInfo("simulateDrop: %zu paths", paths.size());
  if (paths.empty()) return;
  // Paths already open are not added again; equal paths inside the batch both stay.
  const std::set<std::string> known(paths_.begin(), paths_.end());
  std::vector<std::string> next = paths_;
  for (const auto& path : paths) {
    if (!known.count(path)) next.push_back(path);
  }
  QVSoundManager::playDropSounds();
  updatePathsAndChangeMode(std::move(next));
}

void QVSolvaneWindowController::addImagesAtPaths(const std::vector<std::string>& paths) {
  QVLogInfo("addImagesAtPaths: %zu paths", paths.size());
  updatePathsAndChangeMode(paths);
}

void QVSolvaneWindowController::addFilesViaOpenPanel() {
  // On the open screen the panel is the screen's own: it springs up and shows the choice blurred.
  if (currentMode_ == QVScreenModeOpen && openVC_) {
    openVC_->showAndHandleChooseFilesPanel();
    return;
  }
  std::weak_ptr<QVSolvaneWindowController> weak = weak_from_this();
  QVSolvanePanels::showAndHandleChooseFilesPanelHandler([weak](const std::optional<std::vector<std::string>>& paths) {
    if (auto self = weak.lock(); self && paths) self->simulateDrop(*paths);
  });
}

bool QVSolvaneWindowController::windowShouldClose() { return true; }

void QVSolvaneWindowController::installPlugins() {
  // The plug-in controller opens the installer window and keeps it while it is open. Kept for the
  // life of the process and never destroyed: its window must not outlive the application object.
  static auto* controller = new std::shared_ptr<QVPluginController>(QVPluginController::make());
  (*controller)->installPlugins();
}

bool QVSolvaneWindowController::validateMenuItem(QVMenuItem* item) {
  return QVMenuController::validateMenuItem(item, int64_t(paths_.size()));
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

// ---- Drags and the open screen ----

void QVSolvaneWindowController::openDragViewDidEnter(QVOpenDragView* view) {
  if (currentMode_ == QVScreenModeOpen && openVC_ && !view->URLs().empty()) {
    openVC_->updateBlurredImageWithURL(view->URLs().front(), nullptr);
  }
}

void QVSolvaneWindowController::openDragViewDidMoveWhileDragging(QVOpenDragView*, CGPoint location) {
  if (currentMode_ == QVScreenModeOpen && openVC_) openVC_->handleDragDidMoveWhileDragging(location);
}

void QVSolvaneWindowController::openDragViewDidExit(QVOpenDragView* view) {
  if (currentMode_ == QVScreenModeOpen && openVC_) openVC_->handleDragDidExitWithURLs(view->URLs());
}

void QVSolvaneWindowController::openDragViewDidDrop(QVOpenDragView* view) {
  const std::vector<std::string> paths = view->URLs();
  if (currentMode_ != QVScreenModeOpen || !openVC_) {
    simulateDrop(QVExportImageDatasource::validateFilenames(paths));
    return;
  }
  std::weak_ptr<QVSolvaneWindowController> weak = weak_from_this();
  openVC_->waitForBlurredImageApply([weak, paths] {
    if (auto self = weak.lock()) self->handleTransitionFromOpenViewWithPaths(paths);
  });
}

void QVSolvaneWindowController::openViewControllerDidOpenPaths(QVOpenViewController*,
                                                               const std::vector<std::string>& paths) {
  std::weak_ptr<QVSolvaneWindowController> weak = weak_from_this();
  qv::MainExecutor::shared().asyncAfter(0.3, [weak, paths] {
    auto self = weak.lock();
    if (!self || !self->openVC_) return;
    self->openVC_->waitForBlurredImageApply([weak, paths] {
      // Chosen files were validated by the open screen already.
      if (auto self = weak.lock()) self->simulateDrop(paths);
    });
  });
}

void QVSolvaneWindowController::handleTransitionFromOpenViewWithPaths(const std::vector<std::string>& paths) {
  const std::vector<std::string> valid = QVExportImageDatasource::validateFilenames(paths);
  if (valid.empty()) {
    if (openVC_) openVC_->updateBlurredImageWithURL(std::nullopt);
    return;
  }
  simulateDrop(valid);
}

// ---- The gallery ----

namespace {

// The facade's services, and the open list follows the gallery's deletions.
class QVWindowGalleryServices : public QVGalleryServices {
 public:
  explicit QVWindowGalleryServices(std::weak_ptr<QVSolvaneWindowController> controller)
      : base_(QVGalleryServices::shared()), controller_(std::move(controller)) {}
  void loadImageAtPath(const std::string& path, int64_t type, ImageCompletion completion) override {
    base_->loadImageAtPath(path, type, std::move(completion));
  }
  void processImageAtPath(const std::string& path, int64_t type, int64_t priority,
                          ProcessingCompletion completion) override {
    base_->processImageAtPath(path, type, priority, std::move(completion));
  }
  void cancelLoadingImageAtPath(const std::string& path, int64_t type) override {
    base_->cancelLoadingImageAtPath(path, type);
  }
  void cancelProcessingImageAtPath(const std::string& path, int64_t type) override {
    base_->cancelProcessingImageAtPath(path, type);
  }
  void deleteImagesWithPaths(const std::vector<std::string>& paths) override {
    base_->deleteImagesWithPaths(paths);
    if (auto controller = controller_.lock()) controller->galleryDidDeletePaths(paths);
  }
  bool isPluginMode() override { return base_->isPluginMode(); }
  bool isImportExportMenuEnabled() override { return base_->isImportExportMenuEnabled(); }
  bool isFilePanelShown() override { return base_->isFilePanelShown(); }
  CGSize imageSizeForPath(const std::string& path) override { return base_->imageSizeForPath(path); }

 private:
  std::shared_ptr<QVGalleryServices> base_;
  std::weak_ptr<QVSolvaneWindowController> controller_;
};

}  // namespace

void QVSolvaneWindowController::showGallery() {
  if (galleryVC_) return;
  galleryVC_ = std::make_unique<QVGalleryViewController>(std::make_shared<QVWindowGalleryServices>(weak_from_this()));
  galleryVC_->setDatasource(this);
  galleryVC_->setDelegate(this);
  QVEmbedInContainer(galleryVC_->view(), vcContainer_);
  galleryVC_->view()->show();
  galleryVC_->reloadData();
  galleryVC_->viewWillAppear();
}

void QVSolvaneWindowController::galleryDidDeletePaths(const std::vector<std::string>& paths) {
  const std::set<std::string> removed(paths.begin(), paths.end());
  std::vector<std::string> left;
  for (const auto& path : paths_) {
    if (!removed.count(path)) left.push_back(path);
  }
  if (left.size() == paths_.size()) return;
  std::weak_ptr<QVSolvaneWindowController> weak = weak_from_this();
  paths_ = left;
  if (paths_.size() >= 2) return;
  // Fewer than two left: the screen changes once the gallery is done.
  qv::MainExecutor::shared().async([weak] {
    if (auto self = weak.lock()) self->updatePathsAndChangeMode(self->paths_);
  });
}

void QVSolvaneWindowController::galleryViewControllerDidLeaveASingleImageWithPath(
    QVGalleryViewController*, const std::string& path, std::function<void()> animationCompletion) {
  std::weak_ptr<QVSolvaneWindowController> weak = weak_from_this();
  qv::MainExecutor::shared().async([weak, path, animationCompletion] {
    auto self = weak.lock();
    if (!self) return;
    self->updatePathsAndChangeMode({path});
    if (animationCompletion) animationCompletion();
  });
}

void QVSolvaneWindowController::removeAllItemsInGalleryController(QVGalleryViewController*) {
  std::weak_ptr<QVSolvaneWindowController> weak = weak_from_this();
  qv::MainExecutor::shared().async([weak] {
    if (auto self = weak.lock()) self->addImagesAtPaths({});
  });
}

void QVSolvaneWindowController::clickStartOverInGalleryController(QVGalleryViewController* controller) {
  removeAllItemsInGalleryController(controller);
}
