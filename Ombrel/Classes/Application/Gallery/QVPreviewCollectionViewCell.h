#pragma once
// The painter of one gallery item: the photo fitted into the item's preview area (inset 12 on
// every side), first its thumbnail and then, once enhanced, its enhanced thumbnail in the same
// place; a selection border hugging the image (not the item) while selected or highlighted for
// selection; a dashed outline around the item while it has no image yet. Double clicks go to its
// delegate, single clicks never do.
//
// The geometry is given in the toolkit's terms (bottom-left origin, y up) and flipped only where
// it is drawn. Borders are drawn without antialiasing, so they sit on whole pixels.
//
// Main thread only.
#include <QColor>
#include <QPixmap>

#include "QVAppKit/QVSCollectionViewCell.h"
#include "QVBase/Geometry.h"

class QVGalleryModel;

// A selection style as a border: 1 a white line of 1, 2 an orange line of 4, others a line of 4
// without colour (nothing drawn).
struct QVGalleryCellParams {
  double borderWidth = 4;
  QColor borderColor;  // invalid: none
  static QVGalleryCellParams paramsWithSelectionStyle(uint64_t style);
};

class QVGallaryItemDelegate {
 public:
  virtual ~QVGallaryItemDelegate() = default;
  virtual void doubleClickGallaryItem(int row) {}
};

class QVPreviewCollectionViewCell : public QVSCollectionViewCell {
 public:
  // The item and the preview area inside it.
  static constexpr double kItemWidth = 222, kItemHeight = 156;
  static constexpr double kPreviewInset = 12;

  // Everything one item's drawing depends on.
  struct Drawing {
    CGSize boundsSize = CGSizeMake(kItemWidth, kItemHeight);
    CGSize previewSize = CGSizeMake(kItemWidth - 2 * kPreviewInset, kItemHeight - 2 * kPreviewInset);
    // Size of the shown image in points, zero without one.
    CGSize imageSize = CGSizeZero;
    bool hasImage = false;
    bool selected = false;
    int64_t highlightState = 0;
    uint64_t selectionStyle = 1;
    QPixmap picture;  // the image at the fitted size's pixels, drawn when not null
  };

  explicit QVPreviewCollectionViewCell(QVGalleryModel* model, QObject* parent = nullptr);

  uint64_t selectionStyle() const { return selectionStyle_; }
  void setSelectionStyle(uint64_t style) { selectionStyle_ = style; }
  // Not owned: the delegate outlives the painter or clears itself.
  QVGallaryItemDelegate* delegate() const { return delegate_; }
  void setDelegate(QVGallaryItemDelegate* delegate) { delegate_ = delegate; }

  // The image's size fitted into the preview area; the preview area itself without an image.
  static CGSize fitImageSize(CGSize imageSize, CGSize previewSize);
  // The fitted size centred in the bounds.
  static CGRect imageFrame(CGRect bounds, CGSize fitSize);
  // The line the border is stroked along: fit + (w, w) centred on the floored centre.
  static CGRect selectionBorderRect(CGRect bounds, CGSize fitSize, double borderWidth);
  static bool shouldDrawDashedLineAroundCell(const Drawing& drawing) { return !drawing.hasImage; }
  // Draws one item into `rect` (Qt space of the painter).
  static void draw(QPainter& painter, const QRectF& rect, const Drawing& drawing);

  // The drawing of the item at the index as the view shows it.
  Drawing drawingForIndex(const QStyleOptionViewItem& option, const QModelIndex& index) const;
  // The image's frame inside an item of the given bounds.
  CGRect imageFrameForIndex(const QModelIndex& index, CGRect bounds) const;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  void mouseDown(const QModelIndex& index, int clickCount) override;

 private:
  QVGalleryModel* model_;
  uint64_t selectionStyle_ = 1;
  QVGallaryItemDelegate* delegate_ = nullptr;
};
