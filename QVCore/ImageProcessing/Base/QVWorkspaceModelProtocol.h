#pragma once
// What a layer holds of the workspace it was set from: the workspace's identity (equal
// identifiers are the same workspace), its display name (used in history action names) and its
// ordered layers (compared one by one with the layer's sublayers and applied with setLayers).
#include <memory>
#include <string>
#include <vector>

class QVIPLayer;

class QVWorkspaceModelProtocol {
 public:
  virtual ~QVWorkspaceModelProtocol() = default;
  virtual std::string identifier() const = 0;
  virtual std::string localizedName() = 0;
  virtual const std::vector<std::shared_ptr<QVIPLayer>>& subLayers() const = 0;
};
