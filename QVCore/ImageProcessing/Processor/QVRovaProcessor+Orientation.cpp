// Three small services of the processor: the picture's orientation with its rotate and flip steps,
// copying a layer's mask to the document's own pasteboard and pasting it onto another layer, and
// the white-balance pick that turns a colour picked on the picture into a temperature and a tint.
#include <array>
#include <cstring>

#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"
#include "QVPlatform/Log.h"
#include "rova/effects/WhiteBalanceEffect.h"
#include "rova/layers/ImageLayer.h"

namespace {

// Row r, entry o: the orientation after operation r on orientation o (entry 0 unused).
constexpr std::array<std::array<uint8_t, 9>, 4> kRotateFlip{{
    {0, 8, 5, 6, 7, 4, 1, 2, 3},  // quarter turn counter-clockwise
    {0, 6, 7, 8, 5, 2, 3, 4, 1},  // quarter turn clockwise
    {0, 2, 1, 4, 3, 6, 5, 8, 7},  // mirror left-right
    {0, 4, 3, 2, 1, 8, 7, 6, 5},  // mirror top-bottom
}};

// The pasteboard form of a mask: width and height as 32-bit integers, then the values, all in the
// machine's byte order.
constexpr size_t kMaskHeaderSize = 2 * sizeof(int32_t);

}  // namespace

// ---- Orientation ----

uint64_t QVRovaProcessor::orientationAfterRotateFlip(uint64_t operation, uint64_t orientation) {
  if (operation >= kRotateFlip.size() || orientation < 1 || orientation > 8) return orientation;
  return kRotateFlip[operation][orientation];
}

void QVRovaProcessor::rotateFlip(uint64_t operation) {
  if (operation >= kRotateFlip.size()) return;
  setOrientation(orientationAfterRotateFlip(operation, orientation()));
}

void QVRovaProcessor::setOrientation(uint64_t value) {
  if (value < 1 || value > 8) {
    QVLogError("Orientation should be integer in range 1..8");
    return;
  }
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (value == orientation_) return;
  }
  if (auto history = historyManager()) history->registerHistoryWithActionName("Change Orientation");
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    orientation_ = value;
  }
  if (auto initial = initialLayer()) initial->setImageOrientation(value);
  for (const auto& layer : layers()) layer->setImageOrientation(value);
  auto weak = weakSelf();
  performOnImageProcessingQueue(
      [weak, value] {
        auto p = weak.lock();
        if (!p) return;
        p->cppProcessor()->setOrientation(int(value));
        // The engine's canvas is the picture turned by the orientation: a quarter turn swaps its
        // sides, so the kept size and the unprocessed previews are read again.
        {
          std::lock_guard<std::recursive_mutex> lock(p->mutex_);
          p->canvasSize_ = CGSizeZero;
          ++p->canvasGeneration_;
        }
        p->dropOriginalPreviews();
        qv::MainExecutor::shared().async([weak] {
          if (auto processor = weak.lock())
            processor->setNeedsDisplayWithInfo(
                qv::Dictionary{{kQVChangeTypeStateInfoKey, kQVImageProcessorImageOrientationDidChange}});
        });
      },
      false);
  qv::NotificationCenter::defaultCenter().post(kQVImageProcessorImageOrientationDidChange, sharedAs<QVModelObject>());
}

// ---- Mask copy and paste ----

std::shared_ptr<qv::Pasteboard> QVRovaProcessor::maskPasteboard() {
  auto history = historyManager();
  return history ? qv::Pasteboard::pasteboardWithName(history->identificator()) : nullptr;
}

void QVRovaProcessor::copyMaskFromLayer(const LayerPtr& given) {
  LayerPtr layer = given ? given : editedLayer() ? editedLayer() : activeLayer();
  if (!layer) return;
  rova::MaskImagePtr copy;
  performOnImageProcessingQueue(
      [&] {
        if (auto engineLayer = layer->cppLayer(); engineLayer && engineLayer->hasMask())
          if (auto mask = engineLayer->getMask(); mask && mask->isValid()) copy = mask->copy();
      },
      true);
  if (!copy) return;
  auto board = maskPasteboard();
  if (!board) return;
  const int32_t size[2] = {copy->width(), copy->height()};
  const size_t valueBytes = size_t(copy->width()) * size_t(copy->height()) * sizeof(float);
  qv::Pasteboard::Data data(kMaskHeaderSize + valueBytes);
  std::memcpy(data.data(), size, kMaskHeaderSize);
  std::memcpy(data.data() + kMaskHeaderSize, copy->values(), valueBytes);
  board->clearContents();
  if (!board->setData(std::move(data), kQVPasteboardTypeImageAlphaData))
    QVLogError("[%s setData:<%zu bytes> forType:QVPasteboardTypeImageAlphaData] == NO", board->name().c_str(),
               kMaskHeaderSize + valueBytes);
}

bool QVRovaProcessor::canReadMaskFromPasteboard() {
  auto board = maskPasteboard();
  return board && board->canReadType(kQVPasteboardTypeImageAlphaData);
}

void QVRovaProcessor::pasteMaskToLayer(const LayerPtr& given) {
  LayerPtr layer = given ? given : editedLayer() ? editedLayer() : activeLayer();
  if (!layer) return;
  // Without a mask on the pasteboard nothing changes (no step either). The sizes come from outside
  // this object: a mask the engine cannot hold is refused by its own size check below.
  auto board = maskPasteboard();
  auto data = board ? board->dataForType(kQVPasteboardTypeImageAlphaData) : std::nullopt;
  if (!data || data->size() < kMaskHeaderSize) return;
  int32_t size[2];
  std::memcpy(size, data->data(), kMaskHeaderSize);
  auto mask = std::make_shared<rova::MaskImage>(size[0], size[1]);
  if (!mask->isValid()) {
    QVLogError("Pasted mask of %d x %d refused", size[0], size[1]);
    return;
  }

  if (auto history = historyManager()) history->registerHistoryWithActionName(layer->name() + ": Mask Pasted");
  layer->setState(nullptr);
  auto maskObject = layer->mask();
  if (maskObject) {
    maskObject->setBrushStack(std::nullopt);
    maskObject->setHistoryMaskName(std::nullopt);
  }
  // Values past the end of the data stay 0; extra data is ignored.
  const size_t available = data->size() - kMaskHeaderSize;
  const size_t wanted = size_t(mask->width()) * size_t(mask->height()) * sizeof(float);
  std::memcpy(mask->values(), data->data() + kMaskHeaderSize, std::min(available, wanted));
  if (maskObject) maskObject->finishDrawing();

  std::weak_ptr<QVIPLayer> weakLayer = layer;
  std::weak_ptr<QVLayerMaskProtocol> weakMask = maskObject;
  performOnImageProcessingQueue(
      [weakLayer, weakMask, mask] {
        auto target = weakLayer.lock();
        if (!target || !target->cppLayer()) return;
        target->cppLayer()->setMask(mask);
        qv::MainExecutor::shared().async([weakMask] {
          if (auto m = weakMask.lock()) {
            m->saveMaskForce(true);
            m->updateMask();
          }
        });
      },
      false);
}

// ---- Colour pick ----

bool QVRovaProcessor::getTemperature(float& temperature, float& tint, const qv::RGBAColor& color) {
  auto layer = getLastTextureLayer();
  if (!layer) return false;
  bool picked = false;
  performOnImageProcessingQueue(
      [&] {
        auto engineLayer = layer->cppLayer();
        if (!engineLayer || engineLayer->kind() != rova::kLayerKindImage) return;
        auto source = static_cast<rova::ImageLayer&>(*engineLayer).getSourceImage();
        if (!source) return;
        float shotTemperature = 6500, shotTint = 0;
        rova::getDefaultTemperatureTint(*source, shotTemperature, shotTint);
        grfx_temperature_tint_for_picked_point(float(color.red), float(color.green), float(color.blue), shotTemperature,
                                               shotTint, &temperature, &tint);
        picked = true;
      },
      true);
  return picked;
}
