#include "Ombrel/Classes/Application/Transitions/QVTransitionSprites.h"

#include <cmath>

#include "QVAppKit/QVGeometry.h"
#include "QVAppKit/QVSpringAnimation.h"
#include "QVAppKit/QVView.h"

namespace {
QVOverlayCanvas::Item itemFromSprite(const QVTransitionSprite& s) {
  QVOverlayCanvas::Item item;
  item.picture = s.picture;
  item.frame = s.frame;
  item.alpha = s.opacity;
  item.scale = s.scale;
  item.cornerRadius = s.cornerRadius;
  item.backgroundColor = s.backgroundColor;
  return item;
}

double mix(double a, double b, double t) { return a + (b - a) * t; }

QColor mixColor(const QColor& a, const QColor& b, double t) {
  if (!a.isValid()) return b;
  if (!b.isValid()) return a;
  return QColor::fromRgbF(float(mix(a.redF(), b.redF(), t)), float(mix(a.greenF(), b.greenF(), t)),
                          float(mix(a.blueF(), b.blueF(), t)), float(mix(a.alphaF(), b.alphaF(), t)));
}
}  // namespace

QVTransitionSprites::QVTransitionSprites(QWidget* window)
    : window_(window), canvas_(QVOverlayCanvas::overlayForWindow(window)) {}

QVTransitionSprites::~QVTransitionSprites() {
  removeAllAnimations();
  clear();
}

CGRect QVTransitionSprites::frameInWindow(const QWidget* view) const {
  if (!view || !window_) return CGRectZero;
  const QPoint topLeft = view->mapTo(window_, QPoint(0, 0));
  return QVGeometry::rectFromQtRect(QRectF(topLeft, QSizeF(view->size())), window_->height());
}

CGRect QVTransitionSprites::convertFromWindow(CGRect rect, const QWidget* view) const {
  if (!view || !window_) return rect;
  const QRectF qt = QVGeometry::qtRectFromRect(rect, window_->height());
  const QPointF local = QPointF(view->mapFrom(window_, QPoint(0, 0))) + qt.topLeft();
  return QVGeometry::rectFromQtRect(QRectF(local, qt.size()), view->height());
}

QVTransitionSprites::SpriteId QVTransitionSprites::grab(QWidget* view) {
  if (!view || !canvas_) return 0;
  if (auto it = grabbed_.find(view); it != grabbed_.end()) return it->second;
  QVTransitionSprite s;
  if (auto* v = dynamic_cast<QVView*>(view)) {
    s.picture = v->snapshot();
    s.opacity = v->alpha();
  } else {
    s.picture = view->grab();
  }
  s.frame = frameInWindow(view);
  const SpriteId id = add(s);
  grabbed_[view] = id;
  if (view->isVisible()) {
    view->hide();
    hidden_.push_back(view);
  }
  return id;
}

QVTransitionSprites::SpriteId QVTransitionSprites::spriteForView(const QWidget* view) const {
  auto it = grabbed_.find(view);
  return it == grabbed_.end() ? 0 : it->second;
}

QVTransitionSprites::SpriteId QVTransitionSprites::add(const QVTransitionSprite& sprite) {
  if (!canvas_) return 0;
  const SpriteId id = canvas_->addItem(itemFromSprite(sprite));
  sprites_[id] = sprite;
  return id;
}

void QVTransitionSprites::set(SpriteId id, const QVTransitionSprite& sprite) {
  auto it = sprites_.find(id);
  if (it == sprites_.end()) return;
  it->second = sprite;
  if (canvas_) canvas_->updateItem(id, itemFromSprite(sprite));
}

QVTransitionSprite QVTransitionSprites::sprite(SpriteId id) const {
  auto it = sprites_.find(id);
  return it == sprites_.end() ? QVTransitionSprite{} : it->second;
}

void QVTransitionSprites::remove(SpriteId id) {
  sprites_.erase(id);
  if (canvas_) canvas_->removeItem(id);
}

void QVTransitionSprites::prepareForWidth(SpriteId id, double width) {
  if (canvas_ && sprites_.count(id)) canvas_->prepareItemForWidth(id, width);
}

void QVTransitionSprites::animate(SpriteId id, const QVTransitionSprite& target, Completion completion,
                                  double duration) {
  if (!sprites_.count(id)) {
    if (completion) completion(false);
    return;
  }
  const QVTransitionSprite from = sprites_[id];
  auto& driver = QVAnimationDriver::shared();
  auto animationId = std::make_shared<QVAnimationDriver::AnimationId>(0);
  *animationId = driver.animate(
      duration, QVTimingFunction::EaseInEaseOut,
      [this, id, from, target](double t) {
        QVTransitionSprite s = target;
        if (t < 1) s.picture = from.picture.isNull() ? target.picture : from.picture;
        s.frame = CGRectMake(mix(from.frame.origin.x, target.frame.origin.x, t),
                             mix(from.frame.origin.y, target.frame.origin.y, t),
                             mix(from.frame.size.width, target.frame.size.width, t),
                             mix(from.frame.size.height, target.frame.size.height, t));
        s.opacity = mix(from.opacity, target.opacity, t);
        s.backgroundColor = mixColor(from.backgroundColor, target.backgroundColor, t);
        s.cornerRadius = mix(from.cornerRadius, target.cornerRadius, t);
        s.scale = mix(from.scale, target.scale, t);
        set(id, s);
      },
      [this, animationId, completion](bool finished) {
        running_.erase(*animationId);
        if (completion) completion(finished);
      });
  running_.insert(*animationId);
}

void QVTransitionSprites::springFrame(SpriteId id, CGRect target, Completion completion) {
  if (!sprites_.count(id)) {
    if (completion) completion(false);
    return;
  }
  // The default frame spring (speed 10, bounciness 10) on the four edges of the frame.
  const QVSpringDynamics dynamics = QVSpringDynamics::withBouncinessSpeed(10, 10);
  struct State {
    double x[4];
    double v[4] = {0, 0, 0, 0};
    int steps = 0;
  };
  const CGRect from = sprites_[id].frame;
  auto state = std::make_shared<State>(State{{from.origin.x, from.origin.y, from.size.width, from.size.height}});
  const double to[4] = {target.origin.x, target.origin.y, target.size.width, target.size.height};
  auto& driver = QVAnimationDriver::shared();
  auto animationId = std::make_shared<QVAnimationDriver::AnimationId>(0);
  *animationId = driver.add(
      [this, id, state, dynamics, to0 = to[0], to1 = to[1], to2 = to[2], to3 = to[3]](double elapsed) {
        const double targets[4] = {to0, to1, to2, to3};
        const int due = int(std::floor(elapsed / kQVSpringStep));
        for (; state->steps < due; ++state->steps)
          for (int i = 0; i < 4; ++i) QVSpringStep(dynamics, state->x[i], state->v[i], targets[i], kQVSpringStep);
        bool settled = true;
        for (int i = 0; i < 4; ++i)
          settled = settled && std::abs(state->x[i] - targets[i]) < 0.25 && std::abs(state->v[i]) < 2;
        QVTransitionSprite s = sprite(id);
        if (settled)
          s.frame = CGRectMake(to0, to1, to2, to3);
        else
          s.frame = CGRectMake(state->x[0], state->x[1], state->x[2], state->x[3]);
        set(id, s);
        return !settled;
      },
      [this, animationId, completion](bool finished) {
        running_.erase(*animationId);
        if (completion) completion(finished);
      });
  running_.insert(*animationId);
}

void QVTransitionSprites::removeAllAnimations() {
  const auto running = running_;
  for (auto id : running) QVAnimationDriver::shared().cancel(id);
  running_.clear();
}

void QVTransitionSprites::clear() {
  for (auto& [id, s] : sprites_)
    if (canvas_) canvas_->removeItem(id);
  sprites_.clear();
  grabbed_.clear();
  for (auto& view : hidden_)
    if (view) view->show();
  hidden_.clear();
}
