#include "QVAppKit/QVFrameChangingView.h"

void QVFrameChangingView::layout() {
  QVView::layout();
  onViewFrameChanged();
}

void QVFrameChangingView::frameDidChange(bool sizeChanged) {
  // A new size already reached the hook through layout.
  if (!sizeChanged) onViewFrameChanged();
}
