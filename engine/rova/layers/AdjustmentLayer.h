#pragma once
// A layer that adjusts what lies below it with an ordered list of effects.
#include <vector>

#include "rova/effects/Effect.h"
#include "rova/layers/BaseLayer.h"

namespace rova {

class AdjustmentLayer : public BaseLayer {
 public:
  // flags: reserved, 0.
  explicit AdjustmentLayer(int flags = 0);
  AdjustmentLayer(const AdjustmentLayer& other);

  int kind() const override { return kLayerKindAdjustment; }
  BaseLayerPtr copy() const override { return std::make_shared<AdjustmentLayer>(*this); }

  size_t effectsCount() const;
  EffectPtr effectAtIndex(size_t index) const;  // nullptr past the end
  std::vector<EffectPtr> effects() const;
  // Inserts at the index (appends past the end); a null effect is ignored.
  void insertEffectAtIndex(EffectPtr effect, size_t index);
  void addEffect(EffectPtr effect) { insertEffectAtIndex(std::move(effect), SIZE_MAX); }
  // Removes the effect (compared by identity); false when it is not in the list.
  bool removeEffect(const EffectPtr& effect);
  void removeAllEffects();

  uint64_t stateHash() const override;

 private:
  std::vector<EffectPtr> effects_;
};

using AdjustmentLayerPtr = std::shared_ptr<AdjustmentLayer>;

}  // namespace rova
