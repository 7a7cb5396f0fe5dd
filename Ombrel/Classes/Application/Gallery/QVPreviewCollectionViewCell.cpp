#include "Ombrel/Classes/Application/Gallery/QVPreviewCollectionViewCell.h"

#include <QPainter>
#include <QPen>
#include <QWidget>
#include <cmath>

#include "Ombrel/Classes/Application/Gallery/QVGalleryModel.h"
#include "QVPlatform/ImageIO/NSImageAdditions.h"

QVGalleryCellParams QVGalleryCellParams::paramsWithSelectionStyle(uint64_t style) {
  switch (style) {
    case 1:
      return {1, QColor::fromRgbF(1, 1, 1, 1)};
    case 2:
      return {4, QColor::fromRgbF(1.0, 0.5372549295425415, 0.26274511218070984, 1)};
    default:
      return {4, QColor()};
  }
}

QVPreviewCollectionViewCell::QVPreviewCollectionViewCell(QVGalleryModel* model, QObject* parent)
    : QVSCollectionViewCell(parent), model_(model) {}

CGSize QVPreviewCollectionViewCell::fitImageSize(CGSize imageSize, CGSize previewSize) {
  if (imageSize.width <= 0 || imageSize.height <= 0) return previewSize;
  return qv::imageSizeFitSizeForSize(imageSize, previewSize);
}

CGRect QVPreviewCollectionViewCell::imageFrame(CGRect bounds, CGSize fitSize) {
  return CGRectMake(bounds.origin.x + bounds.size.width / 2 - fitSize.width / 2,
                    bounds.origin.y + bounds.size.height / 2 - fitSize.height / 2, fitSize.width, fitSize.height);
}

CGRect QVPreviewCollectionViewCell::selectionBorderRect(CGRect bounds, CGSize fitSize, double borderWidth) {
  const double cx = std::floor(bounds.origin.x + bounds.size.width / 2);
  const double cy = std::floor(bounds.origin.y + bounds.size.height / 2);
  const CGSize size = CGSizeMake(fitSize.width + borderWidth, fitSize.height + borderWidth);
  return CGRectMake(cx - size.width / 2, cy - size.height / 2, size.width, size.height);
}

namespace {

// A y-up rectangle of an item's bounds as a Qt rectangle inside `rect`.
QRectF qtRect(const QRectF& rect, CGRect r) {
  return QRectF(rect.left() + r.origin.x, rect.top() + rect.height() - r.origin.y - r.size.height, r.size.width,
                r.size.height);
}

}  // namespace

void QVPreviewCollectionViewCell::draw(QPainter& painter, const QRectF& rect, const Drawing& drawing) {
  const CGRect bounds = CGRectMake(0, 0, rect.width(), rect.height());
  const CGSize fit = fitImageSize(drawing.hasImage ? drawing.imageSize : CGSizeZero, drawing.previewSize);
  if (drawing.hasImage && !drawing.picture.isNull()) {
    painter.drawPixmap(qtRect(rect, imageFrame(bounds, fit)), drawing.picture, drawing.picture.rect());
  }
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  if (drawing.selected || drawing.highlightState == 1) {
    const QVGalleryCellParams params = QVGalleryCellParams::paramsWithSelectionStyle(drawing.selectionStyle);
    if (params.borderColor.isValid()) {
      // The stroke spans half the width on each side of the border line; filled as the band between
      // the two rectangles so it lands on whole pixels at any device pixel ratio.
      const double w = params.borderWidth;
      const QRectF line = qtRect(rect, selectionBorderRect(bounds, fit, w));
      const QRectF outer = line.adjusted(-w / 2, -w / 2, w / 2, w / 2);
      const QRectF inner = line.adjusted(w / 2, w / 2, -w / 2, -w / 2);
      painter.fillRect(QRectF(outer.left(), outer.top(), outer.width(), inner.top() - outer.top()), params.borderColor);
      painter.fillRect(QRectF(outer.left(), inner.bottom(), outer.width(), outer.bottom() - inner.bottom()),
                       params.borderColor);
      painter.fillRect(QRectF(outer.left(), inner.top(), inner.left() - outer.left(), inner.height()),
                       params.borderColor);
      painter.fillRect(QRectF(inner.right(), inner.top(), outer.right() - inner.right(), inner.height()),
                       params.borderColor);
    }
  } else if (shouldDrawDashedLineAroundCell(drawing)) {
    QPen pen(QColor(255, 255, 255));
    pen.setWidthF(1.0);
    pen.setDashPattern({4.0, 3.0});
    pen.setDashOffset(0);
    pen.setCapStyle(Qt::FlatCap);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(0.5, 0.5, -0.5, -0.5));
  }
  painter.restore();
}

QVPreviewCollectionViewCell::Drawing QVPreviewCollectionViewCell::drawingForIndex(const QStyleOptionViewItem& option,
                                                                                  const QModelIndex& index) const {
  Drawing drawing;
  drawing.boundsSize = CGSizeMake(option.rect.width(), option.rect.height());
  drawing.previewSize = CGSizeMake(option.rect.width() - 2 * kPreviewInset, option.rect.height() - 2 * kPreviewInset);
  drawing.selected = isSelected(option);
  drawing.selectionStyle = selectionStyle_;
  if (!model_) return drawing;
  const std::string path = model_->pathAt(index.row());
  NSImageRef original = model_->originalImage(path);
  NSImageRef shown = original ? original : model_->processedImage(path);
  if (shown) {
    drawing.hasImage = true;
    drawing.imageSize = shown->size();
  }
  return drawing;
}

CGRect QVPreviewCollectionViewCell::imageFrameForIndex(const QModelIndex& index, CGRect bounds) const {
  QStyleOptionViewItem option;
  option.rect = QRect(0, 0, int(bounds.size.width), int(bounds.size.height));
  const Drawing drawing = drawingForIndex(option, index);
  const CGRect frame = imageFrame(CGRectMake(0, 0, bounds.size.width, bounds.size.height),
                                  fitImageSize(drawing.hasImage ? drawing.imageSize : CGSizeZero, drawing.previewSize));
  return CGRectOffset(frame, bounds.origin.x, bounds.origin.y);
}

void QVPreviewCollectionViewCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
  if (!model_) return;
  model_->requestImagesForRow(index.row());
  Drawing drawing = drawingForIndex(option, index);
  if (drawing.hasImage) {
    const CGSize fit = fitImageSize(drawing.imageSize, drawing.previewSize);
    const double ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QSize pixels(int(std::lround(fit.width * ratio)), int(std::lround(fit.height * ratio)));
    drawing.picture = model_->displayPicture(model_->pathAt(index.row()), pixels, ratio);
  }
  draw(*painter, QRectF(option.rect), drawing);
}

QSize QVPreviewCollectionViewCell::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
  return QSize(int(kItemWidth), int(kItemHeight));
}

void QVPreviewCollectionViewCell::mouseDown(const QModelIndex& index, int clickCount) {
  if (clickCount >= 2 && delegate_) delegate_->doubleClickGallaryItem(index.row());
}
