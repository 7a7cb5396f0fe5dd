#include "Ombrel/Classes/Application/Export/QVExportActionedBasicView.h"

#include <QPointer>

#include "QVAppKit/NSView+Extensions.h"
#include "QVAppKit/QVCommonUISamples.h"
#include "QVAppKit/QVFonts.h"

QVRoundedSpringButton* QVExportActionedBasicView::makeButton(QObject* target, const std::string& title,
                                                             std::function<void()> clicked) {
  auto* button =
      QVCommonUISamples::roundedSpringButtonWithTitle(title, QVFonts::fontWithName("SFUIDisplay-Black", 15), Qt::black,
                                                      Qt::white, target, [clicked](QObject*, QVTitledButton*) {
                                                        if (clicked) clicked();
                                                      });
  button->setKerning(2.0);
  button->setHoverEnabled(false);
  button->clickParams()->setScale(0.9);
  NSViewExtensions::addDefaultShadow(button);
  return button;
}

void QVExportActionedBasicView::initialize() {
  QPointer<QVExportActionedBasicView> weak(this);
  actionButton_ = makeButton(this, "", [weak] {
    if (weak) weak->actionButtonDidClick();
  });
  QVView::initialize();
}

void QVExportActionedBasicView::addSubviews() {
  QVView::addSubviews();
  addSubview(actionButton_);
}

void QVExportActionedBasicView::layout() {
  QVView::layout();
  const CGSize button = actionButtonSize();
  actionButton_->setFrame(CGRectMake(bounds().size.width - kGap - button.width, kGap, button.width, button.height));
}

void QVExportActionedBasicView::actionButtonDidClick() {
  if (actionDelegate_) actionDelegate_->exportActionedBasicViewDidClickActionButton(this);
}

void QVExportLabeledView::initialize() {
  titleLabel_ = QVMake<QVLabel>();
  titleLabel_->setBackgroundColor(QColor());
  titleLabel_->setTitleColor(Qt::white);
  titleLabel_->setFont(QVFonts::fontWithName("SFUIDisplay-Heavy", 15));
  titleLabel_->setSpacing(2.0);
  titleLabel_->setSizeOffset(CGPointZero);
  titleLabel_->setUserInteractionEnabled(false);
  QVExportActionedBasicView::initialize();
}

void QVExportLabeledView::addSubviews() {
  QVExportActionedBasicView::addSubviews();
  addSubview(titleLabel_);
}

CGRect QVExportLabeledView::titleFrameWithCenterY(double centerY) const {
  const double width = std::min(titleLabel_->intrinsicContentSize().width, bounds().size.width);
  return CGRectMake(std::round((bounds().size.width - width) / 2), std::round(centerY - kTitleHeight / 2), width,
                    kTitleHeight);
}

void QVExportLabeledView::layout() {
  QVExportActionedBasicView::layout();
  if (titleCentered_) titleLabel_->setFrame(titleFrameWithCenterY(bounds().size.height / 2 + kTitleCenterOffset));
}
