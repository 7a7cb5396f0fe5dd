#include "QVAppKit/NSView+SpringAnimation.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "QVAppKit/NSView+Extensions.h"
#include "QVAppKit/QVView.h"
#include "QVPlatform/Additions.h"

namespace NSViewSpringAnimation {

namespace {

QVSpringValue sizeValue(CGSize s) { return {s.width, s.height}; }
QVSpringValue pointValue(CGPoint p) { return {p.x, p.y}; }

// Starts the spring under a fixed key; the completion (when given) gets the finished flag.
void run(QVView* view, QVSpringProperty property, const QVSpringParams& params, std::optional<QVSpringValue> from,
         QVSpringValue to, const std::string& key, Completion completion) {
  auto animation = springAnimationForProperty(property, params, std::move(from), std::move(to));
  if (completion) animation->setCompletionBlock(std::move(completion));
  addLayerAnimation(view, std::move(animation), key, false);
}

}  // namespace

std::shared_ptr<QVSpringAnimation> springAnimationForProperty(QVSpringProperty property, const QVSpringParams& params,
                                                              std::optional<QVSpringValue> from, QVSpringValue to) {
  auto animation = QVSpringAnimation::animationWithProperty(property);
  animation->setFromValue(std::move(from));
  animation->setToValue(std::move(to));
  animation->setSpringBounciness(params.bounciness());
  animation->setSpringSpeed(params.speed());
  return animation;
}

void animateSpringSize(QVView* view, const std::shared_ptr<QVSpringSizeParams>& params, Completion completion) {
  if (!view || !params) return;
  adjustAnchorPoint(view, params->anchor());
  std::optional<QVSpringValue> from;
  if (params->originalSize() == CGSizeZero) from = sizeValue(CGSizeZero);
  run(view, QVSpringProperty::Size, *params, std::move(from), sizeValue(params->targetSize()), kSizeKey,
      std::move(completion));
}

std::string animateSpringScale(QVView* view, const std::shared_ptr<QVSpringScaleParams>& params,
                               Completion completion) {
  if (!view || !params) return {};
  adjustAnchorPoint(view, params->anchor());
  if (auto sizeScale = std::dynamic_pointer_cast<QVSpringSizeScaleParams>(params)) {
    return animateSpringSizeScale(view, sizeScale, std::move(completion));
  }
  const CGSize current = view->scale();
  run(view, QVSpringProperty::ScaleXY, *params, sizeValue(current), {params->scale(), params->scale()}, kScaleKey,
      std::move(completion));
  return kScaleKey;
}

std::string animateSpringSizeScale(QVView* view, const std::shared_ptr<QVSpringSizeScaleParams>& params,
                                   Completion completion) {
  if (!view || !params) return {};
  auto animation = springAnimationForProperty(QVSpringProperty::Size, *params, sizeValue(QVSpringLayer::size(view)),
                                              sizeValue(params->targetSize()));
  if (completion) animation->setCompletionBlock(std::move(completion));
  const std::string key = std::string(kSizeScaleKeyPrefix) + qv::uuidString();
  return addLayerAnimation(view, std::move(animation), key, false);
}

void animateSpringFrame(QVView* view, const std::shared_ptr<QVSpringFrameParams>& params, FrameCompletion completion) {
  if (!view) return;
  const CGRect target = params ? params->frame() : CGRectZero;
  const QVSpringParams& springs = params ? static_cast<const QVSpringParams&>(*params) : QVSpringParams(10, 10);
  // The position is the anchor point's place: aim it where the anchor lies in the target frame, so
  // the view ends exactly on the frame whatever its anchor.
  const CGPoint a = view->anchorPoint();
  const CGPoint position =
      CGPointMake(target.origin.x + a.x * target.size.width, target.origin.y + a.y * target.size.height);
  Completion joined;
  if (completion) {
    struct Group {
      int pending = 2;
      bool finished = false;
      FrameCompletion completion;
    };
    auto group = std::make_shared<Group>(Group{2, false, std::move(completion)});
    joined = [group, target](bool finished) {
      group->finished = finished;  // the spring that ends last decides
      if (--group->pending == 0 && group->completion) {
        auto done = std::move(group->completion);
        done(group->finished, target);
      }
    };
  }
  run(view, QVSpringProperty::Position, springs, std::nullopt, pointValue(position), kPositionKey, joined);
  run(view, QVSpringProperty::Size, springs, std::nullopt, sizeValue(target.size), kSizeKey, joined);
}

std::string animateSpringPosition(QVView* view, const std::shared_ptr<QVSpringPositionParams>& params,
                                  Completion completion) {
  if (!view || !params) return {};
  run(view, QVSpringProperty::Position, *params, pointValue(QVSpringLayer::position(view)),
      pointValue(params->position()), kPositionKey, std::move(completion));
  return kPositionKey;
}

void animateSpringCornerRadius(QVView* view, const std::shared_ptr<QVSpringCornerRadiusParams>& params,
                               Completion completion) {
  if (!view || !params) return;
  run(view, QVSpringProperty::CornerRadius, *params, QVSpringValue{view->cornerRadius()},
      QVSpringValue{params->cornerRadius()}, kCornerRadiusKey, std::move(completion));
}

std::string addLayerAnimation(QVView* view, std::shared_ptr<QVSpringAnimation> animation, const std::string& key,
                              bool unique) {
  if (!view || !animation) return {};
  const std::string used = unique ? key + "_" + qv::uuidString() : key;
  QVSpringAnimations::add(view, std::move(animation), used);
  return used;
}

std::vector<std::string> animationKeys(const QVView* view) { return QVSpringAnimations::keys(view); }

void removeSpringAnimationForKey(QVView* view, const std::string& key) { QVSpringAnimations::remove(view, key); }

void setAnchorPointWithoutMoving(QVView* view, CGPoint anchor) {
  CALayerAdditions::setAnchorPointWithoutMoving(view, anchor);
}

void centerAnchorPoint(QVView* view) { setAnchorPointWithoutMoving(view, CGPointMake(0.5, 0.5)); }

bool isAnchorPointCentered(const QVView* view) { return view && view->anchorPoint() == CGPointMake(0.5, 0.5); }

void centerAnchorPointIfNeeded(QVView* view) {
  if (view && !isAnchorPointCentered(view)) centerAnchorPoint(view);
}

void adjustAnchorPoint(QVView* view, std::optional<CGPoint> anchor) {
  if (anchor) {
    setAnchorPointWithoutMoving(view, *anchor);
  } else {
    centerAnchorPointIfNeeded(view);
  }
}

QWidget* findFirstChild(QWidget* view, const std::function<bool(QWidget*)>& matches) {
  if (!view) return nullptr;
  for (QObject* child : view->children()) {
    auto* w = qobject_cast<QWidget*>(child);
    if (!w) continue;
    if (matches(w)) return w;
    if (QWidget* found = findFirstChild(w, matches)) return found;
  }
  return nullptr;
}

void animateProportionallyCornersWithSizeScale(QVView* view, const std::shared_ptr<QVSpringSizeScaleParams>& params) {
  if (!view || !params) return;
  const double r = view->cornerRadius();
  if (r == 0) return;
  const CGSize original = params->originalSize();
  const double originalSide = std::min(original.width, original.height);
  // A view not laid out yet has nothing to keep in proportion.
  if (originalSide <= 0) return;
  const CGSize target = params->targetSize();
  auto corners = std::make_shared<QVSpringCornerRadiusParams>(params->bounciness(), params->speed());
  corners->setCornerRadius(std::round(std::min(target.width, target.height) / originalSide * r));
  animateSpringCornerRadius(view, corners);
}

void animateProportionallySizeScale(QVView* view, const std::shared_ptr<QVSpringScaleParams>& params) {
  if (!view || !params) return;
  const CGRect f = view->frame();
  if (f.size == CGSizeZero) return;
  const double s = params->scale();
  // The position is the anchor's place: settle the anchor before the position spring reads it.
  setAnchorPointWithoutMoving(view, CGPointZero);
  animateSpringPosition(view, QVSpringPositionParams::paramsWithPosition(CGPointMake(f.origin.x * s, f.origin.y * s),
                                                                         params->speed(), params->bounciness()));
  auto scale = QVSpringScaleParams::paramsWithScale(s, params->speed(), params->bounciness());
  scale->setAnchor(CGPointZero);
  animateSpringScale(view, scale);
}

void animateProportionallySizeScaleAndCentering(QVView* view, const std::shared_ptr<QVSpringSizeScaleParams>& params) {
  if (!view || !params) return;
  const CGSize target = params->targetSize();
  centerAnchorPointIfNeeded(view);
  animateSpringPosition(view,
                        QVSpringPositionParams::paramsWithPosition(CGPointMake(target.width * 0.5, target.height * 0.5),
                                                                   params->speed(), params->bounciness()));
  animateSpringScale(view,
                     QVSpringScaleParams::paramsWithScale(params->scale(), params->speed(), params->bounciness()));
}

}  // namespace NSViewSpringAnimation
