#include "Ombrel/Classes/Application/OpenScreen/QVOpenSpringView.h"

#include <QLinearGradient>
#include <QPainter>
#include <cmath>

#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/NSView+SpringAnimation.h"
#include "QVAppKit/QVFadeAnimator.h"

namespace {

// The panel's face: the theme background with a soft light from above and a dashed drop outline.
class QVOpenPanelBackgroundView : public QVView {
 public:
  using QVView::QVView;

 protected:
  void drawContent(QPainter& target) override {
    // Drawn once per size and pixel ratio; the pop's frames only blit it.
    const qreal dpr = target.device()->devicePixelRatioF();
    const QSize device(int(std::ceil(width() * dpr)), int(std::ceil(height() * dpr)));
    if (face_.size() != device) {
      QImage image(device, QImage::Format_ARGB32_Premultiplied);
      image.setDevicePixelRatio(dpr);
      image.fill(Qt::transparent);
      QPainter painter(&image);
      paintFace(painter);
      painter.end();
      face_ = QPixmap::fromImage(std::move(image));
    }
    target.drawPixmap(0, 0, face_);
  }

 private:
  void paintFace(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF all(0, 0, width(), height());
    QLinearGradient light(all.topLeft(), all.bottomLeft());
    light.setColorAt(0, QColor(255, 255, 255, 16));
    light.setColorAt(0.55, QColor(255, 255, 255, 0));
    light.setColorAt(1, QColor(0, 0, 0, 40));
    painter.fillRect(all, light);
    QPen dash(QColor(255, 255, 255, 34), 1.2, Qt::CustomDashLine);
    dash.setDashPattern({4, 4});
    painter.setPen(dash);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(all.adjusted(14.5, 46.5, -14.5, -14.5), 10, 10);
  }
  QPixmap face_;
};

}  // namespace

void QVOpenSpringView::initialize() {
  QVRoundedView::initialize();
  popScale_ = 1.1;
  // Below the title bar and the controls: first the background, then the photo above it.
  QWidget* blurred = blurredView();
  QWidget* background = backgroundView();
  blurred->lower();
  background->lower();
}

QVView* QVOpenSpringView::backgroundView() {
  if (!backgroundView_) {
    backgroundView_ = QVMake<QVOpenPanelBackgroundView>(bounds());
    backgroundView_->setBackgroundColor(QVUIStyle::themeBGColor());
    addSubview(backgroundView_);
    backgroundView_->lower();
    setNeedsLayout();
  }
  return backgroundView_;
}

QVBlurredMovableImageView* QVOpenSpringView::blurredView() {
  if (!blurredView_) {
    blurredView_ = QVMake<QVBlurredMovableImageView>(bounds());
    blurredView_->setAlpha(0);
    addSubview(blurredView_);
    blurredView_->lower();
    if (backgroundView_) backgroundView_->lower();
    setNeedsLayout();
  }
  return blurredView_;
}

void QVOpenSpringView::layout() {
  QVRoundedView::layout();
  if (backgroundView_) backgroundView_->setFrame(bounds());
  if (blurredView_) blurredView_->setFrame(bounds());
}

void QVOpenSpringView::drawContent(QPainter&) {}

void QVOpenSpringView::animatePop(bool up) {
  targetScale_ = up ? popScale_ : 1.0;
  auto params = QVSpringScaleParams::paramsWithScale(targetScale_, 5, 5);
  params->setAnchor(CGPointMake(0.5, 0.5));
  NSViewSpringAnimation::animateSpringScale(this, params);
}

void QVOpenSpringView::popUp() { animatePop(true); }

void QVOpenSpringView::popOut() {
  animatePop(false);
  animateBlurredImage(false);
}

void QVOpenSpringView::setImageURL(const std::optional<std::string>& url,
                                   std::function<void(bool finished)> completion) {
  QPointer<QVOpenSpringView> self(this);
  isApplyingBlurredImage_ = blurredView()->setImageURL(url, [self, completion] {
    if (!self) return;
    self->animateBlurredImage(true, [self, completion](bool finished) {
      if (!self) return;
      self->isApplyingBlurredImage_ = false;
      self->runSetupCompletions();
      if (completion) completion(finished);
    });
  });
  // Nothing will be shown: whoever waits for the photo goes on now.
  if (!isApplyingBlurredImage_) runSetupCompletions();
}

void QVOpenSpringView::runSetupCompletions() {
  auto waiting = std::move(blurredImageSetupCompletion_);
  blurredImageSetupCompletion_ = nullptr;
  auto others = std::move(setupCompletions_);
  setupCompletions_.clear();
  if (waiting) waiting();
  for (auto& block : others) block();
}

void QVOpenSpringView::alsoWhenBlurredImageIsSetUp(std::function<void()> block) {
  if (!block) return;
  if (isApplyingBlurredImage_) {
    setupCompletions_.push_back(std::move(block));
  } else {
    block();
  }
}

void QVOpenSpringView::waitForBlurredImageToFinishSetup(std::function<void()> block) {
  if (isApplyingBlurredImage_) {
    blurredImageSetupCompletion_ = std::move(block);
  } else if (block) {
    block();
  }
}

void QVOpenSpringView::animateBlurredImage(bool show, std::function<void(bool finished)> completion) {
  if (show) {
    NSViewFadeAnimation::show(blurredView(), std::move(completion));
  } else {
    NSViewFadeAnimation::hide(blurredView(), std::move(completion));
  }
}

void QVOpenSpringView::moveContents(CGPoint point) {
  QVBlurredMovableImageView* view = blurredView();
  const CGRect f = view->frame();
  const CGPoint inView = CGPointMake((point.x - f.origin.x) / popScale_, (point.y - f.origin.y) / popScale_);
  view->moveContents(inView);
}
