#include "Ombrel/Classes/Application/Export/QVExportMenuContentView.h"

#include <QPointer>

#include "QVAppKit/NSView+TrackingLoop.h"
#include "QVPlatform/Log.h"

void QVExportMenuContentView::initialize() {
  QVRoundedView::initialize();
  setMouseDownCanMoveWindow(false);
  // Moves over a row reach the list (a widget without tracking would end them there).
  setMouseTracking(true);
}

void QVExportMenuContentView::setItems(std::vector<QVExportMenuItemPtr> items) {
  if (items == items_) return;
  items_ = std::move(items);
  updateUIWithCurrentItems();
}

CGSize QVExportMenuContentView::intrinsicContentSize() const {
  return CGSizeMake(kWidth, kRowHeight * double(items_.size()));
}

void QVExportMenuContentView::updateUIWithCurrentItems() {
  for (auto* row : itemViews_) {
    row->removeFromSuperview();
    row->deleteLater();
  }
  itemViews_.clear();
  highlightedItemView_ = nullptr;
  for (size_t i = 0; i < items_.size(); ++i) {
    auto* row = QVMake<QVExportMenuItemView>();
    row->setItem(items_[i]);
    row->setObjectName(QString("view%1").arg(i));
    row->setMouseTracking(true);
    addSubview(row);
    itemViews_.push_back(row);
  }
  setNeedsLayout();
  layoutSubtreeIfNeeded();
}

void QVExportMenuContentView::layout() {
  QVRoundedView::layout();
  // Rows from the top down, each the list's width.
  const CGSize size = bounds().size;
  for (size_t i = 0; i < itemViews_.size(); ++i)
    itemViews_[i]->setFrame(CGRectMake(0, size.height - kRowHeight * double(i + 1), size.width, kRowHeight));
}

QVExportMenuItemView* QVExportMenuContentView::itemAtPoint(QPointF windowPoint) const {
  for (auto* row : itemViews_) {
    if (!row->window()) continue;
    const QPointF local = row->mapFrom(row->window(), windowPoint);
    if (QRectF(row->rect()).contains(local)) return row;
  }
  return nullptr;
}

void QVExportMenuContentView::highlightItemIfNeededAtPoint(QPointF windowPoint) {
  QVExportMenuItemView* row = itemAtPoint(windowPoint);
  if (row == highlightedItemView_) return;
  for (auto* view : itemViews_) view->setHighlighted(false);
  if (row) row->setHighlighted(true);
  highlightedItemView_ = row;
}

QVExportMenuItemView* QVExportMenuContentView::selectItemForLocationInWindow(QPointF windowPoint) {
  QVLogDebug("select");
  for (auto* view : itemViews_) view->setHighlighted(false);
  QVExportMenuItemView* row = itemAtPoint(windowPoint);
  if (row) row->setHighlighted(true);
  highlightedItemView_ = row;
  return row;
}

void QVExportMenuContentView::deselectAllItems() {
  for (auto* view : itemViews_) view->setHighlighted(false);
  highlightedItemView_ = nullptr;
}

void QVExportMenuContentView::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() != Qt::NoButton) return QVRoundedView::mouseMoveEvent(event);
  event->accept();
  mouseMoved(event->scenePosition());
}

void QVExportMenuContentView::leaveEvent(QEvent* event) {
  QVRoundedView::leaveEvent(event);
  mouseExited();
}

void QVExportMenuContentView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QVRoundedView::mousePressEvent(event);
  event->accept();
  highlightItemIfNeededAtPoint(event->scenePosition());
  QPointer<QVExportMenuContentView> weak(this);
  NSViewTrackingLoop::runTrackingLoop(
      this,
      [weak](const QMouseEvent& e) {
        if (weak) weak->highlightItemIfNeededAtPoint(e.scenePosition());
      },
      [weak](const QMouseEvent&) {
        if (!weak || !weak->highlightedItemView_) return;
        QVExportMenuItemView* row = weak->highlightedItemView_;
        const QVExportMenuItemPtr item = row->item();
        row->setHighlighted(false);
        weak->highlightedItemView_ = nullptr;
        if (weak->delegate_) weak->delegate_->exportMenuContentViewDidSelectExportMenuItem(weak, item);
      });
}
