#pragma once
// What a layer expects of its parent when the parent is itself a layer or a processor: the
// parent chain of QVParentProtocol plus the calls through which a sublayer tells its parent about
// its switch, its effects, or asks to be moved in its parent's list.
#include <cstdint>
#include <memory>

#include "QVCore/ImageProcessing/Base/QVParentProtocol.h"

class QVIPLayer;

class QVParentLayerProtocol : public QVParentProtocol {
 public:
  virtual void layerDidToggleEnabled(const std::shared_ptr<QVIPLayer>& layer, bool enabled) = 0;
  virtual void layerDidChangeEffectAtIndex(const std::shared_ptr<QVIPLayer>& layer, uint64_t index) = 0;
  virtual void layerEffectDidChangeModifyingState(const std::shared_ptr<QVIPLayer>& layer, bool modifying) = 0;
  // Moves one of the parent's own layers to the index of its list.
  virtual void moveLayer(const std::shared_ptr<QVIPLayer>& layer, int64_t index) = 0;
};
