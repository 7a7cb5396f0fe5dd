#include "Ombrel/Classes/Application/Common/QVBoostSpringSlider.h"

#include <QGuiApplication>
#include <QPointer>
#include <QString>
#include <cmath>

#include "Ombrel/Classes/Application/Common/QVSingleImageNotifications.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVSpringAnimation.h"
#include "QVPlatform/Localization.h"

namespace {
bool rightToLeft() { return QGuiApplication::layoutDirection() == Qt::RightToLeft; }

std::string upper(const char* key) {
  return QString::fromStdString(qv::QVSLocalization::localizedStringForKey(key)).toUpper().toStdString();
}

QFont labelFont(bool shrunk) { return QVFonts::fontWithName("SFUIDisplay-Heavy", shrunk ? 23 : 15); }
}  // namespace

QVBoostSpringSlider::~QVBoostSpringSlider() {
  if (showTimer_) qv::MainExecutor::shared().cancel(showTimer_);
  if (sliderFadeAnimator_) sliderFadeAnimator_->cancel();
  if (rightControlsFadeAnimator_) rightControlsFadeAnimator_->cancel();
}

QVBoostSliderRoom QVBoostSpringSlider::roomForSpace(double room) {
  if (room < kMinimumWidth) return {kMinimumWidth, true};
  if (room < kFullWidth) return {room - 10, true};
  return {kFullWidth, false};
}

void QVBoostSpringSlider::initialize() {
  QVSpringMenu::initialize();
  contentView()->setBackgroundColor(Qt::white);
  contentView()->setRoundsCornersToFitHeight(true);
  QVSliderView* slider = sliderView();
  slider->setMinimumValue(0);
  slider->setMaximumValue(100);
  slider->setDefaultValue(slider->maximumValue());
  value_ = int64_t(slider->defaultValue());
  slider->load();
  slider->setTextLabelsMouseEventsEnabled(false);
  slider->setTitleFont(labelFont(false));
  slider->setValueFont(labelFont(false));
  slider->setUseFullWidth(false);
  // The icon shows; the spinner waits hidden and still.
  iconView()->setAlpha(1);
  spinnerView()->setAlpha(0);
  spinnerView()->stopAnimating();
  QPointer<QVBoostSpringSlider> weak(this);
  slider->setSliderDidChangeValueBlock([weak](double v) {
    if (!weak) return;
    const auto step = int64_t(std::floor(v));
    if (step == weak->value_) return;
    weak->value_ = step;
    weak->setProcessing(true);
    const double amount = weak->maxScaleValue_ ? double(weak->value_) / double(weak->maxScaleValue_) : 0;
    qv::NotificationCenter::defaultCenter().post(kQVBoostSliderDidChangeAmountNotification,
                                                 std::make_shared<double>(amount));
  });
  slider->setSliderDidEndChangingValueBlock([weak] {
    if (weak) weak->setProcessing(false);
  });
  expandedWidth_ = kFullWidth;
  slider->setUserInteractionEnabled(false);
}

QVSliderView* QVBoostSpringSlider::sliderView() {
  if (!slider_) {
    slider_ = QVMake<QVSliderView>();
    slider_->setIsLiveValueUpdatingEnabled(true);
    slider_->setApplyHalfPixelRoundingOnDraw(false);
    slider_->setKnobImage("slider_knob", QVUIStyle::sliderKnobColor());
    slider_->setBarBackThreePartImageName("bg_bar");
    slider_->setBarFillValueThreePartImageName(QVUIStyle::sliderFillImageName());
    slider_->setTitleTextColor(Qt::black);
    slider_->setValueTextColor(Qt::black);
    slider_->setLabelsOffsetY(2.0);
    slider_->setAlpha(0);
  }
  return slider_;
}

QVBoostedIconView* QVBoostSpringSlider::iconView() {
  if (!icon_) icon_ = QVMake<QVBoostedIconView>();
  return icon_;
}

QVLoadingSpinnerView* QVBoostSpringSlider::spinnerView() {
  if (!spinner_) {
    spinner_ = QVMake<QVLoadingSpinnerView>();
    spinner_->setSpinnerColor(QVUIStyle::themeColor());
  }
  return spinner_;
}

void QVBoostSpringSlider::addSubviews() {
  QVSpringMenu::addSubviews();
  contentView()->addSubview(sliderView());
  contentView()->addSubview(spinnerView());
  contentView()->addSubview(iconView());
}

void QVBoostSpringSlider::setupLayoutConstraints() {
  QVSpringMenu::setupLayoutConstraints();
  addConstraint([this] {
    contentView()->setFrame(bounds());
    placeChildren(bounds().size.width);
  });
}

void QVBoostSpringSlider::placeChildren(double width) {
  const double h = bounds().size.height;
  const double side = kCollapsedSide;
  const double sliderW = std::max(0.0, width - side);
  if (rightToLeft()) {
    iconView()->setFrame(CGRectMake(0, 0, side, side));
    spinnerView()->setFrame(CGRectMake(0, 0, side, side));
    sliderView()->setFrame(CGRectMake(width - kSliderOffset - sliderW, 0, sliderW, h));
  } else {
    iconView()->setFrame(CGRectMake(width - side, 0, side, side));
    spinnerView()->setFrame(CGRectMake(width - side, 0, side, side));
    sliderView()->setFrame(CGRectMake(kSliderOffset, 0, sliderW, h));
  }
}

void QVBoostSpringSlider::layout() {
  QVSpringMenu::layout();
  sliderView()->setInnerHeight(frame().size.height);
}

CGSize QVBoostSpringSlider::contentSizeForState(bool expanded) {
  return expanded ? CGSizeMake(expandedWidth_, kCollapsedSide) : CGSizeMake(kCollapsedSide, kCollapsedSide);
}

void QVBoostSpringSlider::setSliderValue(double fraction) {
  value_ = int64_t(fraction * double(maxScaleValue_));
  sliderView()->setValue(fraction * double(maxScaleValue_));
  updateBoostedIcon();
}

void QVBoostSpringSlider::updateBoostedIcon() {
  iconView()->setBoosted(value_ != int64_t(std::lround(sliderView()->defaultValue())));
}

void QVBoostSpringSlider::updateSliderUIForShrunkMode() {
  const CGRect f = frame();
  double room = CGRectGetMaxX(f);
  if (rightToLeft()) room = (superview() ? superview()->width() : 0) - CGRectGetMaxX(f);
  const QVBoostSliderRoom r = roomForSpace(room);
  expandedWidth_ = r.expandedWidth;
  shrunk_ = r.shrunk;
  const std::string low = shrunk_ ? "-" : upper("Original");
  const std::string high = shrunk_ ? "+" : upper("Boost");
  QVSliderView* slider = sliderView();
  slider->setTitleString(rightToLeft() ? high : low);
  slider->setRightTitleString(rightToLeft() ? low : high);
  slider->setTitleFont(labelFont(shrunk_));
  slider->setValueFont(labelFont(shrunk_));
  slider->updateLabelsLayout();
}

void QVBoostSpringSlider::setSliderHiddenLater(bool showing) {
  if (showTimer_) qv::MainExecutor::shared().cancel(showTimer_);
  QPointer<QVBoostSpringSlider> weak(this);
  showTimer_ = qv::MainExecutor::shared().asyncAfter(kShowDelay, [weak, showing] {
    if (!weak) return;
    weak->showTimer_ = 0;
    weak->setShowing(showing);
  });
}

void QVBoostSpringSlider::onWillBeginExpanding() {
  updateSliderUIForShrunkMode();
  QVSpringMenu::onWillBeginExpanding();
  if (springParams()) springParams()->setSpeed(kExpandSpeed);
  setSliderHiddenLater(true);
}

void QVBoostSpringSlider::onDidFinishExpanding() {
  sliderView()->setUserInteractionEnabled(true);
  updateContentSize();
}

void QVBoostSpringSlider::onWillBeginCollapsing() {
  QVSpringMenu::onWillBeginCollapsing();
  sliderView()->setUserInteractionEnabled(false);
  if (springParams()) springParams()->setSpeed(kCollapseSpeed);
  setSliderHiddenLater(false);
}

void QVBoostSpringSlider::onDidFinishCollapsing() { updateContentSize(); }

void QVBoostSpringSlider::updateContentSize() {
  updateGeometry();
  setNeedsLayout();
}

void QVBoostSpringSlider::onDidAnimateToFrame(CGRect frame) {
  // The spring moves the frame in fractions: the trailing controls ride the moving edge, the
  // slider stretches with it.
  const CGSize size = QVSpringLayer::size(this);
  contentView()->setFrame(CGRectMake(0, 0, size.width, size.height));
  placeChildren(size.width);
  QVSpringMenu::onDidAnimateToFrame(frame);
}

void QVBoostSpringSlider::setShowing(bool showing) {
  if (showing == showing_) return;
  showing_ = showing;
  if (sliderFadeAnimator_) sliderFadeAnimator_->cancel();
  auto fade = showing ? QVFadeAnimator::make({sliderView()}, {}) : QVFadeAnimator::make({}, {sliderView()});
  sliderFadeAnimator_ = fade;
  QPointer<QVBoostSpringSlider> weak(this);
  fade->animateWithDuration(kShowDuration, [weak, fade](bool) {
    if (weak && weak->sliderFadeAnimator_ == fade) weak->sliderFadeAnimator_.reset();
  });
}

void QVBoostSpringSlider::setProcessing(bool processing) {
  if (processing == processing_) return;
  processing_ = processing;
  updateControlsWithProcessing(processing);
}

void QVBoostSpringSlider::updateControlsWithProcessing(bool processing) {
  if (rightControlsFadeAnimator_) rightControlsFadeAnimator_->cancel();
  if (processing) spinnerView()->startAnimating();
  auto fade = processing ? QVFadeAnimator::make({spinnerView()}, {iconView()})
                         : QVFadeAnimator::make({iconView()}, {spinnerView()});
  rightControlsFadeAnimator_ = fade;
  QPointer<QVBoostSpringSlider> weak(this);
  fade->animateWithDefaultDurationAndCompletion([weak, fade](bool) {
    if (!weak) return;
    if (weak->rightControlsFadeAnimator_ == fade) weak->rightControlsFadeAnimator_.reset();
    weak->updateBoostedIcon();
    if (!weak->processing_) weak->spinnerView()->stopAnimating();
  });
}
