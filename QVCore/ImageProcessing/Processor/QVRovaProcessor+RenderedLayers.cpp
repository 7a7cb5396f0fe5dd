// Layers made from renders: merging a set of layers into one picture layer (rasterize, merge,
// stamp), the denoised picture of a second processor as a layer, and the erase tool, which fills
// the masked part of the picture by inpainting. Each new layer comes from the layer factory over
// engine RGB data and enters the stack through the stack's own operations.
#include <algorithm>
#include <regex>
#include <set>

#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"
#include "QVPlatform/Dispatch.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/Log.h"
#include "rova/Inpaint.h"

namespace {

std::string localized(const char* key) { return qv::QVSLocalization::localizedStringForKey(key); }

std::mutex& inpainterMutex() {
  static std::mutex m;
  return m;
}

// The engine's own inpainting unless a test or tool installs another.
QVRovaProcessor::Inpainter& inpainterSlot() {
  static QVRovaProcessor::Inpainter inpainter = QVRovaProcessor::engineInpainter();
  return inpainter;
}

QVRovaProcessor::Inpainter currentInpainter() {
  std::lock_guard<std::mutex> lock(inpainterMutex());
  return inpainterSlot();
}

// The base name of a merge: the name without a leading "Layer ".
std::string baseNameOf(const std::string& name) {
  try {
    static const std::regex leading("^Layer ");
    return std::regex_replace(name, leading, "", std::regex_constants::format_first_only);
  } catch (const std::regex_error& e) {
    QVLogError("%s:%d %s: Error: %s", __FILE__, __LINE__, __func__, e.what());
    return name;
  }
}

// A render of the whole frame of `size` at that size, on the processing queue; the engine's own
// cache is cleared afterwards to release memory. nullptr when the engine made nothing.
rova::ImageDataRGBfPtr renderWhole(rova::ImageProcessor& engine, rova::Size size) {
  rova::ImageDataRGBfPtr copy;
  if (engine.startProcessing(rova::ImageProcessorSettings::wholeFrameExport(size, true)))
    if (auto result = engine.getLastResult()) copy = result->copy();
  return copy;
}

}  // namespace

QVRovaProcessor::Inpainter QVRovaProcessor::engineInpainter() {
  return
      [](const rova::ImageDataRGBf& source, rova::ImageDataRGBf& destination, const rova::ImageDataF& mask, int method,
         float parameter, const std::atomic<uint8_t>& cancel, const std::function<void(float)>& progress) {
        return rova::inpaint_image(source, destination, mask, method, parameter, &cancel, progress);
      };
}

void QVRovaProcessor::setInpainter(Inpainter inpainter) {
  std::lock_guard<std::mutex> lock(inpainterMutex());
  inpainterSlot() = std::move(inpainter);
}

// ---- Merge ----

void QVRovaProcessor::mergeLayersWithIndexes(const std::vector<uint64_t>& indexList, uint64_t leaveState,
                                             LayerCompletion completion) {
  const std::set<uint64_t> indexes(indexList.begin(), indexList.end());
  const auto list = layers();
  if (indexes.empty() || *indexes.rbegin() >= list.size()) {
    QVLogError("Merge of layers outside the stack refused");
    if (completion) completion(nullptr);
    return;
  }
  const uint64_t first = *indexes.begin(), last = *indexes.rbegin();
  const bool savedShowMask = showMask();
  setShowMask(false);
  // The layers between the merged ones that show now are switched off for the render.
  std::vector<LayerPtr> switchedOff;
  for (uint64_t i = last + 1; i-- > first;)
    if (!indexes.count(i) && list[i]->isEnabled()) {
      list[i]->setEnabled(false);
      switchedOff.push_back(list[i]);
    }
  const CGSize size = imageSize();
  auto weak = weakSelf();
  processFullSizeImageWithColorspace(
      0, size, 16, false, true, true, false, true,
      [weak, indexes, first, last, leaveState, switchedOff, savedShowMask, completion](QVIPImagePtr image, QVIPImagePtr,
                                                                                       QVIPImagePtr, CGSize, CGRect) {
        auto p = weak.lock();
        if (!p) return;
        const auto snapshot = p->layers();
        if (last >= snapshot.size()) {
          // The stack shrank while the render ran: nothing sensible to merge into.
          for (const auto& layer : switchedOff) layer->setEnabled(true);
          if (completion) completion(nullptr);
          p->setShowMask(savedShowMask);
          return;
        }
        const std::string baseName = baseNameOf(snapshot[last]->name());
        const LayerPtr upper = last + 1 < snapshot.size() ? snapshot[last + 1] : nullptr;
        const auto initial = p->initialLayer();
        for (uint64_t i = last + 1; i-- > first;) {
          const LayerPtr& layer = snapshot[i];
          bool stays;
          if (std::find(switchedOff.begin(), switchedOff.end(), layer) != switchedOff.end()) {
            layer->setEnabled(true);
            stays = true;
          } else if (layer == initial || leaveState == 2) {
            stays = true;
          } else if (leaveState == 1) {
            stays = !layer->isEnabled();
          } else if (leaveState == 0) {
            stays = !indexes.count(i);
          } else {
            stays = false;
          }
          if (!stays) p->removeLayer(layer);
        }
        LayerPtr merged;
        auto data = image ? image->imageData() : nullptr;
        if (data) merged = QVIPLayerFactory::layerWithImageData(data);
        if (merged) {
          if (leaveState == 3)
            merged->setName(localized("Rasterize Layer ") + baseName);
          else if (leaveState == 2)
            merged->setName(localized("Stamped Layer"));
          else
            merged->setName(localized("Merged Layer ") + baseName);
          auto now = p->layers();
          auto it = upper ? std::find(now.begin(), now.end(), upper) : now.end();
          p->addLayer(merged, uint64_t(it - now.begin()));
          if (auto crop = p->cropDescription(); crop && !crop->isIdentity())
            merged->setTextureScaleMode(1, true, leaveState != 2);
          p->setActiveLayer(merged);
          p->postOnMainThread(kQVImageProcessorLayersListDidChange);
        } else {
          QVLogError("%s:%d %s: ALARM!!! !proccessedImage", __FILE__, __LINE__, __func__);
        }
        if (completion) {
          completion(merged);
          p->setShowMask(savedShowMask);
        }
      });
}

// ---- Denoise ----

void QVRovaProcessor::applyDenoise(const std::shared_ptr<QVRovaProcessor>& source, LayerCompletion completion) {
  if (!source) return;
  std::weak_ptr<QVRovaProcessor> weakSource = source, weak = weakSelf();
  source->performOnImageProcessingQueue(
      [weakSource, weak, completion] {
        auto src = weakSource.lock();
        if (!src) return;
        auto engine = src->cppProcessor();
        auto copy = renderWhole(*engine, engine->canvasSize());
        engine->clearCache();
        qv::MainExecutor::shared().async([weak, copy, completion] {
          auto p = weak.lock();
          if (!p) return;
          auto layer = copy ? QVIPLayerFactory::layerWithImageData(copy) : nullptr;
          if (!layer) {
            QVLogError("%s:%d %s: the denoised render gave no picture", __FILE__, __LINE__, __func__);
            if (completion) completion(nullptr);
            return;
          }
          layer->setName(localized("Denoise layer"));
          auto list = p->layers();
          auto active = p->activeLayer();
          auto it = std::find(list.begin(), list.end(), active);
          // Without an active layer in the stack the layer goes on top.
          const uint64_t index = it == list.end() ? list.size() : uint64_t(it - list.begin()) + 1;
          p->addLayer(layer, index);
          p->notificationQueue()->queueNotificationWithInfo(
              qv::Dictionary{{kQVChangeTypeStateInfoKey, kQVImageProcessorLayersListDidChange}}, true);
          p->postOnMainThread(kQVImageProcessorLayersListDidChange,
                              {{kQVImageProcessorAddedLayersIndexes, qv::Value(index)}});
          {
            std::lock_guard<std::recursive_mutex> lock(p->mutex_);
            p->layerStack_.setActive(layer);
            p->layerStack_.setEdited(layer);
          }
          layer->setActive(true);
          p->setNeedsDisplayWithInfo(
              qv::Dictionary{{kQVChangeTypeStateInfoKey, kQVImageProcessorActiveLayerDidChange}});
          p->postOnMainThread(kQVImageProcessorActiveLayerDidChange);
          if (auto crop = p->cropDescription(); crop && !crop->isIdentity()) layer->setTextureScaleMode(1);
          if (completion) completion(layer);
        });
      },
      false);
}

// ---- Erase ----

void QVRovaProcessor::applyEraseCompletion(LayerCompletion completion, EraseErrorHandler error) {
  auto weak = weakSelf();
  auto edited = editedLayer();
  performOnImageProcessingQueue(
      [weak, edited, completion, error] {
        auto p = weak.lock();
        if (!p) return;
        p->increaseProcessingCounter();
        const std::string title = localized("Erase can't be done");
        const std::string message =
            localized("Sorry, but selected area is too large to be removed. Please select smaller objects.");
        auto fail = [weak, error, title, message] {
          qv::MainExecutor::shared().async([weak, error, title, message] {
            if (error) error(title, message);
            if (auto q = weak.lock()) q->decreaseProcessingCounter();
          });
        };
        auto engineLayer = edited ? edited->cppLayer() : nullptr;
        auto mask = engineLayer && engineLayer->hasMask() ? engineLayer->getMask() : nullptr;
        if (!mask || !mask->isValid()) {
          // Nothing to erase with.
          p->decreaseProcessingCounter();
          return;
        }
        // At least half of the picture must stay unselected.
        const size_t zeros = mask->zeroCount();
        if (zeros == 0 || float(mask->width()) * float(mask->height()) / float(zeros) > 2.0f) return fail();

        auto engine = p->cppProcessor();
        const rova::CropDescription crop = engine->getCropDescription();
        const rova::Size canvas = engine->canvasSize();
        const rova::Size size = crop.isNone() ? canvas : rova::Size{crop.width, crop.height};
        engineLayer->setEnabled(false);
        auto picture = renderWhole(*engine, size);
        engineLayer->setEnabled(true);
        rova::ImageTransformSettings transform;
        transform.canvasSize = canvas;
        transform.outputSize = size;
        transform.cropDescription = crop;
        auto workingMask = engineLayer->maskPreviewForTransform(transform);
        engine->clearCache();
        if (!picture || !workingMask || workingMask->width() != picture->width() ||
            workingMask->height() != picture->height())
          return fail();
        auto destination = rova::ImageDataRGBf::create(picture->width(), picture->height());
        if (!destination) return fail();

        qv::DispatchQueue::global()->async([weak, edited, picture, destination, workingMask, completion, fail] {
          auto q = weak.lock();
          if (!q) return;
          auto inpainter = currentInpainter();
          auto progress = [weak](float value) {
            qv::MainExecutor::shared().async([weak, value] {
              if (auto r = weak.lock()) r->updateProgress(value);
            });
          };
          const int status =
              inpainter ? inpainter(*picture, *destination, *workingMask, 1, 0.5f, q->cancelInpaintFlag_, progress) : 2;
          if (!inpainter) QVLogError("Erase: no inpainting available");
          // A cancelled inpainting leaves the destination unfilled: it must not become a layer.
          if (status != rova::kInpaintDone) return fail();
          qv::MainExecutor::shared().async([weak, edited, destination, completion] {
            auto r = weak.lock();
            if (!r) return;
            auto layer = QVIPLayerFactory::layerWithImageData(destination);
            if (layer) {
              layer->setName(localized("Erased image layer"));
              const bool notified = r->notify();
              if (notified) r->setNotify(false);
              auto list = r->layers();
              auto it = std::find(list.begin(), list.end(), edited);
              const uint64_t index = it == list.end() ? list.size() : uint64_t(it - list.begin());
              r->addLayer(layer, index);
              {
                std::lock_guard<std::recursive_mutex> lock(r->mutex_);
                r->layerStack_.setActive(layer);
                r->layerStack_.setEdited(layer);
              }
              layer->setActive(true, true);
              if (notified) {
                r->setNotify(true);
                r->notificationQueue()->queueNotificationWithInfo(
                    qv::Dictionary{{kQVChangeTypeStateInfoKey, kQVImageProcessorLayersListDidChange}}, true);
                r->postOnMainThread(kQVImageProcessorLayersListDidChange,
                                    {{kQVImageProcessorAddedLayersIndexes, qv::Value(index)}});
              }
              if (auto crop = r->cropDescription(); crop && !crop->isIdentity()) layer->setTextureScaleMode(1);
            }
            if (completion) completion(layer);
            r->decreaseProcessingCounter();
          });
        });
      },
      false);
}

void QVRovaProcessor::makeNewEraseLayer() {
  auto layer = createLayer();
  if (!layer) return;
  layer->createMask();
  if (auto mask = layer->mask()) mask->clearMaskWithNextDelete(false);
  layer->setName(localized("Erase"));
  setEditedLayer(layer);
  setShowMask(true);
  setActiveLayer(layer);
  if (auto mask = layer->mask()) mask->createBrushController();
}

void QVRovaProcessor::clearEraseLayer() {
  auto list = layers();
  if (list.empty()) return;
  auto top = list.back();
  if (auto mask = top->mask()) mask->clearMaskWithNextDelete(false);
  top->markMaskDidChange();
  setShowMask(true);
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  layerStack_.setActive(top);
  layerStack_.setEdited(top);
}
