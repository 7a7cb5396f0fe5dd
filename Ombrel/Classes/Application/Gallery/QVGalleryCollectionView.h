#pragma once
// The gallery's grid: a list view in icon mode over the gallery's model, painted by the cell
// painter, with extended selection (click, Shift, Ctrl, rubber band), the flow layout's spacing
// and the thin scroller. While not `enabled` it takes no clicks, drags or wheel turns.
//
// Cell rectangles: an item's frame in the grid's space, y counted from the top of the visible
// area; with `reverseCoordinateSpace` y is counted up from the bottom edge instead (the toolkit's
// bottom-left convention), as transitions read it.
//
// Main thread only.
#include <QListView>
#include <functional>
#include <vector>

#include "QVBase/Geometry.h"

class QVScrollView;

class QVGalleryCollectionView : public QListView {
 public:
  explicit QVGalleryCollectionView(QWidget* parent = nullptr);

  bool enabled() const { return enabled_; }
  void setGridEnabled(bool enabled);
  QVScrollView* scrollView() const { return scrollView_; }

  // The frame of the item at the row (a rectangle of the item size at the origin when there is
  // no such row).
  CGRect cellRectForItem(int row, bool reverseCoordinateSpace) const;
  CGRect cellRectForItem(int row) const { return cellRectForItem(row, true); }
  // The visible items' frames (reversed), top row first, then left to right; at most 16.
  std::vector<CGRect> cellRects() const;
  // Rows whose items lie at least partly in the visible area, in order.
  std::vector<int> visibleRows() const;

  // The context menu is asked of this when the user opens it at a point.
  std::function<void(const QPoint& globalPosition)> onContextMenu;

  static constexpr size_t kMaxCellRects = 16;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void updateMargins();

  bool enabled_ = true;
  QVScrollView* scrollView_ = nullptr;
};
