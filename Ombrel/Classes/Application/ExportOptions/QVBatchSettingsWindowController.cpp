#include "Ombrel/Classes/Application/ExportOptions/QVBatchSettingsWindowController.h"

#include <QApplication>
#include <algorithm>
#include <cmath>

#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetUISamples.h"
#include "Ombrel/Classes/Application/Menus/QVMenuController.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVPlatform/MainExecutor.h"

namespace {

std::function<QWidget*()>& parentWindowProvider() {
  static std::function<QWidget*()> provider;
  return provider;
}

}  // namespace

std::shared_ptr<QVBatchSettingsWindowController> QVBatchSettingsWindowController::make(
    std::shared_ptr<QVBatchPresetManager> store) {
  return std::make_shared<QVBatchSettingsWindowController>(std::move(store));
}

QVBatchSettingsWindowController::QVBatchSettingsWindowController(std::shared_ptr<QVBatchPresetManager> store)
    : store_(std::move(store)) {
  createCurrentVC();
}

QVBatchSettingsWindowController::~QVBatchSettingsWindowController() {
  // Nothing may leave the application locked, also when the window never closed.
  if (locked_) enableInteractionForOtherWindows(true);
  if (auto* selector = selectorViewController()) selector->setDelegate(nullptr);
}

QVWindowController::ViewControllerMaker QVBatchSettingsWindowController::viewControllerClass() const {
  return [store = store_] { return std::make_unique<QVBatchPresetSelectorViewController>(store); };
}

void QVBatchSettingsWindowController::setParentWindowProvider(std::function<QWidget*()> provider) {
  parentWindowProvider() = std::move(provider);
}

QWidget* QVBatchSettingsWindowController::parentWindow() {
  if (parentWindowProvider()) return parentWindowProvider()();
  if (auto* active = dynamic_cast<QVSolvaneWindow*>(QApplication::activeWindow())) return active;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible() && dynamic_cast<QVSolvaneWindow*>(widget)) return widget;
  }
  return nullptr;
}

QVWindowController::LoadedWindow QVBatchSettingsWindowController::loadWindow() {
  auto* window = new QVSolvaneWindow();
  window->setWindowTitle(QString::fromStdString(QVBatchLocalized("Export Options")));
  window->willClose = windowCloseHandler();
  return {window, window->contentView()};
}

void QVBatchSettingsWindowController::configureWindow() {
  QVSolvaneWindow* window = solvaneWindow();
  if (!window) return QVWindowController::configureWindow();
  const CGSize size = effectiveSize();
  window->setAspectRatio(CGSizeZero);
  window->setMinSize(size);
  window->setMaxSize(size);
  const CGPoint origin = window->centerPointForWindowWithSize(size);
  window->setFrame(CGRectMake(origin.x, origin.y, size.width, size.height), false, false);
  // The small windows' corners, whatever the main window's modes use.
  window->setCornerRadii(QVSMakeCornerRadii(6, 6, 6, 6));
  window->contentView()->setBackgroundColor(QVUIStyle::themeBGColor());
  window->setShowImportMoreButton(false);
  topBar_ = QVSolvaneTopBarView::topBar();
  topBar_->setTitle(QVBatchLocalizedUpper("Export Options"));
  topBar_->setShowArrowNearTitle(false);
  topBar_->setShowResizeButton(false);
  // Minimised, it would leave the main window locked with nothing to unlock it on screen.
  topBar_->setShowMinimizeButton(false);
  window->setTitleBarView(topBar_);
  window->setTitleBarVisible(true);
}

void QVBatchSettingsWindowController::configureViewController() {
  QVWindowController::configureViewController();
  if (auto* window = solvaneWindow()) window->setTitleBarVisible(true);
  if (auto* selector = selectorViewController()) selector->setDelegate(this);
}

void QVBatchSettingsWindowController::showWithCompletion(Completion completion) {
  completion_ = std::move(completion);
  QWidget* window = this->window();
  // Above the main window, as its transient window; never above other applications.
  if (QWidget* parent = parentWindow(); parent && parent != window && window->parentWidget() != parent) {
    window->setParent(parent, Qt::Dialog | Qt::FramelessWindowHint);
    window->setAttribute(Qt::WA_TranslucentBackground);
  }
  if (auto* selector = selectorViewController()) selector->viewWillAppear();
  enableInteractionForOtherWindows(false);
  show();
  // Once shown (and centred on the screen by the base), over the middle of the main window.
  std::weak_ptr<QVBatchSettingsWindowController> weak = weak_from_this();
  qv::MainExecutor::shared().async([weak] {
    auto self = weak.lock();
    auto* window = self ? self->solvaneWindow() : nullptr;
    auto* parent = window ? dynamic_cast<QVSolvaneWindow*>(window->parentWidget()) : nullptr;
    if (!parent) return;
    const CGRect over = parent->frame(), area = window->visibleScreenFrame();
    const CGSize size = window->frame().size;
    CGPoint origin = CGPointMake(std::round(CGRectGetMidX(over) - size.width / 2),
                                 std::round(CGRectGetMidY(over) - size.height / 2));
    if (area.size.width > 0 && area.size.height > 0) {
      origin.x = std::clamp(origin.x, area.origin.x, std::max(area.origin.x, CGRectGetMaxX(area) - size.width));
      origin.y = std::clamp(origin.y, area.origin.y, std::max(area.origin.y, CGRectGetMaxY(area) - size.height));
    }
    window->setPosition(origin);
  });
}

void QVBatchSettingsWindowController::finishWithResult(std::shared_ptr<QVBatchPreset> preset) {
  if (!completion_) return;
  Completion completion = std::move(completion_);
  completion_ = nullptr;
  // The caller may drop this controller inside the completion: it goes on a later turn instead.
  auto self = weak_from_this().lock();
  completion(std::move(preset));
  if (self) qv::MainExecutor::shared().async([self] {});
}

void QVBatchSettingsWindowController::enableInteractionForOtherWindows(bool enabled) {
  QWidget* own = loadedWindow();
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* other = dynamic_cast<QVSolvaneWindow*>(widget);
    if (other && widget != own) other->setUserInteractionEnabled(enabled);
  }
  QVMenuController::setEnabledImportExportMenu(enabled);
  QVMenuController::updateExportSubmenu();
  locked_ = !enabled;
}

void QVBatchSettingsWindowController::windowWillClose() {
  QVWindowController::windowWillClose();
  auto self = weak_from_this().lock();
  // A name being typed is taken as it stands, so a row that looked saved is saved.
  if (auto* selector = selectorViewController()) selector->endNaming();
  enableInteractionForOtherWindows(true);
  finishWithResult(nullptr);
  if (self) qv::MainExecutor::shared().async([self] {});
}

void QVBatchSettingsWindowController::batchPresetSelectorOKDidClick(QVBatchPresetSelectorViewController* selector) {
  auto self = weak_from_this().lock();
  finishWithResult(selector->selectedPreset());
  hide();
  if (self) qv::MainExecutor::shared().async([self] {});
}
