#include "Ombrel/Classes/Application/ExportOptions/QVExportOptionsView.h"

#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <functional>

#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetUISamples.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "Ombrel/Classes/Business/Batch/QVBatchTextHelpers.h"
#include "Ombrel/Classes/Business/Batch/QVExportFileTypes.h"
#include "Ombrel/Classes/Business/Batch/QVExportSettingsDatasourceManager.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Business/QVAppSettings.h"
#include "QVAppKit/QVCommonUISamples.h"
#include "QVAppKit/QVFileNames.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/UserDefaults.h"

namespace {

QVExportSettingsDatasourceManager& tables() { return QVExportSettingsDatasourceManager::shared(); }

constexpr double kDefaultQuality = 0.85;
constexpr int kMargin = 16;
constexpr int kContentWidth = 680;

// The panel the options sit on: a card in the application's dark grey, laid out by a rule.
class OptionsCard : public QWidget {
 public:
  std::function<void()> layoutRule;
  // Told when the card is first shown inside a window (the dialog that carries it).
  std::function<void()> shownRule;
  std::function<int()> heightRule;
  QSize sizeHint() const override { return QSize(kContentWidth, heightRule ? heightRule() : 100); }
  QSize minimumSizeHint() const override { return QSize(kContentWidth / 2, sizeHint().height()); }

 protected:
  void resizeEvent(QResizeEvent*) override {
    if (layoutRule) layoutRule();
  }
  void showEvent(QShowEvent*) override {
    if (shownRule) shownRule();
  }
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()).adjusted(0.5, 4.5, -0.5, -0.5), 10, 10);
    painter.fillPath(card, QVUIStyle::darkColor());
    painter.setPen(QPen(QColor(255, 255, 255, 22), 1));
    painter.drawPath(card);
  }
};

bool isJPEGType(const std::string& type) {
  return QVBatchTextHelpers::caseInsensitiveEquals(type, kUTTypeJPEG) ||
         QVBatchTextHelpers::caseInsensitiveEquals(type, kUTTypeJPEG2000);
}

}  // namespace

std::shared_ptr<QVExportOptionsView> QVExportOptionsView::exportOptionsViewWithMetadata(const qv::Value& metadata,
                                                                                        int64_t colorSpace,
                                                                                        int64_t depth,
                                                                                        QVAppSettings* settings) {
  std::shared_ptr<QVExportOptionsView> view(new QVExportOptionsView());
  view->settings_ = settings;
  view->buildWidget();
  view->initializeWithMetadata(metadata, colorSpace, depth);
  return view;
}

QVExportOptionsView::~QVExportOptionsView() {
  // The controls call into this object: the widget goes with it, also out of a dialog still open.
  delete widget_.data();
}

QVAppSettings& QVExportOptionsView::settings() const { return settings_ ? *settings_ : QVApp::settings(); }

void QVExportOptionsView::buildWidget() {
  const auto style = QVUIStyle::batchSettingsStyle();
  auto* card = new OptionsCard();
  widget_ = card;
  auto label = [&](const std::string& key) {
    auto* title = QVBatchPresetUISamples::createTitleLabelWithTitle(QVBatchLocalizedUpper(key), style->labelColor);
    title->setParent(card);
    return title;
  };
  QVLabel* typeLabel = label("File type");
  QVLabel* depthLabel = label("Depth");
  QVLabel* colorLabel = label("Color space");

  typePopup_ = QVBatchPresetUISamples::createPopupButton([this](QVPopUpButton*) { typeDidChange(); });
  typePopup_->setParent(card);

  // Tab 1: the quality slider.
  qualityTab_ = new QWidget(card);
  auto* qualityLabel =
      QVBatchPresetUISamples::createTitleLabelWithTitle(QVBatchLocalizedUpper("Quality"), style->labelColor);
  qualityLabel->setParent(qualityTab_);
  qualitySlider_ = QVBatchPresetUISamples::createQualitySlider("", [this](double) { qualityDidChange(); });
  qualitySlider_->setParent(qualityTab_);

  // Tab 2: the TIFF compression.
  compressionTab_ = new QWidget(card);
  auto* compressionLabel =
      QVBatchPresetUISamples::createTitleLabelWithTitle(QVBatchLocalizedUpper("Compression"), style->labelColor);
  compressionLabel->setParent(compressionTab_);
  compressionPopup_ = QVBatchPresetUISamples::createPopupButton([this](QVPopUpButton*) { compressionDidChange(); });
  compressionPopup_->setParent(compressionTab_);
  std::vector<std::string> compressionTitles;
  for (const auto& title : tables().compressionTypesTitles())
    compressionTitles.push_back(QVBatchTextHelpers::uppercaseString(title));
  compressionPopup_->setTitles(compressionTitles);
  for (size_t i = 0; i < tables().compressionTypesValues().size(); ++i)
    compressionPopup_->setTagOfItemAtIndex(int(i), tables().compressionTypesValues()[i]);

  depthPopup_ = QVBatchPresetUISamples::createPopupButton([this](QVPopUpButton*) { depthDidChange(); });
  depthPopup_->setParent(card);
  depthPopup_->setTitles(tables().depthsTitles());
  for (size_t i = 0; i < tables().depthValues().size(); ++i)
    depthPopup_->setTagOfItemAtIndex(int(i), tables().depthValues()[i]);

  colorSpacePopup_ = QVBatchPresetUISamples::createPopupButton([this](QVPopUpButton*) { colorSpaceDidChange(); });
  colorSpacePopup_->setParent(card);
  colorSpacePopup_->setTitles(tables().colorSpaceTitles());

  advancedButton_ = QVCommonUISamples::roundedSpringButtonWithTitle(
      QVBatchLocalizedUpper("Advanced settings..."), style->controlTextFont, style->controlTextColor,
      style->controlBGColor, card, [this](QObject*, QVTitledButton*) { advancedSettingsBtnDidClick(); });
  advancedButton_->setParent(card);

  card->heightRule = [this] { return int(height_); };
  // The dialog that shows the card offers only the chosen type.
  card->shownRule = [this] {
    allowOnlyTypeInPanel();
    watchNameInPanel();
  };
  QPointer<QVLabel> typeTitle = typeLabel, depthTitle = depthLabel, colorTitle = colorLabel,
                    compressionTitle = compressionLabel, qualityTitle = qualityLabel;
  card->layoutRule = [this, card, typeTitle, depthTitle, colorTitle, compressionTitle, qualityTitle] {
    // One column of fixed width centred in the dialog's width: labels in the first 110 points,
    // controls after them; the advanced settings at the bottom right.
    const int x0 = std::max(kMargin, (card->width() - kContentWidth) / 2);
    const int w = std::min(kContentWidth, card->width() - 2 * kMargin);
    const int labelWidth = 110;
    auto place = [](QWidget* view, int x, int y, int width, int height) {
      if (!view) return;
      if (auto* basic = dynamic_cast<QVBasicView*>(view)) {
        basic->setFrame(CGRectMake(x, view->parentWidget()->height() - y - height, width, height));
      } else {
        view->setGeometry(x, y, width, height);
      }
    };
    int y = 20;
    place(typeTitle, x0, y, labelWidth, 28);
    place(typePopup_, x0 + labelWidth, y, std::max(150, typePopup_->sizeHint().width()), 28);
    y += 28 + 8;
    // The type's tab: as high as the view's height leaves above the bottom row.
    const int bottomRowY = int(height_) - 16 - 28;
    const int tabHeight = std::max(0, bottomRowY - y - 8);
    place(qualityTab_, x0, y, w, tabHeight);
    place(compressionTab_, x0, y, w, tabHeight);
    const int rowY = (tabHeight - 28) / 2;
    place(qualityTitle, 0, rowY, labelWidth, 28);
    place(qualitySlider_, labelWidth, rowY, 300, 28);
    place(compressionTitle, 0, rowY, labelWidth, 28);
    place(compressionPopup_, labelWidth, rowY, std::max(130, compressionPopup_->sizeHint().width()), 28);
    int x = x0;
    place(depthTitle, x, bottomRowY, labelWidth, 28);
    x += labelWidth;
    place(depthPopup_, x, bottomRowY, 104, 28);
    x += 104 + 24;
    place(colorTitle, x, bottomRowY, 108, 28);
    x += 108;
    place(colorSpacePopup_, x, bottomRowY, 136, 28);
    const int buttonWidth = 170;
    place(advancedButton_, x0 + w - buttonWidth, bottomRowY, buttonWidth, 28);
  };
}

void QVExportOptionsView::initializeWithMetadata(const qv::Value& metadata, int64_t colorSpace, int64_t depth) {
  metadata_ = metadata;
  colorSpaceIn_ = colorSpace;
  auto& defaults = qv::UserDefaults::standardUserDefaults();
  type_ = defaults.stringForKey(kQVPreviousExportImageTypeKey).value_or(kUTTypeJPEG);
  defaults.setObject(qv::Value(type_), kQVPreviousExportImageTypeKey);
  defaults.synchronize();
  typePopup_->setTitles(tables().saveTypeTitles());
  typePopup_->selectItemAtIndex(int(tables().indexOfSaveTypeWithIdentifier(type_)));
  typeDidChange();
  // The first choice of compression; the metadata's own compression, when it has one, stays.
  compressionPopup_->selectItemAtIndex(1);
  mutableImageProperties();
  depthIndex_ = depth == 8 ? 0 : 1;
  showDepthForType();
  colorSpaceIndex_ = colorSpace == 3 ? 2 : colorSpace == 2 ? 1 : 0;
  colorSpacePopup_->selectItemAtIndex(colorSpaceIndex_);
}

void QVExportOptionsView::typeDidChange() {
  typedSuffix_.clear();
  if (auto title = typePopup_->titleOfSelectedItem())
    if (auto identifier = tables().saveTypeIdentifierForTitle(*title)) type_ = *identifier;
  const bool tiff = QVBatchTextHelpers::caseInsensitiveEquals(type_, kUTTypeTIFF);
  const int tab = isJPEGType(type_) ? 1 : tiff ? 2 : 0;
  auto& defaults = qv::UserDefaults::standardUserDefaults();
  defaults.setObject(qv::Value(type_), kQVPreviousExportImageTypeKey);
  defaults.synchronize();
  allowOnlyTypeInPanel();
  const double quality = imageCompressionQuality();
  QVBatchPresetUISamples::setQualitySliderValue(qualitySlider_, quality * 100);
  // The properties carry the quality the slider shows for the new type.
  if (imageProperties_) (*imageProperties_)[kCGImageDestinationLossyCompressionQuality] = qv::Value(quality);
  changeLayoutPositionForTab(tab);
  showDepthForType();
}

bool QVExportOptionsView::selectType(const std::string& type) {
  const auto index = tables().indexOfSaveTypeWithIdentifier(type);
  const auto& types = tables().saveTypes();
  if (!typePopup_ || index >= types.size() || !QVBatchTextHelpers::caseInsensitiveEquals(types[index].identifier, type))
    return false;
  typePopup_->selectItemAtIndex(int(index));
  typeDidChange();
  return true;
}

void QVExportOptionsView::followTypeOfFileName(const std::string& path) {
  const std::string named = CGImageDestinationTypeForPath(path);
  if (named.empty() || QVBatchTextHelpers::caseInsensitiveEquals(named, type_)) return;
  followingName_ = true;
  selectType(named);
  followingName_ = false;
}

void QVExportOptionsView::nameWasTyped(const std::string& name) {
  const std::string named = CGImageDestinationTypeForPath(name);
  if (named.empty()) return;
  const std::string suffix = QFileInfo(QString::fromStdString(name)).suffix().toStdString();
  if (QVBatchTextHelpers::caseInsensitiveEquals(named, type_)) {
    // The same type under another spelling: the filter takes it, the name stays.
    if (suffix == typedSuffix_ || QVExportFileTypes::extensionForType(type_) == suffix) return;
    typedSuffix_ = suffix;
    allowOnlyTypeInPanel();
    return;
  }
  // The pop-up's change would clear the typed extension: it is set once the type is taken.
  followingName_ = true;
  const bool taken = selectType(named);
  followingName_ = false;
  if (!taken) return;
  typedSuffix_ = suffix;
  allowOnlyTypeInPanel();
}

void QVExportOptionsView::watchNameInPanel() {
  QFileDialog* dialog = panel();
  if (!dialog || dialog->acceptMode() != QFileDialog::AcceptSave || watchedDialog_ == dialog) return;
  watchedDialog_ = dialog;
  // Only what the user edits (typed, pasted, deleted): the dialog's own changes of the text are no
  // choice of a type.
  if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
    QObject::connect(edit, &QLineEdit::textEdited, widget_,
                     [this](const QString& text) { nameWasTyped(QVPathFromQt(text)); });
}

void QVExportOptionsView::showDepthForType() {
  // A JPEG or WebP file is 8 bits whatever was chosen: the popup says so and waits, keeping the
  // choice for a type that can hold 16 bits.
  const bool deep = CGImageDestinationTypeHoldsSixteenBits(type_);
  depthPopup_->setEnabled(deep);
  depthPopup_->selectItemAtIndex(deep ? depthIndex_ : 0);
}

void QVExportOptionsView::changeLayoutPositionForTab(int tab) {
  tab_ = tab;
  static constexpr double kOffsets[] = {-70, -10, -34};
  static constexpr double kHeights[] = {100, 160, 135};
  settingsTopOffset_ = kOffsets[tab];
  height_ = kHeights[tab];
  if (qualityTab_) qualityTab_->setVisible(tab == 1);
  if (compressionTab_) compressionTab_->setVisible(tab == 2);
  if (widget_) {
    widget_->setFixedHeight(int(height_));
    widget_->updateGeometry();
    static_cast<OptionsCard*>(widget_.data())->layoutRule();
    widget_->update();
  }
}

qv::Dictionary& QVExportOptionsView::mutableImageProperties() const {
  if (!imageProperties_) {
    qv::Dictionary properties = metadata_.dictionary() ? *metadata_.dictionary() : qv::Dictionary{};
    qv::Value tiff = properties[kCGImagePropertyTIFFDictionary];
    if (!tiff.isDictionary()) tiff = qv::Value(qv::Dictionary{});
    if (!tiff.contains(kCGImagePropertyTIFFCompression))
      tiff.set(kCGImagePropertyTIFFCompression,
               qv::Value(compressionPopup_ ? compressionPopup_->selectedTag().value_or(5) : 5));
    properties[kCGImagePropertyTIFFDictionary] = tiff;
    properties[kCGImageDestinationLossyCompressionQuality] = qv::Value(imageCompressionQuality());
    imageProperties_ = std::move(properties);
  }
  return *imageProperties_;
}

qv::Dictionary QVExportOptionsView::imageProperties() const {
  qv::Dictionary& properties = mutableImageProperties();
  properties[kCGImagePropertyDepth] = qv::Value(depth());
  return properties;
}

int64_t QVExportOptionsView::depth() const {
  return depthIndex_ == 0 || !CGImageDestinationTypeHoldsSixteenBits(type_) ? 8 : 16;
}

int64_t QVExportOptionsView::colorSpace() const { return tables().colorSpaceAtIndex(uint64_t(colorSpaceIndex_)); }

void QVExportOptionsView::compressionDidChange() {
  const auto tag = compressionPopup_->selectedTag();
  if (!tag) return;
  qv::Dictionary& properties = mutableImageProperties();
  properties[kCGImagePropertyTIFFDictionary].set(kCGImagePropertyTIFFCompression, qv::Value(*tag));
}

void QVExportOptionsView::qualityDidChange() {
  const double quality = std::round(qualitySlider_->value()) / 100.0;
  mutableImageProperties()[kCGImageDestinationLossyCompressionQuality] = qv::Value(quality);
  settings().saveExportImageCompressionQuality(qv::Value(quality), type_);
}

void QVExportOptionsView::depthDidChange() {
  if (depthPopup_->isEnabled()) depthIndex_ = std::max(0, depthPopup_->indexOfSelectedItem());
}

void QVExportOptionsView::colorSpaceDidChange() {
  colorSpaceIndex_ = std::max(0, colorSpacePopup_->indexOfSelectedItem());
}

double QVExportOptionsView::imageCompressionQuality() const {
  const qv::Value stored = settings().exportCompressionQualityForImageType(type_);
  return stored.isNumber() ? stored.asDouble(kDefaultQuality) : kDefaultQuality;
}

void QVExportOptionsView::advancedSettingsBtnDidClick() {
  if (delegate_) delegate_->advancedSettingsOptionDidSelect();
  if (widget_)
    if (auto* dialog = qobject_cast<QDialog*>(widget_->window())) dialog->reject();
}

QFileDialog* QVExportOptionsView::panel() const {
  return widget_ ? qobject_cast<QFileDialog*>(widget_->window()) : nullptr;
}

void QVExportOptionsView::addViewToSavePanel(QFileDialog* dialog) {
  if (!dialog || !widget_) return;
  if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout()))
    grid->addWidget(widget_, grid->rowCount(), 0, 1, grid->columnCount());
  allowOnlyTypeInPanel();
}

void QVExportOptionsView::allowOnlyTypeInPanel() {
  // A save dialog offers only the chosen type; a folder chooser has no file type to limit.
  QFileDialog* dialog = panel();
  if (followingName_ || !dialog || dialog->acceptMode() != QFileDialog::AcceptSave) return;
  const auto extension = QVExportFileTypes::extensionForType(type_);
  if (!extension) return;
  // The extension the user typed comes first: Qt's dialog puts the filter's first extension in
  // place of the name's when the filter changes.
  const QString suffix = QString::fromStdString(typedSuffix_.empty() ? *extension : typedSuffix_);
  QString patterns = QStringLiteral("*.") + suffix;
  if (!typedSuffix_.empty() && typedSuffix_ != *extension)
    patterns += QStringLiteral(" *.") + QString::fromStdString(*extension);
  // The name typed so far, read first: Qt's dialog replaces the text after the last dot itself
  // when the filter changes.
  const QStringList chosen = dialog->selectedFiles();
  const auto title = typePopup_ ? typePopup_->titleOfSelectedItem().value_or(*extension) : *extension;
  dialog->setNameFilters({QString::fromStdString(title) + QStringLiteral(" (") + patterns + ')'});
  dialog->setDefaultSuffix(suffix);
  // A typed name already says the type.
  if (!typedSuffix_.empty()) return;
  // It gets the new type's extension in place of another type's, also of another spelling
  // ("x.tif", "x.JPG"); dots of its own stay.
  if (chosen.isEmpty()) return;
  const QFileInfo info(chosen.front());
  const QString name =
      CGImageDestinationTypeForPath(info.fileName().toStdString()).empty() ? info.fileName() : info.completeBaseName();
  if (!name.isEmpty()) dialog->selectFile(name + '.' + suffix);
}
