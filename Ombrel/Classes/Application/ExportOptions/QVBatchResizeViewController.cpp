#include "Ombrel/Classes/Application/ExportOptions/QVBatchResizeViewController.h"

#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetUISamples.h"
#include "Ombrel/Classes/Business/Batch/QVBatchTextHelpers.h"
#include "Ombrel/Classes/Business/Batch/QVExportSettingsDatasourceManager.h"

namespace {
constexpr double kFieldWidth = 50, kLabelWidth = 20, kSpace = 4;

std::string decimalText(double value) {
  return std::isfinite(value) && value >= 0 && value < 1e15 ? std::to_string(int64_t(value)) : "0";
}
}  // namespace

// ---- Value editor ----

void QVBatchResizeOptionViewController::viewDidLoad() {
  QVBatchOptionViewController::viewDidLoad();
  auto* main = mainView();
  auto report = [this](QWidget*) { notifyDelegateOfValueChange(); };
  field1_ = QVBatchPresetUISamples::createEditableField(report, QVBatchFieldRule::PositiveInteger);
  field2_ = QVBatchPresetUISamples::createEditableField(report, QVBatchFieldRule::PositiveInteger);
  label1_ = QVBatchPresetUISamples::createNonEditableField();
  label2_ = QVBatchPresetUISamples::createNonEditableField();
  label1_->setAlignment(Qt::AlignCenter);
  label2_->setAlignment(Qt::AlignCenter);
  const bool dimensions = type() == 3;
  label1_->setText(QString::fromStdString(QVBatchLocalized(dimensions ? "x" : "px")));
  label2_->setText(QString::fromStdString(QVBatchLocalized("px")));
  for (QWidget* view : {static_cast<QWidget*>(field1_.data()), static_cast<QWidget*>(label1_.data())})
    view->setParent(main);
  if (dimensions) {
    field2_->setParent(main);
    label2_->setParent(main);
  }
  main->addConstraint([this, main, dimensions] {
    const int h = main->height();
    double x = 0;
    field1_->setGeometry(int(x), 0, int(kFieldWidth), h);
    x += kFieldWidth + kSpace;
    label1_->setGeometry(int(x), 0, int(kLabelWidth), h);
    x += kLabelWidth + kSpace;
    if (dimensions) {
      field2_->setGeometry(int(x), 0, int(kFieldWidth), h);
      x += kFieldWidth + kSpace;
      label2_->setGeometry(int(x), 0, int(kLabelWidth), h);
    }
    for (QVTextField* field : {field1_.data(), field2_.data()}) field->setCornerRadius(h / 2.0);
  });
}

void QVBatchResizeOptionViewController::updateValue(const std::optional<std::string>& value) {
  view();
  if (type() == 3) {
    const CGSize size = QVBatchSettingsResizing::convertSizeFromValue(value.value_or(""));
    field1_->setText(QString::fromStdString(decimalText(size.width)));
    field2_->setText(QString::fromStdString(decimalText(size.height)));
  } else {
    field1_->setText(QString::fromStdString(value.value_or("")));
    field2_->clear();
  }
}

std::optional<std::string> QVBatchResizeOptionViewController::currentValue() const {
  switch (type()) {
    case 1:
    case 2:
      return QVBatchFieldValidator::numberText(field1_->text()).value_or("");
    case 3:
      return QVBatchFieldValidator::numberText(field1_->text()).value_or("") + "x" +
             QVBatchFieldValidator::numberText(field2_->text()).value_or("");
    default:
      return std::nullopt;
  }
}

// ---- Section editor ----

QVBatchResizeViewController::~QVBatchResizeViewController() {
  for (auto& option : optionVCs_)
    if (option) option->setDelegate(nullptr);
}

QVPopUpButton* QVBatchResizeViewController::resizePopupButton() {
  if (!popup_) {
    popup_ = QVBatchPresetUISamples::createPopupButton([this](QVPopUpButton*) { resizePopupButtonSwitched(); });
    popup_->setTitles(QVExportSettingsDatasourceManager::shared().resizeTypesTitles());
  }
  return popup_;
}

QVDisabledButton* QVBatchResizeViewController::dontEnlargeCheckbox() {
  if (!checkbox_) {
    checkbox_ = QVBatchPresetUISamples::createCheckboxWithTitle(
        QVBatchLocalized("Don't Enlarge"), [this](QVDisabledButton* checkbox) { dontEnlargeCheckboxClicked(checkbox); },
        true);
  }
  return checkbox_;
}

const std::array<std::unique_ptr<QVBatchResizeOptionViewController>, 3>&
QVBatchResizeViewController::resizeOptionVCs() {
  if (!optionVCs_[0]) {
    for (size_t i = 0; i < optionVCs_.size(); ++i) {
      optionVCs_[i] = std::make_unique<QVBatchResizeOptionViewController>(int64_t(i + 1));
      optionVCs_[i]->setDelegate(this);
      optionVCs_[i]->view()->hide();
    }
  }
  return optionVCs_;
}

QVBatchResizeOptionViewController* QVBatchResizeViewController::visibleOptionVC() {
  for (const auto& option : resizeOptionVCs())
    if (option->view()->isVisibleTo(mainView())) return option.get();
  return nullptr;
}

void QVBatchResizeViewController::addSubviews() {
  auto* main = mainView();
  resizePopupButton()->setParent(main);
  dontEnlargeCheckbox()->setParent(main);
  for (const auto& option : resizeOptionVCs()) option->view()->setParent(main);
}

void QVBatchResizeViewController::setupLayoutConstraints() {
  auto* main = mainView();
  main->addConstraint([this, main] {
    const double w = main->width();
    const double popupWidth = std::max(112, resizePopupButton()->sizeHint().width());
    place(resizePopupButton(), QRectF(0, 0, popupWidth, 28));
    place(dontEnlargeCheckbox(), QRectF(0, 28 + 6, w, 28));
    for (const auto& option : resizeOptionVCs())
      place(option->view(), QRectF(popupWidth + 8, 0, std::max(0.0, w - popupWidth - 8), 28));
  });
}

void QVBatchResizeViewController::onDidSetPresetSetting(const std::shared_ptr<QVBatchSettingsResizing>& setting) {
  resizePopupButton()->selectItemAtIndex(int(setting->type()));
  dontEnlargeCheckbox()->setState(!setting->shouldEnlarge());
  onResizeTypeDidChanged(setting->type());
}

void QVBatchResizeViewController::onResizeTypeDidChanged(uint64_t type) {
  const auto& setting = presetSetting();
  for (const auto& option : resizeOptionVCs()) {
    const bool shown = uint64_t(option->type()) == type;
    option->view()->setVisible(shown);
    if (shown && setting) option->updateValue(setting->value());
  }
}

void QVBatchResizeViewController::resizePopupButtonSwitched() {
  const auto& setting = presetSetting();
  const int index = resizePopupButton()->indexOfSelectedItem();
  if (!setting || index < 0 || uint64_t(index) == setting->type()) return;
  setting->setType(uint64_t(index));
  setting->setValue(std::string());
  onResizeTypeDidChanged(uint64_t(index));
  notifyPresetSettingDidChange();
}

void QVBatchResizeViewController::dontEnlargeCheckboxClicked(QVDisabledButton* checkbox) {
  const auto& setting = presetSetting();
  if (!setting) return;
  const bool enlarge = !checkbox->state();
  if (enlarge == setting->shouldEnlarge()) return;
  setting->setShouldEnlarge(enlarge);
  notifyPresetSettingDidChange();
}

void QVBatchResizeViewController::batchOptionVC(QVBatchOptionViewController*, const std::optional<std::string>& value) {
  const auto& setting = presetSetting();
  if (!setting || value == setting->value()) return;
  setting->setValue(value);
  notifyPresetSettingDidChange();
}
