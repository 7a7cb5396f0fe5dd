#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <utility>

#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindowAnimator.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVFramelessWindow.h"
#include "QVAppKit/QVGeometry.h"
#include "QVAppKit/QVShadowRenderer.h"
#include "QVAppKit/QVViewController.h"
#include "QVAppKit/QVWindowMoving.h"
#include "QVAppKit/QVWindowResizing.h"

#if defined(SOLVANE_HAS_XCB)
#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#endif

namespace {

std::function<bool()>& compositingQuery() {
  static std::function<bool()> query;
  return query;
}

std::function<bool()>& windowManagerQuery() {
  static std::function<bool()> query;
  return query;
}

std::function<bool()>& pluginModeQuery() {
  static std::function<bool()> query;
  return query;
}

bool pluginMode() { return pluginModeQuery() ? pluginModeQuery()() : QVAppLink::isPluginMode(); }

#if defined(SOLVANE_HAS_XCB)
// The application's X connection (none on other platforms) and an atom that exists already
// (XCB_ATOM_NONE when no client ever named it).
xcb_connection_t* x11Connection() {
  auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}

xcb_atom_t existingAtom(xcb_connection_t* connection, const QByteArray& name) {
  auto cookie = xcb_intern_atom(connection, 1, uint16_t(name.size()), name.constData());
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
  if (!reply) return XCB_ATOM_NONE;
  const xcb_atom_t atom = reply->atom;
  free(reply);
  return atom;
}
#endif

// Whether an X11 compositing manager owns the screen's "_NET_WM_CM_S<n>" selection.
bool x11CompositorRuns() {
#if defined(SOLVANE_HAS_XCB)
  xcb_connection_t* connection = x11Connection();
  if (!connection) return false;
  const xcb_atom_t atom = existingAtom(connection, "_NET_WM_CM_S0");
  if (atom == XCB_ATOM_NONE) return false;
  bool owned = false;
  auto ownerCookie = xcb_get_selection_owner(connection, atom);
  if (auto* owner = xcb_get_selection_owner_reply(connection, ownerCookie, nullptr)) {
    owned = owner->owner != XCB_NONE;
    free(owner);
  }
  return owned;
#else
  return false;
#endif
}

// Whether an X11 window manager runs: the root window names its check window
// ("_NET_SUPPORTING_WM_CHECK"), and that window names itself (a manager gone leaves the root's
// property behind, naming a window that no longer exists).
bool x11WindowManagerRuns() {
#if defined(SOLVANE_HAS_XCB)
  xcb_connection_t* connection = x11Connection();
  if (!connection) return false;
  const xcb_atom_t check = existingAtom(connection, "_NET_SUPPORTING_WM_CHECK");
  if (check == XCB_ATOM_NONE) return false;
  auto checkWindowOf = [&](xcb_window_t window) -> xcb_window_t {
    auto propertyCookie = xcb_get_property(connection, 0, window, check, XCB_ATOM_WINDOW, 0, 1);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, propertyCookie, nullptr);
    if (!reply) return XCB_NONE;
    xcb_window_t named = XCB_NONE;
    if (reply->type == XCB_ATOM_WINDOW && reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
      named = *static_cast<xcb_window_t*>(xcb_get_property_value(reply));
    free(reply);
    return named;
  };
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  if (!screen) return false;
  const xcb_window_t named = checkWindowOf(screen->root);
  return named != XCB_NONE && checkWindowOf(named) == named;
#else
  return false;
#endif
}

// The colour the X server fills a window's newly uncovered parts with until the program paints
// them. Qt leaves none (the parts keep whatever the screen showed there: a window manager's frame,
// white or black, beside the old picture); the content's own colour makes a frame change under a
// window manager look like the content arriving a moment late instead.
void setX11BackgroundPixel(QWidget* window, const QColor& colour) {
#if defined(SOLVANE_HAS_XCB)
  auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection() || !window->windowHandle()) return;
  // An opaque pixel in both the 24-bit and the 32-bit (translucent) visuals' layout.
  const uint32_t value = 0xff000000u | uint32_t(colour.rgb() & 0xffffff);
  xcb_change_window_attributes(x11->connection(), xcb_window_t(window->windowHandle()->winId()), XCB_CW_BACK_PIXEL,
                               &value);
#else
  (void)window;
  (void)colour;
#endif
}

// Sets the native window's bit gravity: what the X server does with the window's picture when the
// window is moved and resized in one step, until the program has painted the new size.
void setX11BitGravity(QWidget* window, int gravity) {
#if defined(SOLVANE_HAS_XCB)
  auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection() || !window->windowHandle()) return;
  const uint32_t value = uint32_t(gravity);
  xcb_change_window_attributes(x11->connection(), xcb_window_t(window->windowHandle()->winId()), XCB_CW_BIT_GRAVITY,
                               &value);
#else
  (void)window;
  (void)gravity;
#endif
}

double desktopFlipHeight() {
  QScreen* primary = QGuiApplication::primaryScreen();
  return primary ? primary->geometry().y() + primary->geometry().height() : 0;
}

CGSize sizeOf(QSize s) { return CGSizeMake(s.width(), s.height()); }

}  // namespace

// The window's rounded corners, cut after everything else is painted: inside each corner square
// the content keeps only what lies within the rounded shape (antialiased), and the window's
// shadow shows through the rest. Clipping the whole content to the shape instead would make it
// render as one picture every time anything in it changes.
class QVSolvaneWindowCorners : public QWidget {
 public:
  explicit QVSolvaneWindowCorners(QVSolvaneWindow* window) : QWidget(window), window_(window) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    const QRect inner = window_->contentView()->geometry();
    const QVCornerRadii r = window_->cornerRadii();
    const qreal dpr = devicePixelRatioF();
    if (tilesFor_ != inner.size() || tilesDpr_ != dpr || !QVSCornerRadiiIsEqual(tilesRadii_, r)) {
      makeTiles(inner.size(), r, dpr);
    }
    QPainter painter(this);
    const QPixmap& shadow = window_->shadowPicture();
    for (const Tile& tile : tiles_) {
      const QRectF target = QRectF(tile.rect).translated(inner.topLeft());
      painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
      painter.drawImage(target, tile.coverage);
      if (!shadow.isNull()) {
        painter.setCompositionMode(QPainter::CompositionMode_DestinationOver);
        painter.drawPixmap(target, shadow, QRectF(target.topLeft() * dpr, target.size() * dpr));
      }
    }
  }

 private:
  struct Tile {
    QRect rect;  // in the content's space
    QImage coverage;
  };
  void makeTiles(QSize size, const QVCornerRadii& radii, qreal dpr) {
    tiles_.clear();
    const QPainterPath shape =
        QVRoundedRectPath(QRectF(QPointF(0, 0), QSizeF(size)), QVRoundParams{kQVRectCornerAll, radii});
    auto add = [&](double radius, bool right, bool bottom) {
      const int side = int(std::ceil(radius));
      if (side <= 0) return;
      const QRect rect(right ? size.width() - side : 0, bottom ? size.height() - side : 0, side, side);
      QImage coverage(QSize(int(std::ceil(side * dpr)), int(std::ceil(side * dpr))),
                      QImage::Format_ARGB32_Premultiplied);
      coverage.setDevicePixelRatio(dpr);
      coverage.fill(Qt::transparent);
      QPainter p(&coverage);
      p.setRenderHint(QPainter::Antialiasing);
      p.translate(-rect.topLeft());
      p.fillPath(shape, Qt::black);
      p.end();
      tiles_.push_back({rect, std::move(coverage)});
    };
    add(radii.topLeft, false, false);
    add(radii.topRight, true, false);
    add(radii.bottomRight, true, true);
    add(radii.bottomLeft, false, true);
    tilesFor_ = size;
    tilesDpr_ = dpr;
    tilesRadii_ = radii;
  }

  QVSolvaneWindow* window_;
  std::vector<Tile> tiles_;
  QSize tilesFor_;
  qreal tilesDpr_ = 0;
  QVCornerRadii tilesRadii_;
};

// ---- Set-up ----

QVSolvaneWindow::QVSolvaneWindow() {
  setWindowFlag(Qt::FramelessWindowHint, true);
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_NoSystemBackground);
  setMouseTracking(true);
  shadowMargin_ = compositingActive() ? kShadowMargin : 0;

  content_ = QVMake<QVRoundedView>(CGRectMake(0, 0, 10, 10));
  content_->setParent(this);
  content_->setBackgroundColor(kContentColour);
  titlebarContainer_ = QVMake<QVView>(CGRectMake(0, 0, 10, QVSolvaneTopBarView::kHeight));
  content_->addSubview(titlebarContainer_);
  corners_ = new QVSolvaneWindowCorners(this);
  corners_->raise();
  // Resizing from any child's edge band: the filter sees presses and moves of the whole window.
  qApp->installEventFilter(this);

  // The open screen's shape, at once.
  updateScreenSizeWithMode(QVScreenModeOpen, false);
  updateRoundedCorners(QVScreenModeOpen);
  updateTopControlsVisibility(QVScreenModeOpen);
}

QVSolvaneWindow::~QVSolvaneWindow() {
  if (qApp) qApp->removeEventFilter(this);
  if (frameAnimation_) QVAnimationDriver::shared().cancel(frameAnimation_);
  if (windowAnimator_) windowAnimator_->stop();
}

bool QVSolvaneWindow::compositingActive() {
  if (compositingQuery()) return compositingQuery()();
  const QString platform = QGuiApplication::platformName();
  if (platform.startsWith(QLatin1String("wayland"))) return true;
  if (platform == QLatin1String("xcb")) return x11CompositorRuns();
  return platform == QLatin1String("offscreen");
}

void QVSolvaneWindow::setCompositingQuery(std::function<bool()> query) { compositingQuery() = std::move(query); }

bool QVSolvaneWindow::windowManagerRuns() {
  if (windowManagerQuery()) return windowManagerQuery()();
  return QGuiApplication::platformName() == QLatin1String("xcb") && x11WindowManagerRuns();
}

void QVSolvaneWindow::setWindowManagerQuery(std::function<bool()> query) { windowManagerQuery() = std::move(query); }
void QVSolvaneWindow::setPluginModeQuery(std::function<bool()> query) { pluginModeQuery() = std::move(query); }

// ---- Parts ----

void QVSolvaneWindow::setTitleBarView(QVSolvaneTopBarView* view) {
  if (view == titleBarView_) return;
  if (titleBarView_) {
    titleBarView_->removeFromSuperview();
    titleBarView_->deleteLater();
  }
  titleBarView_ = view;
  if (view) {
    QVEmbedInContainer(view, titlebarContainer_);
    view->setUserInteractionEnabled(userInteractionEnabled_);
  }
  titlebarContainer_->raise();
}

std::map<std::string, QWidget*> QVSolvaneWindow::animatableViews() const {
  return titleBarView_ ? titleBarView_->animatableViews() : std::map<std::string, QWidget*>{};
}

void QVSolvaneWindow::setUserInteractionEnabled(bool enabled) {
  userInteractionEnabled_ = enabled;
  if (titleBarView_) titleBarView_->setUserInteractionEnabled(enabled);
  if (content_) content_->setUserInteractionEnabled(enabled);
}

bool QVSolvaneWindow::isMovableByWindowBackground() const {
  return QVSolvaneWindowShapes::shapeForMode(sizeMode_, screenMetrics()).movableByBackground;
}

// ---- Title bar ----

void QVSolvaneWindow::setShowImportMoreButton(bool show) {
  showImportMoreButton_ = show;
  if (titleBarView_) titleBarView_->setShowImportMoreButton(show);
}

void QVSolvaneWindow::setImportMoreButtonEnabled(bool enabled) {
  if (titleBarView_) titleBarView_->setEnableImportMoreButton(enabled);
}

void QVSolvaneWindow::setTopConstrolsVisible(bool visible) {
  setTitleBarVisible(visible);
  setShowImportMoreButton(visible && !pluginMode());
}

void QVSolvaneWindow::setTitleBarVisible(bool visible) {
  titlebarContainer_->setVisible(visible);
  if (visible) titlebarContainer_->raise();
}

bool QVSolvaneWindow::isTitleBarVisible() const { return !titlebarContainer_->isHidden(); }

void QVSolvaneWindow::updateTopControlsVisibility(int64_t mode) {
  updateImportMoreButtonVisibility(mode);
  updateTitleBarVisibility(mode);
}

void QVSolvaneWindow::updateImportMoreButtonVisibility(int64_t mode) {
  setShowImportMoreButton(mode != QVScreenModeOpen && !pluginMode());
}

void QVSolvaneWindow::updateTitleBarVisibility(int64_t mode) { setTitleBarVisible(mode != QVScreenModeOpen); }

void QVSolvaneWindow::updateRoundedCorners(int64_t mode) {
  const QVSolvaneWindowShape shape = QVSolvaneWindowShapes::shapeForMode(mode, screenMetrics());
  if (shape.known) setCornerRadii(shape.radii);
}

void QVSolvaneWindow::setCornerRadii(const QVCornerRadii& radii) {
  radii_ = radii;
  shadowFor_ = QSize();
  if (corners_) corners_->update();
  updateMask();
  update();
}

// ---- Shape ----

QVSolvaneScreenMetrics QVSolvaneWindow::screenMetrics() const {
  QVSolvaneScreenMetrics metrics;
  if (QScreen* s = screen()) metrics.visibleSize = sizeOf(s->availableGeometry().size());
  if (QScreen* main = QGuiApplication::primaryScreen()) metrics.mainScreenSize = sizeOf(main->geometry().size());
  metrics.titleBarContainerHeight = titlebarContainer_ ? titlebarContainer_->frame().size.height : 0;
  metrics.pluginMode = pluginMode();
  return metrics;
}

CGRect QVSolvaneWindow::visibleScreenFrame() const {
  QScreen* s = screen();
  return s ? screenRectFromQtRect(s->availableGeometry()) : CGRectZero;
}

CGRect QVSolvaneWindow::screenFrame() const {
  QScreen* s = screen();
  return s ? screenRectFromQtRect(s->geometry()) : CGRectZero;
}

CGPoint QVSolvaneWindow::centerPointForWindowWithSize(CGSize size) const {
  return QVSolvaneWindowShapes::centerPointForWindowWithSize(visibleScreenFrame(), size);
}

CGSize QVSolvaneWindow::windowSizeForMode(int64_t mode) const {
  return QVSolvaneWindowShapes::windowSizeForMode(mode, screenMetrics());
}
CGSize QVSolvaneWindow::galleryWindowMinSize() const {
  return QVSolvaneWindowShapes::galleryWindowMinSize(screenMetrics());
}
CGSize QVSolvaneWindow::galleryWindowMaxSize() const {
  return QVSolvaneWindowShapes::galleryWindowMaxSize(screenMetrics());
}

void QVSolvaneWindow::applyShape(const QVSolvaneWindowShape& shape, std::optional<CGPoint> position, bool animated) {
  setMinSize(shape.minSize);
  setMaxSize(shape.maxSize);
  const CGPoint origin = position ? *position : centerPointForWindowWithSize(shape.frameSize);
  setFrame(CGRectMake(origin.x, origin.y, shape.frameSize.width, shape.frameSize.height), true, animated);
  setAspectRatio(shape.frameSize);
}

void QVSolvaneWindow::updateScreenSizeWithMode(int64_t mode, std::optional<CGPoint> position, bool animated) {
  const QVSolvaneWindowShape shape = QVSolvaneWindowShapes::shapeForMode(mode, screenMetrics());
  if (!shape.known) return;
  applyShape(shape, position, animated);
}

void QVSolvaneWindow::updateWithCurrentSizeMode(bool animated, std::optional<CGPoint> position) {
  updateScreenSizeWithMode(sizeMode_, position, animated);
  updateRoundedCorners(sizeMode_);
  updateTopControlsVisibility(sizeMode_);
}

void QVSolvaneWindow::changeSizeMode(int64_t mode, bool animated, std::optional<CGPoint> position) {
  sizeMode_ = mode;
  updateWithCurrentSizeMode(animated, position);
}

void QVSolvaneWindow::updateMinMaxSize(CGSize fittedSize, double scale, CGSize imageSize) {
  const auto limits = QVSolvaneWindowShapes::limitsAroundImage(fittedSize, scale, imageSize);
  setMinSize(limits.minSize);
  setMaxSize(limits.maxSize);
}

void QVSolvaneWindow::updateWithContentSize(CGSize imageSize, std::optional<CGPoint> position, bool animated) {
  updateRoundedCorners(sizeMode_);
  updateTopControlsVisibility(sizeMode_);
  CGSize size;
  if (!QVSolvaneWindowShapes::isUsableImageSize(imageSize)) {
    // Nothing to fit: the single-image window's own size, never a frame made of NaNs.
    size = QVSolvaneWindowShapes::kSingleSize;
    setMinSize(size);
    setMaxSize(size);
  } else {
    const CGSize fitted = QVSolvaneWindowShapes::fitWindowSizeFromImageSize(imageSize, screenMetrics().mainScreenSize);
    updateMinMaxSize(fitted, defaultSizeScale_, imageSize);
    size = maxSize_;
  }
  const CGPoint origin = position ? *position : centerPointForWindowWithSize(size);
  // Never larger than the screen's available area (a portrait photo's 800 points at 2x on a
  // 1440-pixel screen): the photo's shape is kept, and so are the limits within the screen.
  const CGRect frame = QVSolvaneWindowShapes::frameFittedInVisibleRect(
      CGRectMake(origin.x, origin.y, size.width, size.height), visibleScreenFrame());
  if (frame.size.width < size.width || frame.size.height < size.height) {
    setMinSize(CGSizeMake(std::min(minSize_.width, frame.size.width), std::min(minSize_.height, frame.size.height)));
    setMaxSize(frame.size);
  }
  setAspectRatio(frame.size);
  setFrame(frame, true, animated);
}

void QVSolvaneWindow::updateWindowShapeWithCurrentModeAndPreferredSize(CGSize imageSize, bool animated,
                                                                       std::optional<CGPoint> position) {
  updateWithContentSize(imageSize, position, animated);
  updateRoundedCorners(sizeMode_);
}

void QVSolvaneWindow::updateWindowShapeWithCurrentModeAndAnimated(bool animated) {
  updateScreenSizeWithMode(sizeMode_, animated);
  updateRoundedCorners(sizeMode_);
}

// ---- Frame ----

CGRect QVSolvaneWindow::screenRectFromQtRect(const QRect& rect) {
  return QVGeometry::rectFromQtRect(QRectF(rect), desktopFlipHeight());
}

QRect QVSolvaneWindow::qtRectFromScreenRect(CGRect rect) {
  return QVGeometry::qtRectFromRect(rect, desktopFlipHeight()).toRect();
}

CGRect QVSolvaneWindow::frame() const {
  // A frame waiting for the window manager's answer is the window's frame already.
  const QRect outer = waiting_ ? *waiting_ : geometry();
  return screenRectFromQtRect(outer.adjusted(shadowMargin_, shadowMargin_, -shadowMargin_, -shadowMargin_));
}

void QVSolvaneWindow::setFrame(CGRect target, bool display, bool animate) {
  if (frameAnimation_) {
    QVAnimationDriver::shared().cancel(frameAnimation_);
    frameAnimation_ = 0;
  }
  auto apply = [this](CGRect rect) {
    const QRect r = qtRectFromScreenRect(rect).adjusted(-shadowMargin_, -shadowMargin_, shadowMargin_, shadowMargin_);
    // The limits take in both sizes while the geometry changes: limits narrowed to the new size
    // first would resize the window on their own, at its old top-left, a step before the move.
    applyQtLimits(r.size(), size());
    askedAgain_ = false;
    requestGeometry(r);
    // A frame waiting for the window manager's answer leaves the window at the size it asked for.
    applyQtLimits(r.size(), size());
    // Hidden windows get their resize event only when shown: the parts follow now.
    layoutParts();
    updateMask();
  };
  if (!animate || !isVisible() || !QVImplicitAnimationsEnabled()) {
    apply(target);
    if (display && isVisible()) update();
    return;
  }
  const CGRect start = frame();
  QPointer<QVSolvaneWindow> self(this);
  frameAnimation_ = QVAnimationDriver::shared().animate(
      kQVStandardAnimationDuration, QVTimingFunction::EaseInEaseOut,
      [self, start, target, apply](double t) {
        if (!self) return;
        apply(CGRectMake(start.origin.x + t * (target.origin.x - start.origin.x),
                         start.origin.y + t * (target.origin.y - start.origin.y),
                         std::round(start.size.width + t * (target.size.width - start.size.width)),
                         std::round(start.size.height + t * (target.size.height - start.size.height))));
        // The window system moves and resizes the window at once, keeping the old picture at its
        // top-left corner; a repaint left for later would show every step laid out as the step
        // before. The step is drawn now, right behind the move.
        self->repaint();
      },
      [self](bool) {
        if (self) self->frameAnimation_ = 0;
      });
}

void QVSolvaneWindow::sendGeometry(const QRect& r) {
  // The window system shows the old picture until the step is painted; by default at the new
  // top-left corner, so a window growing or shrinking round its centre (opening a photo, Start
  // Over) showed a frame of its content shifted. The gravity keeps that picture where it stood.
  const int gravity = bitGravityFor(r);
  if (gravity != bitGravity_ && windowHandle() && testAttribute(Qt::WA_WState_Created)) {
    setX11BitGravity(this, gravity);
    bitGravity_ = gravity;
  }
  setGeometry(r);
}

int QVSolvaneWindow::bitGravityFor(const QRect& to) const {
  // 0 is X11's ForgetGravity: the whole window is filled with its background until painted.
  if (!keepsOldPicture_ || (dropsPicture_ && fillsUncovered_)) return 0;
  return isVisible() ? bitGravityKeepingPicture(geometry(), to) : 1;
}

void QVSolvaneWindow::requestGeometry(const QRect& r) {
  if (!awaitsAnswers_ || !isVisible() || !windowHandle()) {
    waiting_.reset();
    sendGeometry(r);
    return;
  }
  if (unanswered_) {
    // The newest frame goes once the window manager has answered the one sent.
    waiting_ = r;
    return;
  }
  if (r == geometry()) return;
  sizeWhenAsked_ = size();
  unanswered_ = r;
  ++request_;
  // Nothing is painted until the answer: the new layout painted into the window at its old size
  // would show cut (or, once an earlier step's answer came, drawn at that step's size); the old
  // picture stays where it stood meanwhile (bit gravity).
  setUpdatesEnabled(false);
  sendGeometry(r);
  if (!answerTimeout_) {
    answerTimeout_ = new QTimer(this);
    answerTimeout_->setSingleShot(true);
    QObject::connect(answerTimeout_, &QTimer::timeout, this, [this] { geometryAnswered(request_); });
  }
  answerTimeout_->start(kGeometryAnswerTimeoutMs);
}

void QVSolvaneWindow::whenFrameAnswered(std::function<void()> block) {
  if (!block) return;
  whenAnswered_.push_back(std::move(block));
  runWhenAnswered();
}

void QVSolvaneWindow::runWhenAnswered() {
  if (unanswered_ || waiting_ || whenAnswered_.empty()) return;
  // A block may close the window or ask for another frame: the list is taken first.
  auto blocks = std::exchange(whenAnswered_, {});
  for (auto& block : blocks) block();
}

void QVSolvaneWindow::geometryAnswered(uint64_t request) {
  // A report taken up late may belong to a request answered already.
  if (request != request_) return;
  if (answerTimeout_) answerTimeout_->stop();
  if (!unanswered_) return;
  const QRect asked = *unanswered_;
  unanswered_.reset();
  // The window stands at the size answered: the limits need no longer take in the one before.
  applyQtLimits(size());
  setUpdatesEnabled(true);
  // The step the window manager has just made is painted now, before the next is asked for.
  if (isVisible()) repaint();
  QRect next;
  if (waiting_) {
    next = *waiting_;
    waiting_.reset();
  } else if (geometry() != asked) {
    // Given up on, or a report of the manager's own step came last: the frame asked for is asked
    // again, once, so the window never rests laid out at a step of the motion.
    if (askedAgain_) {
      runWhenAnswered();
      return;
    }
    askedAgain_ = true;
    next = asked;
  } else {
    // Answered as asked; a report of the manager's own coming shortly after is taken up too.
    lastAnswered_ = asked;
    answeredAt_.start();
    runWhenAnswered();
    return;
  }
  applyQtLimits(next.size(), size());
  requestGeometry(next);
  applyQtLimits(next.size(), size());
  layoutParts();
  updateMask();
  runWhenAnswered();
}

void QVSolvaneWindow::watchNativeWindow() {
  QWindow* handle = windowHandle();
  if (!handle) return;
  if (handle != watched_) {
    if (watched_) watched_->removeEventFilter(this);
    watched_ = handle;
    handle->installEventFilter(this);
  }
  awaitsAnswers_ = windowManagerRuns();
  fillsUncovered_ = !compositingActive() && testAttribute(Qt::WA_WState_Created);
  if (fillsUncovered_) setX11BackgroundPixel(this, kContentColour);
}

int QVSolvaneWindow::bitGravityKeepingPicture(const QRect& from, const QRect& to) {
  // 0 for the near edge kept, 1 for the centre, 2 for the far edge; a tolerance of a pixel for
  // the rounding of an animated step.
  auto axis = [](int fromLow, int fromHigh, int toLow, int toHigh) {
    if (std::abs(toLow - fromLow) <= 1) return 0;
    if (std::abs(toHigh - fromHigh) <= 1) return 2;
    if (std::abs((toLow + toHigh) - (fromLow + fromHigh)) <= 2) return 1;
    return -1;
  };
  const int column = axis(from.left(), from.right() + 1, to.left(), to.right() + 1);
  const int row = axis(from.top(), from.bottom() + 1, to.top(), to.bottom() + 1);
  if (column < 0 || row < 0) return 1;
  return 1 + row * 3 + column;
}

void QVSolvaneWindow::setPosition(CGPoint origin) {
  CGRect f = frame();
  f.origin = origin;
  setFrame(f, false, false);
}

void QVSolvaneWindow::setMinSize(CGSize size) {
  minSize_ = size;
  applyQtLimits(this->size());
}

void QVSolvaneWindow::setMaxSize(CGSize size) {
  maxSize_ = size;
  applyQtLimits(this->size());
}

void QVSolvaneWindow::applyQtLimits(QSize current, QSize also) {
  // The limits bind the user's resizing only: frames set from code (shapes, animations) may lie
  // outside them, so Qt's limits always include the size the window is given.
  const int m = 2 * shadowMargin_;
  QSize min(int(std::ceil(minSize_.width)) + m, int(std::ceil(minSize_.height)) + m);
  QSize max(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  if (maxSize_.width > 0 && maxSize_.height > 0) {
    max = QSize(int(std::floor(maxSize_.width)) + m, int(std::floor(maxSize_.height)) + m);
  }
  // While a frame change is out the window manager still holds the window at the size it had (Qt
  // already reports the size asked for), and the frames asked for are still to come: the limits
  // take them all in. A manager applies new limits to the window it holds: a minimum above that
  // size had it grow the window on its own, racing the request (the gallery came in at its
  // minimum height, laid out and painted there, and grew only when asked again).
  const QSize held = unanswered_ ? sizeWhenAsked_ : QSize();
  const QSize asked = unanswered_ ? unanswered_->size() : QSize();
  const QSize next = waiting_ ? waiting_->size() : QSize();
  for (const QSize& size : {current, also, held, asked, next}) {
    if (size.isEmpty()) continue;
    min = min.boundedTo(size);
    max = max.expandedTo(size);
  }
  setMinimumSize(min);
  setMaximumSize(max.expandedTo(min));
}

void QVSolvaneWindow::setAspectRatio(CGSize size) {
  aspectRatio_ = size.width > 0 && size.height > 0 ? size.width / size.height : 0;
}

void QVSolvaneWindow::animateFrame(CGRect target, double duration,
                                   std::function<void(double elapsed, CGRect frame)> progress,
                                   std::function<void()> completion) {
  if (windowAnimator_) windowAnimator_->stop();
  windowAnimator_ = std::make_shared<QVSolvaneWindowAnimator>(this);
  std::weak_ptr<QVSolvaneWindowAnimator> animator = windowAnimator_;
  QPointer<QVSolvaneWindow> self(this);
  windowAnimator_->animateFrame(target, duration, std::move(progress), [self, animator, completion] {
    if (completion) completion();
    if (self && self->windowAnimator_ == animator.lock()) self->windowAnimator_.reset();
  });
}

CGRect QVSolvaneWindow::frameForAspectResize(CGRect startFrame, unsigned edges, CGPoint delta) const {
  return QVSolvaneWindowShapes::aspectResizedFrame(startFrame, edges, delta.x, delta.y, aspectRatio_, minSize_,
                                                   maxSize_);
}

// ---- Painting and input ----

void QVSolvaneWindow::layoutParts() {
  const QRect inner = rect().adjusted(shadowMargin_, shadowMargin_, -shadowMargin_, -shadowMargin_);
  content_->setFrame(CGRectMake(shadowMargin_, shadowMargin_, inner.width(), inner.height()));
  if (corners_) {
    corners_->setGeometry(rect());
    corners_->raise();
  }
  const double bar = QVSolvaneTopBarView::kHeight;
  titlebarContainer_->setFrame(CGRectMake(0, inner.height() - bar, inner.width(), bar));
  titlebarContainer_->raise();
}

void QVSolvaneWindow::updateMask() {
  if (shadowMargin_ > 0) {
    clearMask();
    return;
  }
  // No compositor: only the rounded shape is part of the window.
  setMask(QVRoundedRectRegion(rect(), QVRoundParams{kQVRectCornerAll, radii_}));
}

void QVSolvaneWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layoutParts();
  updateMask();
}

QPixmap QVSolvaneWindow::blurredShadow(QSize windowSize, qreal dpr) const {
  const QRect inner =
      QRect(QPoint(0, 0), windowSize).adjusted(shadowMargin_, shadowMargin_, -shadowMargin_, -shadowMargin_);
  QPixmap shape(QSize(int(std::ceil(windowSize.width() * dpr)), int(std::ceil(windowSize.height() * dpr))));
  shape.setDevicePixelRatio(dpr);
  shape.fill(Qt::transparent);
  {
    QPainter p(&shape);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(QVRoundedRectPath(QRectF(inner).translated(0, 6), QVRoundParams{kQVRectCornerAll, radii_}), Qt::black);
  }
  QVShadowRenderer renderer;
  QPoint origin;
  const QPixmap& blurred = renderer.shadowFor(shape, QColor(0, 0, 0, 150), 18 * dpr, &origin);
  QPixmap shadow(shape.size());
  shadow.setDevicePixelRatio(dpr);
  shadow.fill(Qt::transparent);
  QPainter p(&shadow);
  p.drawPixmap(QPointF(origin) / dpr, blurred);
  return shadow;
}

const QPixmap& QVSolvaneWindow::shadowPicture() {
  static const QPixmap none;
  if (shadowMargin_ <= 0) return none;
  const qreal dpr = devicePixelRatioF();
  if (shadowFor_ == size() && shadow_.devicePixelRatio() == dpr) return shadow_;
  // The shadow of a small window with the same corners is blurred once per radii and pixel ratio;
  // any size is then drawn from its pieces (corners as they are, edges stretched), so resizing and
  // frame animations never blur again.
  const double radius = std::max({radii_.topLeft, radii_.topRight, radii_.bottomRight, radii_.bottomLeft});
  const int corner = int(std::ceil(radius)) + 2 * shadowMargin_;  // a corner piece's side
  const int tile = 2 * corner + 2;
  if (width() < 2 * corner || height() < 2 * corner) {
    shadow_ = blurredShadow(size(), dpr);
  } else {
    auto found = std::find_if(shadowTiles_.begin(), shadowTiles_.end(), [&](const ShadowTile& t) {
      return t.dpr == dpr && QVSCornerRadiiIsEqual(t.radii, radii_);
    });
    if (found == shadowTiles_.end()) {
      shadowTiles_.push_back({radii_, dpr, blurredShadow(QSize(tile, tile), dpr)});
      found = std::prev(shadowTiles_.end());
    }
    const QPixmap& shadowTile = found->tile;
    shadow_ = QPixmap(QSize(int(std::ceil(width() * dpr)), int(std::ceil(height() * dpr))));
    shadow_.setDevicePixelRatio(dpr);
    shadow_.fill(Qt::transparent);
    QPainter p(&shadow_);
    const double c = corner, w = width(), h = height(), mid = tile - 2 * c;
    auto piece = [&](double tx, double ty, double tw, double th, double sx, double sy, double sw, double sh) {
      p.drawPixmap(QRectF(tx, ty, tw, th), shadowTile, QRectF(sx * dpr, sy * dpr, sw * dpr, sh * dpr));
    };
    piece(0, 0, c, c, 0, 0, c, c);
    piece(w - c, 0, c, c, tile - c, 0, c, c);
    piece(0, h - c, c, c, 0, tile - c, c, c);
    piece(w - c, h - c, c, c, tile - c, tile - c, c, c);
    piece(c, 0, w - 2 * c, c, c, 0, mid, c);
    piece(c, h - c, w - 2 * c, c, c, tile - c, mid, c);
    piece(0, c, c, h - 2 * c, 0, c, c, mid);
    piece(w - c, c, c, h - 2 * c, tile - c, c, c, mid);
    piece(c, c, w - 2 * c, h - 2 * c, c, c, mid, mid);
  }
  shadowFor_ = size();
  return shadow_;
}

void QVSolvaneWindow::paintEvent(QPaintEvent* event) {
  if (shadowMargin_ <= 0) return;
  // Only the margin: the opaque content covers the rest (its corners put the shadow back beneath).
  const QRegion margin = event->region() - QRegion(content_->geometry());
  if (margin.isEmpty()) return;
  const QPixmap& shadow = shadowPicture();
  QPainter painter(this);
  painter.setClipRegion(margin);
  painter.drawPixmap(0, 0, shadow);
}

unsigned QVSolvaneWindow::resizeEdgesAt(QPoint p) const {
  if (sizeMode_ == QVScreenModeOpen || !QVWindowResizing::isResizable(this)) return 0;
  if (minSize_.width == maxSize_.width && minSize_.height == maxSize_.height && maxSize_.width > 0) return 0;
  const QRect inner = rect().adjusted(shadowMargin_, shadowMargin_, -shadowMargin_, -shadowMargin_);
  const int reach = QVFramelessWindow::kResizeMargin;
  const QRect band = inner.adjusted(-std::min(reach, shadowMargin_), -std::min(reach, shadowMargin_),
                                    std::min(reach, shadowMargin_), std::min(reach, shadowMargin_));
  return unsigned(QVFramelessResizeEdges(band.size(), p - band.topLeft(), 2 * reach));
}

void QVSolvaneWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && userInteractionEnabled_ && isMovableByWindowBackground()) {
    QVWindowMoving::armWithPress(this, *event);
    event->accept();
    return;
  }
  QWidget::mousePressEvent(event);
}

bool QVSolvaneWindow::eventFilter(QObject* watched, QEvent* event) {
  const auto type = event->type();
  if (watched == watched_ && watched_) {
    // The window system's report of the window's geometry at the size and place asked for: the
    // answer to the request sent (a window manager may report steps of its own before it). Taken
    // up once Qt has given the report to the widget, so the next request is not undone by it.
    if ((type == QEvent::Resize || type == QEvent::Move) && unanswered_ && watched_->geometry() == *unanswered_) {
      QPointer<QVSolvaneWindow> self(this);
      const uint64_t request = request_;
      QMetaObject::invokeMethod(
          this,
          [self, request] {
            if (self) self->geometryAnswered(request);
          },
          Qt::QueuedConnection);
    } else if ((type == QEvent::Resize || type == QEvent::Move) && !unanswered_ && lastAnswered_ &&
               answeredAt_.isValid() && answeredAt_.elapsed() < kLateReportMs && !askedAgain_ &&
               watched_->geometry() != *lastAnswered_) {
      // A report of an earlier step arriving after the answer: Qt has laid the window out at that
      // size again, so the frame answered is asked for once more.
      QPointer<QVSolvaneWindow> self(this);
      QMetaObject::invokeMethod(
          this,
          [self] {
            if (!self || self->unanswered_ || !self->lastAnswered_ || self->askedAgain_) return;
            self->askedAgain_ = true;
            const QRect again = *self->lastAnswered_;
            self->applyQtLimits(again.size(), self->size());
            self->requestGeometry(again);
            self->applyQtLimits(again.size(), self->size());
            self->layoutParts();
            self->updateMask();
          },
          Qt::QueuedConnection);
    }
    return false;
  }
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget->window() != this || !widget->isWidgetType()) return false;
  auto* mouse = static_cast<QMouseEvent*>(event);
  const QPoint local = mapFromGlobal(mouse->globalPosition().toPoint());
  if (resizeEdges_) {
    if (type == QEvent::MouseMove) {
      const QPointF d = mouse->globalPosition() - resizeStartPointer_;
      setFrame(frameForAspectResize(resizeStartFrame_, resizeEdges_, CGPointMake(d.x(), -d.y())), true, false);
    } else if (type == QEvent::MouseButtonRelease) {
      resizeEdges_ = 0;
    }
    return true;
  }
  if (!userInteractionEnabled_) return false;
  const unsigned edges = resizeEdgesAt(local);
  if (type == QEvent::MouseMove && mouse->buttons() == Qt::NoButton) {
    const auto e = Qt::Edges(int(edges));
    const bool horizontal = e & (Qt::LeftEdge | Qt::RightEdge), vertical = e & (Qt::TopEdge | Qt::BottomEdge);
    if (!edges) {
      unsetCursor();
    } else if (horizontal && vertical) {
      const bool main = e == (Qt::LeftEdge | Qt::TopEdge) || e == (Qt::RightEdge | Qt::BottomEdge);
      setCursor(main ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor);
    } else {
      setCursor(horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor);
    }
    return false;
  }
  if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton && edges) {
    if (aspectRatio_ > 0) {
      resizeEdges_ = edges;
      resizeStartPointer_ = mouse->globalPosition();
      resizeStartFrame_ = frame();
      return true;
    }
    QVWindowMoving::armResizeWithPress(this, *mouse, Qt::Edges(int(edges)));
    return true;
  }
  return false;
}

void QVSolvaneWindow::closeEvent(QCloseEvent* event) {
  if (shouldClose && !shouldClose()) {
    event->ignore();
    return;
  }
  if (willClose) willClose();
  event->accept();
}

void QVSolvaneWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  // A hidden window waits for no answer: its next frame goes straight through, and it paints when shown.
  if (answerTimeout_) answerTimeout_->stop();
  if (waiting_) setGeometry(*waiting_);
  waiting_.reset();
  if (unanswered_) {
    unanswered_.reset();
    setUpdatesEnabled(true);
  }
  runWhenAnswered();
}

void QVSolvaneWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  watchNativeWindow();
  if (didShow) didShow();
}
