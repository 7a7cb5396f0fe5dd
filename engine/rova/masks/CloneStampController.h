#pragma once
// Clone-and-stamp retouching over a working copy of an image: strokes of soft round dabs copy the
// pixels found at the same offset from the clone point as the brush is from the stamp point. A
// process mask (optional) limits where strokes may change pixels; the erase mode paints the
// original back. Positions are relative to the canvas (origin top-left), radii to its longer side,
// clone and stamp points whole pixels (origin top-left). One caller at a time (the processor's
// serial queue).
#include <vector>

#include "rova/ImageData.h"
#include "rova/MaskImage.h"
#include "rova/RectRoi.h"
#include "rova/masks/BrushController.h"
#include "rova/masks/Dabs.h"

namespace rova {

class CloneStampController {
 public:
  explicit CloneStampController(ImageDataRGBfPtr original);

  bool isValid() const { return working_ != nullptr; }
  Size canvasSize() const { return {width_, height_}; }
  // Values above 0 let strokes act there, scaled by the value; nullptr lets them act everywhere. A
  // mask of another size than the canvas is refused (no strokes act) rather than read out of line.
  void setProcessMask(MaskImagePtr mask);
  BrushMode brushMode() const { return mode_; }
  // Paint clones; Erase restores the original. (Level is taken as Paint.)
  void setBrushMode(BrushMode mode) { mode_ = mode; }
  void setClonePoint(int x, int y) { cloneX_ = x, cloneY_ = y; }
  void setStampPoint(int x, int y) { stampX_ = x, stampY_ = y; }

  // Strokes read their source from the image as it was when they began, so a stroke never copies
  // pixels it has itself just written.
  void beginStroke();
  bool addPoint(double x, double y, double radius, double opacity, double softness);
  void endStroke();

  // The bounding rectangle of pixels changed since the last call; zero when none.
  RectRoi takeUpdateRect();
  // The retouched image (shared; a copy for callers that keep it).
  const ImageDataRGBfPtr& workingImage() const { return working_; }
  ImageDataRGBfPtr fullResult() const { return working_ ? working_->copy() : nullptr; }
  const ImageDataRGBfPtr& original() const { return original_; }

 private:
  bool dab(double cx, double cy, double radiusPx, double opacity, double softness);

  ImageDataRGBfPtr original_, working_;
  MaskImagePtr processMask_;
  bool maskRefused_ = false;
  int width_ = 0, height_ = 0;
  BrushMode mode_ = BrushMode::Paint;
  int cloneX_ = 0, cloneY_ = 0, stampX_ = 0, stampY_ = 0;
  bool inStroke_ = false;
  dabs::StrokeBackup<PixelRGB<float>> backup_;
  dabs::Spacer spacer_;
  dabs::Bounds dirty_;
};

// A region of an image cut out and scaled (bilinear) to an output size.
ImageDataRGBfPtr cutAndScale(const ImageDataRGBf& image, const RectRoiF& region, Size output);

}  // namespace rova
