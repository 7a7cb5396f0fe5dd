#pragma once
// The layer of type 1: switching it off leaves its engine layer on and holds its effects' parameters
// at their defaults instead (its effects are ignore-disabling effects), so the effects' own engine
// state takes over the switching. Its engine layer carries the tag "1".
#include <functional>

#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"

class QVIgnoreDisablingLayer : public QVIPLayer {
 public:
  static std::shared_ptr<QVIgnoreDisablingLayer> initWithDefaultSettings();

  uint64_t layerType() const override { return 1; }
  bool shouldUpdateCppLayerEnabledState() const override { return false; }
  // The plain switch (history, notification, parent report), then the effects follow, also when
  // the flag did not change.
  void setEnabled(bool enabled) override;
  // Every ignore-disabling effect gets `ignoreDisabling` = !isEnabled().
  void validateEffectsIgnoring();
  void enumerateEffects(const std::function<void(const std::shared_ptr<QVIPEffect>&, size_t, bool&)>& block) const;

 protected:
  void setUpDefaultSettings() override;
  LayerPtr allocSameClass() const override { return std::make_shared<QVIgnoreDisablingLayer>(); }
};
