#include "rova/effects/factory/EffectFactory.h"

namespace rova {

EffectFactory& EffectFactory::instance() {
  static EffectFactory factory;
  return factory;
}

EffectFactory::EffectFactory() { registerBuiltinEffects(*this); }

std::vector<std::string> EffectFactory::supportedEffects() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> ids;
  for (auto& [id, maker] : makers_) ids.push_back(id);
  return ids;
}

bool EffectFactory::isSupported(const std::string& id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return makers_.count(id) != 0;
}

EffectPtr EffectFactory::makeEffectWithID(const std::string& id, EffectParametersContextPtr context) const {
  Maker maker;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = makers_.find(id);
    if (it == makers_.end()) return nullptr;
    maker = it->second;
  }
  EffectPtr effect = maker();
  if (effect && context) effect->setContext(std::move(context));
  return effect;
}

void EffectFactory::registerEffect(const std::string& id, Maker maker) {
  std::lock_guard<std::mutex> lock(mutex_);
  makers_[id] = std::move(maker);
}

}  // namespace rova
