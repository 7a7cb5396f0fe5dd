#pragma once
// How a layer's result is combined with what lies below it. The modes the application offers
// come from the resource "BlendModeInfo.plist" of the main bundle (an array of dictionaries with
// "Identifier" and "Name"), read once; lookups return the same object every time, so modes of the
// shared list can be compared by identity.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QVPlatform/Value.h"

class QVBlendMode {
 public:
  // "Normal", named "Normal".
  QVBlendMode();
  QVBlendMode(std::string identifier, std::string name);
  static std::shared_ptr<QVBlendMode> init() { return std::make_shared<QVBlendMode>(); }
  static std::shared_ptr<QVBlendMode> initWithIdentifier(std::string identifier, std::string name) {
    return std::make_shared<QVBlendMode>(std::move(identifier), std::move(name));
  }

  const std::string& identifier() const { return identifier_; }
  void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }
  const std::string& name() const { return name_; }
  void setName(std::string name) { name_ = std::move(name); }

  using EnumerationBlock = std::function<void(const qv::Value& element, size_t index, bool& stop)>;
  // Reads the resource afresh and calls the block with each element in order.
  static void enumerateBlendModesUsingBlock(const EnumerationBlock& block);
  static void enumerateBlendModesAtPath(const std::string& path, const EnumerationBlock& block);

  // The shared list, built on first use: one entry per resource element, in order; an element
  // without identifier or name is a nullptr placeholder, so positions match the resource.
  static const std::vector<std::shared_ptr<QVBlendMode>>& blendModeInstances();
  // The list a resource file gives (what the shared list is built with).
  static std::vector<std::shared_ptr<QVBlendMode>> blendModesFromFile(const std::string& path);
  // The first mode of the shared list with exactly this identifier; nullptr when there is none.
  static std::shared_ptr<QVBlendMode> blendModeWithIdentifier(const std::string& identifier);

 private:
  std::string identifier_, name_;
};
