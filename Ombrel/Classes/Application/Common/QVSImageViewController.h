#pragma once
// The compare for two pictures of one photo: the source (`originalImage`) and the result
// (`updateCompareImage`), with the application's line (white, 6 points, no border) and its
// "BEFORE" (black on white) and "AFTER" (white on black) labels in Inter Black 13 with letter
// spacing 3.71. The line starts at a third of the width (two thirds in a right-to-left layout).
#include "Ombrel/Classes/Application/Common/QVSCompareViewController.h"

class QVSImageViewController : public QVSCompareViewController {
 public:
  explicit QVSImageViewController(NSImageRef originalImage = nullptr);

  NSImageRef originalImage() const { return compareView()->mainImage(); }
  void setOriginalImage(NSImageRef image) { compareView()->setMainImage(std::move(image)); }
  void updateCompareImage(NSImageRef image) { compareView()->setCompareImage(std::move(image)); }
  NSImageRef processedImage() const { return processedImage_; }
  void setProcessedImage(NSImageRef image) { processedImage_ = std::move(image); }

 protected:
  QVSCompareLabel createLeftLabel() override;
  QVSCompareLabel createRightLabel() override;
  void configureSplitLine(QVSSplitLineView& line) override;

 private:
  NSImageRef processedImage_;
};
