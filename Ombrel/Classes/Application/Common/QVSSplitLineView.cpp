#include "Ombrel/Classes/Application/Common/QVSSplitLineView.h"

#include <cmath>

CGRect QVSSplitLineView::stripRect(CGRect bounds) const {
  CGRect strip = bounds;
  if (lineWidth_ > 0) {
    strip.origin.x = bounds.origin.x + std::floor((bounds.size.width - lineWidth_) * 0.5);
    strip.size.width = lineWidth_;
  }
  return strip;
}

void QVSSplitLineView::draw(QPainter& painter, const QRectF& bounds) const {
  const CGRect s = stripRect(CGRectMake(bounds.x(), bounds.y(), bounds.width(), bounds.height()));
  const QRectF strip(s.origin.x, s.origin.y, s.size.width, s.size.height);
  if (borderColor_) painter.fillRect(strip, *borderColor_);
  if (lineColor_) painter.fillRect(strip.adjusted(borderWidth_, 0, -borderWidth_, 0), *lineColor_);
}
