#include "Ombrel/Classes/Application/ExportOptions/QVBatchNamingViewController.h"

#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetUISamples.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "Ombrel/Classes/Business/Batch/QVBatchNamingUIDatasource.h"

namespace {
QVBatchNamingUIDatasource& naming() { return QVBatchNamingUIDatasource::shared(); }
constexpr std::array<uint64_t, 3> kValueTypes = {kQVBatchNameTypeCustomText, kQVBatchNameTypeCounter,
                                                 kQVBatchNameTypeTimestamp};
}  // namespace

// ---- Value editor ----

void QVBatchNamingOptionViewController::viewDidLoad() {
  QVBatchOptionViewController::viewDidLoad();
  auto* main = mainView();
  auto report = [this](QWidget*) { notifyDelegateOfValueChange(); };
  switch (type()) {
    case kQVBatchNameTypeCustomText: {
      auto* field = QVBatchPresetUISamples::createEditableField(report, QVBatchFieldRule::Text);
      field->setParent(main);
      valueView_ = field;
      main->addConstraint([main, field] {
        field->setGeometry(main->rect());
        field->setCornerRadius(field->height() / 2.0);
      });
      break;
    }
    case kQVBatchNameTypeCounter: {
      auto* label = QVBatchPresetUISamples::createNonEditableField();
      label->setText(QString::fromStdString(QVBatchLocalized("Starts with")));
      label->setTextColor(QVUIStyle::batchSettingsStyle()->labelColor);
      auto* field = QVBatchPresetUISamples::createEditableField(report, QVBatchFieldRule::Counter);
      label->setParent(main);
      field->setParent(main);
      label_ = label;
      valueView_ = field;
      main->addConstraint([main, label, field] {
        const int labelWidth = label->fontMetrics().horizontalAdvance(label->text()) + 8;
        label->setGeometry(0, 0, labelWidth, main->height());
        field->setGeometry(labelWidth + 8, 0, std::max(0, main->width() - labelWidth - 8), main->height());
        field->setCornerRadius(field->height() / 2.0);
      });
      break;
    }
    case kQVBatchNameTypeTimestamp: {
      auto* popup =
          QVBatchPresetUISamples::createPopupButton([this](QVPopUpButton*) { notifyDelegateOfValueChange(); });
      popup->setTitles(naming().dateTitles());
      popup->setParent(main);
      valueView_ = popup;
      main->addConstraint(
          [main, popup] { popup->setGeometry(0, 0, std::max(110, popup->sizeHint().width()), main->height()); });
      break;
    }
    default:
      break;
  }
}

void QVBatchNamingOptionViewController::updateValue(const std::optional<std::string>& value) {
  view();
  if (auto* field = dynamic_cast<QVTextField*>(valueView_.data())) {
    field->setText(QString::fromStdString(value.value_or("")));
  } else if (auto* popup = dynamic_cast<QVPopUpButton*>(valueView_.data())) {
    popup->selectItemAtIndex(int(naming().indexOfDateFormat(value.value_or(""))));
  }
}

std::optional<std::string> QVBatchNamingOptionViewController::currentValue() const {
  if (auto* field = dynamic_cast<QVTextField*>(valueView_.data())) {
    if (type() == int64_t(kQVBatchNameTypeCounter)) return QVBatchFieldValidator::numberText(field->text());
    return field->text().toStdString();
  }
  if (auto* popup = dynamic_cast<QVPopUpButton*>(valueView_.data())) {
    if (auto title = popup->titleOfSelectedItem()) return naming().dateFormatFromTitle(*title);
  }
  return std::nullopt;
}

// ---- Section editor ----

QVBatchNamingViewController::~QVBatchNamingViewController() {
  for (auto& option : optionVCs_)
    if (option) option->setDelegate(nullptr);
}

QVSegmentedControl* QVBatchNamingViewController::namingSegmentedControl() {
  if (!segmentedControl_) {
    segmentedControl_ =
        QVBatchPresetUISamples::createSegmentedControl([this](QVSegmentedControl*) { namingSegmentDidChange(); });
    segmentedControl_->setTitles(naming().segmentTitles());
    segmentedControl_->setSelectedSegment(0);
  }
  return segmentedControl_;
}

QVPopUpButton* QVBatchNamingViewController::namingSectionPopupButton() {
  if (!popup_)
    popup_ = QVBatchPresetUISamples::createPopupButton([this](QVPopUpButton*) { namingPopupSelectionDidChange(); });
  return popup_;
}

QVTextField* QVBatchNamingViewController::exampleLabel() {
  if (!exampleLabel_) {
    const auto style = QVUIStyle::batchSettingsStyle();
    exampleLabel_ = QVBatchPresetUISamples::createNonEditableField();
    exampleLabel_->setTextColor(style->labelColor);
    exampleLabel_->setVerticallyCenteredText(false);
  }
  return exampleLabel_;
}

const std::array<std::unique_ptr<QVBatchNamingOptionViewController>, 3>&
QVBatchNamingViewController::namingOptionVCs() {
  if (!optionVCs_[0]) {
    for (size_t i = 0; i < kValueTypes.size(); ++i) {
      optionVCs_[i] = std::make_unique<QVBatchNamingOptionViewController>(int64_t(kValueTypes[i]));
      optionVCs_[i]->setDelegate(this);
      optionVCs_[i]->view()->hide();
    }
  }
  return optionVCs_;
}

QVBatchNamingOptionViewController* QVBatchNamingViewController::visibleOptionVC() {
  for (const auto& option : namingOptionVCs())
    if (option->view()->isVisibleTo(mainView())) return option.get();
  return nullptr;
}

std::vector<QWidget*> QVBatchNamingViewController::roundedViews() const {
  return {segmentedControl_.data(), popup_.data()};
}

void QVBatchNamingViewController::addSubviews() {
  auto* main = mainView();
  namingSegmentedControl()->setParent(main);
  namingSectionPopupButton()->setParent(main);
  exampleLabel()->setParent(main);
  for (const auto& option : namingOptionVCs()) option->view()->setParent(main);
}

void QVBatchNamingViewController::setupLayoutConstraints() {
  auto* main = mainView();
  main->addConstraint([this, main] {
    const double w = main->width();
    const double segmentsWidth = std::max(307.0, std::min(w, double(namingSegmentedControl()->sizeHint().width())));
    place(namingSegmentedControl(), QRectF(0, 0, segmentsWidth, 28));
    const double popupWidth = std::max(82, namingSectionPopupButton()->sizeHint().width());
    place(namingSectionPopupButton(), QRectF(0, 36, popupWidth, 28));
    place(exampleLabel(), QRectF(0, 36 + 28 + 12, std::min(325.0, w), 17));
    for (const auto& option : namingOptionVCs())
      place(option->view(), QRectF(popupWidth + 8, 36, std::max(0.0, w - popupWidth - 8), 28));
  });
}

std::shared_ptr<QVBatchName> QVBatchNamingViewController::partForSegment(int segment) const {
  const auto& setting = presetSetting();
  if (!setting) return nullptr;
  switch (segment) {
    case kQVBatchSegmentPrefix:
      return setting->prefix();
    case kQVBatchSegmentBase:
      return setting->base();
    case kQVBatchSegmentSuffix:
      return setting->suffix();
    case kQVBatchSegmentLetters:
      return setting->capitalization();
    default:
      return nullptr;
  }
}

void QVBatchNamingViewController::onDidSetPresetSetting(const std::shared_ptr<QVBatchSettingsNaming>&) {
  reloadSegments();
}

void QVBatchNamingViewController::reloadSegments() {
  const int segment = namingSegmentedControl()->selectedSegment();
  onDidChangePopupToBatchType(onDidChangeSegment(segment), segment);
  updateExampleLabel();
}

std::optional<uint64_t> QVBatchNamingViewController::onDidChangeSegment(int segment) {
  const auto items = naming().popupParamsFromOption(segment);
  namingSectionPopupButton()->setTitles(naming().popupTitlesWithNameOption(segment));
  for (size_t i = 0; i < items.size(); ++i) namingSectionPopupButton()->setTagOfItemAtIndex(int(i), items[i].tag);
  auto part = partForSegment(segment);
  if (!part || !namingSectionPopupButton()->selectItemWithTag(int64_t(part->type()))) return std::nullopt;
  return part->type();
}

void QVBatchNamingViewController::onDidChangePopupToBatchType(std::optional<uint64_t> type, int segment) {
  auto part = partForSegment(segment);
  for (const auto& option : namingOptionVCs()) {
    const bool shown = type && uint64_t(option->type()) == *type && segment != kQVBatchSegmentLetters;
    option->view()->setVisible(shown);
    if (shown && part) option->updateValue(part->value());
  }
}

void QVBatchNamingViewController::updateExampleLabel() {
  const auto& setting = presetSetting();
  if (!setting) return;
  const std::string name = naming().formatFilename("Filename", *setting);
  exampleLabel()->setText(QString::fromStdString(QVBatchLocalized("Example") + ": " + name + ".jpeg"));
}

void QVBatchNamingViewController::namingSegmentDidChange() {
  if (!presetSetting()) return;
  reloadSegments();
}

void QVBatchNamingViewController::namingPopupSelectionDidChange() {
  const int segment = namingSegmentedControl()->selectedSegment();
  auto part = partForSegment(segment);
  const auto tag = namingSectionPopupButton()->selectedTag();
  if (!part || !tag) return;
  const uint64_t type = uint64_t(*tag);
  part->setType(type);
  part->setValue(type == kQVBatchNameTypeNone ? std::nullopt : naming().defaultValueForBatchNameType(type));
  onDidChangePopupToBatchType(type, segment);
  updateExampleLabel();
  notifyPresetSettingDidChange();
}

void QVBatchNamingViewController::batchOptionVC(QVBatchOptionViewController*, const std::optional<std::string>& value) {
  auto part = partForSegment(namingSegmentedControl()->selectedSegment());
  if (!part) return;
  part->setValue(value);
  updateExampleLabel();
  notifyPresetSettingDidChange();
}
