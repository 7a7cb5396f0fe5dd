#include "Ombrel/Classes/Application/Controllers/QVSolvaneWindowController.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <set>

#include "Ombrel/Classes/Application/Feedback/QVFeedbackWindowController.h"
#include "Ombrel/Classes/Application/Menus/QVMenuController.h"
#include "Ombrel/Classes/Application/Panels/QVSolvanePanels.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "Ombrel/Classes/Application/SoundManager/QVSoundManager.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "QVAppKit/QVFramelessWindow.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/NotificationCenter.h"

namespace {
constexpr QSize kInitialSize(1120, 740);
constexpr QSize kMinimumSize(800, 560);
}  // namespace

std::shared_ptr<QVSolvaneWindowController> QVSolvaneWindowController::make() {
  std::shared_ptr<QVSolvaneWindowController> controller(new QVSolvaneWindowController());
  controller->build();
  return controller;
}

QVSolvaneWindowController::~QVSolvaneWindowController() { delete window_.data(); }

void QVSolvaneWindowController::build() {
  auto* window = QVMake<QVSolvaneMainWindow>(CGRectMake(0, 0, kInitialSize.width(), kInitialSize.height()));
  window->setWindowTitle(QStringLiteral("Solvane"));
  window->setMinimumSize(kMinimumSize);
  QVFramelessWindow::install(window);
  window_ = window;
  std::weak_ptr<QVSolvaneWindowController> weak = weak_from_this();
  window->shouldClose = [weak] {
    auto self = weak.lock();
    return !self || self->windowShouldClose();
  };
  window->willClose = [weak] {
    if (auto self = weak.lock(); self && self->delegate_)
      self->delegate_->solvaneWindowControllerWillCloseWindow(self.get());
  };
  window->didDropFiles = [weak](const std::vector<std::string>& paths) {
    if (auto self = weak.lock()) self->simulateDrop(paths);
  };
  window->didShow = [weak] {
    auto self = weak.lock();
    // The open screen appears each time the window shows it (mode 0).
    if (self && self->screenMode() == 0) qv::NotificationCenter::defaultCenter().post(kQVOpenViewDidAppear);
  };
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

QVSolvaneTopBarView* QVSolvaneWindowController::createTitleBar(std::shared_ptr<QMenu> menu) {
  auto* bar = QVSolvaneTopBarView::topBarWithMenu(std::move(menu));
  bar->setTitle("Solvane");
  // The import-more button appears once photos are open (the open screen is the import place).
  bar->setImportButtonType(paths_.empty() ? 0 : QVUIStyle::importButtonType());
  bar->setEnableImportMoreButton(true);
  bar->setDelegate(std::weak_ptr<QVSolvaneTopBarViewDelegate>(shared_from_this()));
  window_->setTopBar(bar);
  return bar;
}

void QVSolvaneWindowController::setTitleBarMenu(std::shared_ptr<QMenu> menu) {
  if (!window_) return;
  if (auto* bar = window_->topBar()) {
    bar->setTopBarMenu(std::move(menu));
  } else {
    createTitleBar(std::move(menu));
  }
}

void QVSolvaneWindowController::showWindow() {
  if (!window_) return;
  if (!window_->isVisible()) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect area = screen->availableGeometry();
      window_->move(area.center() - QPoint(window_->width() / 2, window_->height() / 2));
    }
  }
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
  if (window_) {
    window_->contentView()->setPathCount(std::set<std::string>(paths_.begin(), paths_.end()).size());
    if (auto* bar = window_->topBar()) {
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
  if (window_) window_->contentView()->setEnhancedCount(count);
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
  std::weak_ptr<QVSolvaneWindowController> weak = weak_from_this();
  QVSolvanePanels::showAndHandleChooseFilesPanelHandler([weak](const std::optional<std::vector<std::string>>& paths) {
    if (auto self = weak.lock(); self && paths) self->simulateDrop(*paths);
  });
}

bool QVSolvaneWindowController::windowShouldClose() { return true; }

void QVSolvaneWindowController::installPlugins() {
  QVLogInfo("installPlugins: no host application on this system takes plug-ins");
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
