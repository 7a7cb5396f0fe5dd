#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetUISamples.h"

#include <QPointer>
#include <cmath>

#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "Ombrel/Classes/Business/Batch/QVBatchTextHelpers.h"
#include "QVPlatform/Localization.h"
#include "rova/ImageData.h"

std::string QVBatchLocalized(const std::string& key) { return qv::QVSLocalization::localizedStringForKey(key); }
std::string QVBatchLocalizedUpper(const std::string& key) {
  return QVBatchTextHelpers::uppercaseString(QVBatchLocalized(key));
}

// ---- QVBatchFieldValidator ----

QValidator::State QVBatchFieldValidator::validate(QString& input, int&) const {
  if (input.isEmpty()) return Intermediate;
  if (rule_ == QVBatchFieldRule::Text) return input.contains('/') || input.contains(QChar(0)) ? Invalid : Acceptable;
  for (QChar c : input)
    if (c < '0' || c > '9') return Invalid;
  if (rule_ == QVBatchFieldRule::Counter) return input.size() <= 18 ? Acceptable : Invalid;
  if (input.size() > 6 || input.front() == '0') return Invalid;
  return input.toLongLong() <= rova::kMaxImageSide ? Acceptable : Invalid;
}

std::optional<std::string> QVBatchFieldValidator::numberText(const QString& text) {
  bool ok = false;
  const qlonglong number = text.trimmed().toLongLong(&ok);
  if (!ok) return std::nullopt;
  return std::to_string(number);
}

// ---- Factory ----

namespace {
// The value as three figures wide (figure spaces before shorter numbers), so the bar keeps its
// length whatever the value.
std::string qualityText(double whole) {
  const std::string digits = std::to_string(int(whole));
  std::string text;
  for (size_t i = digits.size(); i < 3; ++i) text += "\u2007";
  return text + digits;
}
}  // namespace

QVPopUpButton* QVBatchPresetUISamples::createPopupButton(QVPopUpButton::Action action) {
  const auto style = QVUIStyle::batchSettingsStyle();
  auto* popup = new QVPopUpButton();
  popup->setBackgroundColor(style->controlBGColor);
  popup->setFontColor(style->controlTextColor);
  popup->setFont(style->controlTextFont);
  popup->setTitleAlignment(Qt::AlignHCenter);
  popup->setPictogram("popup_ears");
  popup->setPictogramPosition(QVPopUpButton::PictogramTrailingEdge);
  popup->setAdditionalSpace(25);
  popup->setPictogramOffset(QPointF(5, 0));
  popup->setAction(std::move(action));
  return popup;
}

QVDisabledButton* QVBatchPresetUISamples::createCheckboxWithTitle(const std::string& title,
                                                                  QVDisabledButton::Action action,
                                                                  bool interactionEnabled) {
  const auto style = QVUIStyle::batchSettingsStyle();
  auto* checkbox = new QVDisabledButton();
  checkbox->setTitle(title);
  checkbox->setFont(style->controlTextFont);
  checkbox->setTitleColor(style->controlTextColor);
  checkbox->setBoxColor(style->controlBGColor);
  checkbox->setCheckedColor(QVUIStyle::themeColor());
  checkbox->setInteractionEnabled(interactionEnabled);
  checkbox->setAction(std::move(action));
  return checkbox;
}

QVTextField* QVBatchPresetUISamples::createEditableField(TextAction edited, QVBatchFieldRule rule) {
  const auto style = QVUIStyle::batchSettingsStyle();
  auto* field = new QVTextField();
  field->initialize();
  field->setBorderWidth(2);
  field->setBorderColor(style->controlBGColor);
  field->setVerticallyCenteredText(true);
  field->setTextInsets({0, 5, 0, 5});
  field->setFont(style->controlTextFont);
  field->setTextColor(style->controlTextColor);
  field->setValidator(new QVBatchFieldValidator(rule, field));
  if (rule != QVBatchFieldRule::Text) field->setAlignment(Qt::AlignCenter);
  if (edited) QObject::connect(field, &QLineEdit::textEdited, field, [field, edited] { edited(field); });
  return field;
}

QVTextField* QVBatchPresetUISamples::createNonEditableField() {
  const auto style = QVUIStyle::batchSettingsStyle();
  auto* field = new QVTextField();
  field->initialize();
  field->setReadOnly(true);
  field->setFocusPolicy(Qt::NoFocus);
  field->setAttribute(Qt::WA_TransparentForMouseEvents);
  field->setVerticallyCenteredText(true);
  field->setFont(style->controlTextFont);
  field->setTextColor(style->controlTextColor);
  return field;
}

QVLabel* QVBatchPresetUISamples::createTitleLabelWithTitle(const std::string& title, const QColor& textColor) {
  const auto style = QVUIStyle::batchSettingsStyle();
  auto* label = QVMake<QVLabel>();
  label->setFont(style->controlTextFont);
  label->setBackgroundColor(QColor());
  label->setTitleColor(textColor);
  label->setTitle(title);
  label->setAlignment(QVTextAlignmentLeft);
  return label;
}

QVSegmentedControl* QVBatchPresetUISamples::createSegmentedControl(QVSegmentedControl::Action action) {
  const auto style = QVUIStyle::batchSettingsStyle();
  auto* control = new QVSegmentedControl();
  control->setFont(style->controlTextFont);
  control->setTextColor(style->controlTextColor);
  control->setSelectedTextColor(QVUIStyle::themeColor());
  control->setBackgroundColor(style->controlBGColor);
  control->setHighlightedColor(QColor(30, 30, 30));
  control->setLineColor(QColor(30, 30, 30));
  control->setAction(std::move(action));
  return control;
}

QVSliderView* QVBatchPresetUISamples::createQualitySlider(const std::string& title,
                                                          std::function<void(double value)> moved) {
  const auto style = QVUIStyle::batchSettingsStyle();
  auto* slider = QVMake<QVSliderView>(CGRectMake(0, 0, 230, 28));
  slider->setIsLiveValueUpdatingEnabled(true);
  slider->setApplyHalfPixelRoundingOnDraw(false);
  slider->setKnobImage("slider_knob_small", QColor(Qt::white));
  slider->setBarBackThreePartImageName("bg_bar_grey_small");
  slider->setBarFillValueThreePartImageName("fill_bar_orange_small");
  slider->setKnobSize(14);
  slider->setBarHeight(4);
  slider->setTitleTextColor(style->controlTextColor);
  slider->setValueTextColor(style->controlTextColor);
  slider->setMinimumValue(0);
  slider->setMaximumValue(100);
  slider->setDefaultValue(85);
  slider->setTitleString(title);
  slider->setTitleFont(style->controlTextFont);
  slider->setValueFont(style->controlTextFont);
  slider->setTextLabelsMouseEventsEnabled(false);
  slider->load();
  setQualitySliderValue(slider, 85);
  QPointer<QVSliderView> weak(slider);
  slider->setSliderDidChangeValueBlock([weak, moved](double value) {
    const double whole = std::round(value);
    // One report per whole step: the label shows the last whole value.
    if (!weak || qualityText(whole) == weak->rightTitleString()) return;
    weak->setRightTitleString(qualityText(whole));
    if (moved) moved(whole);
  });
  return slider;
}

void QVBatchPresetUISamples::setQualitySliderValue(QVSliderView* slider, double value) {
  if (!slider) return;
  const double whole = std::isfinite(value) ? std::round(std::clamp(value, 0.0, 100.0)) : 0;
  slider->setValue(whole);
  slider->setRightTitleString(qualityText(whole));
  slider->updateLabelsLayout();
}
