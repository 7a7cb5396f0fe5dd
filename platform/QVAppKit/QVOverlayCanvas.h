#pragma once
// The canvas above a window's content on which screen transitions and flights draw snapshots of
// views (QVView::snapshot) as they move, fade and scale. It covers the window, stays on top, lets
// every click through and draws nothing while it holds no items.
#include <QColor>
#include <QPixmap>
#include <QWidget>
#include <cstdint>
#include <map>
#include <vector>

#include "QVBase/Geometry.h"

class QVOverlayCanvas : public QWidget {
 public:
  struct Item {
    QPixmap picture;            // keeps its device pixel ratio
    CGRect frame = CGRectZero;  // in the window's bottom-left space
    double alpha = 1;
    double scale = 1;  // about the frame's centre
    double cornerRadius = 0;
    QColor backgroundColor;  // filled under the picture, rounded like it; none when invalid
  };
  using ItemId = uint64_t;

  // The window's canvas, made on first use and owned by the window.
  static QVOverlayCanvas* overlayForWindow(QWidget* window);

  ItemId addItem(const Item& item);
  // False for an unknown id.
  bool updateItem(ItemId id, const Item& item);
  bool removeItem(ItemId id);
  void removeAllItems();
  const Item* item(ItemId id) const;
  // Makes now the smaller copies the item's picture needs to be drawn `pointWidth` wide, so that
  // the frame that first draws it that small does not make them.
  void prepareItemForWidth(ItemId id, double pointWidth);
  size_t itemCount() const { return items_.size(); }

 protected:
  explicit QVOverlayCanvas(QWidget* window);
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Halved copies of a picture drawn much smaller than its size (a shrinking snapshot), made once.
  const QPixmap& pictureForWidth(ItemId id, const QPixmap& picture, double pixelWidth);
  struct Levels {
    qint64 key = 0;
    std::vector<QPixmap> halves;
  };
  std::map<ItemId, Item> items_;
  std::map<ItemId, Levels> levels_;
  ItemId next_ = 1;
};
