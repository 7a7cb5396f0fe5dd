#pragma once
// Identifiers of the engine's effects. Raw-image variants begin "ROVARaw".
namespace rova::effect_id {
inline constexpr const char* kDevelopCommon = "ROVADevelopCommonEffectID";
inline constexpr const char* kRawDevelopCommon = "ROVARawDevelopCommonEffectID";
inline constexpr const char* kWhiteBalance = "ROVAWhiteBalanceEffect";
inline constexpr const char* kRawWhiteBalance = "ROVARawWhiteBalanceEffect";
inline constexpr const char* kSharpen = "ROVASharpenEffect";
inline constexpr const char* kLensCorrection = "ROVALensCorrectionEffect";
inline constexpr const char* kTextureOverlay = "ROVATextureOverlayEffect";
inline constexpr const char* kDodgeBurn = "ROVADodgeBurnEffect";
}  // namespace rova::effect_id
