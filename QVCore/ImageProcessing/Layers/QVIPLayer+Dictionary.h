#pragma once
// The layer dictionary: the property-list form of a layer's subtree that presets keep and the
// preset-driven layer builder reads. QVIPLayer::serialize is its only writer.
//
//   top level   {"AdjustmentLayers": [layer entry, one per visible sublayer, in order],
//                "CachedResources": {texture source path: cached copy's path}  (only when not empty)}
//   layer entry {"Identifier" (absent without one), "LayerType", "Enabled", "Amount" (32-bit float),
//                "BlendModeIdentifier", "Effects": [effect entry],
//                "Sublayers": top-level form (only with visible sublayers)}; no name.
//                Sublayers of a "DodgeBurnOverlayLayer" carry neither "BlendModeIdentifier" nor
//                "Sublayers".
//   effect      {"Identifier" (idForPreset), "SelectedPresetId" (absent when empty),
//                "Parameters": {parameter identifier: parameter entry}}
//   parameter   {"Value" (32-bit float, through the value mapper's inverse), "OptionalData"
//                (absent when none), "OptionalDataType" (always)}: only parameters that may be
//                reset and have optional data or differ from their default by more than 0.0001.
//
// Options (defaultSerializationOptions, serializeWithOptions): {"AdjustmentLayers": [option
// entry, one per visible sublayer], kQVSerializationOptionsSaveDCPKey: bool}; an option entry
// {kQVSerializationOptionsSerializeKey: bool, ...IdentifierKey, ...NameKey (for display),
// ...SublayersKey: options of the sublayer's visible sublayers}. A sublayer whose entry says not
// to serialise, or has no entry, is left out with its subtree. SaveDCP NO writes the RAW develop
// effect's "Texture" parameter without its optional data (the camera profile stays private).

inline constexpr const char* kQVSerializationOptionsSerializeKey = "Serialize";
inline constexpr const char* kQVSerializationOptionsIdentifierKey = "Identifier";
inline constexpr const char* kQVSerializationOptionsNameKey = "Name";
inline constexpr const char* kQVSerializationOptionsSublayersKey = "Sublayers";
inline constexpr const char* kQVSerializationOptionsSaveDCPKey = "kQVSerializationOptionsSaveDCPKey";

inline constexpr const char* kQVLayerDictionaryAdjustmentLayersKey = "AdjustmentLayers";
inline constexpr const char* kQVLayerDictionaryCachedResourcesKey = "CachedResources";
