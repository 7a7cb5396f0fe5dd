#pragma once
// Makes engine effects by identifier. The built-in effects are registered when the factory is first
// used (BuiltinEffects.cpp lists them); further effect families register themselves there too.
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "rova/effects/Effect.h"

namespace rova {

class EffectFactory {
 public:
  using Maker = std::function<EffectPtr()>;

  static EffectFactory& instance();

  // Every identifier the factory makes, sorted.
  std::vector<std::string> supportedEffects() const;
  bool isSupported(const std::string& id) const;
  // A new effect with its default parameters, given the context when there is one; nullptr for an
  // identifier the factory does not know.
  EffectPtr makeEffectWithID(const std::string& id, EffectParametersContextPtr context = nullptr) const;

  // Adds or replaces an effect maker.
  void registerEffect(const std::string& id, Maker maker);

 private:
  EffectFactory();
  mutable std::mutex mutex_;
  std::map<std::string, Maker> makers_;
};

// Defined in BuiltinEffects.cpp: registers every effect family of the engine.
void registerBuiltinEffects(EffectFactory& factory);

}  // namespace rova
