#include "QVCore/ImageProcessing/Layers/QVIgnoreDisablingLayer.h"

#include "QVCore/ImageProcessing/Effects/QVIgnoreDisablingEffect.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"

std::shared_ptr<QVIgnoreDisablingLayer> QVIgnoreDisablingLayer::initWithDefaultSettings() {
  auto layer = std::make_shared<QVIgnoreDisablingLayer>();
  layer->setUpDefaultSettings();
  return layer;
}

namespace {

// Registered when the library is loaded, so the factory makes ignore-disabling layers for type 1
// from the start.
[[maybe_unused]] const bool kRegistered = [] {
  QVIPLayerFactory::registerLayerClass(
      {1, "QVIgnoreDisablingLayer", [] { return std::make_shared<QVIgnoreDisablingLayer>(); },
       [](const QVIPLayer& l) { return dynamic_cast<const QVIgnoreDisablingLayer*>(&l) != nullptr; }});
  return true;
}();

}  // namespace

void QVIgnoreDisablingLayer::setUpDefaultSettings() {
  QVIPLayer::setUpDefaultSettings();
  cppLayer_->setTag(QVIPLayerFactory::layerTagForLayerType(1));
}

void QVIgnoreDisablingLayer::setEnabled(bool enabled) {
  QVIPLayer::setEnabled(enabled);
  validateEffectsIgnoring();
}

void QVIgnoreDisablingLayer::validateEffectsIgnoring() {
  std::weak_ptr<QVIPLayer> weak = weakSelf();
  enumerateEffects([weak](const std::shared_ptr<QVIPEffect>& effect, size_t, bool&) {
    auto self = weak.lock();
    if (!self) return;
    if (auto ignoring = std::dynamic_pointer_cast<QVIgnoreDisablingEffectProtocol>(effect))
      ignoring->setIgnoreDisabling(!self->isEnabled());
  });
}

void QVIgnoreDisablingLayer::enumerateEffects(
    const std::function<void(const std::shared_ptr<QVIPEffect>&, size_t, bool&)>& block) const {
  EffectList list = effects();
  bool stop = false;
  for (size_t i = 0; i < list.size() && !stop; ++i) block(list[i], i, stop);
}
