#include "rova/layers/AdjustmentLayer.h"

#include <algorithm>

namespace rova {

AdjustmentLayer::AdjustmentLayer(int flags) { (void)flags; }

AdjustmentLayer::AdjustmentLayer(const AdjustmentLayer& other) : BaseLayer(other) {
  for (auto& e : other.effects()) effects_.push_back(e->copy());
}

size_t AdjustmentLayer::effectsCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return effects_.size();
}

EffectPtr AdjustmentLayer::effectAtIndex(size_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return index < effects_.size() ? effects_[index] : nullptr;
}

std::vector<EffectPtr> AdjustmentLayer::effects() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return effects_;
}

void AdjustmentLayer::insertEffectAtIndex(EffectPtr effect, size_t index) {
  if (!effect) return;
  std::lock_guard<std::mutex> lock(mutex_);
  effects_.insert(effects_.begin() + std::min(index, effects_.size()), std::move(effect));
}

bool AdjustmentLayer::removeEffect(const EffectPtr& effect) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find(effects_.begin(), effects_.end(), effect);
  if (it == effects_.end()) return false;
  effects_.erase(it);
  return true;
}

void AdjustmentLayer::removeAllEffects() {
  std::lock_guard<std::mutex> lock(mutex_);
  effects_.clear();
}

uint64_t AdjustmentLayer::stateHash() const {
  uint64_t h = BaseLayer::stateHash();
  for (auto& e : effects()) mix(h, e->stateHash());
  return h;
}

}  // namespace rova
