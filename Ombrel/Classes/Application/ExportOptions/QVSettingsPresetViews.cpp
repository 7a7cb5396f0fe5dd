#include "Ombrel/Classes/Application/ExportOptions/QVSettingsPresetViews.h"

#include <QPainter>

#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "Ombrel/Classes/Business/Batch/QVBatchPreset.h"
#include "QVAppKit/QVArtwork.h"
#include "QVAppKit/QVFonts.h"

// ---- QVSettingsPresetListModel ----

QVSettingsPresetListModel::QVSettingsPresetListModel(Rows rows, QObject* parent)
    : QAbstractListModel(parent), source_(std::move(rows)) {
  rows_ = source_ ? source_() : decltype(rows_){};
}

int QVSettingsPresetListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(rows_.size());
}

QVariant QVSettingsPresetListModel::data(const QModelIndex& index, int role) const {
  auto preset = presetAt(index.row());
  if (!index.isValid() || !preset) return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return QString::fromStdString(preset->name());
  return {};
}

std::shared_ptr<QVBatchPreset> QVSettingsPresetListModel::presetAt(int row) const {
  return row >= 0 && size_t(row) < rows_.size() ? rows_[size_t(row)] : nullptr;
}

void QVSettingsPresetListModel::reload() {
  beginResetModel();
  rows_ = source_ ? source_() : decltype(rows_){};
  endResetModel();
}

// ---- QVSettingsPresetCellDelegate ----

// The controls' fill: the selection reads as one of the window's controls, the checkmark carries
// the theme colour as the check boxes and the segmented control do.
QColor QVSettingsPresetCellDelegate::selectionColor() { return QVUIStyle::batchSettingsStyle()->controlBGColor; }

QRect QVSettingsPresetCellDelegate::iconRect(const QRect& row) {
  // 9 high, 1.1 times as wide, 5 from the leading edge, centred vertically.
  const int h = 9, w = 10;
  return QRect(row.left() + 5, row.top() + (row.height() - h) / 2, w, h);
}

QRect QVSettingsPresetCellDelegate::titleRect(const QRect& row) {
  const QRect icon = iconRect(row);
  return QRect(icon.right() + 1 + 5, row.top() + (row.height() - 17) / 2, row.right() - icon.right() - 8, 17);
}

void QVSettingsPresetCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  const bool selected = option.state & QStyle::State_Selected;
  const QRect row = option.rect;
  if (selected) {
    painter->setPen(Qt::NoPen);
    painter->setBrush(selectionColor());
    painter->drawRoundedRect(QRectF(row).adjusted(0, 1, 0, -1), 5, 5);
    const QRect icon = iconRect(row);
    painter->drawPixmap(icon, QVArtwork::pixmap("checkmark", CGSizeMake(icon.width(), icon.height()),
                                                painter->device() ? painter->device()->devicePixelRatioF() : 1.0,
                                                QVUIStyle::themeColor()));
  } else if (option.state & QStyle::State_MouseOver) {
    painter->setPen(Qt::NoPen);
    painter->setBrush(QColor(255, 255, 255, 14));
    painter->drawRoundedRect(QRectF(row).adjusted(0, 1, 0, -1), 5, 5);
  }
  QFont font = QVFonts::fontWithName("SF Pro Display", 12);
  painter->setFont(font);
  painter->setPen(Qt::white);
  const QRect title = titleRect(row);
  const QString text =
      painter->fontMetrics().elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, title.width());
  painter->drawText(title, Qt::AlignLeft | Qt::AlignVCenter, text);
  painter->restore();
}

QSize QVSettingsPresetCellDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  return QSize(option.rect.width() > 0 ? option.rect.width() : 200, kRowHeight);
}

// ---- QVSettingsPresetTableView ----

QVSettingsPresetTableView::QVSettingsPresetTableView(int64_t tag, QWidget* parent) : QListView(parent), tag_(tag) {
  setFrameShape(QFrame::NoFrame);
  setAttribute(Qt::WA_MacShowFocusRect, false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setUniformItemSizes(true);
  setMouseTracking(true);
  viewport()->setAttribute(Qt::WA_Hover);
  // A slim scroll bar in the window's greys, without arrows.
  setStyleSheet(QStringLiteral(
      "QListView { background: transparent; border: none; outline: none; }"
      "QScrollBar:vertical { background: transparent; width: 6px; margin: 2px 0 2px 0; }"
      "QScrollBar::handle:vertical { background: rgba(255, 255, 255, 60); border-radius: 3px; min-height: 16px; }"
      "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
      "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
  viewport()->setAutoFillBackground(false);
  setItemDelegate(new QVSettingsPresetCellDelegate(this));
}

int QVSettingsPresetTableView::selectedRow() const {
  if (!selectionModel()) return -1;
  const auto rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

void QVSettingsPresetTableView::selectRowSilently(int row) {
  if (!selectionModel() || !model()) return;
  if (row < 0 || row >= model()->rowCount()) {
    selectionModel()->clearSelection();
    return;
  }
  const QModelIndex index = model()->index(row, 0);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  scrollTo(index);
}

QItemSelectionModel::SelectionFlags QVSettingsPresetTableView::selectionCommand(const QModelIndex& index,
                                                                                const QEvent* event) const {
  const auto flags = QListView::selectionCommand(index, event);
  if (!rule_ || flags == QItemSelectionModel::NoUpdate || !selectionModel()) return flags;
  bool leavesRowSelected;
  if (index.isValid()) {
    const bool removes = (flags & QItemSelectionModel::Deselect) ||
                         ((flags & QItemSelectionModel::Toggle) && selectionModel()->isSelected(index));
    leavesRowSelected = !removes;
  } else {
    leavesRowSelected = !(flags & QItemSelectionModel::Clear) && selectionModel()->hasSelection();
  }
  return rule_(leavesRowSelected) ? flags : QItemSelectionModel::NoUpdate;
}
