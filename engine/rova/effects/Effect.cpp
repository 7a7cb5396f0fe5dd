#include "rova/effects/Effect.h"

#include <cstring>
#include <functional>

namespace rova {

Effect::Effect(std::string id, ParameterList parameters) : id_(std::move(id)), parameters_(std::move(parameters)) {}

Effect::Effect(const Effect& other) : id_(other.id_) {
  std::lock_guard<std::mutex> lock(other.mutex_);
  parameters_ = other.parameters_;
  context_ = other.context_;
}

ParameterList Effect::getParameters() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return parameters_;
}

void Effect::setParameters(const ParameterList& parameters) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (size_t i = 0; i < parameters.size(); ++i) {
    const Parameter& in = parameters[i];
    // Usually the list comes back in our own order: try the same index first.
    Parameter* target = nullptr;
    if (i < parameters_.size() && parameters_[i].identifier() == in.identifier())
      target = &parameters_[i];
    else
      for (auto& p : parameters_)
        if (p.identifier() == in.identifier()) target = &p;
    if (!target) continue;
    target->setValue(in.value());
    target->setOptionalData(in.optionalData());
  }
}

void Effect::setParameterValue(const std::string& identifier, float value) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& p : parameters_)
    if (p.identifier() == identifier) p.setValue(value);
}

float Effect::parameterValue(const std::string& identifier) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return valueIn(parameters_, identifier);
}

void Effect::setContext(EffectParametersContextPtr context) {
  std::lock_guard<std::mutex> lock(mutex_);
  context_ = std::move(context);
  contextDidChange(parameters_, context_);
}

EffectParametersContextPtr Effect::context() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return context_;
}

uint64_t Effect::stateHash() const {
  std::lock_guard<std::mutex> lock(mutex_);
  uint64_t h = std::hash<std::string>{}(id_);
  auto mix = [&h](uint64_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
  for (auto& p : parameters_) {
    uint32_t bits;
    float v = p.value();
    std::memcpy(&bits, &v, 4);
    mix(bits);
    mix(p.optionalData().index());
    if (auto* s = std::get_if<std::string>(&p.optionalData())) mix(std::hash<std::string>{}(*s));
    if (auto* n = p.optionalNumbers())
      for (float f : *n) {
        std::memcpy(&bits, &f, 4);
        mix(bits);
      }
    if (auto* t = p.optionalTables())
      for (auto& [name, table] : *t) {
        mix(std::hash<std::string>{}(name));
        for (auto& [k, f] : table) {
          std::memcpy(&bits, &f, 4);
          mix(std::hash<std::string>{}(k) ^ bits);
        }
      }
    if (auto img = p.optionalImage()) mix(reinterpret_cast<uintptr_t>(img.get()));
  }
  mix(reinterpret_cast<uintptr_t>(context_.get()));
  return h;
}

std::unique_ptr<EffectKernel> Effect::makeKernel(const EffectRenderInfo& info) const {
  ParameterList snapshot;
  EffectParametersContextPtr context;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    snapshot = parameters_;
    context = context_;
  }
  return makeKernel(snapshot, info, context);
}

}  // namespace rova
