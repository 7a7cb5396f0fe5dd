#pragma once
// Additions the screens share over views: removing and fading groups of views, hit-testing the
// mouse against a view, the default drop shadow, moving the anchor point without moving the view,
// the standard 0.3 s animation and a position animation, and rounding a window's content.
// Main thread only.
#include <QMouseEvent>
#include <QWidget>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVRoundParams.h"
#include "QVBase/Geometry.h"

class QVView;

namespace NSViewExtensions {
void removeAllSubviews(QWidget* view);
// Removes each view that has a superview; answers those it removed, in order.
std::vector<QWidget*> removeFromSuperviews(const std::vector<QWidget*>& views);
// Brings the alpha of the views that differ from the target (1 to appear, 0 to disappear) to it,
// at once or over `duration` seconds (ease in, ease out); answers those views so a caller can
// reverse exactly them. The completion runs in both cases (at once when not animated). Views
// other than QVView have no alpha and count as shown.
std::vector<QWidget*> appear(bool appear, bool animated, double duration, const std::vector<QWidget*>& views,
                             std::function<void()> completion = nullptr);
void appear(QWidget* view, bool appear, bool animated, double duration, std::function<void()> completion = nullptr);
// Whether the event's position lies inside the view's bounds.
bool isMouseLocationWithinView(const QWidget* view, const QMouseEvent& event);
// Blur 10, offset (0, 4) upwards, black at half alpha.
void addDefaultShadow(QVView* view);
}  // namespace NSViewExtensions

namespace CALayerAdditions {
// Moves the anchor point (unit coordinates, bottom-left origin) without moving the view.
void setAnchorPointWithoutMoving(QVView* view, CGPoint anchor);
void centerAnchorPoint(QVView* view);
// Animates the view's shown position (its anchor point's place in the superview) to `position`
// with the standard animation (0.3 s unless `duration` is above 0). The view's frame is not
// changed: the animation stays attached and keeps the view shown at the target. Answers its key,
// "position_<UUID>".
std::string animatePosition(QVView* view, CGPoint position, double duration = 0);
// The keys of the position animations attached to the view.
std::vector<std::string> animationKeys(const QVView* view);
}  // namespace CALayerAdditions

namespace CABasicAnimationAdditions {
// 0.3 s, ease in and out, kept when finished, filling forwards.
QVBasicAnimation standardAnimationWithKeyPath(const std::string& keyPath);
}  // namespace CABasicAnimationAdditions

namespace NSWindowRounding {
// Rounds all four corners of the window's content when it is a QVRoundedView (the window itself
// or a main window's central widget); otherwise nothing changes.
void updateWindowCornersWithRadii(QWidget* window, const QVCornerRadii& radii);
}  // namespace NSWindowRounding

namespace NSObjectDescendation {
template <class Base, class T>
constexpr bool doesDescendFromClass() {
  return std::is_base_of_v<Base, T>;
}
}  // namespace NSObjectDescendation
