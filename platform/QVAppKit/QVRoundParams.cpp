#include "QVAppKit/QVRoundParams.h"

#include <QPainter>
#include <algorithm>

QPainterPath QVRoundedRectPath(const QRectF& rect, const QVRoundParams& params) {
  QPainterPath path;
  const double limit = std::min(rect.width(), rect.height()) / 2;
  auto radius = [&](uint64_t bit, double r) { return (params.corners & bit) ? std::clamp(r, 0.0, limit) : 0.0; };
  const double tl = radius(kQVRectCornerTopLeft, params.radii.topLeft);
  const double tr = radius(kQVRectCornerTopRight, params.radii.topRight);
  const double br = radius(kQVRectCornerBottomRight, params.radii.bottomRight);
  const double bl = radius(kQVRectCornerBottomLeft, params.radii.bottomLeft);
  const double l = rect.left(), t = rect.top(), r = rect.right(), b = rect.bottom();
  path.moveTo(l + tl, t);
  path.lineTo(r - tr, t);
  if (tr > 0) path.arcTo(QRectF(r - 2 * tr, t, 2 * tr, 2 * tr), 90, -90);
  path.lineTo(r, b - br);
  if (br > 0) path.arcTo(QRectF(r - 2 * br, b - 2 * br, 2 * br, 2 * br), 0, -90);
  path.lineTo(l + bl, b);
  if (bl > 0) path.arcTo(QRectF(l, b - 2 * bl, 2 * bl, 2 * bl), 270, -90);
  path.lineTo(l, t + tl);
  if (tl > 0) path.arcTo(QRectF(l, t, 2 * tl, 2 * tl), 180, -90);
  path.closeSubpath();
  return path;
}

QPainterPath QVRoundedRectPath(const QRectF& rect, double radius) {
  return QVRoundedRectPath(rect, QVRoundParams{kQVRectCornerAll, {radius, radius, radius, radius}});
}

QRegion QVRoundedRectRegion(const QRect& rect, const QVRoundParams& params) {
  return QRegion(QVRoundedRectPath(QRectF(rect), params).toFillPolygon().toPolygon());
}

QPixmap QVClipPixmapToPath(const QPixmap& picture, const QPainterPath& path) {
  QPixmap out(picture.size());
  out.setDevicePixelRatio(picture.devicePixelRatio());
  out.fill(Qt::transparent);
  QPainter p(&out);
  p.setRenderHint(QPainter::Antialiasing);
  // Composition only acts where something is drawn: lay down the shape, then keep the picture in it.
  p.fillPath(path, Qt::black);
  p.setCompositionMode(QPainter::CompositionMode_SourceIn);
  p.drawPixmap(0, 0, picture);
  return out;
}
