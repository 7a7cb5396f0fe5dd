#include "QVAppKit/QVSpringMenu.h"

#include <QGuiApplication>
#include <QPointer>

#include "QVAppKit/NSView+SpringAnimation.h"
#include "QVPlatform/NotificationCenter.h"

CGPoint QVSpringMenu::menuAnchor() {
  return QGuiApplication::layoutDirection() == Qt::RightToLeft ? CGPointMake(0, 0) : CGPointMake(1, 0);
}

void QVSpringMenu::initialize() {
  QVScalableSpringView::initialize();
  if (clickParams()) clickParams()->setAnchor(menuAnchor());
  if (originalParams()) originalParams()->setAnchor(menuAnchor());
}

void QVSpringMenu::addSubviews() {
  QVScalableSpringView::addSubviews();
  addSubview(contentView());
}

QVView* QVSpringMenu::contentView() {
  if (!contentView_) {
    contentView_ = QVMake<QVView>();
    contentView_->setBackgroundColor(QColor());
    contentView_->setMasksToBounds(true);
  }
  return contentView_;
}

bool QVSpringMenu::shouldStartAnimation() {
  bool allowed = true;
  if (delegate_) allowed = delegate_->springMenuShouldStartAnimation(this).value_or(true);
  return allowed && !animating_;
}

void QVSpringMenu::switchExpanded(std::function<void(bool)> completion) {
  if (!shouldStartAnimation()) return;
  cancelClickAnimation();
  if (delegate_) delegate_->springMenuWillBeginAnimating(this);
  qv::NotificationCenter::defaultCenter().postWithSender(kQVSpringViewWillChangeStateNotification, this);
  if (expanded_) {
    onWillBeginCollapsing();
  } else {
    onWillBeginExpanding();
  }
  animating_ = true;
  QPointer<QVSpringMenu> weak(this);
  auto params = springParams_;
  NSViewSpringAnimation::animateSpringSize(this, params, [weak, params, completion](bool) {
    if (!weak) return;
    QVSpringMenu* menu = weak;
    // The spring left fractions behind: settle on the target in whole points where it stands.
    menu->setFrame(CGRect{menu->frame().origin, params ? params->targetSize() : menu->frame().size});
    menu->expanded_ = !menu->expanded_;
    if (menu->delegate_) menu->delegate_->springMenuDidFinishAnimating(menu);
    menu->animating_ = false;
    if (menu->expanded_) {
      menu->onDidFinishExpanding();
    } else {
      menu->onDidFinishCollapsing();
    }
    if (completion) completion(menu->expanded_);
  });
  // Each step of the spring moves the layer's bounds, in fractions the widget's frame rounds away.
  if (auto spring = QVSpringAnimations::animationForKey(this, NSViewSpringAnimation::kSizeKey)) {
    spring->setObserver([weak](const QVSpringValue&) {
      if (weak) weak->onDidAnimateToFrame(weak->bounds());
    });
  }
}

void QVSpringMenu::onWillBeginExpanding() {
  auto params = QVSpringParams::defaultParams<QVSpringSizeParams>();
  params->setOriginalSize(clickParams() ? clickParams()->originalSize() : CGSizeZero);
  params->setTargetSize(contentSizeForState(true));
  params->setAnchor(menuAnchor());
  springParams_ = params;
}

void QVSpringMenu::onWillBeginCollapsing() {
  auto params = springParams_ ? copyOf(springParams_) : QVSpringParams::defaultParams<QVSpringSizeParams>();
  params->setOriginalSize(QVSpringLayer::size(this));
  params->setTargetSize(springParams_ ? springParams_->originalSize() : contentSizeForState(false));
  params->resetSpringEffect();
  springParams_ = params;
}

void QVSpringMenu::onDidAnimateToFrame(CGRect) {
  if (delegate_) delegate_->springMenuDidAnimateToFrame(this, QVSpringLayer::frame(this));
}

void QVSpringMenu::frameDidChange(bool sizeChanged) {
  QVScalableSpringView::frameDidChange(sizeChanged);
  // Spring steps are told by the spring itself.
  if (sizeChanged && !QVSpringLayer::isApplyingSpring()) onDidAnimateToFrame(bounds());
}

void QVSpringMenu::actualClickAnimation(const std::shared_ptr<QVSpringSizeScaleParams>& params) {
  QVScalableSpringView::actualClickAnimation(params);
  if (!expanded_) NSViewSpringAnimation::animateProportionallyCornersWithSizeScale(this, params);
}
