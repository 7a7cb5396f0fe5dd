#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <cmath>

#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindowAnimator.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVFramelessWindow.h"
#include "QVAppKit/QVGeometry.h"
#include "QVAppKit/QVShadowRenderer.h"
#include "QVAppKit/QVViewController.h"
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

std::function<bool()>& pluginModeQuery() {
  static std::function<bool()> query;
  return query;
}

bool pluginMode() { return pluginModeQuery() ? pluginModeQuery()() : QVAppLink::isPluginMode(); }

// Whether an X11 compositing manager owns the screen's "_NET_WM_CM_S<n>" selection.
bool x11CompositorRuns() {
#if defined(SOLVANE_HAS_XCB)
  auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection()) return false;
  xcb_connection_t* connection = x11->connection();
  const QByteArray name = "_NET_WM_CM_S0";
  auto cookie = xcb_intern_atom(connection, 1, uint16_t(name.size()), name.constData());
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(connection, cookie, nullptr);
  if (!atom) return false;
  bool owned = false;
  if (atom->atom != XCB_ATOM_NONE) {
    auto ownerCookie = xcb_get_selection_owner(connection, atom->atom);
    if (auto* owner = xcb_get_selection_owner_reply(connection, ownerCookie, nullptr)) {
      owned = owner->owner != XCB_NONE;
      free(owner);
    }
  }
  free(atom);
  return owned;
#else
  return false;
#endif
}

double desktopFlipHeight() {
  QScreen* primary = QGuiApplication::primaryScreen();
  return primary ? primary->geometry().y() + primary->geometry().height() : 0;
}

CGSize sizeOf(QSize s) { return CGSizeMake(s.width(), s.height()); }

}  // namespace

// ---- Set-up ----

QVSolvaneWindow::QVSolvaneWindow() {
  setWindowFlag(Qt::FramelessWindowHint, true);
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_NoSystemBackground);
  setMouseTracking(true);
  shadowMargin_ = compositingActive() ? kShadowMargin : 0;

  content_ = QVMake<QVRoundedView>(CGRectMake(0, 0, 10, 10));
  content_->setParent(this);
  content_->setBackgroundColor(QColor(17, 18, 20));
  titlebarContainer_ = QVMake<QVView>(CGRectMake(0, 0, 10, QVSolvaneTopBarView::kHeight));
  content_->addSubview(titlebarContainer_);
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
  if (!shape.known) return;
  radii_ = shape.radii;
  content_->setRoundParams(QVRoundParams{kQVRectCornerAll, radii_});
  shadowFor_ = QSize();
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
  setAspectRatio(size);
  const CGRect frame = CGRectMake(origin.x, origin.y, size.width, size.height);
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
  const QRect outer = geometry();
  return screenRectFromQtRect(outer.adjusted(shadowMargin_, shadowMargin_, -shadowMargin_, -shadowMargin_));
}

void QVSolvaneWindow::setFrame(CGRect target, bool display, bool animate) {
  if (frameAnimation_) {
    QVAnimationDriver::shared().cancel(frameAnimation_);
    frameAnimation_ = 0;
  }
  auto apply = [this](CGRect rect) {
    const QRect r = qtRectFromScreenRect(rect).adjusted(-shadowMargin_, -shadowMargin_, shadowMargin_, shadowMargin_);
    applyQtLimits(r.size());
    setGeometry(r);
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
      },
      [self](bool) {
        if (self) self->frameAnimation_ = 0;
      });
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

void QVSolvaneWindow::applyQtLimits(QSize current) {
  // The limits bind the user's resizing only: frames set from code (shapes, animations) may lie
  // outside them, so Qt's limits always include the size the window is given.
  const int m = 2 * shadowMargin_;
  QSize min(int(std::ceil(minSize_.width)) + m, int(std::ceil(minSize_.height)) + m);
  QSize max(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  if (maxSize_.width > 0 && maxSize_.height > 0) {
    max = QSize(int(std::floor(maxSize_.width)) + m, int(std::floor(maxSize_.height)) + m);
  }
  if (!current.isEmpty()) {
    min = min.boundedTo(current);
    max = max.expandedTo(current);
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
  content_->setGeometry(inner);
  content_->setFrame(CGRectMake(shadowMargin_, shadowMargin_, inner.width(), inner.height()));
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
  const QPainterPath path = QVRoundedRectPath(QRectF(rect()), QVRoundParams{kQVRectCornerAll, radii_});
  setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void QVSolvaneWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layoutParts();
  updateMask();
}

void QVSolvaneWindow::paintEvent(QPaintEvent*) {
  if (shadowMargin_ <= 0) return;
  const QRect inner = rect().adjusted(shadowMargin_, shadowMargin_, -shadowMargin_, -shadowMargin_);
  const qreal dpr = devicePixelRatioF();
  if (shadowFor_ != size() || shadow_.devicePixelRatio() != dpr) {
    // The shadow is made once per size: the rounded shape, blurred.
    QPixmap shape(QSize(std::ceil(width() * dpr), std::ceil(height() * dpr)));
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
    shadow_ = QPixmap(shape.size());
    shadow_.setDevicePixelRatio(dpr);
    shadow_.fill(Qt::transparent);
    QPainter p(&shadow_);
    p.drawPixmap(QPointF(origin) / dpr, blurred);
    shadowFor_ = size();
  }
  QPainter painter(this);
  painter.drawPixmap(0, 0, shadow_);
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
    if (QWindow* handle = windowHandle()) handle->startSystemMove();
    event->accept();
    return;
  }
  QWidget::mousePressEvent(event);
}

bool QVSolvaneWindow::eventFilter(QObject* watched, QEvent* event) {
  const auto type = event->type();
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
    if (QWindow* handle = windowHandle()) {
      handle->startSystemResize(Qt::Edges(int(edges)));
      return true;
    }
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

void QVSolvaneWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (didShow) didShow();
}
