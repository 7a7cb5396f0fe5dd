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
#include "rova/masks/ComputeUnit.h"
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

  // Shows where a stroke would act: the one dab a stroke would draw at the point, put into the
  // working image but not kept. The next preview, cancelPreview() and any stroke take it back
  // first; fullResult() leaves it out. True when the dab shows anything.
  bool previewAt(double x, double y, double radius, double opacity, double softness);
  void cancelPreview();

  // The bounding rectangle of working-image pixels changed since the last call (strokes and
  // previews); zero when none.
  RectRoi takeUpdateRect();
  // Where strokes have acted: per canvas pixel, how strongly it shows copied pixels (0..1; erase
  // takes it back); a new image of the part (top-left pixels, within the canvas; the zero
  // rectangle for all of it). nullptr before the first stroke. Its changes have their own update
  // rectangle.
  ImageDataFPtr previewImage(const RectRoi& part = {}) const;
  RectRoi takePreviewUpdateRect();

  // The retouched image with a shown preview dab (shared; a copy for callers that keep it).
  const ImageDataRGBfPtr& workingImage() const { return working_; }
  // The region (top-left canvas pixels; the zero region is the whole canvas) scaled to the output
  // size as cutAndScale does, and of that only the part `updateRect` (output pixels, top-left; the
  // zero rectangle for all of it). nullptr for an empty output or part.
  ImageDataRGBfPtr lastResult(Size output, const RectRoi& updateRect, const RectRoiF& region) const;
  // A copy of the retouched image; a shown preview dab is left out unless `withPreview`.
  ImageDataRGBfPtr fullResult(bool withPreview = false) const;
  const ImageDataRGBfPtr& original() const { return original_; }

 private:
  struct Dab {
    double cx, cy, radiusPx, opacity, softness;
    int x0, y0, x1, y1;  // the pixels it may touch, exclusive ends; empty when off the canvas
  };
  // Whether a point may act: a picture, no refused mask, finite numbers.
  bool acts(double x, double y, double radius, double opacity, double softness) const;
  double radiusPx(double radius) const;
  // The dab centred at canvas pixel coordinates.
  Dab dabAt(double cx, double cy, double radiusPx, double opacity, double softness) const;
  // The dab's strength at a pixel: its falloff scaled by the opacity and the process mask.
  float strength(const Dab& d, int px, int py) const;
  bool dab(const Dab& d);

  ImageDataRGBfPtr original_, working_;
  MaskImagePtr processMask_;
  bool maskRefused_ = false;
  int width_ = 0, height_ = 0;
  BrushMode mode_ = BrushMode::Paint;
  int cloneX_ = 0, cloneY_ = 0, stampX_ = 0, stampY_ = 0;
  bool inStroke_ = false;
  dabs::StrokeBackup<PixelRGB<float>> backup_;
  // The map, kept in tiles, and its tiles as they were when the stroke began.
  dabs::TiledPlane map_, mapBase_;
  dabs::Spacer spacer_;
  dabs::Bounds dirty_, mapDirty_;
  // The pixels under a shown preview dab as they were before it.
  RectRoi previewRect_{};
  ImageDataRGBfPtr previewSaved_;
  dabs::Bounds previewChanged_;
};

}  // namespace rova
