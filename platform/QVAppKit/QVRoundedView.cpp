#include "QVAppKit/QVRoundedView.h"

void QVRoundedView::setRoundParams(const QVRoundParams& params) {
  roundParams_ = params;
  setNeedsLayout();
  setMasksToBounds(true);
}

void QVRoundedView::layout() {
  // The mask is rebuilt at every layout so it follows size changes; params that round nothing
  // leave the last mask in place.
  if (roundParams_.roundsAnything()) mask_ = roundParams_;
  QVView::layout();
}

QPainterPath QVRoundedView::roundedShape() const {
  if (mask_.roundsAnything()) return QVRoundedRectPath(QRectF(rect()), mask_);
  return QVView::roundedShape();
}
