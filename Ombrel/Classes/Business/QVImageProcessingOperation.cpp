#include "Ombrel/Classes/Business/QVImageProcessingOperation.h"

#include "Ombrel/Classes/Business/Batch/QVBatchPreset.h"
#include "Ombrel/Classes/Business/ExportManager/QVExportManagerBusiness.h"
#include "Ombrel/Classes/Business/Presets/QVPresetHelpers.h"
#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"
#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"

namespace {

bool isZero(CGSize size) { return size.width == 0 && size.height == 0; }

// The engine takes a size to fit into; "no box" (full resolution) is the picture's own size.
CGSize engineFitSize(CGSize fitSize, CGSize imageSize) { return isZero(fitSize) ? imageSize : fitSize; }

NSImageRef platformImage(const std::shared_ptr<QVIPImage>& image, CGSize size) {
  if (!image) return nullptr;
  auto bitmap = image->CGImage();
  return bitmap ? NSImage::imageWithCGImage(bitmap, size) : nullptr;
}

// The depth an export task's file is written at: the task's own, else its preset's.
int writtenDepth(const QVImageTaskParams& task) {
  if (task.renderDepth()) return task.renderDepth() >= 16 ? 16 : 8;
  return task.batchPreset() ? QVExportManagerBusiness::colorDepthForPreset(*task.batchPreset()) : 8;
}

}  // namespace

CGSize QVImageProcessingOperation::fitSizeForParams(const QVImageTaskParams& params, CGSize imageSize) {
  CGSize fit = CGSizeMake(0, 0);
  if (const auto& batch = params.batchPreset(); batch && batch->resizing())
    fit = batch->resizing()->evaluateFitSize(imageSize);
  if (isZero(fit)) fit = QVImageUtils::convertSize(imageSize, QVSolvaneHelpers::sizeFromImageType(params.type()));
  return fit;
}

NSImageRef QVImageProcessingOperation::originalImage() const {
  std::lock_guard guard(imagesMutex_);
  return originalImage_;
}
NSImageRef QVImageProcessingOperation::processedImage() const {
  std::lock_guard guard(imagesMutex_);
  return processedImage_;
}
NSImageRef QVImageProcessingOperation::lensCorrectionImage() const {
  std::lock_guard guard(imagesMutex_);
  return lensCorrectionImage_;
}

void QVImageProcessingOperation::logLine(const char* format) {
  QVLog(8, format, qv::lastPathComponent(params()->path()).c_str(), (unsigned long)params()->type());
}

std::shared_ptr<QVIPImage> QVImageProcessingOperation::render(QVRovaProcessor& processor, CGRect rect, CGSize fitSize) {
  if (isCancelled()) return nullptr;
  const auto& task = *params();
  processor.setExportMode(task.type() == 2);
  auto request = QVIPProcessParams::defaultParams();
  request->setRect(rect);
  request->setFitSize(fitSize);
  if (const auto& batch = task.batchPreset()) {
    if (batch->format()) request->setColorspace(batch->format()->colorSpace());
    // The depth the file is written at: an 8-bit file from a 16-bit render would cost a second
    // conversion of every sample (and the render's 16-bit curve) for nothing.
    request->setDepth(writtenDepth(task));
  }
  // Each render of a task shows a different layer stack; a cached result would be the former one.
  request->setDisableCache(true);
  request->setIsAsync(true);
  // This thread waits for the render; a completion sent to the main thread could wait on it.
  request->setRunCallbackInBackground(true);
  // A cancelled operation stops waiting at once, so the completion may come after this frame.
  auto result = std::make_shared<std::shared_ptr<QVIPImage>>();
  std::weak_ptr<QVImageProcessingOperation> weakSelf =
      std::static_pointer_cast<QVImageProcessingOperation>(shared_from_this());
  processor.processImageWithParams(request,
                                   [weakSelf, result](QVIPImagePtr image, QVIPImagePtr, QVIPImagePtr, CGSize, CGRect) {
                                     *result = image;
                                     if (auto self = weakSelf.lock()) self->unlock();
                                   });
  lock();
  return isCancelled() ? nullptr : *result;
}

void QVImageProcessingOperation::main() {
  auto task = params();
  if (!task || isCancelled()) return performFinishedCallback();
  const std::string path = task->path();
  const CGSize imageSize = QVImageUtils::imageSizeForPath(path);
  const CGSize fitSize = fitSizeForParams(*task, imageSize);
  if (isCancelled()) return performFinishedCallback();
  auto processor = this->processor();
  if (!processor || isCancelled()) return performFinishedCallback();

  logLine("Image will load before processing: %s, type: %lu");
  auto loadedSlot = std::make_shared<std::shared_ptr<QVIPImage>>();
  std::weak_ptr<QVImageProcessingOperation> weakSelf =
      std::static_pointer_cast<QVImageProcessingOperation>(shared_from_this());
  processor->loadImageAtURL(path, engineFitSize(fitSize, imageSize), [weakSelf, loadedSlot](QVIPImagePtr image) {
    *loadedSlot = image;
    if (auto self = weakSelf.lock()) self->unlock();
  });
  lock();
  if (isCancelled()) return performFinishedCallback();
  auto loaded = std::move(*loadedSlot);
  if (loaded) {
    auto size = loaded->size();
    QVLog(8, "Image did load before processing: %s, type: %lu, size {%g, %g}", qv::lastPathComponent(path).c_str(),
          (unsigned long)task->type(), size.width, size.height);
  }
  // An export's original is only blended into the render, at the depth the file is written at: an
  // 8-bit file takes an 8-bit original (half the bytes, and no 16-bit pass over every sample); an
  // export at full strength takes none.
  NSImageRef original;
  if (task->keepsOriginal()) {
    const auto& batch = task->batchPreset();
    if (batch && loaded && writtenDepth(*task) == 8)
      if (auto bitmap = loaded->CGImageWithColorspace(loaded->colorspaceCode(), 8))
        original = NSImage::imageWithCGImage(bitmap, fitSize);
    if (!original) original = platformImage(loaded, fitSize);
  }
  {
    std::lock_guard guard(imagesMutex_);
    originalImage_ = std::move(original);
  }
  // A file the engine cannot read has nothing to render: the task ends with nil images.
  if (!loaded || isCancelled()) return QVImageTaskOperation::main();
  // The decoded picture is let go before the render: while this task still holds it, an export's
  // single render cannot take its pixels as the result buffer and copies them into fresh memory.
  loaded.reset();

  // The processor may have decoded the file at a reduced scale: regions are in its canvas's pixels.
  const CGSize canvas = processor->canvasSize();
  const CGRect imageRect = CGRectMake(0, 0, canvas.width, canvas.height);
  const CGSize renderSize = engineFitSize(fitSize, canvas);
  logLine("Began processing %s, type: %lu");
  // A lens pass renders the lens correction alone first, as the original of a blend; a task that
  // keeps no original gets the lens correction with the effects in one render.
  const std::shared_ptr<QVPreset> lens = task->keepsOriginal() ? task->lensCorrectionPreset() : nullptr;
  std::vector<std::shared_ptr<QVPreset>> presets = task->effectsPresets();
  if (!lens && task->lensCorrectionPreset()) presets.insert(presets.begin(), task->lensCorrectionPreset());
  // An export renders its picture once (a lens pass renders twice) and lets the processor go: its
  // render may work in the decoded picture's own buffer.
  processor->setSingleRender(task->type() == 2 && !lens);
  QVPresetHelpers::installLayersCreatedWithPresets(lens ? std::vector{lens} : presets, *processor);
  auto first = render(*processor, imageRect, renderSize);
  if (isCancelled()) return performFinishedCallback();
  std::shared_ptr<QVIPImage> second = first, lensImage;
  if (lens) {
    lensImage = first;
    std::vector<std::shared_ptr<QVPreset>> all{lens};
    all.insert(all.end(), task->effectsPresets().begin(), task->effectsPresets().end());
    QVPresetHelpers::installLayersCreatedWithPresets(all, *processor);
    second = render(*processor, imageRect, renderSize);
    if (isCancelled()) return performFinishedCallback();
  }
  {
    std::lock_guard guard(imagesMutex_);
    lensCorrectionImage_ = platformImage(lensImage, fitSize);
    processedImage_ = platformImage(second, fitSize);
  }
  // Not cancelled, yet nothing rendered: callers get the source without a processed image (an export
  // fails on it), and the log says so rather than that processing finished.
  if (second)
    logLine("Finished processing %s, type: %lu");
  else
    QVLogError("Processing %s made no image, type: %lu", qv::lastPathComponent(task->path()).c_str(),
               (unsigned long)task->type());
  QVImageTaskOperation::main();
}

void QVImageProcessingOperation::cancel() {
  QVImageTaskOperation::cancel();
  logLine("Cancelled processing %s, type: %lu");
}
