#pragma once
// The export menu's list: one 44-point row per target, 250 points wide, first row at the top. The
// row under the pointer is highlighted as it moves and cleared when it leaves; a press starts a
// press-drag-release loop in which the highlight follows the pointer and the release over a row
// chooses it.
//
// Main thread only.
#include <QMouseEvent>
#include <QPointF>
#include <vector>

#include "Ombrel/Classes/Application/Export/QVExportMenuItemView.h"
#include "QVAppKit/QVRoundedView.h"

class QVExportMenuContentView;

class QVExportMenuContentViewDelegate {
 public:
  virtual ~QVExportMenuContentViewDelegate() = default;
  virtual void exportMenuContentViewDidSelectExportMenuItem(QVExportMenuContentView*, const QVExportMenuItemPtr&) {}
};

class QVExportMenuContentView : public QVRoundedView {
 public:
  static constexpr double kRowHeight = 44;
  static constexpr double kWidth = 250;
  static constexpr double titleTextOffset() { return QVExportMenuItemView::titleTextOffset(); }

  using QVRoundedView::QVRoundedView;
  void initialize() override;
  void layout() override;

  const std::vector<QVExportMenuItemPtr>& items() const { return items_; }
  // Rebuilds the rows when the list differs from the current one.
  void setItems(std::vector<QVExportMenuItemPtr> items);
  const std::vector<QVExportMenuItemView*>& itemViews() const { return itemViews_; }
  QVExportMenuItemView* highlightedItemView() const { return highlightedItemView_; }
  QVExportMenuContentViewDelegate* delegate() const { return delegate_; }
  void setDelegate(QVExportMenuContentViewDelegate* delegate) { delegate_ = delegate; }

  // (250, 44 per row).
  CGSize intrinsicContentSize() const;

  // Points are in the list's window (Qt's window space).
  QVExportMenuItemView* itemAtPoint(QPointF windowPoint) const;
  void highlightItemIfNeededAtPoint(QPointF windowPoint);
  QVExportMenuItemView* selectItemForLocationInWindow(QPointF windowPoint);
  void deselectAllItems();
  void mouseMoved(QPointF windowPoint) { highlightItemIfNeededAtPoint(windowPoint); }
  void mouseExited() { deselectAllItems(); }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void updateUIWithCurrentItems();

  std::vector<QVExportMenuItemPtr> items_;
  std::vector<QVExportMenuItemView*> itemViews_;
  QVExportMenuItemView* highlightedItemView_ = nullptr;
  QVExportMenuContentViewDelegate* delegate_ = nullptr;
};
