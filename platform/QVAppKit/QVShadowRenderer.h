#pragma once
// Drop shadows of pictures: the picture's alpha, tinted and blurred, kept while the picture and
// the shadow's look stay the same.
#include <QColor>
#include <QPixmap>

class QVShadowRenderer {
 public:
  // The shadow of `picture` (same device pixel ratio); `origin` receives where its top-left corner
  // lies relative to the picture's, in device pixels (the blur spreads beyond the picture).
  const QPixmap& shadowFor(const QPixmap& picture, const QColor& color, double blurRadius, QPoint* origin);

 private:
  QPixmap shadow_;
  QPoint origin_;
  qint64 key_ = 0;
  QColor color_;
  double blur_ = -1;
};

// Blurs an ARGB32-premultiplied image in place with three box passes (close to a Gaussian of the
// given radius in pixels).
void QVBlurImage(QImage& image, double radius);
