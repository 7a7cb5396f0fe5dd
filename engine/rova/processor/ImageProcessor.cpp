#include "rova/processor/ImageProcessor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "rova/effects/EffectIDs.h"
#include "rova/effects/factory/EffectFactory.h"
#include "rova/kernels/RenderPool.h"
#include "rova/layers/SourceSampling.h"
#include "rova/processor/Render.h"

namespace rova {

ImageProcessor::ImageProcessor() : pool_(std::make_shared<detail::RenderPool>()) {}

ImageProcessor::ImageProcessor(const ImageProcessor& other) : pool_(std::make_shared<detail::RenderPool>()) {
  std::lock_guard<std::mutex> lock(other.mutex_);
  for (auto& layer : other.layers_) {
    layers_.push_back(layer->copy());
    if (layer == other.showMaskLayer_) showMaskLayer_ = layers_.back();
  }
  crop_ = other.crop_;
  orientation_ = other.orientation_;
  showHot_ = other.showHot_;
  showCold_ = other.showCold_;
  overlayType_ = other.overlayType_;
}

void ImageProcessor::setUpdateCallback(std::function<void()> callback) {
  std::lock_guard<std::mutex> lock(mutex_);
  updateCallback_ = std::move(callback);
}

void ImageProcessor::notifyUpdate() {
  std::function<void()> callback;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    callback = updateCallback_;
    hasLastKey_ = false;
  }
  if (callback) callback();
}

bool ImageProcessor::addLayer(BaseLayerPtr layer, size_t index) {
  if (!layer) return false;
  bool bottomChanged;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::find(layers_.begin(), layers_.end(), layer) != layers_.end()) return false;
    index = std::min(index, layers_.size());
    layers_.insert(layers_.begin() + index, layer);
    bottomChanged = index == 0 && layer->kind() == kLayerKindImage;
  }
  if (bottomChanged) notifyUpdate();
  return true;
}

bool ImageProcessor::removeLayer(const BaseLayerPtr& layer) {
  bool bottomChanged;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find(layers_.begin(), layers_.end(), layer);
    if (it == layers_.end()) return false;
    bottomChanged = it == layers_.begin() && layer->kind() == kLayerKindImage;
    layers_.erase(it);
    if (showMaskLayer_ == layer) showMaskLayer_ = nullptr;
  }
  if (bottomChanged) notifyUpdate();
  return true;
}

bool ImageProcessor::moveLayer(const BaseLayerPtr& layer, size_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find(layers_.begin(), layers_.end(), layer);
  if (it == layers_.end()) return false;
  layers_.erase(it);
  layers_.insert(layers_.begin() + std::min(index, layers_.size()), layer);
  return true;
}

int64_t ImageProcessor::layerIndex(const BaseLayerPtr& layer) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find(layers_.begin(), layers_.end(), layer);
  return it == layers_.end() ? -1 : int64_t(it - layers_.begin());
}

BaseLayerPtr ImageProcessor::layerAtIndex(size_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return index < layers_.size() ? layers_[index] : nullptr;
}

size_t ImageProcessor::getLayersCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return layers_.size();
}

std::vector<BaseLayerPtr> ImageProcessor::layers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return layers_;
}

namespace {
void copyCommonSettings(const BaseLayer& from, BaseLayer& to) {
  for (auto& tag : from.tags()) to.setTag(tag);
  to.setLevel(from.level());
  to.setEnabled(from.isEnabled());
  to.setOpacity(from.opacity());
  to.setEffectAmount(from.getEffectAmount());
  to.setBlendMode(from.blendMode());
  to.setUseMask(from.isUseMask());
  to.setMask(from.getMask());
  to.setTransformSettings(from.transformSettings());
}
}  // namespace

BaseLayerPtr ImageProcessor::convertLayerAtIndexToAdjustmentLayer(size_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= layers_.size()) return nullptr;
  auto layer = std::make_shared<AdjustmentLayer>(0);
  copyCommonSettings(*layers_[index], *layer);
  ImageTransformSettings t = layer->transformSettings();
  t.transformType = ImageTransformSettings::kNoTransform;
  layer->setTransformSettings(t);
  if (showMaskLayer_ == layers_[index]) showMaskLayer_ = layer;
  layers_[index] = layer;
  return layer;
}

BaseLayerPtr ImageProcessor::convertLayerAtIndexToImageLayer(size_t index, ImagePtr image) {
  BaseLayerPtr result;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= layers_.size() || !image) return nullptr;
    auto layer = std::make_shared<ImageLayer>(std::move(image));
    copyCommonSettings(*layers_[index], *layer);
    if (showMaskLayer_ == layers_[index]) showMaskLayer_ = layer;
    layers_[index] = layer;
    result = layer;
  }
  if (index == 0) notifyUpdate();
  return result;
}

std::shared_ptr<ImageLayer> ImageProcessor::bottomImageLayer() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (layers_.empty()) return nullptr;
  auto image = std::dynamic_pointer_cast<ImageLayer>(layers_.front());
  return image && image->getSourceImage() ? image : nullptr;
}

Size ImageProcessor::canvasSize() const {
  auto bottom = bottomImageLayer();
  if (!bottom) return {};
  return ImageTransformSettings::orientedSize(orientation(), bottom->getSourceImage()->size());
}

CropDescription ImageProcessor::getCropDescription() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return crop_;
}
void ImageProcessor::setCropDescription(const CropDescription& crop) {
  std::lock_guard<std::mutex> lock(mutex_);
  crop_ = crop.isNone() ? CropDescriptionNone : crop;
}
void ImageProcessor::setCropRect(const RectRoi& rect) {
  std::lock_guard<std::mutex> lock(mutex_);
  crop_ = {crop_.rotation, rect.x, rect.y, rect.width, rect.height};
  if (crop_.isNone()) crop_ = CropDescriptionNone;
}
int ImageProcessor::orientation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return orientation_;
}
void ImageProcessor::setOrientation(int orientation) {
  if (orientation < 1 || orientation > 8) return;
  std::lock_guard<std::mutex> lock(mutex_);
  orientation_ = orientation;
}

void ImageProcessor::setShowMaskLayer(BaseLayerPtr layer) {
  std::lock_guard<std::mutex> lock(mutex_);
  showMaskLayer_ = std::move(layer);
}
BaseLayerPtr ImageProcessor::showMaskLayer() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return showMaskLayer_;
}
void ImageProcessor::setShowHotPixels(bool show) {
  std::lock_guard<std::mutex> lock(mutex_);
  showHot_ = show;
}
bool ImageProcessor::showHotPixels() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return showHot_;
}
void ImageProcessor::setShowColdPixels(bool show) {
  std::lock_guard<std::mutex> lock(mutex_);
  showCold_ = show;
}
bool ImageProcessor::showColdPixels() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return showCold_;
}
void ImageProcessor::setOverlayPixelsType(int type) {
  std::lock_guard<std::mutex> lock(mutex_);
  overlayType_ = type >= 0 && type <= 2 ? type : 0;
}
int ImageProcessor::overlayPixelsType() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return overlayType_;
}

namespace {

uint64_t mixKey(uint64_t h, uint64_t v) { return h ^ (v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2)); }
uint64_t hashBits(uint64_t h, double v) {
  uint64_t b;
  std::memcpy(&b, &v, 8);
  return mixKey(h, b);
}

ImageDataRGBfPtr fitted(const ImageDataRGBf& src, int side) {
  double s = std::min(1.0, double(side) / std::max(src.width(), src.height()));
  return resize(src, std::max(1, int(std::lround(src.width() * s))), std::max(1, int(std::lround(src.height() * s))));
}

// The display overlays, drawn into a result in place.
void drawOverlays(ImageDataRGBf& result, const float* maskValues, bool hot, bool cold, int type) {
  const int w = result.width();
  detail::parallelRows(result.height(), 16, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      float* px = result.floats() + size_t(y) * w * 3;
      for (int x = 0; x < w; ++x, px += 3) {
        if (maskValues) {
          float m = 0.5f * std::clamp(maskValues[size_t(y) * w + x], 0.f, 1.f);
          px[0] += (1 - px[0]) * m, px[1] -= px[1] * m, px[2] -= px[2] * m;
        }
        if (!hot && !cold) continue;
        const bool isHot = hot && std::max({px[0], px[1], px[2]}) >= 1.f;
        const bool isCold = cold && std::min({px[0], px[1], px[2]}) <= 0.f;
        const float grey = type == 2 ? 0.5f : -1.f;
        float r[3];
        if (isHot) {
          if (type == 0)
            r[0] = 1, r[1] = 0, r[2] = 0;
          else
            r[0] = r[1] = r[2] = type == 1 ? 0.f : 1.f;
        } else if (isCold) {
          if (type == 0)
            r[0] = 0, r[1] = 0, r[2] = 1;
          else
            r[0] = r[1] = r[2] = type == 1 ? 1.f : 0.f;
        } else if (grey >= 0) {
          r[0] = r[1] = r[2] = grey;
        } else {
          continue;
        }
        px[0] = r[0], px[1] = r[1], px[2] = r[2];
      }
    }
  });
}

}  // namespace

bool ImageProcessor::startProcessing(const ImageProcessorSettings& settings) {
  detail::RenderRequest rq;
  BaseLayerPtr maskLayer;
  bool hot, cold;
  int overlayType;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    rq.layers = layers_;
    rq.orientation = orientation_;
    rq.crop = settings.applyCrop ? crop_ : CropDescriptionNone;
    maskLayer = showMaskLayer_;
    hot = showHot_, cold = showCold_, overlayType = overlayType_;
  }
  rq.interrupted = settings.interrupted.get();
  rq.canvas = canvasSize();
  if (rq.canvas.isEmpty()) return false;
  rq.frame = rq.crop.isNone() ? rq.canvas : rq.crop.size();
  const RectRoiF frame{0, 0, double(rq.frame.width), double(rq.frame.height)};
  RectRoiF region = settings.region.isZero() ? frame : settings.region.intersection(frame);
  if (region.isEmpty()) return false;
  rq.region = region;
  double scale = 1;
  if (!settings.outputSize.isEmpty())
    scale = std::min(settings.outputSize.width / region.width, settings.outputSize.height / region.height);
  if (settings.lowRes) scale = std::min(scale, kLowResScale);
  rq.scale = scale;
  rq.outputSize = {std::max(1, int(std::lround(region.width * scale))),
                   std::max(1, int(std::lround(region.height * scale)))};
  rq.lowRes = settings.lowRes;
  rq.quickPreview = settings.quickPreview;
  rq.exportMode = settings.exportMode;
  rq.consumeSource = settings.consumeSource;
  rq.pool = pool_.get();

  // The key of everything that decides the pixels.
  uint64_t key = 0;
  for (auto& layer : rq.layers) key = mixKey(mixKey(key, layer->stateHash()), reinterpret_cast<uintptr_t>(layer.get()));
  for (double v : {region.x, region.y, region.width, region.height, scale, double(rq.orientation),
                   double(rq.crop.rotation), double(rq.crop.x), double(rq.crop.y), double(rq.crop.width),
                   double(rq.crop.height), double(settings.lowRes), double(settings.quickPreview),
                   double(settings.exportMode), double(reinterpret_cast<uintptr_t>(maskLayer.get())),
                   maskLayer ? double(maskLayer->stateHash()) : 0.0, double(hot), double(cold), double(overlayType)})
    key = hashBits(key, v);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (settings.useCache && hasLastKey_ && key == lastKey_ && lastResult_) return true;
  }

  ImageDataRGBfPtr result = detail::render(rq);
  if (!result || (rq.interrupted && rq.interrupted->load(std::memory_order_relaxed))) return false;

  if (maskLayer || hot || cold) {
    ImageDataFPtr maskValues;
    if (maskLayer)
      if (MaskImagePtr mask = maskLayer->getMask()) {
        ImageTransformSettings t;
        t.sourceRect = region;
        t.outputSize = rq.outputSize;
        t.cropDescription = rq.crop;
        maskValues = maskLayer->maskPreviewForTransform(t);
      }
    drawOverlays(*result, maskValues ? maskValues->data() : nullptr, hot, cold, overlayType);
  }

  std::lock_guard<std::mutex> lock(mutex_);
  lastResult_ = result;
  lastThumbnail_ = nullptr;  // made when first asked for
  lastKey_ = key;
  hasLastKey_ = true;
  return true;
}

ImageDataRGBfPtr ImageProcessor::getLastResult() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastResult_;
}

ImageDataRGBfPtr ImageProcessor::getLastResultThumbnail() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!lastThumbnail_ && lastResult_) lastThumbnail_ = fitted(*lastResult_, kThumbnailSide);
  return lastThumbnail_;
}

ImagePtr ImageProcessor::getOriginalImage() const {
  auto bottom = bottomImageLayer();
  return bottom ? bottom->getSourceImage() : nullptr;
}

ImageDataRGBfPtr ImageProcessor::getOriginalImageWithRawDevelop(bool fullResolution, bool applyRawDevelop) const {
  auto bottom = bottomImageLayer();
  if (!bottom) return nullptr;
  Size canvas = canvasSize();
  double s = fullResolution ? 1.0 : kLowResScale;
  Size out{std::max(1, int(canvas.width * s)), std::max(1, int(canvas.height * s))};
  ImageLayer layer(*bottom);
  ImageTransformSettings t;
  t.canvasSize = canvas;
  t.outputSize = out;
  t.orientation = orientation();
  layer.setTransformSettings(t);
  return applyRawDevelop ? layer.getWorkingImageWithRawDevelop() : layer.getWorkingImage();
}

ImageDataRGBfPtr ImageProcessor::getOriginalThumbnail() const {
  auto bottom = bottomImageLayer();
  if (!bottom) return nullptr;
  Size canvas = canvasSize();
  double s = std::min(1.0, double(kThumbnailSide) / std::max(canvas.width, canvas.height));
  ImageLayer layer(*bottom);
  ImageTransformSettings t;
  t.canvasSize = canvas;
  t.outputSize = {std::max(1, int(std::lround(canvas.width * s))), std::max(1, int(std::lround(canvas.height * s)))};
  t.orientation = orientation();
  layer.setTransformSettings(t);
  return layer.getWorkingImage();
}

void ImageProcessor::releaseLastResult() {
  std::lock_guard<std::mutex> lock(mutex_);
  lastResult_ = nullptr;
  lastThumbnail_ = nullptr;
  hasLastKey_ = false;
}

void ImageProcessor::clearCache() {
  std::lock_guard<std::mutex> lock(mutex_);
  lastResult_ = nullptr;
  lastThumbnail_ = nullptr;
  hasLastKey_ = false;
  pool_->clear();
}

std::pair<std::shared_ptr<ImageProcessor>, std::shared_ptr<ImageProcessor>>
ImageProcessor::getImageLayerPreviewAndBackgroundProcessors(const BaseLayerPtr& layer) const {
  std::vector<BaseLayerPtr> list = layers();
  auto it = std::find(list.begin(), list.end(), layer);
  if (it == list.end() || layer->kind() != kLayerKindImage) return {nullptr, nullptr};
  const size_t index = size_t(it - list.begin());
  const uint64_t level = layer->level();
  size_t end = index + 1;
  while (end < list.size() && list[end]->level() > level) ++end;

  auto make = [this](const std::vector<BaseLayerPtr>& from, uint64_t levelShift) {
    auto p = std::make_shared<ImageProcessor>();
    for (auto& l : from) {
      BaseLayerPtr c = l->copy();
      c->setLevel(c->level() - std::min(c->level(), levelShift));
      p->layers_.push_back(c);
    }
    p->crop_ = getCropDescription();
    p->orientation_ = orientation();
    return p;
  };
  auto preview = make(std::vector<BaseLayerPtr>(list.begin() + index, list.begin() + end), level);
  auto background = make(std::vector<BaseLayerPtr>(list.begin(), list.begin() + index), 0);
  return {preview, background};
}

}  // namespace rova
