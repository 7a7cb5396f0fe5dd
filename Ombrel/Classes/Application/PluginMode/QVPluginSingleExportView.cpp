#include "Ombrel/Classes/Application/PluginMode/QVPluginSingleExportView.h"

#include <QString>

#include "Ombrel/Classes/Application/Export/QVExportActionedBasicView.h"
#include "QVPlatform/Localization.h"

void QVPluginSingleExportView::initialize() {
  if (elements_ & kQVPluginElementButton) {
    const std::string title =
        QString::fromStdString(qv::QVSLocalization::localizedStringForKey("Done")).toUpper().toStdString();
    actionButton_ = QVExportActionedBasicView::makeButton(this, title, [this] {
      if (actionHandler_) actionHandler_();
    });
  }
  QVExportBeginView::initialize();
}

void QVPluginSingleExportView::addSubviews() {
  QVExportBeginView::addSubviews();
  // The export row without its menu.
  exportMenu()->removeFromSuperview();
  if (!shadows().empty()) shadows()[0]->removeFromSuperview();
  if (actionButton_) addSubview(actionButton_);
}

void QVPluginSingleExportView::layout() {
  QVView::layout();
  const CGSize size = bounds().size;
  if (actionButton_) actionButton_->setFrame(QVPluginScreenRules::buttonFrame(size));
  if (showSlider() && !sliderMenu()->animating()) {
    const CGSize slider = sliderMenu()->contentSizeForState(sliderMenu()->expanded());
    sliderMenu()->setFrame(QVPluginScreenRules::sliderFrame(size, slider, elements_));
  }
  notifyControlsFrameChanged();
}

std::vector<QWidget*> QVPluginSingleExportView::visibleControls() const {
  std::vector<QWidget*> controls;
  if (actionButton_) controls.push_back(actionButton_);
  if (showSlider()) controls.push_back(sliderMenu());
  return controls;
}

void QVPluginSingleExportView::setControlsEnabled(bool enabled) {
  QVExportBeginView::setControlsEnabled(enabled);
  if (actionButton_) actionButton_->setUserInteractionEnabled(enabled);
}

void QVPluginSingleExportView::setExportControlsTranslucent(bool translucent) {
  QVExportBeginView::setExportControlsTranslucent(translucent);
  if (actionButton_) actionButton_->setAlpha(translucent ? kTranslucentAlpha : 1.0);
}
