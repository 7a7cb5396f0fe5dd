#include "Ombrel/Classes/Application/Gallery/QVQuickPreviewWindowController.h"

#include <QGuiApplication>
#include <QWindow>
#include <algorithm>
#include <filesystem>

#include "Ombrel/Classes/Application/Gallery/QVGalleryServices.h"
#include "Ombrel/Classes/Application/Gallery/QVQuickPreviewFrames.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindowShapes.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVSolvaneTopBarView.h"
#include "QVAppKit/QVViewController.h"
#include "QVPlatform/ImageIO/NSImageAdditions.h"

QVQuickPreviewWindowController::QVQuickPreviewWindowController() {
  window_ = new QVSolvaneWindow();
  configureWindow();
  titleBar_ = QVSolvaneTopBarView::topBar();
  titleBar_->setShowTitle(true);
  titleBar_->setShowResizeButton(false);
  titleBar_->setShowMinimizeButton(false);
  titleBar_->setShowArrowNearTitle(false);
  titleBar_->setBackgroundColor(QVUIStyle::darkColor());
  window_->setTitleBarView(titleBar_);
  window_->setTitleBarVisible(true);
  // The screen lies below the title bar.
  screenContainer_ = QVMake<QVView>(CGRectMake(0, 0, 10, 10));
  window_->contentView()->addSubview(screenContainer_);
  QPointer<QVView> container = screenContainer_;
  QPointer<QVRoundedView> content = window_->contentView();
  window_->contentView()->addConstraint([container, content] {
    if (!container || !content) return;
    const CGRect bounds = content->bounds();
    container->setFrame(
        CGRectMake(0, 0, bounds.size.width, std::max(0.0, bounds.size.height - QVSolvaneTopBarView::kHeight)));
  });
  screen_ = QVQuickPreviewScreen::make();
  if (QWidget* view = screen_->view()) QVEmbedInContainer(view, screenContainer_);
  window_->setTitleBarVisible(true);
  std::weak_ptr<int> alive = alive_;
  window_->willClose = [this, alive] {
    if (alive.lock()) windowWillClose();
  };
  QObject::connect(qApp, &QGuiApplication::applicationStateChanged, window_, [this, alive](Qt::ApplicationState state) {
    if (!alive.lock()) return;
    if (state == Qt::ApplicationActive) {
      applicationDidBecomeActive();
    } else {
      applicationWillResignActive();
    }
  });
  hidden_ = true;
}

QVQuickPreviewWindowController::~QVQuickPreviewWindowController() {
  alive_.reset();
  if (animation_) QVAnimationDriver::shared().cancel(animation_);
  if (screen_) screen_->cancelStateTransition();
  // The screen goes first: its views live in the window.
  screen_.reset();
  if (window_) {
    window_->willClose = nullptr;
    delete window_.data();
  }
}

void QVQuickPreviewWindowController::configureWindow() {
  window_->setCornerRadii(QVSMakeCornerRadii(6, 6, 30, 6));
  window_->setWindowTitle(QString());
  window_->setSizeMode(-1);
  // A tool window: it stays with the main window and above it, without a taskbar entry.
  window_->setWindowFlag(Qt::Tool, true);
  window_->setWindowFlag(Qt::WindowStaysOnTopHint, true);
  windowLevel_ = kFloatingLevel;
}

QWidget* QVQuickPreviewWindowController::parentWindow() const { return parentWindow_; }

std::string QVQuickPreviewWindowController::selectedPath() const {
  if (selectedIdx_ < 0 || size_t(selectedIdx_) >= imagePaths_.size()) return {};
  return imagePaths_[size_t(selectedIdx_)];
}

CGSize QVQuickPreviewWindowController::selectedImageSize() const {
  const std::string path = selectedPath();
  if (path.empty()) return CGSizeZero;
  const CGSize size = QVGalleryServices::shared()->imageSizeForPath(path);
  if (size.width <= 0 || size.height <= 0) return CGSizeZero;
  return qv::imageSizeFitSizeForSize(size, CGSizeMake(kFitSide, kFitSide));
}

CGRect QVQuickPreviewWindowController::windowFrameForImageSize(CGSize size, bool centered) const {
  CGRect parent = CGRectZero;
  if (auto* main = dynamic_cast<QVSolvaneWindow*>(parentWindow_.data())) parent = main->frame();
  // The photo's place is the window below its title bar: the frame is worked out for that area
  // (same centres) and the bar added on top, so the photo fills it without bars at its sides.
  const double bar = QVSolvaneTopBarView::kHeight;
  auto withoutBar = [bar](CGRect r) {
    return CGRectMake(r.origin.x, r.origin.y + bar / 2, r.size.width, std::max(0.0, r.size.height - bar));
  };
  const CGRect area = QVQuickPreviewFrames::windowFrameForImageSize(
      size, centered, withoutBar(parent), withoutBar(window_ ? window_->frame() : CGRectZero));
  const CGRect frame = CGRectMake(area.origin.x, area.origin.y - bar / 2, area.size.width, area.size.height + bar);
  // A photo nearly square takes 0.8 of a wide gallery's width: on a small screen (1280 x 720
  // points at 2x) that is taller than the screen. The window shrinks to the screen's available
  // area, the photo's shape below the bar kept.
  auto* main = dynamic_cast<QVSolvaneWindow*>(parentWindow_.data());
  const CGRect visible = main ? main->visibleScreenFrame() : (window_ ? window_->visibleScreenFrame() : CGRectZero);
  return QVSolvaneWindowShapes::frameFittedInVisibleRect(frame, visible, bar);
}

void QVQuickPreviewWindowController::showFromRect(CGRect rect, QVSolvaneWindow* appWindow) {
  parentWindow_ = appWindow;
  if (delegate_) delegate_->quickPreviewWillShow(this);
  if (!window_) return;
  // A tool window of the main window: it stays above it and opens on its screen.
  if (appWindow && window_->parentWidget() != appWindow && !window_->isVisible())
    window_->setParent(appWindow, window_->windowFlags());
  if (appWindow && appWindow->windowHandle() && window_->windowHandle())
    window_->windowHandle()->setScreen(appWindow->windowHandle()->screen());
  if (animatesResize_) {
    window_->show();
    window_->raise();
    return;
  }
  window_->setAspectRatio(rect.size);
  window_->setFrame(rect, true, false);
  applyWindowLevel(QGuiApplication::applicationState() == Qt::ApplicationActive ? kFloatingLevel : kNormalLevel);
  window_->show();
  window_->raise();
  window_->activateWindow();
  refreshSingleImagePreviewShowWindowAtCenter(true);
  hidden_ = false;
}

void QVQuickPreviewWindowController::hideToRect(CGRect rect) {
  if (delegate_) delegate_->quickPreviewWillHide(this);
  hidden_ = true;
  if (!window_) return;
  window_->setDropsPictureOnResize(false);
  auto closeWindow = [this] {
    auto close = std::move(window_->willClose);
    window_->willClose = nullptr;
    window_->close();
    window_->willClose = std::move(close);
  };
  // Under a window manager each step of a shrink is answered late, and the manager's own frame
  // around the window stays a moment at the step before: every step left a black L beside the
  // shrunk preview. There the preview closes at once, as the main window changes screens in one step.
  if (window_->answersFramesLate()) {
    if (animation_) QVAnimationDriver::shared().cancel(animation_);
    animation_ = 0;
    animatesResize_ = false;
    closeWindow();
    return;
  }
  // The window shrinks into the cell, then closes (unless it was shown again meanwhile). The last
  // step is painted before it closes, never shown at the cell's size unpainted (the window's dark
  // fill, a black box over the gallery).
  std::weak_ptr<int> alive = alive_;
  updateWindowFromRect(window_->frame(), rect, [this, alive, closeWindow] {
    if (!alive.lock() || !hidden_ || !window_) return;
    window_->whenFrameAnswered([this, alive, closeWindow] {
      if (!alive.lock() || !hidden_ || !window_ || animatesResize_) return;
      closeWindow();
    });
  });
}

void QVQuickPreviewWindowController::windowWillClose() {
  if (hidden_) return;
  if (delegate_) delegate_->quickPreviewWillHide(this);
  hidden_ = true;
}

void QVQuickPreviewWindowController::changeImagePaths(const std::vector<std::string>& paths) {
  if (paths == imagePaths_) return;
  imagePaths_ = paths;
  selectedIdx_ = 0;
  refreshSingleImagePreview();
}

void QVQuickPreviewWindowController::setSelectedIdx(int64_t index) {
  if (animatesResize_ || index == selectedIdx_) return;
  const int64_t count = int64_t(imagePaths_.size());
  if (index < 0) index = count - 1;
  if (index > count - 1) index = 0;
  selectedIdx_ = index;
  refreshSingleImagePreview();
}

void QVQuickPreviewWindowController::refreshSingleImagePreviewShowWindowAtCenter(bool centered) {
  if (imagePaths_.empty() || !window_) return;
  // A hidden preview shows its photo when it is shown: a frame animation now would hold up the
  // show that follows.
  if (hidden_ && !centered) return;
  const CGRect target = windowFrameForImageSize(selectedImageSize(), centered);
  if (screen_) {
    screen_->cancelStateTransition();
    if (QWidget* view = screen_->view()) {
      view->hide();
      view->setParent(nullptr);
      view->deleteLater();
    }
    screen_.reset();
  }
  screen_ = QVQuickPreviewScreen::make();
  screen_->setWaitsForWindowLayout(true);
  if (QWidget* view = screen_->view()) {
    QVEmbedInContainer(view, screenContainer_);
    view->show();
  }
  std::weak_ptr<int> alive = alive_;
  QVQuickPreviewScreen* screen = screen_.get();
  // The new screen is laid out anew at every step: the last step's picture kept in a corner of the
  // grown window would show it small and off-centre, so the window shows the content's colour
  // until each step is painted. Kept while the preview is open: under a window manager the last
  // step may still be on its way when the motion ends.
  window_->setDropsPictureOnResize(true);
  updateWindowFromRect(window_->frame(), target, [this, alive, screen] {
    if (!alive.lock() || screen_.get() != screen) return;
    if (auto done = screen->onWindowDidLayout()) done();
    screen->setWaitsForWindowLayout(false);
  });
  QVRunNoAnimationBlock([this] { updateOriginalImage(); });
}

void QVQuickPreviewWindowController::updateOriginalImage() {
  const std::string path = selectedPath();
  const std::string name = std::filesystem::path(path).filename().string();
  if (window_) window_->setWindowTitle(QString::fromStdString(name));
  if (titleBar_) titleBar_->setTitle(name);
  if (screen_ && !path.empty()) screen_->showProcessedImageWithPath(path);
}

void QVQuickPreviewWindowController::updateWindowFromRect(CGRect from, CGRect to, std::function<void()> completion) {
  if (!window_) return;
  window_->setFrame(from, true, false);
  window_->setAspectRatio(to.size);
  animatesResize_ = true;
  auto& driver = QVAnimationDriver::shared();
  if (animation_) driver.cancel(animation_);
  std::weak_ptr<int> alive = alive_;
  animation_ = driver.animate(
      kAnimationDuration, QVTimingFunction::EaseInEaseOut,
      [this, alive, from, to](double t) {
        if (!alive.lock() || !window_) return;
        const CGRect frame = CGRectMake(from.origin.x + (to.origin.x - from.origin.x) * t,
                                        from.origin.y + (to.origin.y - from.origin.y) * t,
                                        from.size.width + (to.size.width - from.size.width) * t,
                                        from.size.height + (to.size.height - from.size.height) * t);
        window_->setFrame(frame, true, false);
        // Painted right behind the change (the window system shows the step at once without a
        // window manager; under one nothing paints before the answer, which paints the step).
        window_->repaint();
      },
      [this, alive, completion](bool finished) {
        if (!alive.lock()) return;
        if (!finished) return;
        animation_ = 0;
        animatesResize_ = false;
        if (completion) completion();
      });
}

void QVQuickPreviewWindowController::applyWindowLevel(int64_t level) {
  windowLevel_ = level;
  if (!window_) return;
  const bool floating = level == kFloatingLevel;
  if (window_->testAttribute(Qt::WA_WState_Created) && window_->windowHandle()) {
    window_->windowHandle()->setFlag(Qt::WindowStaysOnTopHint, floating);
  } else {
    window_->setWindowFlag(Qt::WindowStaysOnTopHint, floating);
  }
}

void QVQuickPreviewWindowController::applicationWillResignActive() {
  if (hidden_) return;
  applyWindowLevel(kNormalLevel);
  if (window_) window_->raise();
}

void QVQuickPreviewWindowController::applicationDidBecomeActive() {
  if (hidden_) return;
  applyWindowLevel(kFloatingLevel);
}

void QVQuickPreviewWindowController::onStartOverMenuItem() {
  if (delegate_) delegate_->quickPreviewClickStartOverMenuItem(this);
}
