#include "QVAppKit/NSView+Extensions.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QVariant>
#include <memory>

#include "QVAppKit/QVRoundedView.h"
#include "QVAppKit/QVView.h"
#include "QVPlatform/Additions.h"

namespace NSViewExtensions {

void removeAllSubviews(QWidget* view) {
  if (!view) return;
  for (QObject* child : view->children()) {
    auto* w = qobject_cast<QWidget*>(child);
    if (!w || w->isWindow()) continue;
    if (auto* v = dynamic_cast<QVBasicView*>(w)) {
      v->removeFromSuperview();
    } else {
      w->setParent(nullptr);
    }
  }
}

std::vector<QWidget*> removeFromSuperviews(const std::vector<QWidget*>& views) {
  std::vector<QWidget*> removed;
  for (QWidget* w : views) {
    if (!w || !w->parentWidget()) continue;
    if (auto* v = dynamic_cast<QVBasicView*>(w)) {
      v->removeFromSuperview();
    } else {
      w->setParent(nullptr);
    }
    removed.push_back(w);
  }
  return removed;
}

std::vector<QWidget*> appear(bool appear, bool animated, double duration, const std::vector<QWidget*>& views,
                             std::function<void()> completion) {
  const double target = appear ? 1.0 : 0.0;
  std::vector<QWidget*> changing;
  for (QWidget* w : views) {
    auto* v = dynamic_cast<QVView*>(w);
    const double alpha = v ? v->alpha() : 1.0;
    if (alpha != target && v) changing.push_back(w);
  }
  if (!animated) {
    for (QWidget* w : changing) static_cast<QVView*>(w)->setAlpha(target);
    if (completion) completion();
    return changing;
  }
  // One group: every view fades from where it is; the completion runs when the group ends.
  struct Start {
    QPointer<QWidget> view;
    double alpha;
  };
  auto starts = std::make_shared<std::vector<Start>>();
  for (QWidget* w : changing) starts->push_back({w, static_cast<QVView*>(w)->alpha()});
  QVAnimationDriver::shared().animate(
      duration, QVTimingFunction::EaseInEaseOut,
      [starts, target](double t) {
        for (const Start& s : *starts) {
          if (auto* v = dynamic_cast<QVView*>(s.view.data())) v->setAlpha(s.alpha + (target - s.alpha) * t);
        }
      },
      [completion = std::move(completion)](bool) {
        if (completion) completion();
      });
  return changing;
}

void appear(QWidget* view, bool show, bool animated, double duration, std::function<void()> completion) {
  appear(show, animated, duration, std::vector<QWidget*>{view}, std::move(completion));
}

bool isMouseLocationWithinView(const QWidget* view, const QMouseEvent& event) {
  if (!view) return false;
  const QPointF local = view->mapFromGlobal(event.globalPosition());
  return QRectF(view->rect()).contains(local);
}

void addDefaultShadow(QVView* view) {
  if (view) view->setShadow(QVShadow{QColor(0, 0, 0, 128), CGSizeMake(0, 4), 10});
}

}  // namespace NSViewExtensions

namespace CALayerAdditions {

void setAnchorPointWithoutMoving(QVView* view, CGPoint anchor) {
  if (!view) return;
  // The presentation keeps the anchor apart from the frame, so the frame stays; only what scales
  // about the anchor changes.
  QVRunNoAnimationBlock([&] { view->setAnchorPoint(anchor); });
}

void centerAnchorPoint(QVView* view) { setAnchorPointWithoutMoving(view, CGPointMake(0.5, 0.5)); }

std::string animatePosition(QVView* view, CGPoint position, double duration) {
  if (!view) return {};
  QVBasicAnimation animation = CABasicAnimationAdditions::standardAnimationWithKeyPath("position");
  if (duration > 0) animation.duration = duration;
  const std::string key = "position_" + qv::uuidString();
  const CGRect f = view->frame();
  const CGPoint anchor = view->anchorPoint();
  const CGPoint current = CGPointMake(f.origin.x + anchor.x * f.size.width, f.origin.y + anchor.y * f.size.height);
  const CGPoint from = view->translation();
  const CGPoint to = CGPointMake(position.x - current.x, position.y - current.y);
  QPointer<QWidget> guard(view);
  QVAnimationDriver::shared().animate(animation.duration, animation.timing, [guard, from, to](double t) {
    if (auto* v = dynamic_cast<QVView*>(guard.data())) {
      v->setTranslation(CGPointMake(from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t));
    }
  });
  QStringList keys = view->property("QVAnimationKeys").toStringList();
  keys << QString::fromStdString(key);
  view->setProperty("QVAnimationKeys", keys);
  return key;
}

std::vector<std::string> animationKeys(const QVView* view) {
  std::vector<std::string> out;
  if (!view) return out;
  for (const QString& k : view->property("QVAnimationKeys").toStringList()) out.push_back(k.toStdString());
  return out;
}

}  // namespace CALayerAdditions

namespace CABasicAnimationAdditions {

QVBasicAnimation standardAnimationWithKeyPath(const std::string& keyPath) {
  QVBasicAnimation a;
  a.keyPath = keyPath;
  a.duration = kQVStandardAnimationDuration;
  a.removedOnCompletion = false;
  a.fillsForwards = true;
  a.timing = QVTimingFunction::EaseInEaseOut;
  return a;
}

}  // namespace CABasicAnimationAdditions

namespace NSWindowRounding {

void updateWindowCornersWithRadii(QWidget* window, const QVCornerRadii& radii) {
  QWidget* content = window;
  if (auto* main = qobject_cast<QMainWindow*>(window)) content = main->centralWidget();
  if (auto* rounded = dynamic_cast<QVRoundedView*>(content)) rounded->setRoundParams({kQVRectCornerAll, radii});
}

}  // namespace NSWindowRounding
