#pragma once
// What the main window shows for open photos until the single-image and gallery screens exist:
// how many photos are open and how many of them have their enhanced preview.
//
// Main thread only.
#include "QVAppKit/QVView.h"

class QVEmptyScreenView : public QVView {
 public:
  using QVView::QVView;
  void initialize() override;
  void setPathCount(size_t count);
  size_t pathCount() const { return pathCount_; }
  // How many of them have their enhanced preview.
  void setEnhancedCount(size_t count);
  size_t enhancedCount() const { return enhancedCount_; }
  // The drop zone's frame in the view (bottom-left coordinates).
  CGRect dropZoneFrame() const;

 protected:
  void drawContent(QPainter& painter) override;

 private:
  size_t pathCount_ = 0;
  size_t enhancedCount_ = 0;
};
