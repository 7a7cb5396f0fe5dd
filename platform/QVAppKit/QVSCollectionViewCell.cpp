#include "QVAppKit/QVSCollectionViewCell.h"

#include <QMouseEvent>
#include <QStyle>

bool QVSCollectionViewCell::isSelected(const QStyleOptionViewItem& option) {
  return option.state.testFlag(QStyle::State_Selected);
}

bool QVSCollectionViewCell::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) {
  const bool handled = QStyledItemDelegate::editorEvent(event, model, option, index);
  if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton) mouseDown(index, event->type() == QEvent::MouseButtonDblClick ? 2 : 1);
  }
  return handled;
}
