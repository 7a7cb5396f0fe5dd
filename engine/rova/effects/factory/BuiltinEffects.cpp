// The effects the engine makes. Each family registers its identifiers here; the factory calls this
// once when it is first used.
#include "rova/effects/DevelopCommonEffect.h"
#include "rova/effects/DodgeBurnEffect.h"
#include "rova/effects/EffectIDs.h"
#include "rova/effects/LensCorrectionEffect.h"
#include "rova/effects/auto/SharpenEffect.h"
#include "rova/effects/TextureOverlayEffect.h"
#include "rova/effects/WhiteBalanceEffect.h"
#include "rova/effects/auto/AutoEffects.h"
#include "rova/effects/factory/EffectFactory.h"

namespace rova {

void registerBuiltinEffects(EffectFactory& f) {
  f.registerEffect(effect_id::kDevelopCommon, [] { return std::make_shared<DevelopCommonEffect>(false); });
  f.registerEffect(effect_id::kRawDevelopCommon, [] { return std::make_shared<DevelopCommonEffect>(true); });
  f.registerEffect(effect_id::kWhiteBalance, [] { return std::make_shared<WhiteBalanceEffect>(false); });
  f.registerEffect(effect_id::kRawWhiteBalance, [] { return std::make_shared<WhiteBalanceEffect>(true); });
  f.registerEffect(effect_id::kSharpen, [] { return std::make_shared<SharpenEffect>(); });
  f.registerEffect(effect_id::kLensCorrection, [] { return std::make_shared<LensCorrectionEffect>(); });
  f.registerEffect(effect_id::kTextureOverlay, [] { return std::make_shared<TextureOverlayEffect>(); });
  f.registerEffect(effect_id::kDodgeBurn, [] { return std::make_shared<DodgeBurnEffect>(); });
  registerAutoEffects(f);
}

}  // namespace rova
