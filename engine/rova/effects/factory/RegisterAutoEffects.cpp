#include "rova/effects/auto/AutoEffects.h"
#include "rova/effects/factory/EffectFactory.h"

namespace rova {

void registerAutoEffects(EffectFactory& f) {
  f.registerEffect(effect_id::kAutoTone, [] { return std::make_shared<AutoToneEffect>(false); });
  f.registerEffect(effect_id::kRawAutoTone, [] { return std::make_shared<AutoToneEffect>(true); });
  f.registerEffect(effect_id::kLocalContrast, [] { return std::make_shared<LocalContrastEffect>(); });
  f.registerEffect(effect_id::kAutoColor, [] { return std::make_shared<AutoColorEffect>(); });
  f.registerEffect(effect_id::kVibrance, [] { return std::make_shared<VibranceEffect>(); });
  f.registerEffect(effect_id::kNoiseReduction, [] { return std::make_shared<NoiseReductionEffect>(); });
}

}  // namespace rova
