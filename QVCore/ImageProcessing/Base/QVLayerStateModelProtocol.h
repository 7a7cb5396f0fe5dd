#pragma once
// A layer's state record (a snapshot of the layer that presets and the edit history keep), as the
// layer model uses it. The presets subsystem implements it and registers the maker of a record
// that snapshots a layer with QVLayerStateFactory::registerMaker; the layer makes its record on
// demand through QVLayerStateFactory::make(layer).
#include <memory>
#include <string>

#include "QVCore/ImageProcessing/Base/QVServiceFactory.h"

class QVIPLayer;

class QVLayerStateModelProtocol {
 public:
  virtual ~QVLayerStateModelProtocol() = default;
  // Records with equal identifiers are the same state.
  virtual std::string identifier() const = 0;
  // Applies the whole record to the live layer through the layer's own setters.
  virtual void updateLayer(const std::shared_ptr<QVIPLayer>& layer) = 0;
  // Applies only the record's texture (history texture name, texture file).
  virtual void updateTextureOfLayer(const std::shared_ptr<QVIPLayer>& layer) = 0;
  // Image and first layers offer a record the chance to rewrite an older layout before it is
  // applied: true when the record migrated and applied itself to the layer, false (nothing
  // changed) otherwise.
  virtual bool migrateForLayer(const std::shared_ptr<QVIPLayer>& layer) { return false; }
};

using QVLayerStateFactory = QVServiceFactory<QVLayerStateModelProtocol, std::shared_ptr<QVIPLayer>>;
