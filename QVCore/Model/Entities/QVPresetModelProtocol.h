#pragma once
// What the protocol factory hands out for presets and what layer states (a kind of preset) share
// with them: an object with a stable identity that turns into a property-list dictionary.
#include <string>

#include "QVPlatform/Value.h"

class QVPresetModelProtocol {
 public:
  virtual ~QVPresetModelProtocol() = default;
  virtual std::string identifier() const = 0;
  virtual std::string uuid() const = 0;
  // The dictionary form written to disk.
  virtual qv::Value serialize() const = 0;
};
