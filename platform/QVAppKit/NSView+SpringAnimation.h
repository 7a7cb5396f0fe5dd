#pragma once
// Spring animations of views: each operation turns spring params (QVSpringParams.h) into one or two
// springs (QVSpringAnimation.h) attached to the view under fixed keys:
//
//   size "size" · scale "bounce" · size-scale "size_scale_<UUID>" (unique per call)
//   frame "position" and "size" · position "position" · corner radius "corners_sync"
//
// A spring under a key in use replaces the running one (whose completion gets false). A null view
// does nothing and answers empty keys. Main thread only.
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "QVAppKit/QVSpringAnimation.h"
#include "QVAppKit/QVSpringParams.h"

class QVView;

namespace NSViewSpringAnimation {
using Completion = std::function<void(bool finished)>;
using FrameCompletion = std::function<void(bool finished, CGRect frame)>;

inline constexpr const char* kSizeKey = "size";
inline constexpr const char* kScaleKey = "bounce";
inline constexpr const char* kSizeScaleKeyPrefix = "size_scale_";
inline constexpr const char* kPositionKey = "position";
inline constexpr const char* kCornerRadiusKey = "corners_sync";

std::shared_ptr<QVSpringAnimation> springAnimationForProperty(QVSpringProperty property, const QVSpringParams& params,
                                                              std::optional<QVSpringValue> from, QVSpringValue to);

void animateSpringSize(QVView* view, const std::shared_ptr<QVSpringSizeParams>& params,
                       Completion completion = nullptr);
// Size-scale params run the size-scale spring; answers the key used.
std::string animateSpringScale(QVView* view, const std::shared_ptr<QVSpringScaleParams>& params,
                               Completion completion = nullptr);
std::string animateSpringSizeScale(QVView* view, const std::shared_ptr<QVSpringSizeScaleParams>& params,
                                   Completion completion = nullptr);
// The completion runs once, after both springs have ended, with the flag of the one that ended last
// and params' frame.
void animateSpringFrame(QVView* view, const std::shared_ptr<QVSpringFrameParams>& params,
                        FrameCompletion completion = nullptr);
std::string animateSpringPosition(QVView* view, const std::shared_ptr<QVSpringPositionParams>& params,
                                  Completion completion = nullptr);
void animateSpringCornerRadius(QVView* view, const std::shared_ptr<QVSpringCornerRadiusParams>& params,
                               Completion completion = nullptr);

// Adds the spring under the key, or under "<key>_<UUID>" when unique; answers the key used.
std::string addLayerAnimation(QVView* view, std::shared_ptr<QVSpringAnimation> animation, const std::string& key,
                              bool unique);
std::vector<std::string> animationKeys(const QVView* view);
void removeSpringAnimationForKey(QVView* view, const std::string& key);

// Anchor points in unit coordinates (bottom-left origin); the view stays where it is on screen.
void setAnchorPointWithoutMoving(QVView* view, CGPoint anchor);
void centerAnchorPoint(QVView* view);
bool isAnchorPointCentered(const QVView* view);
void centerAnchorPointIfNeeded(QVView* view);
// None centres the anchor if needed.
void adjustAnchorPoint(QVView* view, std::optional<CGPoint> anchor);

// The first view of type T in the subtree, depth first, pre-order; nullptr when none.
QWidget* findFirstChild(QWidget* view, const std::function<bool(QWidget*)>& matches);
template <class T>
T* findFirstChildWithType(QWidget* view) {
  return static_cast<T*>(findFirstChild(view, [](QWidget* w) { return dynamic_cast<T*>(w) != nullptr; }));
}

// Helpers of the spring menu and buttons (they act on the view they are given).
// Keeps the rounding in proportion while the view's size springs; nothing when the radius is 0.
void animateProportionallyCornersWithSizeScale(QVView* view, const std::shared_ptr<QVSpringSizeScaleParams>& params);
// Scales a child together with a scaling parent, about the child's lower-left corner.
void animateProportionallySizeScale(QVView* view, const std::shared_ptr<QVSpringScaleParams>& params);
// Scales a child about its centre and keeps it centred in a parent springing to the target size.
void animateProportionallySizeScaleAndCentering(QVView* view, const std::shared_ptr<QVSpringSizeScaleParams>& params);
}  // namespace NSViewSpringAnimation
