#pragma once
// A record that travels to the web service: `serialize` gives the parameters of its request, or
// nothing for an item that has none of its own (subclasses override).
#include <optional>

#include "QVPlatform/Value.h"

class QVSerializableNetworkItem {
 public:
  virtual ~QVSerializableNetworkItem() = default;
  virtual std::optional<qv::Dictionary> serialize() const { return std::nullopt; }
};
