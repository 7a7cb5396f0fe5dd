#include "Ombrel/Classes/Application/Controllers/QVWindowController.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/NSView+Extensions.h"
#include "QVAppKit/QVFramelessWindow.h"
#include "QVAppKit/QVRoundedView.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/MainExecutor.h"

namespace {

// The window of a controller: tells its controller when it closes.
class QVControlledWindow : public QVRoundedView {
 public:
  using QVRoundedView::QVRoundedView;
  std::function<void()> onClose;

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (onClose) onClose();
    event->accept();
  }
};

void centre(QWidget* window) {
  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

}  // namespace

QVWindowController::QVWindowController() = default;

QVWindowController::QVWindowController(bool modal) : isModal_(modal) {}

QVWindowController::~QVWindowController() {
  *alive_ = false;
  if (modalLoop_) modalLoop_->quit();
  if (currentVC_ && currentVC_->isViewLoaded()) currentVC_->view()->setParent(nullptr);
  currentVC_.reset();
  delete window_.data();
}

std::optional<std::string> QVWindowController::findFirstExistingNibNameFromNames(
    const std::vector<std::optional<std::string>>& names) {
  for (const auto& name : names) {
    if (name && !name->empty() && !qv::Bundle::mainBundle().pathForResource(*name, "nib").empty()) return name;
  }
  return std::nullopt;
}

std::vector<std::string> QVWindowController::possibleWCNibNames() const {
  std::vector<std::string> names = {className()};
  if (auto extra = windowControllerNibName()) names.push_back(*extra);
  return names;
}

std::vector<std::string> QVWindowController::possibleVCNibNames() const {
  std::vector<std::string> names;
  if (!viewControllerClassName().empty()) names.push_back(viewControllerClassName());
  if (auto extra = viewControllerNibName()) names.push_back(*extra);
  return names;
}

void QVWindowController::createCurrentVC() {
  std::vector<std::optional<std::string>> wc, vc;
  for (const auto& n : possibleWCNibNames()) wc.emplace_back(n);
  for (const auto& n : possibleVCNibNames()) vc.emplace_back(n);
  windowNibName_ = findFirstExistingNibNameFromNames(wc);
  vcNibName_ = findFirstExistingNibNameFromNames(vc);
  if (auto maker = viewControllerClass()) currentVC_ = maker();
}

void QVWindowController::setVcClass(ViewControllerMaker maker) {
  if (!maker) return;
  if (currentVC_ && currentVC_->isViewLoaded()) currentVC_->view()->setParent(nullptr);
  currentVC_ = maker();
  if (window_) configureViewController();
}

QWidget* QVWindowController::window() {
  if (!window_) {
    LoadedWindow loaded = loadWindow();
    if (loaded.window) {
      window_ = loaded.window;
      contentView_ = loaded.contentView;
    } else {
      auto* w = QVMake<QVControlledWindow>(CGRectMake(0, 0, 480, 320));
      w->onClose = windowCloseHandler();
      window_ = w;
      contentView_ = w;
    }
    windowDidLoad();
  }
  return window_;
}

QVView* QVWindowController::contentView() {
  window();
  return contentView_;
}

std::function<void()> QVWindowController::windowCloseHandler() {
  return [this, alive = std::weak_ptr<bool>(alive_)] {
    if (alive.lock()) windowWillClose();
  };
}

CGSize QVWindowController::effectiveSize() const {
  return (windowSize_.width == 0 && windowSize_.height == 0) ? fixedSize() : windowSize_;
}

void QVWindowController::windowDidLoad() {
  configureWindow();
  configureViewController();
}

void QVWindowController::configureWindow() {
  auto* w = dynamic_cast<QVView*>(window());
  if (!w) return;
  const CGSize size = effectiveSize();
  if (size.width > 0 || size.height > 0) {
    const QSize qsize(int(std::lround(size.width)), int(std::lround(size.height)));
    w->resize(qsize);
    w->setMinimumSize(qsize);
    w->setMaximumSize(qsize);
  }
  QVFramelessWindow::install(w);
  w->setAttribute(Qt::WA_TranslucentBackground);
  NSWindowRounding::updateWindowCornersWithRadii(w, QVSMakeCornerRadii(6, 6, 6, 6));
  w->setBackgroundColor(QVUIStyle::themeBGColor());
}

void QVWindowController::configureViewController() {
  if (!currentVC_ || !contentView_) return;
  QVEmbedInContainer(currentVC_->view(), contentView_);
}

void QVWindowController::show() {
  std::weak_ptr<bool> alive = alive_;
  qv::MainExecutor::shared().async([this, alive] {
    if (!alive.lock()) return;
    isShown_ = true;
    QWidget* w = window();
    if (isModal_) {
      w->setWindowModality(Qt::ApplicationModal);
      w->show();
      QEventLoop loop;
      modalLoop_ = &loop;
      loop.exec();
      if (!alive.lock()) return;
      modalLoop_ = nullptr;
      w->hide();
      centre(w);
    } else {
      w->show();
      centre(w);
    }
  });
}

void QVWindowController::hide() {
  if (isModal_) {
    if (modalLoop_) modalLoop_->quit();
  } else if (window_) {
    window_->close();
  }
}

void QVWindowController::windowWillClose() {
  if (isModal_ && modalLoop_) modalLoop_->quit();
  isShown_ = false;
}
