#pragma once
// A view told whenever its frame may have changed: `onViewFrameChanged` runs after each layout
// (every size change lays the view out) and after each move.
#include "QVAppKit/QVView.h"

class QVFrameChangingView : public QVView {
 public:
  using QVView::QVView;
  // Hook for subclasses (re-layout or re-spring content); empty here.
  virtual void onViewFrameChanged() {}
  void layout() override;

 protected:
  void frameDidChange(bool sizeChanged) override;
};
