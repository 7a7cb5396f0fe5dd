// The layer's state record: made on demand, dropped at every change, applied when a preset or a
// history step brings another one.
#include "QVCore/ImageProcessing/Base/QVLayerStateModelProtocol.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"

std::shared_ptr<QVLayerStateModelProtocol> QVIPLayer::state() {
  if (!state_) state_ = QVLayerStateFactory::make(self());
  return state_;
}

void QVIPLayer::setState(std::shared_ptr<QVLayerStateModelProtocol> state) {
  if (state == state_) return;
  if (state && state_ && state->identifier() == state_->identifier()) return;
  // Image and first layers let a record in an older layout migrate itself first; a record that
  // did has already applied its new form to this layer.
  const uint64_t type = layerType();
  if (state && (type == 2 || type == 3) && state->migrateForLayer(self())) return;
  state_.reset();
  if (!state) return;
  // The update runs while no record is held: the setters it calls drop the state, which must not
  // discard this one.
  state->updateLayer(self());
  state_ = std::move(state);
}

void QVIPLayer::setTextureState(const std::shared_ptr<QVLayerStateModelProtocol>& state) {
  if (!state || state == state_) return;
  if (state_ && state->identifier() == state_->identifier()) return;
  state->updateTextureOfLayer(self());
}

void QVIPLayer::resetStateAscending() {
  setState(nullptr);
  if (auto parentLayer = std::dynamic_pointer_cast<QVIPLayer>(parent())) parentLayer->resetStateAscending();
}
