// Processing objects derived from the processor's current state: a clone-and-stamp processor, a
// flattened processor, a luminosity mask, copies over a copy of the engine processor (optionally
// following this processor), and the engine's preview and background processors of an image
// layer. Each is built on the processing queue and handed to its completion on the main thread.
#include <algorithm>

#include "QVCore/ImageProcessing/Base/QVCloneAndStampProcessorProtocol.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/Layers/QVIPMask.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"
#include "QVPlatform/Dispatch.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/MainExecutor.h"

namespace {

// A render of the whole frame at full size and export quality, bypassing the engine's cache: of the
// crop (when there is one and `applyCrop`), else of the canvas.
rova::ImageProcessorSettings fullSizeSettings(const rova::ImageProcessor& engine, bool applyCrop) {
  const rova::CropDescription crop = engine.getCropDescription();
  const rova::Size size = applyCrop && !crop.isNone() ? crop.size() : engine.canvasSize();
  return rova::ImageProcessorSettings::wholeFrameExport(size, applyCrop);
}

// The render's result; nullptr when the render made none (a failed render would otherwise hand out
// the previous, unrelated result).
rova::ImageDataRGBfPtr renderFullSize(rova::ImageProcessor& engine, bool applyCrop) {
  if (engine.canvasSize().isEmpty() || !engine.startProcessing(fullSizeSettings(engine, applyCrop))) return nullptr;
  return engine.getLastResult();
}

}  // namespace

QVRovaProcessor::Ptr QVRovaProcessor::allocSameClass() const { return create<QVRovaProcessor>(); }

void QVRovaProcessor::adoptRovaProcessorCopy(const rova::ImageProcessorPtr& engine) {
  // The engine's copy has no update callback; this processor listens to its own copy.
  auto weak = weakSelf();
  engine->setUpdateCallback([weak] {
    auto p = weak.lock();
    if (!p) return;
    p->updateLoadStateFromLayer(p->initialImageLayer());
    if (!p->updatesModelOnMainThread()) return;
    qv::MainExecutor::shared().async([weak] {
      if (auto processor = weak.lock()) processor->update();
    });
  });
  adoptRovaProcessor(engine);
}

namespace {

// Runs `make` on the processing queue with the render counter raised (nothing when the processor
// is gone by then); its result goes to the completion on the main thread, then the counter is
// lowered again.
template <class Result>
void countedDerivation(QVRovaProcessor& self, std::function<Result(QVRovaProcessor&)> make,
                       std::function<void(Result)> completion) {
  auto weak = std::weak_ptr<QVRovaProcessor>(self.sharedAs<QVRovaProcessor>());
  self.performOnImageProcessingQueue(
      [weak, make, completion] {
        auto p = weak.lock();
        if (!p) return;
        p->increaseProcessingCounter();
        Result result = make(*p);
        qv::dispatchOnMainThread([weak, completion, result] {
          if (completion) completion(result);
          if (auto processor = weak.lock()) processor->decreaseProcessingCounter();
        });
      },
      false);
}

}  // namespace

// ---- Clone and stamp ----

void QVRovaProcessor::obtainCloneAndStampProcessor(
    std::function<void(std::shared_ptr<QVCloneAndStampProcessorProtocol>)> completion) {
  countedDerivation<std::shared_ptr<QVCloneAndStampProcessorProtocol>>(
      *this,
      [](QVRovaProcessor& p) -> std::shared_ptr<QVCloneAndStampProcessorProtocol> {
        auto engine = p.cppProcessor();
        auto image = renderFullSize(*engine, true);
        rova::MaskImagePtr mask;
        for (const auto& layer : engine->layers()) {
          if (layer->kind() != rova::kLayerKindImage) continue;
          auto working = layer->workingMask();
          if (!working || !working->isValid()) continue;
          if (!mask)
            mask = working->copy();
          else
            mask->unionWithMask(*working);
        }
        return image ? QVCloneAndStampProcessorFactory::make(image, mask) : nullptr;
      },
      std::move(completion));
}

// ---- Flattened processor ----

void QVRovaProcessor::obtainProcessorWithRasterizedImage(ProcessorCompletion completion) {
  countedDerivation<Ptr>(
      *this,
      [](QVRovaProcessor& p) {
        auto engine = p.cppProcessor();
        const bool hot = engine->showHotPixels(), cold = engine->showColdPixels();
        engine->setShowHotPixels(false);
        engine->setShowColdPixels(false);
        auto image = renderFullSize(*engine, true);
        auto flat = p.allocSameClass();
        // The render is already turned by the engine's orientation, so the flattened picture
        // keeps the identity orientation (giving it the source's would turn it a second time).
        // The pixels are copied: the source engine may reuse its result buffer.
        auto layer = std::dynamic_pointer_cast<QVIPImageLayer>(
            QVIPLayerFactory::layerWithImageData(image ? image->copy() : nullptr));
        if (layer) {
          layer->setName(flat->initialLayerDefaultName());
          flat->setInitialLayer(layer);
        }
        if (hot) engine->setShowHotPixels(true);
        if (cold) engine->setShowColdPixels(true);
        return flat;
      },
      std::move(completion));
}

// ---- Luminosity mask ----

void QVRovaProcessor::obtainLuminosityMask(std::function<void(std::shared_ptr<QVIPMask>)> completion) {
  auto weak = weakSelf();
  auto op = std::make_shared<qv::BlockOperation>();
  std::weak_ptr<qv::BlockOperation> weakOp = op;
  op->addExecutionBlock([weak, weakOp, completion] {
    auto p = weak.lock();
    if (!p) return;
    auto engine = p->cppProcessor();
    auto image = renderFullSize(*engine, false);
    if (!image) return;
    const size_t width = size_t(image->width()), height = size_t(image->height());
    auto values = std::make_shared<std::vector<float>>(width * height);
    const auto* pixels = image->data();
    float* out = values->data();
    qv::dispatchApply(height, [&](size_t y) {
      for (size_t x = 0, i = y * width; x < width; ++x, ++i) {
        const auto& px = pixels[i];
        out[i] = std::clamp(0.2126f * px.r + 0.7152f * px.g + 0.0722f * px.b, 0.f, 1.f);
      }
    });
    auto mask = QVIPMask::make(std::move(values), CGSizeMake(double(width), double(height)));
    qv::dispatchOnMainThread([weakOp, completion, mask] {
      auto live = weakOp.lock();
      if (!live || live->isCancelled() || !completion) return;
      completion(mask);
    });
  });
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (obtainLuminosityMaskOperation_) obtainLuminosityMaskOperation_->cancel();
    obtainLuminosityMaskOperation_ = op;
  }
  imageProcessingQueue()->addOperation(op);
}

// ---- Copies ----

void QVRovaProcessor::obtainCopyAndDisableShowMask(bool disableShowMask, ProcessorCompletion completion, bool sync) {
  obtainCopyAndDisableShowMask(disableShowMask, true, true, std::move(completion), sync);
}

void QVRovaProcessor::obtainCopyAndDisableShowMask(bool disableShowMask, bool useCache, bool workInBackground,
                                                   ProcessorCompletion completion, bool sync) {
  if (!initialLayer()) return;
  auto weak = weakSelf();
  performOnImageProcessingQueue(
      [weak, disableShowMask, useCache, workInBackground, completion] {
        Ptr copy;
        if (auto p = weak.lock()) {
          auto engine = std::make_shared<rova::ImageProcessor>(*p->cppProcessor());
          if (disableShowMask) engine->setShowMaskLayer(nullptr);
          copy = p->allocSameClass();
          copy->adoptRovaProcessorCopy(engine);
          copy->setProcessorCacheEnabled(useCache);
          {
            std::scoped_lock lock(p->mutex_, copy->mutex_);
            copy->originalLowResImage_ = p->originalLowResImage_;
          }
          copy->setWorkInBackground(workInBackground);
        }
        qv::dispatchOnMainThread([weak, copy, completion] {
          auto p = weak.lock();
          if (copy && p) {
            {
              std::scoped_lock lock(p->mutex_, copy->mutex_);
              copy->orientation_ = p->orientation_;
              copy->canvasSize_ = p->canvasSize_;
            }
            auto mine = p->layers(), theirs = copy->layers();
            auto it = std::find(mine.begin(), mine.end(), p->activeLayer());
            if (it != mine.end() && size_t(it - mine.begin()) < theirs.size())
              copy->setActiveLayer(theirs[size_t(it - mine.begin())]);
          }
          if (completion) completion(copy);
        });
      },
      sync);
}

void QVRovaProcessor::obtainSyncronizedCopy(ProcessorCompletion completion, bool workInBackground) {
  obtainSyncronizedCopy(std::move(completion), true, workInBackground);
}

void QVRovaProcessor::obtainSyncronizedCopyForExport(ProcessorCompletion completion) {
  obtainSyncronizedCopy(std::move(completion), false, false);
}

void QVRovaProcessor::obtainSyncronizedCopy(ProcessorCompletion completion, bool useCache, bool workInBackground) {
  auto weak = weakSelf();
  obtainCopyAndDisableShowMask(
      false, useCache, workInBackground,
      [weak, completion](Ptr copy) {
        auto p = weak.lock();
        Ptr synced;
        if (p && copy) {
          copy->setLocalCacheDisabled(true);
          if (copy->syncWithProcessor(p))
            synced = copy;
          else
            QVLogError("Could not sync processors.");
        }
        if (completion) completion(synced);
      },
      false);
}

// ---- Image-layer processors ----

void QVRovaProcessor::obtainImageLayerPreviewAndBackgroundProcessors(
    std::function<void(Ptr preview, Ptr background)> completion, const LayerPtr& layer) {
  if (!completion || !layer || layer->isAdjustmentLayer()) return;
  auto weak = weakSelf();
  performOnImageProcessingQueue(
      [weak, completion, layer] {
        auto p = weak.lock();
        if (!p) return;
        auto engines = p->cppProcessor()->getImageLayerPreviewAndBackgroundProcessors(layer->cppLayer());
        auto wrap = [](const rova::ImageProcessorPtr& engine) -> Ptr {
          if (!engine) return nullptr;
          auto processor = initWithRovaProcessor(engine);
          processor->setLowResMode(true);
          return processor;
        };
        Ptr preview = wrap(engines.first), background = wrap(engines.second);
        qv::dispatchOnMainThread([completion, preview, background] { completion(preview, background); });
      },
      false);
}
