#include "Ombrel/Classes/Application/ExportOptions/QVBatchFormatViewController.h"

#include <QFontMetricsF>
#include <cmath>

#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetUISamples.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "Ombrel/Classes/Business/Batch/QVBatchTextHelpers.h"
#include "Ombrel/Classes/Business/Batch/QVBatchTiffImageProperties.h"
#include "Ombrel/Classes/Business/Batch/QVExportSettingsDatasourceManager.h"
#include "QVPlatform/ImageIO/ImageIO.h"

namespace {
QVExportSettingsDatasourceManager& tables() { return QVExportSettingsDatasourceManager::shared(); }

void fillTagged(QVPopUpButton* popup, const std::vector<std::string>& titles, const std::vector<int64_t>& tags) {
  popup->setTitles(titles);
  for (size_t i = 0; i < tags.size() && i < titles.size(); ++i) popup->setTagOfItemAtIndex(int(i), tags[i]);
  popup->selectItemAtIndex(0);
}
}  // namespace

bool QVBatchFormatViewController::showsQualitySlider(const std::string& type) {
  return QVBatchTextHelpers::caseInsensitiveEquals(type, kUTTypeJPEG) ||
         QVBatchTextHelpers::caseInsensitiveEquals(type, kUTTypeJPEG2000);
}

bool QVBatchFormatViewController::showsTiffRow(const std::string& type) {
  return QVBatchTextHelpers::caseInsensitiveEquals(type, kUTTypeTIFF);
}

QVPopUpButton* QVBatchFormatViewController::formatButton() {
  if (!formatButton_) {
    formatButton_ =
        QVBatchPresetUISamples::createPopupButton([this](QVPopUpButton*) { formatButtonSelectionChanged(); });
    formatButton_->setTitles(tables().saveTypeTitles());
  }
  return formatButton_;
}

QVPopUpButton* QVBatchFormatViewController::colorProfileButton() {
  if (!colorProfileButton_) {
    colorProfileButton_ =
        QVBatchPresetUISamples::createPopupButton([this](QVPopUpButton*) { colorProfileSelectionChanged(); });
    colorProfileButton_->setTitles(tables().colorSpaceTitles());
  }
  return colorProfileButton_;
}

QVPopUpButton* QVBatchFormatViewController::compressionButton() {
  if (!compressionButton_) {
    compressionButton_ =
        QVBatchPresetUISamples::createPopupButton([this](QVPopUpButton*) { compressionTypeChanged(); });
    std::vector<std::string> titles;
    for (const auto& title : tables().compressionTypesTitles())
      titles.push_back(QVBatchTextHelpers::uppercaseString(title));
    fillTagged(compressionButton_, titles, tables().compressionTypesValues());
  }
  return compressionButton_;
}

QVPopUpButton* QVBatchFormatViewController::depthButton() {
  if (!depthButton_) {
    depthButton_ = QVBatchPresetUISamples::createPopupButton([this](QVPopUpButton*) { depthChanged(); });
    fillTagged(depthButton_, tables().depthsTitles(), tables().depthValues());
  }
  return depthButton_;
}

QVSliderView* QVBatchFormatViewController::qualitySlider() {
  if (!qualitySlider_)
    qualitySlider_ = QVBatchPresetUISamples::createQualitySlider(QVBatchLocalizedUpper("Quality"),
                                                                 [this](double value) { qualitySliderMoved(value); });
  return qualitySlider_;
}

QWidget* QVBatchFormatViewController::compressionUISection() {
  if (!compressionUISection_) {
    const auto style = QVUIStyle::batchSettingsStyle();
    auto* row = new QWidget(mainView());
    compressionLabel_ = QVBatchPresetUISamples::createTitleLabelWithTitle(QVBatchLocalizedUpper("Compression"),
                                                                          style->controlTextColor);
    depthLabel_ =
        QVBatchPresetUISamples::createTitleLabelWithTitle(QVBatchLocalizedUpper("Depth"), style->controlTextColor);
    compressionLabel_->setParent(row);
    depthLabel_->setParent(row);
    compressionButton()->setParent(row);
    depthButton()->setParent(row);
    compressionUISection_ = row;
    row->hide();
  }
  return compressionUISection_;
}

std::vector<QWidget*> QVBatchFormatViewController::roundedViews() const {
  return {formatButton_.data(), colorProfileButton_.data()};
}

void QVBatchFormatViewController::addSubviews() {
  auto* main = mainView();
  formatButton()->setParent(main);
  main->addSubview(qualitySlider());
  colorProfileButton()->setParent(main);
  compressionUISection();
}

void QVBatchFormatViewController::setupLayoutConstraints() {
  auto* main = mainView();
  main->addConstraint([this, main] {
    const double w = main->width();
    const double formatWidth = std::max(82, formatButton()->sizeHint().width());
    place(formatButton(), QRectF(0, 0, formatWidth, 28));
    place(qualitySlider(), QRectF(0, 34, 230, 28));
    place(colorProfileButton(), QRectF(0, 68, std::max(82, colorProfileButton()->sizeHint().width()), 28));
    // The TIFF row in the slider's place: label, pop-up, a gap, label, pop-up, flush at both ends.
    QWidget* row = compressionUISection();
    place(row, QRectF(0, 28, w, 35));
    const QFontMetricsF metrics(QVUIStyle::batchSettingsStyle()->controlTextFont);
    const double compressionLabelWidth = std::clamp(
        std::ceil(metrics.horizontalAdvance(QString::fromStdString(*compressionLabel_->title()))) + 2, 50.0, 90.0);
    const double depthLabelWidth =
        std::clamp(std::ceil(metrics.horizontalAdvance(QString::fromStdString(*depthLabel_->title()))) + 2, 10.0, 40.0);
    const double y = (35 - 28) / 2.0;
    // Inter sets these titles wider than the pop-ups' nominal 88 and 68 points: they grow to fit.
    const double compressionWidth = std::max(88, compressionButton()->sizeHint().width());
    const double depthWidth = std::max(68, depthButton()->sizeHint().width());
    place(compressionLabel_, QRectF(0, y, compressionLabelWidth, 28));
    place(compressionButton(), QRectF(compressionLabelWidth + 8, y, compressionWidth, 28));
    place(depthButton(), QRectF(w - depthWidth, y, depthWidth, 28));
    place(depthLabel_, QRectF(w - depthWidth - 8 - depthLabelWidth, y, depthLabelWidth, 28));
  });
}

void QVBatchFormatViewController::updateVisibility(const std::string& type) {
  const bool tiff = showsTiffRow(type);
  compressionUISection()->setVisible(tiff);
  qualitySlider()->setVisible(!tiff && showsQualitySlider(type));
}

void QVBatchFormatViewController::onDidSetPresetSetting(const std::shared_ptr<QVBatchSettingsFormat>& setting) {
  const std::string type = setting->exportType().value_or("");
  const auto& types = tables().saveTypes();
  int index = -1;
  for (size_t i = 0; i < types.size(); ++i)
    if (types[i].identifier == type) index = int(i);
  formatButton()->selectItemAtIndex(index);
  updateVisibility(type);
  configureCompressionUIIfNeededForFormat(setting);
  if (qualitySlider()->isVisibleTo(mainView()))
    QVBatchPresetUISamples::setQualitySliderValue(qualitySlider(), setting->quality() * 100);
  colorProfileButton()->selectItemAtIndex(int(tables().indexForColorSpace(setting->colorSpace())));
}

void QVBatchFormatViewController::configureCompressionUIIfNeededForFormat(
    const std::shared_ptr<QVBatchSettingsFormat>& setting) {
  const std::string type = setting->exportType().value_or("");
  compressionUISection()->setVisible(showsTiffRow(type));
  if (!showsTiffRow(type)) return;
  setDefaultCompressionSettingsIfNeeded(setting);
  const auto& tiff = setting->tiffImageProperties();
  if (auto code = tiff->compressionValue()) {
    compressionButton()->selectItemWithTag(*code);
  } else {
    compressionButton()->selectItemAtIndex(-1);
  }
  if (auto bits = tiff->depthValue()) {
    depthButton()->selectItemWithTag(*bits);
  } else {
    depthButton()->selectItemAtIndex(-1);
  }
}

void QVBatchFormatViewController::setDefaultCompressionSettingsIfNeeded(
    const std::shared_ptr<QVBatchSettingsFormat>& setting) {
  if (setting->tiffImageProperties()) return;
  auto tiff = std::make_shared<QVBatchTiffImageProperties>();
  auto entry = [](QVPopUpButton* popup, int64_t fallback) {
    return std::pair(popup->titleOfSelectedItem().value_or(""), popup->selectedTag().value_or(fallback));
  };
  auto [compressionTitle, compression] = entry(compressionButton(), 1);
  auto [depthTitle, depth] = entry(depthButton(), 8);
  tiff->setCompressionType(compressionTitle, compression);
  tiff->setDepth(depthTitle, depth);
  setting->setTiffImageProperties(tiff);
  notifyPresetSettingDidChange();
}

void QVBatchFormatViewController::storeQualityFromSlider(const std::shared_ptr<QVBatchSettingsFormat>& setting) {
  if (showsQualitySlider(setting->exportType().value_or("")))
    setting->setQuality(std::round(qualitySlider()->value()) / 100.0);
}

void QVBatchFormatViewController::formatButtonSelectionChanged() {
  auto setting = presetSetting();
  const auto title = formatButton()->titleOfSelectedItem();
  if (!setting || !title) return;
  const auto type = tables().saveTypeIdentifierForTitle(*title);
  if (!type || type == setting->exportType()) return;
  setting->setExportType(*type);
  // The quality shown is the quality written: JPEG and JPEG 2000 take the slider's position.
  storeQualityFromSlider(setting);
  updateVisibility(*type);
  configureCompressionUIIfNeededForFormat(setting);
  notifyPresetSettingDidChange();
}

void QVBatchFormatViewController::colorProfileSelectionChanged() {
  auto setting = presetSetting();
  if (!setting) return;
  const int64_t colorSpace =
      tables().colorSpaceAtIndex(uint64_t(std::max(0, colorProfileButton()->indexOfSelectedItem())));
  if (colorSpace == setting->colorSpace()) return;
  setting->setColorSpace(colorSpace);
  notifyPresetSettingDidChange();
}

void QVBatchFormatViewController::qualitySliderMoved(double value) {
  auto setting = presetSetting();
  if (!setting) return;
  const double quality = value / 100.0;
  if (quality == setting->quality()) return;
  setting->setQuality(quality);
  notifyPresetSettingDidChange();
}

void QVBatchFormatViewController::compressionTypeChanged() {
  auto setting = presetSetting();
  if (!setting) return;
  if (!setting->tiffImageProperties()) setting->setTiffImageProperties(std::make_shared<QVBatchTiffImageProperties>());
  setting->tiffImageProperties()->setCompressionType(compressionButton()->titleOfSelectedItem().value_or(""),
                                                     compressionButton()->selectedTag().value_or(1));
  notifyPresetSettingDidChange();
}

void QVBatchFormatViewController::depthChanged() {
  auto setting = presetSetting();
  if (!setting) return;
  if (!setting->tiffImageProperties()) setting->setTiffImageProperties(std::make_shared<QVBatchTiffImageProperties>());
  setting->tiffImageProperties()->setDepth(depthButton()->titleOfSelectedItem().value_or(""),
                                           depthButton()->selectedTag().value_or(8));
  notifyPresetSettingDidChange();
}
