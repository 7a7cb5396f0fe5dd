// The layer's side of its mask: the engine mask (create, replace, copy, test), fitted previews,
// the two-colour mask image, region previews and the migration of pending brush strokes.
// Engine work runs on the parent processor's processing queue.
#include <algorithm>
#include <atomic>
#include <cmath>

#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVCore/ImageProcessing/Layers/QVIPMask.h"
#include "QVCore/ImageProcessing/RovaBridge/QVIPImage.h"
#include "QVCore/Utils/QVIPImageCanvas.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/MainExecutor.h"

namespace {

constexpr double kRegionPreviewSide = 500;

// Runs a block on the queue and waits; inline when there is no queue or we are on it already
// (waiting for our own queue would never end).
void runWaitingOn(const std::shared_ptr<qv::OperationQueue>& queue, const qv::Block& block) {
  if (!queue || qv::OperationQueue::currentQueue() == queue) return block();
  queue->addOperationWithBlock(block)->waitUntilFinished();
}

}  // namespace

void QVIPLayer::setMaskEnabled(bool enabled) {
  if (enabled == maskEnabled_) return;
  registerHistory(name_ + (enabled ? ": Mask Enabled" : ": Mask Disabled"));
  setState(nullptr);
  maskEnabled_ = enabled;
  std::weak_ptr<QVIPLayer> weak = weakSelf();
  performOnParentProcessingQueue(
      [weak, enabled] {
        auto self = weak.lock();
        if (!self) return;
        if (self->cppLayer_) self->cppLayer_->setUseMask(enabled);
        // Reported once the engine uses the new switch, so a render asked for then shows it.
        qv::dispatchOnMainThread([weak] {
          auto self = weak.lock();
          if (!self) return;
          if (auto p = self->parent()) p->childDidChangeState(self, QVChangeInfo{});
          self->postOnMainThread(kQVLayerMaskDidChangeEnabledStateNotification);
        });
      },
      false);
}

void QVIPLayer::createMaskAndFillWith(double fill, bool sync) {
  hasMask_ = true;
  std::weak_ptr<QVIPLayer> weak = weakSelf();
  performOnParentProcessingQueue(
      [weak, fill] {
        auto self = weak.lock();
        if (!self || !self->cppLayer_ || !self->processor_) return;
        self->cppLayer_->createMaskWithSize(self->processor_->canvasSize(), float(fill));
      },
      sync);
}

void QVIPLayer::resetHistoryForMask() {
  setState(nullptr);
  if (auto m = mask()) m->resetState();
}

void QVIPLayer::applyMask(const std::shared_ptr<QVIPMask>& newMask, std::function<void()> callback) {
  if (auto m = mask()) m->finishDrawing();
  resetHistoryForMask();
  hasMask_ = newMask && newMask->hasBuffer();
  std::weak_ptr<QVIPLayer> weak = weakSelf();
  QVIPMask::Buffer buffer = newMask ? newMask->buffer() : nullptr;
  const CGSize size = newMask ? newMask->size() : CGSizeZero;
  performOnParentProcessingQueue(
      [weak, buffer, size, callback = std::move(callback)] {
        auto self = weak.lock();
        if (!self) return;
        if (self->cppLayer_) {
          if (buffer) {
            // The engine mask takes width x height values; a buffer short of that reads as 0.
            self->cppLayer_->setMask(
                std::make_shared<rova::MaskImage>(buffer->data(), buffer->size(), int(size.width), int(size.height)));
          } else {
            self->cppLayer_->removeMask();
          }
        }
        qv::dispatchOnMainThread([weak, callback] {
          auto self = weak.lock();
          if (!self) return;
          auto m = self->mask_;
          if (m) m->saveMask();
          if (self->hasMask_) {
            if (m) m->updateMask();
          } else {
            if (auto p = self->parent()) {
              QVChangeInfo info;
              info.set(kQVLayerMaskDidChangeNotification, true);
              p->childDidChangeState(self, info);
            }
            if (m) m->postOnMainThread(kQVLayerMaskDidChangeNotification);
          }
          if (callback) callback();
        });
      },
      false);
}

std::shared_ptr<QVIPMask> QVIPLayer::getMask() {
  if (!hasMask_) return nullptr;
  auto copy = QVIPMask::make();
  std::weak_ptr<QVIPLayer> weak = weakSelf();
  performOnParentProcessingQueue(
      [weak, copy] {
        auto self = weak.lock();
        auto engineMask = self && self->cppLayer_ ? self->cppLayer_->getMask() : nullptr;
        if (!engineMask || !engineMask->isValid()) return;
        const float* values = engineMask->values();
        copy->setSize(CGSizeMake(engineMask->width(), engineMask->height()));
        copy->setBuffer(std::make_shared<std::vector<float>>(
            values, values + size_t(engineMask->width()) * size_t(engineMask->height())));
      },
      true);
  return copy;
}

bool QVIPLayer::isMaskEmpty() {
  if (!hasMask_) return true;
  bool empty = true;
  std::weak_ptr<QVIPLayer> weak = weakSelf();
  performOnParentProcessingQueue(
      [weak, &empty] {
        auto self = weak.lock();
        auto engineMask = self && self->cppLayer_ ? self->cppLayer_->getMask() : nullptr;
        if (!engineMask || engineMask->width() == 0 || engineMask->height() == 0) return;
        const float* v = engineMask->values();
        const size_t n = size_t(engineMask->width()) * size_t(engineMask->height());
        empty = std::none_of(v, v + n, [](float x) { return x > 0.f; });
      },
      true);
  return empty;
}

void QVIPLayer::markMaskDidChange() {
  onEngineLayer([](rova::BaseLayer& layer) {
    layer.setNeedReblend(true);
    layer.setUseMask(true);
    layer.resetMaskCache();
  });
}

rova::ImageTransformSettings QVIPLayer::transformSettinsForFitSize(CGSize fitSize,
                                                                   const rova::ImageProcessorPtr& processor) {
  auto queue = parentProcessingQueue();
  if (queue && qv::OperationQueue::currentQueue() != queue) {
    QVLogWarning("Warning: %s should be called only on parent processing queue.",
                 "transformSettinsForFitSize:processor:");
    rova::ImageTransformSettings out;
    runWaitingOn(queue, [&] { out = transformSettinsForFitSize(fitSize, processor); });
    return out;
  }
  rova::ImageTransformSettings settings;
  if (!processor || !cppLayer_) return settings;
  settings = cppLayer_->transformSettings();
  const rova::CropDescription crop = processor->getCropDescription();
  const rova::Size frame = crop.isNone() ? settings.canvasSize : crop.size();
  // A frame without area has no scale to fit: the settings keep their defaults.
  if (frame.width <= 0 || frame.height <= 0) return {};
  const float w = float(frame.width), h = float(frame.height);
  const float s = std::min(float(fitSize.width) / w, float(fitSize.height) / h);
  settings.sourceRect = {0, 0, w, h};
  settings.outputSize = {std::max(1, int(std::roundf(w * s))), std::max(1, int(std::roundf(h * s)))};
  settings.transformType = rova::ImageTransformSettings::kNoTransform;
  settings.cropDescription = crop;
  return settings;
}

CGSize QVIPLayer::maskFittedSize(CGSize fitSize) {
  const rova::Size out = transformSettinsForFitSize(fitSize, processor_).outputSize;
  return CGSizeMake(out.width, out.height);
}

void QVIPLayer::getMaskFittedToSize(CGSize fitSize, std::function<void(CGSize)> completion) {
  std::weak_ptr<QVIPLayer> weak = weakSelf();
  performOnParentProcessingQueue(
      [weak, fitSize, completion = std::move(completion)] {
        auto self = weak.lock();
        if (self && completion) completion(self->maskFittedSize(fitSize));
      },
      false);
}

rova::ImageDataFPtr QVIPLayer::maskPreviewFittedToSize(CGSize fitSize, const rova::ImageProcessorPtr& processor) {
  const rova::ImageTransformSettings settings = transformSettinsForFitSize(fitSize, processor);
  if (!cppLayer_ || !processor) return nullptr;
  return cppLayer_->maskPreviewForTransform(settings);
}

std::shared_ptr<QVIPImage> QVIPLayer::getMaskImageWithBackgroundColor(const qv::RGBAColor& background,
                                                                      const qv::RGBAColor& foreground, CGSize fitSize) {
  if (fitSize.width == 0 || fitSize.height == 0) return nullptr;
  rova::ImageDataFPtr preview;
  std::weak_ptr<QVIPLayer> weak = weakSelf();
  auto p = parent();
  runWaitingOn(p ? p->parentProcessingQueue() : nullptr, [&] {
    if (auto self = weak.lock()) preview = self->maskPreviewFittedToSize(fitSize, self->processor_);
  });
  if (!preview) return nullptr;
  const size_t w = size_t(preview->width()), h = size_t(preview->height());
  // The mask as white with the mask's coverage, 8 bits a component, premultiplied alpha last.
  auto pixels = std::make_shared<std::vector<uint8_t>>(w * h * 4);
  const float* v = preview->data();
  for (size_t i = 0; i < w * h; ++i) {
    const float scaled = v[i] * 255.f;
    const uint8_t a = !(scaled > 0.f) ? 0 : uint8_t(std::min(scaled, 255.f));
    uint8_t* px = pixels->data() + 4 * i;
    px[0] = px[1] = px[2] = a;  // white, premultiplied
    px[3] = a;
  }
  CGColorSpaceRef srgb = QVIPImage::imageColorSpace();
  CGImageRef maskBitmap = CGImageCreate(w, h, 8, 32, w * 4, srgb, kCGImageAlphaPremultipliedLast, std::move(pixels));
  if (!maskBitmap) return nullptr;
  const auto colour = [](const qv::RGBAColor& c) {
    return QVIPImageCanvas::RGBA{float(c.red), float(c.green), float(c.blue), float(c.alpha)};
  };
  // The foreground shown with the mask's coverage, over the background.
  QVIPImageCanvas coverage{int64_t(w), int64_t(h)};
  if (!coverage.drawImage(maskBitmap, CGRectMake(0, 0, double(w), double(h)))) return nullptr;
  coverage.fill(colour(foreground), QVIPImageCanvas::Operation::SourceIn);
  QVIPImageCanvas result{int64_t(w), int64_t(h)};
  result.fill(colour(background), QVIPImageCanvas::Operation::Copy);
  if (!result.drawImage(coverage.makeImage(8, srgb), CGRectMake(0, 0, double(w), double(h)))) return nullptr;
  return QVIPImage::initWithNSImage({result.makeImage(8, srgb), CGSizeMake(double(w), double(h))});
}

std::shared_ptr<qv::Operation> QVIPLayer::obtainMaskPreviewAtRoi(CGRect roi, CGSize size, MaskPreviewHandler handler,
                                                                 bool /*returnFilledIfMaskAbsent*/) {
  if (obtainMaskPreviewOperation_) obtainMaskPreviewOperation_->cancel();
  const bool hadMask = hasMask_;
  // The handler hears of every request exactly once: with both images when the work ran to its
  // end, else (cancelled, layer gone, no processor) with none; the completion block covers a
  // request cancelled before it started.
  auto delivered = std::make_shared<std::atomic<bool>>(false);
  auto deliver = [handler, delivered, roi, size](std::shared_ptr<QVIPImage> region,
                                                 std::shared_ptr<QVIPImage> preview) {
    if (delivered->exchange(true)) return;
    qv::dispatchOnMainThread([handler, region, preview, roi, size] {
      if (handler) handler(region, preview, roi, size);
    });
  };
  auto opHolder = std::make_shared<std::weak_ptr<qv::Operation>>();
  std::weak_ptr<QVIPLayer> weak = weakSelf();
  auto op = qv::BlockOperation::make([weak, opHolder, deliver, roi, size, hadMask] {
    const auto cancelled = [&] {
      auto o = opHolder->lock();
      return !o || o->isCancelled();
    };
    auto self = weak.lock();
    if (!self || !self->processor_ || !self->cppLayer_ || cancelled()) return deliver(nullptr, nullptr);
    rova::BaseLayer& layer = *self->cppLayer_;
    const rova::ImageProcessorPtr processor = self->processor_;
    rova::ImageTransformSettings settings = layer.transformSettings();
    const rova::CropDescription crop = processor->getCropDescription();
    const rova::Size canvas = settings.canvasSize;
    const rova::Size frame = crop.isNone() ? canvas : crop.size();
    const rova::RectRoiF r = rova::rectRoiFromCGRect(roi, double(frame.height));
    // Limited to the canvas.
    const double left = std::max(0.0, r.x), top = std::max(0.0, r.y);
    const double right = std::min(double(canvas.width), r.x + r.width);
    const double bottom = std::min(double(canvas.height), r.y + r.height);
    settings.sourceRect = {left, top, std::max(0.0, right - left), std::max(0.0, bottom - top)};
    settings.outputSize = {int(size.width), int(size.height)};
    settings.cropDescription = crop;
    layer.setTransformSettings(settings);
    if (cancelled()) return deliver(nullptr, nullptr);
    rova::MaskImagePtr regionMask = layer.hasMask() && hadMask ? layer.workingMask() : nullptr;
    layer.getWorkingMaskUpdateRect();
    if (cancelled()) return deliver(nullptr, nullptr);
    rova::ImageDataFPtr preview =
        regionMask ? self->maskPreviewFittedToSize(CGSizeMake(kRegionPreviewSide, kRegionPreviewSide), processor)
                   : nullptr;
    if (cancelled()) return deliver(nullptr, nullptr);
    auto regionData = regionMask && regionMask->data() ? regionMask->data()->copy() : nullptr;
    auto regionImage = QVIPImage::initWithMaskData(regionData, size);
    layer.getMaskPreviewUpdateRect();
    if (cancelled()) return deliver(nullptr, nullptr);
    auto previewImage = QVIPImage::initWithMaskData(preview ? preview->copy() : nullptr,
                                                    CGSizeMake(kRegionPreviewSide, kRegionPreviewSide));
    deliver(regionImage, previewImage);
  });
  *opHolder = op;
  op->setCompletionBlock([deliver] { deliver(nullptr, nullptr); });
  obtainMaskPreviewOperation_ = op;
  if (auto queue = parentProcessingQueue()) {
    queue->addOperation(op);
  } else {
    op->start();
  }
  return op;
}

bool QVIPLayer::migrateBrushStackToMask() {
  bool migrated = false;
  if (hasMask_ && mask_ && !mask_->brushStack().empty()) {
    mask_->finishDrawing();
    mask_->saveMaskForceWithIgnoreHistoryMaskName();
    resetStateAscending();
    migrated = true;
  }
  for (const auto& layer : subLayers_)
    if (layer->migrateBrushStackToMask()) migrated = true;
  return migrated;
}
