#include "QVAppKit/QVBasicView.h"

#include <QChildEvent>
#include <QMetaObject>
#include <QResizeEvent>

#include "QVAppKit/QVGeometry.h"

QVBasicView::QVBasicView(CGRect frame) : frame_(CGRectStandardize(frame)) {
  setAttribute(Qt::WA_NoSystemBackground);
  applyFrame();
}

QVBasicView::~QVBasicView() {
  if (watched_) watched_->removeEventFilter(this);
}

void QVBasicView::initialize() { addSubviews(); }

CGRect QVBasicView::frame() const {
  if (auto* s = parentWidget()) return QVGeometry::rectFromQtRect(QRectF(geometry()), s->height());
  return frame_;
}

void QVBasicView::setFrame(CGRect frame) {
  frame_ = CGRectStandardize(frame);
  applyFrame();
}

void QVBasicView::setFrameSize(CGSize size) {
  CGRect f = frame();
  f.size = size;
  setFrame(f);
}

void QVBasicView::setFrameOrigin(CGPoint origin) {
  CGRect f = frame();
  f.origin = origin;
  setFrame(f);
}

CGRect QVBasicView::bounds() const { return CGRectMake(0, 0, width(), height()); }

QPointF QVBasicView::qtPointFromPoint(CGPoint point) const { return QVGeometry::qtPointFromPoint(point, height()); }
CGPoint QVBasicView::pointFromQtPoint(QPointF point) const { return QVGeometry::pointFromQtPoint(point, height()); }
QRectF QVBasicView::qtRectFromRect(CGRect rect) const { return QVGeometry::qtRectFromRect(rect, height()); }
CGRect QVBasicView::rectFromQtRect(QRectF rect) const { return QVGeometry::rectFromQtRect(rect, height()); }

void QVBasicView::applyFrame() {
  applyingFrame_ = true;
  QRectF r;
  if (auto* s = parentWidget()) {
    r = QVGeometry::qtRectFromRect(frame_, s->height());
  } else {
    // A window: Qt places it on the screen; only its size follows the frame.
    r = QRectF(pos(), QSizeF(frame_.size.width, frame_.size.height));
  }
  const int oldHeight = height();
  const QRect old = geometry();
  setGeometry(r.toAlignedRect());
  applyingFrame_ = false;
  if (geometry() == old) return;
  const bool sizeChanged = geometry().size() != old.size();
  if (sizeChanged && !testAttribute(Qt::WA_WState_Visible)) {
    needsLayout_ = true;
    layoutSubtreeIfNeeded();
  }
  frameDidChange(sizeChanged);
  // Qt defers resize events of hidden widgets: keep the subviews in place in our y-up space now.
  if (height() != oldHeight) {
    for (QWidget* child : subviews()) {
      if (auto* v = dynamic_cast<QVBasicView*>(child)) v->applyFrame();
    }
  }
}

std::vector<QWidget*> QVBasicView::subviews() const {
  std::vector<QWidget*> out;
  for (QObject* child : children()) {
    if (auto* w = qobject_cast<QWidget*>(child); w && !w->isWindow()) out.push_back(w);
  }
  return out;
}

void QVBasicView::addSubview(QWidget* view) {
  if (!view || view == this) return;
  if (view->parentWidget() != this) view->setParent(this);
  view->raise();
  view->show();
}

void QVBasicView::removeFromSuperview() {
  wereConstraintsSetUp_ = false;
  if (parentWidget()) setParent(nullptr);
}

void QVBasicView::viewDidMoveToSuperview() {
  watchSuperview(parentWidget());
  if (!parentWidget()) {
    removeAllConstraints();
    return;
  }
  applyFrame();
  if (!wereConstraintsSetUp_) {
    setupLayoutConstraints();
    wereConstraintsSetUp_ = true;
  }
}

void QVBasicView::watchSuperview(QWidget* superview) {
  if (watched_ == superview) return;
  if (watched_) watched_->removeEventFilter(this);
  watched_ = superview;
  if (watched_) watched_->installEventFilter(this);
}

void QVBasicView::addConstraint(std::function<void()> rule) {
  if (!rule) return;
  constraints_.push_back(std::move(rule));
  setNeedsLayout();
}

void QVBasicView::removeAllConstraints() { constraints_.clear(); }

void QVBasicView::setSubviewConstraint(QWidget* subview, std::function<void()> rule) {
  if (!subview || !rule) return;
  std::erase_if(subviewConstraints_, [subview](const auto& entry) { return !entry.first || entry.first == subview; });
  subviewConstraints_.emplace_back(subview, std::move(rule));
  setNeedsLayout();
}

void QVSetNeedsDisplayInRect(QWidget* widget, const QRect& rect) {
  if (!widget) return;
  widget->update(rect);
  for (QWidget* w = widget; w; w = w->parentWidget()) {
    if (auto* v = dynamic_cast<QVBasicView*>(w)) v->subtreeContentChanged();
  }
}

void QVSetNeedsDisplay(QWidget* widget) {
  if (widget) QVSetNeedsDisplayInRect(widget, widget->rect());
}

void QVBasicView::setNeedsDisplay() { QVSetNeedsDisplay(this); }

void QVBasicView::setNeedsLayout() {
  needsLayout_ = true;
  setNeedsDisplay();
  if (layoutQueued_) return;
  layoutQueued_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        layoutQueued_ = false;
        layoutSubtreeIfNeeded();
      },
      Qt::QueuedConnection);
}

void QVBasicView::layoutSubtreeIfNeeded() {
  if (needsLayout_) {
    needsLayout_ = false;
    layout();
  }
  for (QWidget* child : subviews()) {
    if (auto* v = dynamic_cast<QVBasicView*>(child)) v->layoutSubtreeIfNeeded();
  }
}

void QVBasicView::layout() {
  // A rule may add rules; run the ones present when layout began.
  const auto rules = constraints_;
  for (const auto& rule : rules) rule();
  std::erase_if(subviewConstraints_,
                [this](const auto& entry) { return !entry.first || entry.first->parentWidget() != this; });
  const auto placed = subviewConstraints_;
  for (const auto& entry : placed) entry.second();
}

QWidget* QVBasicView::hitTest(CGPoint point) {
  if (isHidden() && parentWidget()) return nullptr;
  if (!CGRectContainsPoint(frame(), point)) return nullptr;
  const CGPoint local = CGPointMake(point.x - frame().origin.x, point.y - frame().origin.y);
  auto children = subviews();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    QWidget* child = *it;
    if (child->isHidden()) continue;
    if (auto* v = dynamic_cast<QVBasicView*>(child)) {
      if (QWidget* hit = v->hitTest(local)) return hit;
    } else if (!child->testAttribute(Qt::WA_TransparentForMouseEvents)) {
      if (child->geometry().contains(qtPointFromPoint(local).toPoint())) return child;
    }
  }
  return this;
}

bool QVBasicView::event(QEvent* event) {
  if (event->type() == QEvent::ParentChange) viewDidMoveToSuperview();
  return QWidget::event(event);
}

bool QVBasicView::eventFilter(QObject* watched, QEvent* event) {
  // The superview changed size: keep the frame where it is in the superview's (bottom-left) space.
  if (watched == watched_ && event->type() == QEvent::Resize) applyFrame();
  return QWidget::eventFilter(watched, event);
}

void QVBasicView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!applyingFrame_ && parentWidget()) frame_ = frame();
  if (!parentWidget()) frame_.size = CGSizeMake(width(), height());
  needsLayout_ = true;
  layoutSubtreeIfNeeded();
  if (!applyingFrame_) frameDidChange(true);
}

void QVBasicView::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  if (!applyingFrame_ && parentWidget()) frame_ = frame();
  if (!applyingFrame_) frameDidChange(false);
}

void QVBasicView::paintEvent(QPaintEvent* event) {
  // Layout comes before drawing, as a display pass would do it.
  if (needsLayout_) layoutSubtreeIfNeeded();
}
