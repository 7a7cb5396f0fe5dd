#pragma once
// The base of the painters of collection cells: an item delegate that paints the items of a list
// view in icon mode from its model, knows whether an item is selected or highlighted, and hears the
// presses on an item with their click count (a second press in the double-click time counts 2).
//
// Main thread only.
#include <QModelIndex>
#include <QStyledItemDelegate>

class QVSCollectionViewCell : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  // Told for each left press on an item, after the view's own handling of it.
  virtual void mouseDown(const QModelIndex& index, int clickCount) {}

  static bool isSelected(const QStyleOptionViewItem& option);

 protected:
  bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};
