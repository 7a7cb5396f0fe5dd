#pragma once
// A layer's state record (a snapshot of the layer that presets and the edit history keep), as the
// layer model uses it. The presets subsystem implements it and registers the maker of a record
// that snapshots a layer with QVLayerStateFactory::registerMaker; the layer makes its record on
// demand through QVLayerStateFactory::make(layer).
#include <memory>
#include <optional>
#include <string>

#include "QVCore/ImageProcessing/Base/QVServiceFactory.h"
#include "QVPlatform/Value.h"

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

  // ---- What the processor's result caches and saved states read ----
  // The defaults are those of a record that carries none of it.
  // Equal states, equal texts.
  virtual std::string stateHash() const { return {}; }
  // The record as a layer-state dictionary (the saved state's entry).
  virtual qv::Value serialize() const { return qv::Value(qv::Dictionary{}); }
  // Whether the record holds a picture (texture file or history texture).
  virtual bool isTexture() const { return false; }
  virtual const std::optional<std::string>& historyTextureName() const {
    static const std::optional<std::string> none;
    return none;
  }
  // Marks the record as the processor's initial layer's.
  virtual void setInitialLayer(bool) {}
};

using QVLayerStateFactory = QVServiceFactory<QVLayerStateModelProtocol, std::shared_ptr<QVIPLayer>>;

// A record read from a saved layer-state dictionary for a layer (nullptr: only to be read), the
// sublayers and effects skipped when the flag is set. Registered by the same subsystem as
// QVLayerStateFactory; the processor's saved states read their entries through it.
using QVLayerStateDictionaryFactory =
    QVServiceFactory<QVLayerStateModelProtocol, const qv::Value&, std::shared_ptr<QVIPLayer>, bool>;
