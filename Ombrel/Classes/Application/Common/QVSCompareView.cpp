#include "Ombrel/Classes/Application/Common/QVSCompareView.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "QVAppKit/QVGeometry.h"
#include "QVAppKit/QVImageBridge.h"
#include "QVAppKit/QVShadowRenderer.h"

namespace {
// The curtain's shadows: black at 0.3, blur 10, 4 points up.
constexpr double kShadowBlur = 10;
constexpr double kShadowOpacity = 0.3;
constexpr double kShadowOffsetY = 4;
constexpr double kShadowMargin = kShadowBlur * 2 + kShadowOffsetY + 2;

// A point moved onto the device pixel grid, so a picture made at its display size is copied
// pixel for pixel (no filtering) when drawn there.
QPointF snapped(QPointF p, double dpr) { return QPointF(std::round(p.x() * dpr) / dpr, std::round(p.y() * dpr) / dpr); }

}  // namespace

void QVSCompareView::initialize() {
  QVView::initialize();
  setAttribute(Qt::WA_OpaquePaintEvent);
  // No background fill under the photo: only the bars beside it are painted black.
  setBackgroundColor(QColor());
}

void QVSCompareView::layout() {
  QVView::layout();
  update();
}

void QVSCompareView::setPictureImage(Picture& picture, NSImageRef image) {
  if (picture.image == image) return;
  picture.image = std::move(image);
  picture.pixmap = QPixmap();
  picture.builtFor = QSize();
  update();
}

void QVSCompareView::setMainImage(NSImageRef image) { setPictureImage(main_, std::move(image)); }
void QVSCompareView::setCompareImage(NSImageRef image) { setPictureImage(compare_, std::move(image)); }
void QVSCompareView::setCompareBackdropImage(NSImageRef image) { setPictureImage(backdrop_, std::move(image)); }

void QVSCompareView::setCompareAlpha(double alpha) {
  alpha = std::clamp(alpha, 0.0, 1.0);
  if (alpha == compareAlpha_) return;
  compareAlpha_ = alpha;
  update();
}

void QVSCompareView::setLabels(QVSCompareLabel before, QVSCompareLabel after) {
  before_ = std::move(before);
  after_ = std::move(after);
  labelsPicture_ = QPixmap();
  update();
}

void QVSCompareView::setShadowsEnabled(bool enabled) {
  shadows_ = enabled;
  labelsPicture_ = QPixmap();
  update();
}

void QVSCompareView::setRightToLeft(bool rightToLeft) {
  rightToLeft_ = rightToLeft;
  labelsPicture_ = QPixmap();
  update();
}

void QVSCompareView::setCurtainVisible(bool visible) {
  if (visible == curtainVisible_) return;
  curtainVisible_ = visible;
  update();
}

QRect QVSCompareView::spanRect(double from, double to, double margin) const {
  const double lo = std::min(from, to) - margin, hi = std::max(from, to) + margin;
  return QRectF(lo, 0, hi - lo, height()).toAlignedRect();
}

void QVSCompareView::setSplit(double lineCentre, double compareEdge, double labelsCentre) {
  if (lineCentre == lineCentre_ && compareEdge == compareEdge_ && labelsCentre == labelsCentre_) return;
  const CGRect oldLabels = labelsRect();
  QRegion dirty;
  const double lineMargin = line_.lineWidth() / 2 + kShadowMargin;
  if (lineCentre != lineCentre_) dirty += spanRect(lineCentre_, lineCentre, lineMargin);
  if (compareEdge != compareEdge_) dirty += spanRect(compareEdge_, compareEdge, 2);
  lineCentre_ = lineCentre;
  compareEdge_ = compareEdge;
  labelsCentre_ = labelsCentre;
  if (curtainVisible_) {
    const CGRect m = CGRectInset(oldLabels, -kShadowMargin, -kShadowMargin);
    dirty += qtRectFromRect(m).toAlignedRect();
    dirty += qtRectFromRect(CGRectInset(labelsRect(), -kShadowMargin, -kShadowMargin)).toAlignedRect();
  }
  update(dirty);
}

CGRect QVSCompareView::imageRectFor(const NSImageRef& image) const {
  return QVAspectRect(image ? image->size() : CGSizeZero, bounds(), false);
}

CGRect QVSCompareView::imageRect() const { return imageRectFor(main_.image); }

CGSize QVSCompareView::labelSize(const QVSCompareLabel& label) const {
  QFont font = label.font;
  font.setLetterSpacing(QFont::AbsoluteSpacing, label.spacing);
  const double text = QFontMetricsF(font).horizontalAdvance(QString::fromStdString(label.title)) - label.spacing;
  return CGSizeMake(std::ceil(std::max(0.0, text) + 2 * kLabelPadding), kLabelHeight);
}

void QVSCompareView::setLabelsTopMargin(double margin) {
  labelsTopMargin_ = margin;
  update();
}

CGRect QVSCompareView::labelsRect() const {
  const CGSize b = labelSize(before_), a = labelSize(after_);
  const double w = b.width + a.width + line_.lineWidth();
  const double leftWidth = rightToLeft_ ? a.width : b.width;
  const double x = std::round(labelsCentre_ - line_.lineWidth() / 2 - leftWidth);
  return CGRectMake(x, bounds().size.height - labelsTopMargin_ - kLabelHeight, w, kLabelHeight);
}

CGRect QVSCompareView::lineRect() const {
  const double lw = line_.lineWidth();
  return CGRectMake(std::round(lineCentre_ - lw / 2), 0, lw, bounds().size.height);
}

const QPixmap& QVSCompareView::pictureFor(Picture& picture, const CGRect& rect, double dpr) {
  const QSize device(std::max(1, int(std::lround(rect.size.width * dpr))),
                     std::max(1, int(std::lround(rect.size.height * dpr))));
  if (picture.image && (picture.pixmap.isNull() || picture.builtFor != device)) {
    // Once per size: the full-size pixels are scaled here and never while painting frames.
    QImage source = QVImageBridge::imageFromNSImage(picture.image, device);
    if (!source.isNull()) {
      QImage scaled =
          source.size() == device ? source : source.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
      picture.pixmap = QPixmap::fromImage(std::move(scaled));
      picture.pixmap.setDevicePixelRatio(dpr);
      ++pictureBuilds_;
    }
    picture.builtFor = device;
  }
  return picture.pixmap;
}

void QVSCompareView::buildLabelsPicture(double dpr) {
  const CGSize b = labelSize(before_), a = labelSize(after_);
  const double lw = line_.lineWidth();
  const double w = b.width + a.width + lw, h = kLabelHeight;
  const double m = kShadowMargin;
  QImage image(QSize(int(std::ceil((w + 2 * m) * dpr)), int(std::ceil((h + 2 * m) * dpr))),
               QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(dpr);
  image.fill(Qt::transparent);
  const QVSCompareLabel& left = rightToLeft_ ? after_ : before_;
  const QVSCompareLabel& right = rightToLeft_ ? before_ : after_;
  const CGSize ls = rightToLeft_ ? a : b, rs = rightToLeft_ ? b : a;
  const QRectF leftRect(m, m, ls.width, h), rightRect(m + ls.width + lw, m, rs.width, h);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  if (shadows_) {
    QImage shadow(image.size(), QImage::Format_ARGB32_Premultiplied);
    shadow.setDevicePixelRatio(dpr);
    shadow.fill(Qt::transparent);
    {
      QPainter s(&shadow);
      s.fillRect(leftRect.translated(0, -kShadowOffsetY), Qt::black);
      s.fillRect(rightRect.translated(0, -kShadowOffsetY), Qt::black);
    }
    QVBlurImage(shadow, kShadowBlur * dpr / 2);
    p.setOpacity(kShadowOpacity);
    p.drawImage(QPointF(0, 0), shadow);
    p.setOpacity(1);
  }
  auto drawLabel = [&](const QVSCompareLabel& label, const QRectF& r) {
    p.fillRect(r, label.bgColor);
    QFont font = label.font;
    font.setLetterSpacing(QFont::AbsoluteSpacing, label.spacing);
    p.setFont(font);
    p.setPen(label.titleColor);
    // The trailing letter space is left out so the text sits in the middle.
    p.drawText(r.adjusted(label.spacing / 2, 0, label.spacing / 2, 0), Qt::AlignCenter,
               QString::fromStdString(label.title));
  };
  drawLabel(left, leftRect);
  drawLabel(right, rightRect);
  p.end();
  labelsPicture_ = QPixmap::fromImage(std::move(image));
  labelsPicture_.setDevicePixelRatio(dpr);
  labelsPictureOrigin_ = QPointF(m, m);
}

void QVSCompareView::buildLineShadow(double dpr) {
  // The shadow of a full-height strip is the same on every row: one blurred row, stretched.
  const double lw = line_.lineWidth();
  const int w = int(std::ceil((lw + 2 * kShadowMargin) * dpr));
  const int h = int(std::ceil(8 * kShadowBlur * dpr));
  QImage tall(w, h, QImage::Format_ARGB32_Premultiplied);
  tall.fill(Qt::transparent);
  {
    QPainter p(&tall);
    p.fillRect(QRectF(kShadowMargin * dpr, 0, lw * dpr, h), Qt::black);
  }
  QVBlurImage(tall, kShadowBlur * dpr / 2);
  // Stretched once to the view's height and faded, so each frame only copies it.
  const QImage row = tall.copy(0, h / 2, w, 1);
  QImage full(w, std::max(1, int(std::ceil(height() * dpr))), QImage::Format_ARGB32_Premultiplied);
  full.fill(Qt::transparent);
  {
    QPainter p(&full);
    p.setOpacity(kShadowOpacity);
    p.drawImage(QRect(0, 0, w, full.height()), row);
  }
  lineShadow_ = QPixmap::fromImage(std::move(full));
  lineShadow_.setDevicePixelRatio(dpr);
}

void QVSCompareView::drawContent(QPainter& painter) {
  const double dpr = painter.device()->devicePixelRatioF();
  if (builtRatio_ != dpr) {
    labelsPicture_ = QPixmap();
    lineShadow_ = QPixmap();
    builtRatio_ = dpr;
  }
  // The compare side in Qt space.
  const QRectF compareSide = rightToLeft_ ? QRectF(0, 0, std::max(0.0, compareEdge_), height())
                                          : QRectF(compareEdge_, 0, std::max(0.0, width() - compareEdge_), height());
  const bool compareCovers = compare_.image && (backdrop_.image || compareAlpha_ >= 1);
  {
    // The bars around the source (all of the view without one).
    QRegion bars(rect());
    if (main_.image) bars -= qtRectFromRect(imageRectFor(main_.image)).toAlignedRect().adjusted(1, 1, -1, -1);
    for (const QRect& r : bars) painter.fillRect(r, Qt::black);
  }

  if (main_.image) {
    const CGRect r = imageRectFor(main_.image);
    const QPixmap& pm = pictureFor(main_, r, dpr);
    painter.save();
    if (compareCovers) {
      // Only the source side: the compare side hides it completely.
      const QRectF sourceSide = rightToLeft_ ? QRectF(compareEdge_, 0, width() - compareEdge_, height())
                                             : QRectF(0, 0, compareEdge_, height());
      painter.setClipRect(sourceSide, Qt::IntersectClip);
    }
    painter.drawPixmap(snapped(qtRectFromRect(r).topLeft(), dpr), pm);
    painter.restore();
  }
  if (compare_.image && !compareSide.isEmpty()) {
    painter.save();
    painter.setClipRect(compareSide, Qt::IntersectClip);
    if (backdrop_.image) {
      const CGRect r = imageRectFor(backdrop_.image);
      painter.drawPixmap(snapped(qtRectFromRect(r).topLeft(), dpr), pictureFor(backdrop_, r, dpr));
    }
    const CGRect r = imageRectFor(compare_.image);
    painter.setOpacity(painter.opacity() * compareAlpha_);
    painter.drawPixmap(snapped(qtRectFromRect(r).topLeft(), dpr), pictureFor(compare_, r, dpr));
    painter.restore();
  }
  if (!curtainVisible_) return;
  const CGRect lr = lineRect();
  if (lr.origin.x + lr.size.width > -kShadowMargin && lr.origin.x < width() + kShadowMargin) {
    if (shadows_) {
      if (lineShadow_.isNull() || lineShadow_.height() != int(std::ceil(height() * dpr))) buildLineShadow(dpr);
      painter.drawPixmap(snapped(QPointF(lr.origin.x - kShadowMargin, 0), dpr), lineShadow_);
    }
    line_.draw(painter, QRectF(lr.origin.x, 0, lr.size.width, height()));
  }
  const CGRect labels = labelsRect();
  if (labels.origin.x < width() + kShadowMargin) {
    if (labelsPicture_.isNull()) buildLabelsPicture(dpr);
    const QRectF q = qtRectFromRect(labels);
    painter.drawPixmap(snapped(q.topLeft() - labelsPictureOrigin_, dpr), labelsPicture_);
  }
}
