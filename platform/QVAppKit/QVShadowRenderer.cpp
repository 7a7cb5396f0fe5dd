#include "QVAppKit/QVShadowRenderer.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Each channel of a premultiplied pixel, highest byte first.
inline void addPixel(int* sum, uint32_t p, int sign) {
  sum[0] += sign * int((p >> 24) & 0xff);
  sum[1] += sign * int((p >> 16) & 0xff);
  sum[2] += sign * int((p >> 8) & 0xff);
  sum[3] += sign * int(p & 0xff);
}

inline uint32_t meanPixel(const int* sum, int window) {
  return (uint32_t(sum[0] / window) << 24) | (uint32_t(sum[1] / window) << 16) | (uint32_t(sum[2] / window) << 8) |
         uint32_t(sum[3] / window);
}

// One box pass along every row: each channel becomes the mean of the 2r + 1 pixels around it,
// pixels beyond the edge counting as transparent.
void boxPassRows(QImage& image, int radius) {
  const int w = image.width(), h = image.height(), window = 2 * radius + 1;
  std::vector<uint32_t> line(size_t(w), 0);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
    std::copy(row, row + w, line.begin());
    int sum[4] = {0, 0, 0, 0};
    for (int i = 0; i <= std::min(radius, w - 1); ++i) addPixel(sum, line[size_t(i)], 1);
    for (int x = 0; x < w; ++x) {
      row[x] = meanPixel(sum, window);
      if (x - radius >= 0) addPixel(sum, line[size_t(x - radius)], -1);
      if (x + radius + 1 < w) addPixel(sum, line[size_t(x + radius + 1)], 1);
    }
  }
}

// The same along every column, walked row by row (a column at a time strides through memory):
// one running sum per column and channel.
void boxPassColumns(QImage& image, int radius) {
  const int w = image.width(), h = image.height(), window = 2 * radius + 1;
  const QImage source = image.copy();
  std::vector<int> sums(size_t(w) * 4, 0);
  auto addRow = [&](int y, int sign) {
    if (y < 0 || y >= h) return;
    const auto* row = reinterpret_cast<const uint32_t*>(source.constScanLine(y));
    int* sum = sums.data();
    for (int x = 0; x < w; ++x, sum += 4) addPixel(sum, row[x], sign);
  };
  for (int y = 0; y <= std::min(radius, h - 1); ++y) addRow(y, 1);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
    const int* sum = sums.data();
    for (int x = 0; x < w; ++x, sum += 4) row[x] = meanPixel(sum, window);
    addRow(y - radius, -1);
    addRow(y + radius + 1, 1);
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
    boxPassRows(image, box);
    boxPassColumns(image, box);
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
