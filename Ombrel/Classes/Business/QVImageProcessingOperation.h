#pragma once
// Turns one image task into its source image and its enhanced image: loads the file into the
// operation's own processor at the fit size of the rendition, installs the layers of the task's
// effect presets and renders. With a lens-correction preset it renders twice, the lens correction
// alone and then lens correction plus effects, and keeps the first render too.
//
// Fit size: the export preset's resizing evaluated on the file's pixel size; when that is the zero
// size, the pixel size scaled down into the rendition's box (198 x 132, 2000 x 2000, or none for
// full size, which means full resolution and switches the processor to export mode).
//
// `main()` runs on the processing queue and waits for each engine step; every step checks for
// cancellation, and a cancelled operation keeps its images as far as they were set and runs no
// callback but its finished callback. An unreadable file ends the operation with nil images.
#include "Ombrel/Classes/Business/QVImageTaskOperation.h"
#include "QVBase/Geometry.h"
#include "QVPlatform/ImageIO/NSImage.h"

class QVIPImage;

class QVImageProcessingOperation : public QVImageTaskOperation {
 public:
  using QVImageTaskOperation::QVImageTaskOperation;
  static std::shared_ptr<QVImageProcessingOperation> initWithTaskParams(std::shared_ptr<QVImageTaskParams> params) {
    return std::make_shared<QVImageProcessingOperation>(std::move(params));
  }

  // The fit size of a task for a file of that pixel size.
  static CGSize fitSizeForParams(const QVImageTaskParams& params, CGSize imageSize);

  NSImageRef originalImage() const;
  NSImageRef processedImage() const;
  NSImageRef lensCorrectionImage() const;

  void main() override;
  void cancel() override;

 protected:
  // One render of the current layer stack, waiting for it; answers nullptr when cancelled or when
  // nothing renders.
  virtual std::shared_ptr<QVIPImage> render(QVRovaProcessor& processor, CGRect rect, CGSize fitSize);

 private:
  void logLine(const char* format);

  mutable std::mutex imagesMutex_;
  NSImageRef originalImage_, processedImage_, lensCorrectionImage_;
};
