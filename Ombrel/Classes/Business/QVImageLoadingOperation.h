#pragma once
// Loads a source image without enhancing it, at the fit size of its rendition (the file's pixel
// size scaled down into 198 x 132, 2000 x 2000, or kept for full size). Thumbnails take the fast
// path of the file's embedded or quick 198-pixel thumbnail; other types load through the
// operation's processor. An unreadable file ends the operation with no image.
#include "Ombrel/Classes/Business/QVImageTaskOperation.h"
#include "QVPlatform/ImageIO/NSImage.h"

class QVImageLoadingOperation : public QVImageTaskOperation {
 public:
  using QVImageTaskOperation::QVImageTaskOperation;
  static std::shared_ptr<QVImageLoadingOperation> initWithTaskParams(std::shared_ptr<QVImageTaskParams> params) {
    return std::make_shared<QVImageLoadingOperation>(std::move(params));
  }
  NSImageRef loadedImage() const;
  void main() override;
  void cancel() override;

 private:
  mutable std::mutex imageMutex_;
  NSImageRef loadedImage_;
};
