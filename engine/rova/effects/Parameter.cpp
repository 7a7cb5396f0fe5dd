#include "rova/effects/Parameter.h"

namespace rova {

bool Parameter::hasOptionalData() const {
  return std::visit(
      [](const auto& v) -> bool {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, ImageDataRGBfPtr>)
          return v != nullptr;
        else
          return !v.empty();
      },
      optional_);
}

std::string Parameter::optionalText() const {
  if (auto* s = std::get_if<std::string>(&optional_)) return *s;
  return {};
}

ImageDataRGBfPtr Parameter::optionalImage() const {
  if (auto* p = std::get_if<ImageDataRGBfPtr>(&optional_)) return *p;
  return nullptr;
}

const Parameter* findParameter(const ParameterList& list, const std::string& identifier) {
  for (auto& p : list)
    if (p.identifier() == identifier) return &p;
  return nullptr;
}

float valueIn(const ParameterList& list, const std::string& identifier, float fallback) {
  const Parameter* p = findParameter(list, identifier);
  return p ? p->value() : fallback;
}

}  // namespace rova
