#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetSectionViewController.h"

#include "QVAppKit/QVBasicView.h"
#include "QVAppKit/QVTextField.h"

QVBatchPresetSectionViewController::~QVBatchPresetSectionViewController() {
  if (isViewLoaded()) delete view();
}

QVBatchOptionViewController::~QVBatchOptionViewController() {
  if (isViewLoaded()) delete view();
}

void QVBatchPresetSectionViewController::notifyPresetSettingDidChange() {
  if (delegate_) delegate_->batchPresetSectionVC(this, presetSettingObject());
}

void QVBatchPresetSectionViewController::viewDidLoad() {
  QVViewControllerWithoutNib::viewDidLoad();
  addSubviews();
  setupLayoutConstraints();
}

void QVBatchPresetSectionViewController::viewDidLayout() {
  QVViewControllerWithoutNib::viewDidLayout();
  for (QWidget* view : roundedViews()) {
    if (auto* field = dynamic_cast<QVTextField*>(view)) field->setCornerRadius(field->height() / 2.0);
    // Pop-ups and segmented controls round themselves to half their height.
  }
}

void QVBatchPresetSectionViewController::place(QWidget* view, const QRectF& r) {
  if (!view || !view->parentWidget()) return;
  if (auto* basic = dynamic_cast<QVBasicView*>(view)) {
    const double parentHeight = view->parentWidget()->height();
    basic->setFrame(CGRectMake(r.x(), parentHeight - r.y() - r.height(), r.width(), r.height()));
  } else {
    view->setGeometry(r.toAlignedRect());
  }
}

void QVBatchOptionViewController::notifyDelegateOfValueChange() {
  if (delegate_) delegate_->batchOptionVC(this, currentValue());
}
