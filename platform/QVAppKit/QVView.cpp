#include "QVAppKit/QVView.h"

#include <QChildEvent>
#include <QGraphicsEffect>
#include <QPainter>
#include <QPixmapCache>
#include <cmath>
#include <cstdio>

#include "QVAppKit/QVGeometry.h"
#include "QVAppKit/QVRoundParams.h"
#include "QVAppKit/QVShadowRenderer.h"

// The combined effect of a view whose subtree fades, scales, is clipped or casts a shadow as one.
// Qt caches the subtree's picture between changes of its content, so an animation of alpha or scale
// only redraws that picture.
class QVPresentationEffect final : public QGraphicsEffect {
 public:
  explicit QVPresentationEffect(QVView* view) : view_(view) {}

  QRectF boundingRectFor(const QRectF& rect) const override {
    // Qt renders the source only where the effect's rectangle lies: keep the untransformed rectangle
    // in it, so a view scaled down still has its whole picture to draw from.
    QRectF r = view_->presentationTransform().mapRect(rect) | rect;
    if (view_->shadow_) {
      const QVShadow& s = *view_->shadow_;
      const double spread = std::ceil(s.blurRadius * 1.5) + 1;
      r |= r.translated(s.offset.width, -s.offset.height).adjusted(-spread, -spread, spread, spread);
    }
    return r;
  }

  void refresh() {
    updateBoundingRect();
    update();
  }

  // The subtree's picture is drawn again only when something in it changed: a view asked for it
  // (setNeedsDisplay), or any widget inside received an event (input, resize, timers such as a
  // caret's, children coming and going). Presentation changes reuse it, so a fade or a scale only
  // composes the kept picture. Qt keeps no such picture for widgets itself.
  void contentChanged() { ++generation_; }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!rendering_ && event->type() != QEvent::Paint) {
      contentChanged();
      if (event->type() == QEvent::ChildAdded) {
        if (auto* w = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child())) watch(w);
      }
    }
    return false;
  }

  void watch(QWidget* widget) {
    widget->removeEventFilter(this);
    widget->installEventFilter(this);
    for (QObject* child : widget->children()) {
      if (auto* w = qobject_cast<QWidget*>(child)) watch(w);
    }
  }

 protected:
  void draw(QPainter* painter) override {
    // Nothing to show: no picture of the subtree is made (an empty one cannot be).
    if (view_->alpha_ <= 0 || sourceBoundingRect().isEmpty()) return;
    QPoint offset;
    const QPixmap source = cachedSource(painter->device()->devicePixelRatio(), &offset);
    if (source.isNull()) return;
    const QPixmap& content = clipped(source, offset);
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->setTransform(view_->presentationTransform(), true);
    painter->setOpacity(painter->opacity() * view_->alpha_);
    if (view_->shadow_) {
      const QVShadow& s = *view_->shadow_;
      QPoint shadowOffset;
      const QPixmap& shadow = shadows_.shadowFor(content, s.color, s.blurRadius, &shadowOffset);
      painter->drawPixmap(QPointF(offset) + QPointF(s.offset.width, -s.offset.height) +
                              QPointF(shadowOffset) / content.devicePixelRatio(),
                          shadow);
    }
    painter->drawPixmap(offset, content);
    painter->restore();
  }

 private:
  // The subtree's picture clipped to the rounded shape (antialiased), kept while both stay the same.
  const QPixmap& clipped(const QPixmap& source, QPoint offset) {
    const QPainterPath shape = view_->masksToBounds() ? view_->roundedShape() : QPainterPath();
    if (shape.isEmpty()) return source;
    if (clippedKey_ == source.cacheKey() && clippedShape_ == shape && !clipped_.isNull()) return clipped_;
    clipped_ = QVClipPixmapToPath(source, shape.translated(-QPointF(offset)));
    clippedKey_ = source.cacheKey();
    clippedShape_ = shape;
    return clipped_;
  }

  QPixmap cachedSource(qreal dpr, QPoint* offset) {
    if (source_.isNull() || sourceGeneration_ != generation_ || source_.devicePixelRatio() != dpr) {
      rendering_ = true;
      source_ = renderSubtree(dpr, &sourceOffset_);
      rendering_ = false;
      sourceGeneration_ = generation_;
      ++renders_;
    }
    *offset = sourceOffset_;
    return source_;
  }

  // The view and its subtree as they are drawn without the effect, with the place of the picture's
  // top-left corner in the view. Not QGraphicsEffect::sourcePixmap: it renders the whole widget
  // into the picture's corner, and a widget with a mask (the export panel keeps one so that clicks
  // pass through beside its controls) renders only the mask's part there, from the mask's corner,
  // so the subtree would be drawn up and left by that much. The part inside the mask is rendered
  // here where it lies. While the effect draws, rendering the widget paints it without the effect.
  QPixmap renderSubtree(qreal dpr, QPoint* offset) const {
    QRegion region(view_->rect());
    if (!view_->mask().isEmpty()) region &= view_->mask();
    const QRect area = region.boundingRect();
    *offset = area.topLeft();
    if (area.isEmpty()) return {};
    QPixmap picture((QSizeF(area.size()) * dpr).toSize());
    picture.setDevicePixelRatio(dpr);
    picture.fill(Qt::transparent);
    // The region's corner lands on the target offset: the picture's origin is the area's corner.
    view_->render(&picture, QPoint(), region, QWidget::DrawChildren);
    return picture;
  }

  QVView* view_;
  QPixmap source_;
  QPoint sourceOffset_;
  uint64_t generation_ = 1, sourceGeneration_ = 0;
  bool rendering_ = false;

 public:
  int renders_ = 0;

 private:
  QPixmap clipped_;
  qint64 clippedKey_ = 0;
  QPainterPath clippedShape_;
  QVShadowRenderer shadows_;
};

QVView::~QVView() {
  // The effect asks this view for its transform and shadow whenever Qt recomputes the effect's
  // bounds, which ~QWidget still does while it hides and updates the widget: by then this part of
  // the object is gone. Take the effect away while the view is whole.
  if (effect_) {
    effect_ = nullptr;
    setGraphicsEffect(nullptr);  // deletes it
  }
}

void QVView::initialize() {
  QVBasicView::initialize();
  userInteractionEnabled_ = true;
  setAttribute(Qt::WA_TransparentForMouseEvents, false);
  mouseDownCanMoveWindowWasSet_ = false;
}

void QVView::layout() {
  QVBasicView::layout();
  if (roundsCornersToFitHeight_) cornerRadius_ = frame().size.height / 2;
  updatePresentation();
  setNeedsDisplay();
}

void QVView::setBackgroundColor(const QColor& color) {
  if (color == backgroundColor_) return;
  backgroundColor_ = color;
  setNeedsLayout();
}

void QVView::setCornerRadius(double radius) {
  if (radius == cornerRadius_) return;
  cornerRadius_ = radius;
  roundsCornersToFitHeight_ = false;
  setNeedsLayout();
}

void QVView::setRoundsCornersToFitHeight(bool rounds) {
  if (rounds == roundsCornersToFitHeight_) return;
  roundsCornersToFitHeight_ = rounds;
  setNeedsLayout();
}

void QVView::setBorderColor(const QColor& color) {
  if (color == borderColor_) return;
  borderColor_ = color;
  setNeedsDisplay();
}

void QVView::setBorderWidth(double width) {
  if (width == borderWidth_) return;
  borderWidth_ = width;
  setNeedsDisplay();
}

void QVView::setMasksToBounds(bool masks) {
  if (masks == masksToBounds_) return;
  masksToBounds_ = masks;
  updatePresentation();
  setNeedsDisplay();
}

void QVView::setShadow(std::optional<QVShadow> shadow) {
  if (shadow == shadow_) return;
  shadow_ = shadow;
  updatePresentation();
}

void QVView::setAlpha(double alpha) {
  alpha = std::clamp(alpha, 0.0, 1.0);
  if (alpha == alpha_) return;
  alpha_ = alpha;
  updatePresentation();
}

void QVView::setScale(CGSize scale) {
  if (scale.width == scale_.width && scale.height == scale_.height) return;
  scale_ = scale;
  updatePresentation();
}

void QVView::setAnchorPoint(CGPoint unitPoint) {
  if (unitPoint.x == anchorPoint_.x && unitPoint.y == anchorPoint_.y) return;
  anchorPoint_ = unitPoint;
  updatePresentation();
}

void QVView::setTranslation(CGPoint offset) {
  if (offset.x == translation_.x && offset.y == translation_.y) return;
  translation_ = offset;
  updatePresentation();
}

QTransform QVView::presentationTransform() const {
  const double ax = anchorPoint_.x * width();
  const double ay = (1.0 - anchorPoint_.y) * height();
  return QTransform::fromTranslate(-ax, -ay) * QTransform::fromScale(scale_.width, scale_.height) *
         QTransform::fromTranslate(ax + translation_.x, ay - translation_.y);
}

void QVView::setUserInteractionEnabled(bool enabled) {
  userInteractionEnabled_ = enabled;
  // Qt then delivers no mouse event to the view or anything inside it.
  setAttribute(Qt::WA_TransparentForMouseEvents, !enabled);
}

bool QVView::mouseDownCanMoveWindow() const {
  if (!mouseDownCanMoveWindowWasSet_) return false;
  return userInteractionEnabled_ ? mouseDownCanMoveWindow_ : true;
}

void QVView::setMouseDownCanMoveWindow(bool can) {
  mouseDownCanMoveWindow_ = can;
  mouseDownCanMoveWindowWasSet_ = true;
  if (QWidget* w = window(); w && w != this) w->setProperty("movable", can);
}

QWidget* QVView::hitTest(CGPoint point) {
  if (!userInteractionEnabled_) return nullptr;
  return QVBasicView::hitTest(point);
}

std::vector<QWidget*> QVView::setViews(const std::vector<QWidget*>& views, bool enabled) {
  std::vector<QWidget*> changed;
  for (QWidget* w : views) {
    auto* v = dynamic_cast<QVView*>(w);
    if (!v || v->userInteractionEnabled() == enabled) continue;
    v->setUserInteractionEnabled(enabled);
    changed.push_back(w);
  }
  return changed;
}

std::string QVView::description() const {
  const CGRect f = frame();
  const CGRect b = bounds();
  char text[512];
  std::snprintf(text, sizeof text,
                "<%s>\nframe: {{%g, %g}, {%g, %g}}, bounds: {{%g, %g}, {%g, %g}}, wantsLayer: 1, TAMIC: 1, MtB: %d, "
                "hidden: %d, alpha: %f, LAP: {%f, %f}; UIE: %d ",
                metaObject()->className(), f.origin.x, f.origin.y, f.size.width, f.size.height, b.origin.x, b.origin.y,
                b.size.width, b.size.height, int(masksToBounds_), int(isHidden()), alpha_, anchorPoint_.x,
                anchorPoint_.y, int(userInteractionEnabled_));
  return text;
}

QPixmap QVView::snapshot() const { return const_cast<QVView*>(this)->grab(); }

QPainterPath QVView::roundedShape() const {
  if (cornerRadius_ <= 0) return {};
  return QVRoundedRectPath(QRectF(rect()), cornerRadius_);
}

bool QVView::hasVisibleSubviews() const {
  for (QWidget* w : subviews()) {
    if (!w->isHidden()) return true;
  }
  return false;
}

bool QVView::needsEffect() const {
  if (shadow_) return true;
  if (scale_.width != 1 || scale_.height != 1 || translation_.x != 0 || translation_.y != 0) return true;
  if (!hasVisibleSubviews()) return false;
  return alpha_ < 1 || (masksToBounds_ && !roundedShape().isEmpty());
}

void QVView::updatePresentation() {
  if (!needsEffect()) {
    if (effect_) {
      effect_ = nullptr;
      setGraphicsEffect(nullptr);  // deletes it
    }
    setNeedsDisplay();
    return;
  }
  const bool fresh = !effect_;
  if (fresh) {
    effect_ = new QVPresentationEffect(this);
    setGraphicsEffect(effect_);  // the widget owns it
    effect_->watch(this);
  }
  const QRectF bounds = effect_->boundingRectFor(QRectF(rect()));
  if (fresh || bounds != effectBounds_) {
    effectBounds_ = bounds;
    effect_->refresh();
    if (QWidget* parent = parentWidget()) QVSetNeedsDisplay(parent);
  } else if (QWidget* parent = parentWidget()) {
    // Only the presentation changed (alpha, scale within the bounds): this view's kept picture
    // stays valid; the superview (and pictures kept of it) is drawn again where it is covered.
    QVSetNeedsDisplayInRect(parent, bounds.translated(pos()).toAlignedRect());
  } else {
    update();
  }
}

int QVView::subtreePictureRenders() const { return effect_ ? effect_->renders_ : 0; }

void QVView::subtreeContentChanged() {
  if (effect_) effect_->contentChanged();
}

bool QVView::event(QEvent* event) {
  const bool handled = QVBasicView::event(event);
  switch (event->type()) {
    case QEvent::ChildAdded:
    case QEvent::ChildRemoved:
    case QEvent::LayoutRequest:
      updatePresentation();
      setNeedsDisplay();
      break;
    default:
      break;
  }
  return handled;
}

void QVView::paintEvent(QPaintEvent* event) {
  QVBasicView::paintEvent(event);
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  // With the effect installed it applies alpha to the whole subtree; alone the view applies it.
  if (!effect_) painter.setOpacity(alpha_);
  const QRectF r(rect());
  const QPainterPath shape = roundedShape();
  auto paintBody = [&](QPainter& p) {
    if (backgroundColor_.isValid() && backgroundColor_.alpha() > 0) {
      if (shape.isEmpty()) {
        p.fillRect(r, backgroundColor_);
      } else {
        p.fillPath(shape, backgroundColor_);
      }
    }
    drawContent(p);
  };
  if (masksToBounds_ && !shape.isEmpty()) {
    // Clip the content to the rounded shape with antialiased edges: draw into a layer, then mask it.
    const qreal dpr = devicePixelRatioF();
    QPixmap layer((QSizeF(size()) * dpr).toSize());
    layer.setDevicePixelRatio(dpr);
    layer.fill(Qt::transparent);
    QPainter p(&layer);
    p.setRenderHints(painter.renderHints());
    paintBody(p);
    p.end();
    layer = QVClipPixmapToPath(layer, shape);
    painter.drawPixmap(0, 0, layer);
  } else {
    paintBody(painter);
  }
  if (borderWidth_ > 0 && borderColor_.isValid()) {
    const double inset = borderWidth_ / 2;
    const QRectF br = r.adjusted(inset, inset, -inset, -inset);
    painter.setPen(QPen(borderColor_, borderWidth_));
    painter.setBrush(Qt::NoBrush);
    if (shape.isEmpty()) {
      painter.drawRect(br);
    } else {
      // The same shape, inset so the stroke lies inside the view.
      QPainterPath inner = shape;
      QTransform t = QTransform::fromTranslate(-r.center().x(), -r.center().y()) *
                     QTransform::fromScale(br.width() / r.width(), br.height() / r.height()) *
                     QTransform::fromTranslate(r.center().x(), r.center().y());
      painter.drawPath(t.map(inner));
    }
  }
}
