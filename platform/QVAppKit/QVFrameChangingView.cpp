#include "QVAppKit/QVFrameChangingView.h"

void QVFrameChangingView::layout() {
  QVView::layout();
  onViewFrameChanged();
}

void QVFrameChangingView::moveEvent(QMoveEvent* event) {
  QVView::moveEvent(event);
  onViewFrameChanged();
}
