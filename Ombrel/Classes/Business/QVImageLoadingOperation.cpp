#include "Ombrel/Classes/Business/QVImageLoadingOperation.h"

#include <algorithm>

#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"
#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"

NSImageRef QVImageLoadingOperation::loadedImage() const {
  std::lock_guard guard(imageMutex_);
  return loadedImage_;
}

void QVImageLoadingOperation::main() {
  auto task = params();
  if (!task || isCancelled()) return performFinishedCallback();
  const std::string path = task->path();
  const CGSize box = QVSolvaneHelpers::sizeFromImageType(task->type());
  const CGSize imageSize = QVImageUtils::imageSizeForPath(path);
  const CGSize fitSize = QVImageUtils::convertSize(imageSize, box);
  const std::string name = qv::lastPathComponent(path);
  QVLog(8, "Image will load: %s, type: %lu", name.c_str(), (unsigned long)task->type());

  auto logLoaded = [&](const NSImageRef& image) {
    CGSize size = image ? image->size() : CGSizeMake(0, 0);
    QVLog(8, "Image did load: %s, type: %lu, size {%g, %g}", name.c_str(), (unsigned long)task->type(), size.width,
          size.height);
  };

  if (task->type() == 0) {
    auto bitmap = QVImageUtils::thumbnailJPEGFromImageAtPath(path, std::max(box.width, box.height));
    auto image = bitmap ? NSImage::imageWithCGImage(bitmap, fitSize) : nullptr;
    {
      std::lock_guard guard(imageMutex_);
      loadedImage_ = image;
    }
    logLoaded(image);
    return QVImageTaskOperation::main();
  }

  if (isCancelled()) return performFinishedCallback();
  auto processor = this->processor();
  if (!processor || isCancelled()) return performFinishedCallback();
  // A cancelled operation stops waiting at once, so the completion may come after this frame.
  auto slot = std::make_shared<std::shared_ptr<QVIPImage>>();
  std::weak_ptr<QVImageLoadingOperation> weakSelf =
      std::static_pointer_cast<QVImageLoadingOperation>(shared_from_this());
  const bool fullSize = fitSize.width == 0 && fitSize.height == 0;
  processor->loadImageAtURL(path, fullSize ? imageSize : fitSize, [weakSelf, slot](QVIPImagePtr image) {
    *slot = image;
    if (auto self = weakSelf.lock()) self->unlock();
  });
  lock();
  if (isCancelled()) return performFinishedCallback();
  auto bitmap = *slot ? (*slot)->CGImage() : nullptr;
  auto image = bitmap ? NSImage::imageWithCGImage(bitmap, fitSize) : nullptr;
  {
    std::lock_guard guard(imageMutex_);
    loadedImage_ = image;
  }
  logLoaded(image);
  QVImageTaskOperation::main();
}

void QVImageLoadingOperation::cancel() {
  QVImageTaskOperation::cancel();
  if (auto task = params())
    QVLog(8, "Cancelled loading %s, type: %lu", task->path().c_str(), (unsigned long)task->type());
}
