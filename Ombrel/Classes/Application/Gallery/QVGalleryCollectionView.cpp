#include "Ombrel/Classes/Application/Gallery/QVGalleryCollectionView.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "Ombrel/Classes/Application/Gallery/QVGalleryFlowLayout.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVScrollView.h"

QVGalleryCollectionView::QVGalleryCollectionView(QWidget* parent) : QListView(parent) {
  setViewMode(QListView::IconMode);
  setFlow(QListView::LeftToRight);
  setWrapping(true);
  setMovement(QListView::Static);
  setResizeMode(QListView::Adjust);
  setLayoutMode(QListView::SinglePass);
  setUniformItemSizes(true);
  setSpacing(int(QVGalleryFlowLayout::kInterItemSpacing));
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionRectVisible(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setDragDropMode(QAbstractItemView::NoDragDrop);
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  verticalScrollBar()->setSingleStep(24);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(false);
  setAttribute(Qt::WA_MacShowFocusRect, false);
  // The grid paints its own background, so scrolling repaints nothing behind it (and no style
  // sheet: it would route every item through the slow style path).
  QPalette palette = viewport()->palette();
  palette.setColor(QPalette::Base, QVUIStyle::themeBGColor());
  palette.setColor(QPalette::Window, QVUIStyle::themeBGColor());
  setPalette(palette);
  viewport()->setPalette(palette);
  viewport()->setAutoFillBackground(true);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent, true);
  setAutoFillBackground(false);
  scrollView_ = new QVScrollView(this);
}

void QVGalleryCollectionView::setGridEnabled(bool enabled) {
  enabled_ = enabled;
  scrollView_->setScrollingEnabled(enabled);
}

void QVGalleryCollectionView::updateMargins() {
  // Qt's icon mode puts the spacing before each item and row, which makes the inset; the margins
  // centre the columns.
  const int scroller = verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff ? 0 : verticalScrollBar()->width();
  // Qt wraps an item that would touch the viewport's right edge: two points of slack keep the
  // last column.
  const int slack = 2;
  int left = 0, right = 0;
  QVGalleryFlowLayout::marginsForWidth(width() - scroller - slack, &left, &right);
  const QMargins wanted(left, 0, right, 0);
  if (viewportMargins() != wanted) setViewportMargins(wanted);
}

void QVGalleryCollectionView::resizeEvent(QResizeEvent* event) {
  updateMargins();
  QListView::resizeEvent(event);
}

void QVGalleryCollectionView::paintEvent(QPaintEvent* event) {
  updateMargins();
  QListView::paintEvent(event);
}

void QVGalleryCollectionView::mousePressEvent(QMouseEvent* event) {
  if (enabled_) QListView::mousePressEvent(event);
}
void QVGalleryCollectionView::mouseMoveEvent(QMouseEvent* event) {
  if (enabled_) QListView::mouseMoveEvent(event);
}
void QVGalleryCollectionView::mouseReleaseEvent(QMouseEvent* event) {
  if (enabled_) QListView::mouseReleaseEvent(event);
}
void QVGalleryCollectionView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (enabled_) QListView::mouseDoubleClickEvent(event);
}
void QVGalleryCollectionView::wheelEvent(QWheelEvent* event) {
  if (enabled_) QListView::wheelEvent(event);
}

void QVGalleryCollectionView::contextMenuEvent(QContextMenuEvent* event) {
  if (!enabled_ || !onContextMenu) return;
  onContextMenu(event->globalPos());
}

CGRect QVGalleryCollectionView::cellRectForItem(int row, bool reverseCoordinateSpace) const {
  if (!model() || row < 0 || row >= model()->rowCount()) {
    return CGRectMake(0, 0, QVGalleryFlowLayout::kItemWidth, QVGalleryFlowLayout::kItemHeight);
  }
  // The item's rectangle inside the view: the viewport's place plus the item's place in it.
  const QRect inViewport = visualRect(model()->index(row, 0));
  const QRect r = inViewport.translated(viewport()->geometry().topLeft());
  CGRect frame = CGRectMake(r.x(), r.y(), r.width(), r.height());
  if (reverseCoordinateSpace) frame.origin.y = height() - r.y() - r.height();
  return frame;
}

std::vector<int> QVGalleryCollectionView::visibleRows() const {
  std::vector<int> rows;
  if (!model()) return rows;
  const QRect visible = viewport()->rect();
  for (int row = 0; row < model()->rowCount(); ++row) {
    if (visualRect(model()->index(row, 0)).intersects(visible)) rows.push_back(row);
  }
  return rows;
}

std::vector<CGRect> QVGalleryCollectionView::cellRects() const {
  std::vector<CGRect> rects;
  for (int row : visibleRows()) rects.push_back(cellRectForItem(row, true));
  // Top row first (the greater y, counting up), then left to right; equal rectangles are equal,
  // so the order is a strict weak one.
  std::sort(rects.begin(), rects.end(), [](const CGRect& a, const CGRect& b) {
    if (a.origin.y != b.origin.y) return a.origin.y > b.origin.y;
    return a.origin.x < b.origin.x;
  });
  if (rects.size() > kMaxCellRects) rects.resize(kMaxCellRects);
  return rects;
}
