#include "QVAppKit/QVWindowButton.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>
#include <QWindowStateChangeEvent>

#include "QVPlatform/Bundle.h"

namespace {

std::function<bool(const QWidget*)>& keyWindowQuery() {
  static std::function<bool(const QWidget*)> query;
  return query;
}

// Stores a new name (a different one only) and loads its image.
void setImageName(std::string& stored, QVChromeImage& image, const std::string& name) {
  if (stored == name && image) return;
  stored = name;
  image = QVChromeImageNamed(name);
}

}  // namespace

QVChromeImage QVChromeImageNamed(const std::string& name) {
  static std::map<std::string, QVChromeImage> cache;
  if (name.empty()) return nullptr;
  if (auto it = cache.find(name); it != cache.end()) return it->second;
  const std::string path = qv::Bundle::mainBundle().pathForResource(name, "svg", "WindowChrome");
  QVChromeImage image;
  if (!path.empty()) {
    auto renderer = std::make_shared<QSvgRenderer>(QString::fromStdString(path));
    if (renderer->isValid()) image = renderer;
  }
  cache[name] = image;
  return image;
}

// ---- QVWindowButtonGroup ----

std::shared_ptr<QVWindowButtonGroup> QVWindowButtonGroup::groupWithIdentifier(
    const std::optional<std::string>& identifier) {
  static std::map<std::string, std::shared_ptr<QVWindowButtonGroup>> registry;
  const std::string key = identifier.value_or(kQVDefaultWindowButtonGroupIdentifier);
  auto& group = registry[key];
  if (!group) group = std::make_shared<QVWindowButtonGroup>(key);
  return group;
}

void QVWindowButtonGroup::setNumberOfCaptures(int64_t count) {
  if (count < 0 || count == numberOfCaptures_) return;
  numberOfCaptures_ = count;
  qv::NotificationCenter::defaultCenter().post(QVWindowButtonGroupDidUpdateRolloverStateNotification,
                                               groupWithIdentifier(identifier_));
}

// ---- QVWindowButton ----

QVWindowButton* QVWindowButton::windowButtonWithSize(CGSize size, std::optional<std::string> groupIdentifier) {
  return QVMake<QVWindowButton>(CGRectMake(0, 0, size.width, size.height), std::move(groupIdentifier));
}

QVWindowButton::QVWindowButton(CGRect frame, std::optional<std::string> groupIdentifier)
    : QVView(frame), groupIdentifier_(std::move(groupIdentifier)) {}

QVWindowButton::~QVWindowButton() {
  groupObserver_.reset();
  if (observedWindow_) observedWindow_->removeEventFilter(this);
}

void QVWindowButton::initialize() {
  QVView::initialize();
  setFocusPolicy(Qt::NoFocus);  // a window button never takes the keyboard focus
  setAttribute(Qt::WA_Hover);
  setImageName(pressedName_, pressedImage_, pressedName_);
  setImageName(rolloverName_, rolloverImage_, rolloverName_);
  setImageName(inactiveName_, inactiveImage_, inactiveName_);
  setImageName(notKeyName_, notKeyImage_, notKeyName_);
  setImageName(activeName_, activeImage_, activeName_);
  auto group = this->group();
  groupObserver_ = qv::NotificationCenter::defaultCenter().addObserver(
      QVWindowButtonGroupDidUpdateRolloverStateNotification, group.get(),
      [this](const qv::Notification&) { windowButtonGroupDidUpdateRolloverStateNotification(); });
  setShadow(QVShadow{QColor(0, 0, 0, 64), CGSizeMake(0, 1), 2});
}

QVWindowButton::Action QVWindowButton::closeAction() {
  return [](QWidget* window, QVWindowButton*) {
    if (window) window->close();
  };
}

QVWindowButton::Action QVWindowButton::miniaturizeAction() {
  return [](QWidget* window, QVWindowButton*) {
    if (window) window->showMinimized();
  };
}

QVWindowButton::Action QVWindowButton::zoomAction() {
  return [](QWidget* window, QVWindowButton*) {
    if (window) window->setWindowState(window->windowState() ^ Qt::WindowMaximized);
  };
}

std::shared_ptr<QVWindowButtonGroup> QVWindowButton::group() const {
  return QVWindowButtonGroup::groupWithIdentifier(groupIdentifier_);
}

void QVWindowButton::setActiveImageName(const std::string& name) { setImageName(activeName_, activeImage_, name); }
void QVWindowButton::setActiveNotKeyWindowImageName(const std::string& name) {
  setImageName(notKeyName_, notKeyImage_, name);
}
void QVWindowButton::setInactiveImageName(const std::string& name) {
  setImageName(inactiveName_, inactiveImage_, name);
}
void QVWindowButton::setRolloverImageName(const std::string& name) {
  setImageName(rolloverName_, rolloverImage_, name);
}
void QVWindowButton::setPressedImageName(const std::string& name) { setImageName(pressedName_, pressedImage_, name); }

void QVWindowButton::setImageNamesWithPrefix(const std::string& prefix) {
  setActiveImageName(prefix + "Active");
  setActiveNotKeyWindowImageName(prefix + "NotKey");
  setInactiveImageName(prefix + "Inactive");
  setRolloverImageName(prefix + "Rollover");
  setPressedImageName(prefix + "Pressed");
  updateRollOverImage();
}

void QVWindowButton::setKeyWindowQuery(std::function<bool(const QWidget*)> query) {
  keyWindowQuery() = std::move(query);
}

bool QVWindowButton::isWindowKey() const {
  const QWidget* w = window();
  if (keyWindowQuery()) return keyWindowQuery()(w);
  return w && w->isActiveWindow();
}

void QVWindowButton::setEnabled(bool enabled) {
  enabled_ = enabled;
  updateActiveImage();
}

void QVWindowButton::show(QVChromeImage image) {
  image_ = std::move(image);
  update();
  QVSetNeedsDisplay(this);
}

void QVWindowButton::updateRollOverImage() {
  if (group()->shouldDisplayRollOver() && enabled_) {
    show(rolloverImage_);
  } else {
    updateImage();
  }
}

void QVWindowButton::updateImage() {
  if (!isWindowKey()) {
    show(notKeyImage_);
  } else {
    updateActiveImage();
  }
}

void QVWindowButton::updateActiveImage() { show(enabled_ ? activeImage_ : inactiveImage_); }

void QVWindowButton::viewDidMoveToWindow() {
  observeWindow();
  if (window()) updateImage();
}

void QVWindowButton::windowWillEnterFullScreen() {
  group()->resetMouseCaptures();
  setVisible(false);
}

void QVWindowButton::windowWillExitFullScreen() {
  group()->resetMouseCaptures();
  setVisible(true);
}

void QVWindowButton::windowDidMiniaturize() { group()->resetMouseCaptures(); }

void QVWindowButton::viewDidEndLiveResize() { group()->resetMouseCaptures(); }

void QVWindowButton::mouseEntered() {
  group()->didCaptureMousePointer();
  updateRollOverImage();
}

void QVWindowButton::mouseExited() {
  group()->didReleaseMousePointer();
  updateRollOverImage();
}

void QVWindowButton::mouseDown() {
  if (action_) action_(window(), this);
}

void QVWindowButton::observeWindow() {
  QWidget* w = window();
  if (w == observedWindow_) return;
  if (observedWindow_) observedWindow_->removeEventFilter(this);
  observedWindow_ = w;
  if (w && w != this) {
    w->installEventFilter(this);
    lastWindowState_ = w->windowState();
  }
}

bool QVWindowButton::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::Show:
    case QEvent::ParentChange:
      viewDidMoveToWindow();
      break;
    case QEvent::Enter:
      mouseEntered();
      break;
    case QEvent::Leave:
      mouseExited();
      break;
    default:
      break;
  }
  return QVView::event(event);
}

bool QVWindowButton::eventFilter(QObject* watched, QEvent* event) {
  if (watched == observedWindow_) {
    switch (event->type()) {
      case QEvent::WindowActivate:
      case QEvent::WindowDeactivate:
        windowDidChangeFocus();
        break;
      case QEvent::WindowStateChange: {
        const Qt::WindowStates now = observedWindow_->windowState();
        const Qt::WindowStates before = lastWindowState_;
        lastWindowState_ = now;
        if ((now & Qt::WindowMinimized) && !(before & Qt::WindowMinimized)) windowDidMiniaturize();
        if ((now & Qt::WindowFullScreen) && !(before & Qt::WindowFullScreen)) windowWillEnterFullScreen();
        if (!(now & Qt::WindowFullScreen) && (before & Qt::WindowFullScreen)) windowWillExitFullScreen();
        break;
      }
      default:
        break;
    }
  }
  return QVView::eventFilter(watched, event);
}

void QVWindowButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QVView::mousePressEvent(event);
  event->accept();
  pressed_ = true;
  update();
  QVSetNeedsDisplay(this);
  mouseDown();  // at once, no wait for the mouse-up
}

void QVWindowButton::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  pressed_ = false;
  update();
  QVSetNeedsDisplay(this);
}

void QVWindowButton::drawContent(QPainter& painter) {
  const QVChromeImage image = shownImage();
  if (!image) return;
  painter.setRenderHint(QPainter::Antialiasing);
  image->render(&painter, QRectF(0, 0, width(), height()));
}
