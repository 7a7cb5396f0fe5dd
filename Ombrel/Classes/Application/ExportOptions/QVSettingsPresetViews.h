#pragma once
// The two preset lists of the export options: a list view over a small model of presets, a
// delegate that paints each row (the "checkmark" artwork and the title on the selected row's fill)
// and the container with the list's title above it.
//
// Which selection changes a list accepts is the owner's rule (`setSelectionRule`): the list asks
// it through its own `selectionCommand` with whether the change would leave a row selected in it,
// so a click on empty space, a toggle or a key press can be refused before anything changes.
//
// Main thread only.
#include <QAbstractListModel>
#include <QListView>
#include <QPointer>
#include <QStyledItemDelegate>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QVAppKit/QVView.h"

class QVBatchPreset;
class QLabel;

// The titles of one list's rows, read from its owner on each reload.
class QVSettingsPresetListModel : public QAbstractListModel {
 public:
  using Rows = std::function<std::vector<std::shared_ptr<QVBatchPreset>>()>;
  QVSettingsPresetListModel(Rows rows, QObject* parent);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  std::shared_ptr<QVBatchPreset> presetAt(int row) const;
  void reload();

 private:
  Rows source_;
  std::vector<std::shared_ptr<QVBatchPreset>> rows_;
};

// Paints a row: the selected row on the controls' fill with the checkmark in the theme colour,
// a faint fill under the pointer, the title.
class QVSettingsPresetCellDelegate : public QStyledItemDelegate {
 public:
  static constexpr int kRowHeight = 20;
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  // Where the title sits in a row (the name editor goes there too).
  static QRect titleRect(const QRect& rowRect);
  static QRect iconRect(const QRect& rowRect);
  static QColor selectionColor();
};

class QVSettingsPresetTableView : public QListView {
 public:
  // (whether the change leaves a row selected in this list) → whether it may happen.
  using SelectionRule = std::function<bool(bool leavesRowSelected)>;
  QVSettingsPresetTableView(int64_t tag, QWidget* parent = nullptr);
  int64_t tag() const { return tag_; }
  void setSelectionRule(SelectionRule rule) { rule_ = std::move(rule); }
  QVSettingsPresetListModel* presetModel() const { return dynamic_cast<QVSettingsPresetListModel*>(model()); }
  // The selected row, -1 when none.
  int selectedRow() const;
  // Selects one row (or none with -1) without asking the rule.
  void selectRowSilently(int row);
  using QListView::visualRect;

 protected:
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event = nullptr) const override;

 private:
  int64_t tag_;
  SelectionRule rule_;
};

// A list with its title: "DEFAULT PRESETS" or "USER PRESETS" above the rows.
struct QVSettingsPresetViews {
  QPointer<QVView> containerView;
  QPointer<QVSettingsPresetTableView> tableView;
  QPointer<QLabel> titleLabel;
};
