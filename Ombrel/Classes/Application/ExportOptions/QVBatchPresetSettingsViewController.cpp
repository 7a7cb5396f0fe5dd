#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetSettingsViewController.h"

#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetUISamples.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"

QVBatchPresetSettingsViewController::QVBatchPresetSettingsViewController(QVBatchPresetSettingsModel& model)
    : model_(model),
      saving_(std::make_unique<QVBatchSavingViewController>()),
      naming_(std::make_unique<QVBatchNamingViewController>()),
      format_(std::make_unique<QVBatchFormatViewController>()),
      resize_(std::make_unique<QVBatchResizeViewController>()) {
  for (size_t i = 0; i < 4; ++i) sectionVC(i)->setDelegate(this);
}

QVBatchPresetSettingsViewController::~QVBatchPresetSettingsViewController() {
  for (size_t i = 0; i < 4; ++i) sectionVC(i)->setDelegate(nullptr);
  // The editors delete their views; the pane's view goes after them.
  saving_.reset();
  naming_.reset();
  format_.reset();
  resize_.reset();
  if (isViewLoaded()) delete view();
}

QVBatchPresetSectionViewController* QVBatchPresetSettingsViewController::sectionVC(size_t index) {
  switch (index) {
    case 0:
      return saving_.get();
    case 1:
      return naming_.get();
    case 2:
      return format_.get();
    case 3:
      return resize_.get();
    default:
      return nullptr;
  }
}

void QVBatchPresetSettingsViewController::viewDidLoad() {
  QVViewControllerWithoutNib::viewDidLoad();
  QVView* pane = mainView();
  pane->setBackgroundColor(QColor());
  const auto style = QVUIStyle::batchSettingsStyle();
  // Titles and dividers first, so the editors lie above them.
  const char* names[5] = {"Save to", "Naming", "Format", "Color profile", "Resize"};
  for (size_t i = 0; i < titles_.size(); ++i) {
    titles_[i] =
        QVBatchPresetUISamples::createTitleLabelWithTitle(QVBatchLocalizedUpper(names[i]), style->controlTextColor);
    pane->addSubview(titles_[i]);
  }
  for (auto& strip : strips_) {
    strip = QVMake<QVView>();
    strip->setBackgroundColor(QColor(63, 63, 63));
    pane->addSubview(strip);
  }
  for (size_t i = 0; i < 4; ++i) {
    QWidget* editor = sectionVC(i)->view();
    editor->setParent(pane);
    editor->show();
  }
  pane->addConstraint([this] { layoutPane(); });
  reloadEditors();
}

void QVBatchPresetSettingsViewController::layoutPane() {
  const double w = mainView()->width(), h = mainView()->height();
  const auto [d1, d2, d3] = kDividerTops;
  const double stripHeight = 2;
  for (size_t i = 0; i < strips_.size(); ++i)
    QVBatchPresetSectionViewController::place(strips_[i], QRectF(0, kDividerTops[i], w, stripHeight));
  const double labelTops[5] = {kInset, d1 + stripHeight + kLabelGap, d2 + stripHeight + kLabelGap,
                               d3 - kLabelGap - kTitleHeight, d3 + stripHeight + kLabelGap};
  for (size_t i = 0; i < titles_.size(); ++i)
    QVBatchPresetSectionViewController::place(titles_[i], QRectF(kInset, labelTops[i], kTitleWidth, kTitleHeight));
  const double trailing = kInset + kTitleWidth;
  auto placeEditor = [&](QVBatchPresetSectionViewController* editor, double left, double top, double bottom) {
    QVBatchPresetSectionViewController::place(editor->view(),
                                              QRectF(left, top, std::max(0.0, w - left), std::max(0.0, bottom - top)));
  };
  placeEditor(saving_.get(), trailing - kInset, 0, d1);
  placeEditor(naming_.get(), trailing, d1 + stripHeight + kInset, d2 - kInset);
  placeEditor(format_.get(), trailing, d2 + stripHeight + kInset, d3 - kInset);
  placeEditor(resize_.get(), trailing, d3 + stripHeight + kInset, h);
}

void QVBatchPresetSettingsViewController::reloadEditors() {
  auto preset = model_.shownPreset();
  if (!preset) return;
  saving_->setPresetSetting(preset->saving());
  naming_->setPresetSetting(preset->naming());
  format_->setPresetSetting(preset->format());
  resize_->setPresetSetting(preset->resizing());
}

void QVBatchPresetSettingsViewController::batchPresetSectionVC(
    QVBatchPresetSectionViewController*, const std::shared_ptr<QVSerializationProtocol>& presetSetting) {
  model_.didChangePresetSetting(presetSetting);
}
