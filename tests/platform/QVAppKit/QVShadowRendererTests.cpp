#include "QVAppKit/QVShadowRenderer.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <random>

namespace {

// The blur by its definition: three times, each channel the mean of the 2b + 1 pixels around it
// along the row, then along the column, pixels beyond the edge transparent (b = radius / 2).
QImage referenceBlur(QImage image, double radius) {
  const int b = std::max(1, int(std::lround(radius / 2.0)));
  const int w = image.width(), h = image.height();
  auto pass = [&](bool rows) {
    const QImage source = image.copy();
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        int sum[4] = {0, 0, 0, 0};
        for (int d = -b; d <= b; ++d) {
          const int sx = rows ? x + d : x, sy = rows ? y : y + d;
          if (sx < 0 || sx >= w || sy < 0 || sy >= h) continue;
          const QRgb p = source.pixel(sx, sy);
          sum[0] += qAlpha(p), sum[1] += qRed(p), sum[2] += qGreen(p), sum[3] += qBlue(p);
        }
        const int n = 2 * b + 1;
        reinterpret_cast<QRgb*>(image.scanLine(y))[x] = qRgba(sum[1] / n, sum[2] / n, sum[3] / n, sum[0] / n);
      }
    }
  };
  for (int i = 0; i < 3; ++i) {
    pass(true);
    pass(false);
  }
  return image;
}

TEST(QVBlurImage, MatchesTheBoxBlurByItsDefinitionAtEveryPixel) {
  struct Case {
    int w, h;
    double radius;
  };
  // Wider than the box, and smaller than it on one side or both.
  const Case cases[] = {{41, 29, 7}, {5, 33, 14}, {3, 2, 40}};
  std::mt19937 random(7);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    QImage image(c.w, c.h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < c.h; ++y) {
      for (int x = 0; x < c.w; ++x) {
        const int a = int(random() % 256);
        reinterpret_cast<QRgb*>(image.scanLine(y))[x] =
            qRgba(int(random() % (a + 1)), int(random() % (a + 1)), int(random() % (a + 1)), a);
      }
    }
    const QImage expected = referenceBlur(image, c.radius);
    QVBlurImage(image, c.radius);
    EXPECT_EQ(image, expected);
  }
}

}  // namespace
