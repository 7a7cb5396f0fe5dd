#include "Ombrel/Classes/Application/ExportOptions/QVBatchSavingViewController.h"

#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetUISamples.h"
#include "Ombrel/Classes/Application/Panels/QVSolvanePanels.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVCommonUISamples.h"
#include "QVAppKit/QVFonts.h"

QVRoundedSpringButton* QVBatchSavingViewController::browseButton() {
  if (!browseButton_) {
    const auto style = QVUIStyle::batchSettingsStyle();
    browseButton_ = QVCommonUISamples::roundedSpringButtonWithTitle(
        QVBatchLocalizedUpper("Browse..."), style->controlTextFont, style->controlTextColor, style->controlBGColor,
        view(), [this](QObject*, QVTitledButton*) { browseClicked(); });
  }
  return browseButton_;
}

QVLabel* QVBatchSavingViewController::pathLabel() {
  if (!pathLabel_) {
    pathLabel_ = QVBatchPresetUISamples::createTitleLabelWithTitle("", QVUIStyle::batchSettingsStyle()->labelColor);
    pathLabel_->setAlignment(QVTextAlignmentRight);
  }
  return pathLabel_;
}

QVDisabledButton* QVBatchSavingViewController::shouldOverwriteCheckbox() {
  if (!shouldOverwriteCheckbox_) {
    shouldOverwriteCheckbox_ = QVBatchPresetUISamples::createCheckboxWithTitle(
        QVBatchLocalizedUpper("Overwrite without warning"),
        [this](QVDisabledButton* checkbox) { shouldOverwriteSwitched(checkbox); }, true);
  }
  return shouldOverwriteCheckbox_;
}

void QVBatchSavingViewController::addSubviews() {
  auto* main = mainView();
  main->addSubview(browseButton());
  main->addSubview(pathLabel());
  shouldOverwriteCheckbox()->setParent(main);
  main->setMasksToBounds(false);
}

void QVBatchSavingViewController::setupLayoutConstraints() {
  auto* main = mainView();
  main->addConstraint([this, main] {
    const double w = main->width();
    place(browseButton(), QRectF(16, 8, 102, 28));
    place(shouldOverwriteCheckbox(), QRectF(16 + 102 + 16, 8, std::max(0.0, w - 134), 28));
    // 16 points high: a line of the 12-point font with its descenders.
    place(pathLabel(), QRectF(16, 8 + 28 + 12, std::max(0.0, w - 16), 16));
  });
}

void QVBatchSavingViewController::onDidSetPresetSetting(const std::shared_ptr<QVBatchSettingsSaving>& setting) {
  updatePath(setting);
}

void QVBatchSavingViewController::updatePath(const std::shared_ptr<QVBatchSettingsSaving>& setting) {
  pathLabel()->setTitle(setting->path().value_or(""));
  shouldOverwriteCheckbox()->setState(setting->shouldOverwriteWithoutWarning());
}

void QVBatchSavingViewController::browseClicked() {
  QVSolvanePanels::showChooseFilesPanelWithMultipleFiles(
      true, true, false, [this, alive = lifetime()](const std::optional<std::vector<std::string>>& paths) {
        if (alive.expired() || !paths || paths->empty()) return;
        onSelectedNewPath(paths->front());
      });
}

void QVBatchSavingViewController::onSelectedNewPath(const std::string& path) {
  auto setting = presetSetting();
  if (!setting || setting->path() == path) return;
  setting->setPath(path);
  pathLabel()->setTitle(path);
  notifyPresetSettingDidChange();
}

void QVBatchSavingViewController::shouldOverwriteSwitched(QVDisabledButton* checkbox) {
  auto setting = presetSetting();
  if (!setting) return;
  const bool on = checkbox->state();
  if (on == setting->shouldOverwriteWithoutWarning()) return;
  setting->setShouldOverwriteWithoutWarning(on);
  notifyPresetSettingDidChange();
}
