#include "QVAppKit/QVShadowRenderer.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// One horizontal box pass over every channel of every row (premultiplied, so channels blur alike).
void boxPass(QImage& image, int radius, bool horizontal) {
  if (radius < 1) return;
  const int w = image.width(), h = image.height();
  const int lines = horizontal ? h : w, length = horizontal ? w : h;
  std::vector<uint32_t> line(length);
  const int window = 2 * radius + 1;
  for (int l = 0; l < lines; ++l) {
    auto at = [&](int i) -> QRgb& {
      return horizontal ? reinterpret_cast<QRgb*>(image.scanLine(l))[i] : reinterpret_cast<QRgb*>(image.scanLine(i))[l];
    };
    for (int i = 0; i < length; ++i) line[i] = at(i);
    int sum[4] = {0, 0, 0, 0};
    auto add = [&](int i, int sign) {
      if (i < 0 || i >= length) return;
      const uint32_t p = line[i];
      sum[0] += sign * int((p >> 24) & 0xff);
      sum[1] += sign * int((p >> 16) & 0xff);
      sum[2] += sign * int((p >> 8) & 0xff);
      sum[3] += sign * int(p & 0xff);
    };
    for (int i = -radius; i <= radius; ++i) add(i, 1);
    for (int i = 0; i < length; ++i) {
      at(i) = (uint32_t(sum[0] / window) << 24) | (uint32_t(sum[1] / window) << 16) | (uint32_t(sum[2] / window) << 8) |
              uint32_t(sum[3] / window);
      add(i - radius, -1);
      add(i + radius + 1, 1);
    }
  }
}

}  // namespace

void QVBlurImage(QImage& image, double radius) {
  if (radius <= 0 || image.isNull()) return;
  if (image.format() != QImage::Format_ARGB32_Premultiplied) {
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  }
  // Three box passes of width w approximate a Gaussian of sigma ≈ w / sqrt(12/3); the blur radius
  // of a shadow is about two sigmas.
  const int box = std::max(1, int(std::lround(radius / 2.0)));
  for (int pass = 0; pass < 3; ++pass) {
    boxPass(image, box, true);
    boxPass(image, box, false);
  }
}

const QPixmap& QVShadowRenderer::shadowFor(const QPixmap& picture, const QColor& color, double blurRadius,
                                           QPoint* origin) {
  if (key_ != picture.cacheKey() || color_ != color || blur_ != blurRadius || shadow_.isNull()) {
    const qreal dpr = picture.devicePixelRatio();
    const int spread = int(std::ceil(blurRadius * 1.5 * dpr)) + 1;
    QImage image(picture.size() + QSize(2 * spread, 2 * spread), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
      QPainter p(&image);
      QPixmap unscaled = picture;
      unscaled.setDevicePixelRatio(1);
      p.drawPixmap(spread, spread, unscaled);
      p.setCompositionMode(QPainter::CompositionMode_SourceIn);
      p.fillRect(image.rect(), color);
    }
    QVBlurImage(image, blurRadius * dpr);
    shadow_ = QPixmap::fromImage(image);
    shadow_.setDevicePixelRatio(dpr);
    origin_ = QPoint(-spread, -spread);
    key_ = picture.cacheKey();
    color_ = color;
    blur_ = blurRadius;
  }
  if (origin) *origin = origin_;
  return shadow_;
}
