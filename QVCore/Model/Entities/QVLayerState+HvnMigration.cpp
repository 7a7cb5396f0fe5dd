// Layer states of the sibling HDR product keep their lens correction in an older layout: a
// lens-correction layer nested in the first sublayer, and all filters in a second sublayer of
// exactly 14. Before such a state is applied to an image layer of an HDR processor it is rewritten
// so that the lens correction lives in the image's develop layer.
#include "QVCore/ImageProcessing/Base/QVHDRImageProcessorProtocol.h"
#include "QVCore/ImageProcessing/Base/QVImageProcessorProtocol.h"
#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/Model/Entities/QVLayerState.h"

namespace {

inline constexpr const char* kLensCorrectionLayerIdentifier = "LensCorrectionAdjustmentLayer";
inline constexpr size_t kOldFiltersCount = 14;
// Layer type codes of the first layer and the image layer.
inline constexpr uint64_t kFirstLayerType = 2;
inline constexpr uint64_t kImageLayerType = 3;

// The old lens-correction values into a develop layer: the whole layer when both have the same
// form, else the develop layer's own lens-correction sublayer (where today's layout keeps them).
void applyLensCorrection(const std::shared_ptr<QVIPLayer>& develop, const std::shared_ptr<QVIPLayer>& lensCorrection) {
  if (!develop) return;
  if (develop->subLayers().size() == lensCorrection->subLayers().size() &&
      develop->effects().size() == lensCorrection->effects().size()) {
    develop->applyParamsFromLayer(lensCorrection);
    return;
  }
  for (const auto& sub : develop->subLayers())
    if (sub->identifier() == kLensCorrectionLayerIdentifier) {
      sub->applyParamsFromLayer(lensCorrection);
      return;
    }
}

}  // namespace

QVLayerState::Ptr QVLayerState::lensCorrectionSubState() const {
  if (subLayersStates_.empty() || !subLayersStates_.front()) return nullptr;
  const auto& nested = subLayersStates_.front()->subLayersStates_;
  if (nested.empty() || !nested.front()) return nullptr;
  return nested.front()->layerIdentifier_ == kLensCorrectionLayerIdentifier ? nested.front() : nullptr;
}

QVLayerState::LayerPtr QVLayerState::oldStyleLensCorrectionLayer() const {
  auto subState = lensCorrectionSubState();
  if (!subState) return nullptr;
  auto layer = QVIPLayerFactory::layerWithLayerType(0);
  if (layer) layer->setState(subState);
  return layer;
}

QVLayerState::Ptr QVLayerState::filtersSubState() const {
  if (subLayersStates_.size() != 2 || !subLayersStates_[1]) return nullptr;
  return subLayersStates_[1]->subLayersStates_.size() == kOldFiltersCount ? subLayersStates_[1] : nullptr;
}

QVLayerState::LayerPtr QVLayerState::createNewStyleLensCorrectionLayerForLayer(const LayerPtr& layer) {
  return QVIPEffectsProvider::sharedEffectsProvider().makeAdjustmentLayerWithIdentifier(kQVDevelopLayerIdentifier,
                                                                                        std::nullopt, layer);
}

bool QVLayerState::migrateForLayer(const LayerPtr& layer) {
  if (!layer || !std::dynamic_pointer_cast<QVHDRImageProcessorProtocol>(layer->currentProcessor())) return false;
  auto filters = filtersSubState();
  if (!filters || !lensCorrectionSubState()) return false;
  const uint64_t type = layer->layerType();
  if (type != kFirstLayerType && type != kImageLayerType) return false;
  auto oldLensCorrection = oldStyleLensCorrectionLayer();
  if (!oldLensCorrection) return false;

  if (type == kFirstLayerType) {
    applyLensCorrection(layer->developLayer(), oldLensCorrection);
    layer->setState(filters);
    return true;
  }
  auto develop = createNewStyleLensCorrectionLayerForLayer(layer);
  if (!develop) return false;
  applyLensCorrection(develop, oldLensCorrection);
  auto developState = std::dynamic_pointer_cast<QVLayerState>(develop->state());
  if (!developState) return false;
  std::vector<Ptr> migrated{developState};
  migrated.insert(migrated.end(), filters->subLayersStates_.begin(), filters->subLayersStates_.end());
  subLayersStates_ = std::move(migrated);
  layer->setState(shared_from_this());
  return true;
}
