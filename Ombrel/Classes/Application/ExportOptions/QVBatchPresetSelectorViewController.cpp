#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetSelectorViewController.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>

#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetUISamples.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVCommonUISamples.h"
#include "QVAppKit/QVFonts.h"

namespace {

void placeTopLeft(QWidget* view, const QRectF& rect) { QVBatchPresetSectionViewController::place(view, rect); }

}  // namespace

// Delete and Backspace on the lists; Tab and Escape in the name editor.
class QVBatchPresetSelectorViewController::KeyFilter : public QObject {
 public:
  KeyFilter(QVBatchPresetSelectorViewController* owner, QObject* parent) : QObject(parent), owner_(owner) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (owner_->nameEditor_ && watched == owner_->nameEditor_) {
      // Tab ends the naming like Return; Escape keeps the editor (the row would otherwise look saved).
      if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
        owner_->endNaming();
        return true;
      }
      return key->key() == Qt::Key_Escape;
    }
    if (key->key() == Qt::Key_Delete || key->key() == Qt::Key_Backspace) {
      owner_->deleteClicked();
      return true;
    }
    return false;
  }

 private:
  QVBatchPresetSelectorViewController* owner_;
};

QVBatchPresetSelectorViewController::QVBatchPresetSelectorViewController(std::shared_ptr<QVBatchPresetManager> store)
    : model_(std::make_unique<QVBatchPresetSelectorModel>(store ? std::move(store) : QVAppLink::batchPresetManager())) {
  model_->setView(this);
  settingsVC_ = std::make_unique<QVBatchPresetSettingsViewController>(model_->settings());
}

QVBatchPresetSelectorViewController::~QVBatchPresetSelectorViewController() {
  // The editor's focus may go as the views go: it must not call back into a controller half gone.
  if (nameEditor_) {
    nameEditor_->removeEventFilter(keyFilter_);
    QObject::disconnect(nameEditor_, nullptr, nullptr, nullptr);
  }
  model_->setView(nullptr);
  settingsVC_.reset();
  if (isViewLoaded()) delete view();
}

QVSettingsPresetTableView* QVBatchPresetSelectorViewController::tableForType(int64_t type) const {
  return type == kQVBatchPresetTypeDefault ? defaultViews_.tableView : customViews_.tableView;
}

QVRoundedSpringButton* QVBatchPresetSelectorViewController::okButton() {
  if (!okButton_) {
    okButton_ = QVCommonUISamples::roundedSpringButtonWithTitle(
        QVBatchLocalizedUpper("Continue"), QVFonts::fontWithName("SF Pro Display", 12), QColor(30, 30, 30), Qt::white,
        view(), [this](QObject*, QVTitledButton*) { okClicked(); });
  }
  return okButton_;
}

QVRoundedSpringButton* QVBatchPresetSelectorViewController::saveButton() {
  if (!saveButton_) {
    saveButton_ = QVCommonUISamples::roundedSpringButtonWithTitle(
        QVBatchLocalizedUpper("Save settings..."), QVFonts::fontWithName("SF Pro Display", 12), Qt::white,
        QColor(59, 59, 59), view(), [this](QObject*, QVTitledButton*) { saveClicked(); });
  }
  return saveButton_;
}

QString QVBatchPresetSelectorViewController::namingMessage() const {
  return messageLabel_ && messageLabel_->isVisible() ? messageLabel_->text() : QString();
}

QVSettingsPresetViews QVBatchPresetSelectorViewController::createTableViewContainerForPresetType(
    int64_t type, const std::string& title) {
  QVSettingsPresetViews views;
  views.containerView = QVMake<QVView>();
  views.containerView->setBackgroundColor(QColor());
  views.titleLabel = new QLabel(QString::fromStdString(title), views.containerView);
  QFont font = QVFonts::fontWithName("SF Pro Display", 10);
  font.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
  views.titleLabel->setFont(font);
  QPalette palette = views.titleLabel->palette();
  palette.setColor(QPalette::WindowText, QVUIStyle::batchSettingsStyle()->labelColor);
  views.titleLabel->setPalette(palette);
  views.tableView = new QVSettingsPresetTableView(type, views.containerView);
  auto* list = new QVSettingsPresetListModel([this, type] { return model_->presetsWithType(type); }, views.tableView);
  views.tableView->setModel(list);
  views.tableView->setSelectionRule(
      [this, type](bool leavesRowSelected) { return model_->shouldChangeSelection(type, leavesRowSelected); });
  QPointer<QVSettingsPresetTableView> table = views.tableView;
  QObject::connect(views.tableView->selectionModel(), &QItemSelectionModel::selectionChanged, views.tableView,
                   [this, table] {
                     if (table) onTableSelectionDidChange(table);
                   });
  views.tableView->installEventFilter(keyFilter_);
  QVView* container = views.containerView;
  QPointer<QLabel> label = views.titleLabel;
  container->addConstraint([container, label, table] {
    const double w = container->width(), h = container->height();
    if (label) placeTopLeft(label, QRectF(5, 0, w - 5, kListTitleHeight));
    if (table) placeTopLeft(table, QRectF(0, kListTitleHeight + kListTitleGap, w, std::max(0.0, h - 24)));
  });
  return views;
}

void QVBatchPresetSelectorViewController::viewDidLoad() {
  QVViewControllerWithoutNib::viewDidLoad();
  QVView* main = mainView();
  main->setBackgroundColor(QColor());
  keyFilter_ = new KeyFilter(this, main);
  defaultViews_ =
      createTableViewContainerForPresetType(kQVBatchPresetTypeDefault, QVBatchLocalizedUpper("Default presets"));
  customViews_ = createTableViewContainerForPresetType(kQVBatchPresetTypeUser, QVBatchLocalizedUpper("User presets"));
  main->addSubview(defaultViews_.containerView);
  main->addSubview(customViews_.containerView);
  QWidget* pane = settingsVC_->view();
  pane->setParent(main);
  pane->show();
  main->addSubview(okButton());
  main->addSubview(saveButton());
  messageLabel_ = new QLabel(main);
  messageLabel_->setWordWrap(true);
  messageLabel_->setFont(QVFonts::fontWithName("SF Pro Display", 11));
  QPalette palette = messageLabel_->palette();
  palette.setColor(QPalette::WindowText, QColor(255, 138, 101));
  messageLabel_->setPalette(palette);
  messageLabel_->hide();
  main->addConstraint([this] { layoutViews(); });
  batchPresetSelectorEditingModeDidChange(model_->editingMode());
}

double QVBatchPresetSelectorViewController::defaultListHeightForCount(size_t count) {
  const double rows = double(std::min<size_t>(count, 6)) * QVSettingsPresetCellDelegate::kRowHeight;
  return std::max(kDefaultListHeight, kListTitleHeight + kListTitleGap + rows + 2);
}

void QVBatchPresetSelectorViewController::layoutViews() {
  QVView* main = mainView();
  const double w = main->width(), h = main->height();
  const double listHeight =
      defaultListHeightForCount(model_ ? model_->presetsWithType(kQVBatchPresetTypeDefault).size() : 0);
  placeTopLeft(defaultViews_.containerView, QRectF(kListLeft, kTop, kListWidth, listHeight));
  const double userTop = kTop + listHeight + kListGap;
  const double buttonsTop = h - kMargin - kButtonHeight;
  // The user list ends where the buttons' row begins; the refusal message sits in that row.
  placeTopLeft(customViews_.containerView,
               QRectF(kListLeft, userTop, kListWidth, std::max(0.0, buttonsTop - 8 - userTop)));
  placeTopLeft(messageLabel_, QRectF(kListLeft + 5, buttonsTop - 4, kListWidth + 40, kButtonHeight + 8));
  const double paneLeft = kListLeft + kListWidth + kMargin;
  placeTopLeft(settingsVC_->view(), QRectF(paneLeft, kTop, std::max(0.0, w - kMargin - paneLeft),
                                           std::max(0.0, buttonsTop - kMargin - kTop)));
  placeTopLeft(okButton(), QRectF(w - kMargin - kOKWidth, buttonsTop, kOKWidth, kButtonHeight));
  placeTopLeft(saveButton(),
               QRectF(w - kMargin - kOKWidth - kButtonGap - kSaveWidth, buttonsTop, kSaveWidth, kButtonHeight));
  placeNameEditor();
}

void QVBatchPresetSelectorViewController::viewWillAppear() {
  view();
  if (appeared_) return;
  appeared_ = true;
  model_->open();
  applySelection();
  settingsVC_->reloadEditors();
}

// ---- Lists ----

void QVBatchPresetSelectorViewController::onTableSelectionDidChange(QVSettingsPresetTableView* table) {
  if (applyingSelection_) return;
  const int row = table->selectedRow();
  if (row < 0) return;
  model_->selectRow({table->tag(), row});
}

void QVBatchPresetSelectorViewController::applySelection() {
  if (!isViewLoaded()) return;
  applyingSelection_ = true;
  const auto selection = model_->selection();
  for (int64_t type : {kQVBatchPresetTypeDefault, kQVBatchPresetTypeUser}) {
    if (auto* table = tableForType(type))
      table->selectRowSilently(selection && selection->type == type ? int(selection->row) : -1);
  }
  applyingSelection_ = false;
}

void QVBatchPresetSelectorViewController::batchPresetSelectorRowsDidChange() {
  if (!isViewLoaded()) return;
  applyingSelection_ = true;
  for (int64_t type : {kQVBatchPresetTypeDefault, kQVBatchPresetTypeUser})
    if (auto* table = tableForType(type)) table->presetModel()->reload();
  applyingSelection_ = false;
  applySelection();
}

void QVBatchPresetSelectorViewController::batchPresetSelectorSelectionDidChange() { applySelection(); }

void QVBatchPresetSelectorViewController::batchPresetSelectorEditingModeDidChange(bool editingMode) {
  if (!isViewLoaded()) return;
  saveButton()->setVisible(model_->saveButtonVisible());
  if (editingMode) applySelection();
}

void QVBatchPresetSelectorViewController::batchPresetSelectorShownPresetDidChange() {
  if (settingsVC_ && settingsVC_->isViewLoaded()) settingsVC_->reloadEditors();
}

// ---- Buttons and keys ----

void QVBatchPresetSelectorViewController::okClicked() {
  // A name being typed is taken first, so the row that looks saved is saved.
  endNaming();
  if (delegate_) delegate_->batchPresetSelectorOKDidClick(this);
}

void QVBatchPresetSelectorViewController::saveClicked() {
  if (!model_->saveClicked()) return;
  openNameEditor();
}

void QVBatchPresetSelectorViewController::deleteClicked() { model_->deleteSelectedPreset(); }

// ---- Naming ----

void QVBatchPresetSelectorViewController::openNameEditor() {
  if (nameEditor_) return;
  auto* table = customViews_.tableView.data();
  nameEditor_ = new QLineEdit(table->viewport());
  nameEditor_->setText(QString::fromStdString(model_->namingPreset()->name()));
  nameEditor_->setFont(QVFonts::fontWithName("SF Pro Display", 12));
  nameEditor_->setFrame(false);
  nameEditor_->setAttribute(Qt::WA_MacShowFocusRect, false);
  const QColor theme = QVUIStyle::themeColor();
  nameEditor_->setStyleSheet(QStringLiteral("QLineEdit { background: rgb(40, 40, 40); color: white; border: 1px solid "
                                            "rgb(%1, %2, %3); border-radius: 3px; padding: 0 3px; "
                                            "selection-background-color: rgb(%1, %2, %3); }")
                                 .arg(theme.red())
                                 .arg(theme.green())
                                 .arg(theme.blue()));
  nameEditor_->installEventFilter(keyFilter_);
  QObject::connect(nameEditor_, &QLineEdit::editingFinished, nameEditor_, [this] { endNaming(); });
  QObject::connect(nameEditor_, &QLineEdit::textEdited, nameEditor_, [this] {
    if (messageLabel_) messageLabel_->hide();
  });
  placeNameEditor();
  nameEditor_->show();
  nameEditor_->selectAll();
  nameEditor_->setFocus(Qt::OtherFocusReason);
}

void QVBatchPresetSelectorViewController::placeNameEditor() {
  if (!nameEditor_) return;
  auto row = model_->namingRow();
  auto* table = customViews_.tableView.data();
  if (!row || !table) return;
  const QRect rowRect = table->visualRect(table->model()->index(int(row->row), 0));
  QRect title = QVSettingsPresetCellDelegate::titleRect(rowRect);
  title.adjust(-4, -2, 0, 2);
  nameEditor_->setGeometry(title);
}

bool QVBatchPresetSelectorViewController::endNaming() {
  if (!model_->namingPreset() || !nameEditor_ || endingNaming_) return !model_->namingPreset();
  endingNaming_ = true;
  const std::string typed = nameEditor_->text().toStdString();
  const auto result = model_->finishNaming(typed);
  endingNaming_ = false;
  if (result == QVBatchPresetSelectorModel::NamingResult::Refused) {
    if (messageLabel_) {
      messageLabel_->setText(QString::fromStdString(model_->lastMessage()));
      messageLabel_->show();
      messageLabel_->raise();
    }
    return false;
  }
  if (messageLabel_) messageLabel_->hide();
  QPointer<QLineEdit> editor = nameEditor_;
  nameEditor_ = nullptr;
  if (editor) {
    editor->removeEventFilter(keyFilter_);
    QObject::disconnect(editor, nullptr, nullptr, nullptr);
    editor->hide();
    editor->deleteLater();
  }
  if (auto* table = customViews_.tableView.data()) table->setFocus(Qt::OtherFocusReason);
  return true;
}
