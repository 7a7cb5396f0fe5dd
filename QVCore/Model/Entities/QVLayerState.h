#pragma once
// A snapshot of one layer and its whole subtree: switches, amounts, transform, texture and mask
// references, the effects (their parameter values) and one sub-state per sublayer. The edit history
// stores one per layer in every state file, presets and workspaces store them too, and applying one
// (`updateLayer`) brings a live layer back to what was recorded.
//
// Layer-state dictionary (`serializeWithoutIdentifiers` / `updateWithInfo`); every value is
// type-checked on reading, and a value that is missing or of the wrong type reads as the default:
//
//   "Name", "LayerIdentifier", "BlendModeIdentifier", "TexturePath",   text, written when set, read as is
//   "HistoryTextureName", "HistoryMaskName"                          (plain file names only)
//   "Identifier", "PresetUUID"             text, written unless identifiers are left out
//   "EffectsArray"       effect entries; read into the existing effects by index and identifier
//   "SubLayersStates"    layer-state dictionaries; read into the existing sub-states by index and
//                        "LayerIdentifier"
//   "Amount", "EffectsAmount"              single-precision numbers, default 1.0
//   "Enabled"                              boolean, default true
//   "MaskEnabled", "TextureScaleMode"      boolean / integer, unchanged when missing
//   "BlendModeModified", "Hidden"          boolean, default false
//   "Transform"          {"m11", "m12", "m21", "m22", "tX", "tY"} when a transform is set
//   "PreferredCanvasSize" "{width, height}" when not zero
//   "HistoryBrushStack"  array, when set
//
// Effect entry: the effect's catalogue description with "Identifier", "SelectedPresetId" (empty
// text when none) and "Parameters" {parameter identifier: {"Value", "OptionalData",
// "OptionalDataType"}}; values are the engine values.
//
// A state taken from a layer holds that layer's own effect objects: serialise it right away when a
// true snapshot is needed. Main thread, like the layers it reads and changes.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QVBase/Geometry.h"
#include "QVCore/ImageProcessing/Base/QVLayerStateModelProtocol.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVCore/Model/Entities/QVPreset.h"
#include "QVPlatform/Value.h"

namespace QVLayerStateKeys {
inline constexpr const char* kName = "Name";
inline constexpr const char* kLayerIdentifier = "LayerIdentifier";
inline constexpr const char* kEffectsArray = "EffectsArray";
inline constexpr const char* kSubLayersStates = "SubLayersStates";
inline constexpr const char* kAmount = "Amount";
inline constexpr const char* kEffectsAmount = "EffectsAmount";
inline constexpr const char* kIdentifier = "Identifier";
inline constexpr const char* kEnabled = "Enabled";
inline constexpr const char* kMaskEnabled = "MaskEnabled";
inline constexpr const char* kTextureScaleMode = "TextureScaleMode";
inline constexpr const char* kTransform = "Transform";
inline constexpr const char* kPreferredCanvasSize = "PreferredCanvasSize";
inline constexpr const char* kBlendModeIdentifier = "BlendModeIdentifier";
inline constexpr const char* kBlendModeModified = "BlendModeModified";
inline constexpr const char* kTexturePath = "TexturePath";
inline constexpr const char* kHistoryTextureName = "HistoryTextureName";
inline constexpr const char* kHistoryMaskName = "HistoryMaskName";
inline constexpr const char* kHistoryBrushStack = "HistoryBrushStack";
inline constexpr const char* kPresetUUID = "PresetUUID";
inline constexpr const char* kHidden = "Hidden";
// Effect and parameter entries.
inline constexpr const char* kSelectedPresetId = "SelectedPresetId";
inline constexpr const char* kParameters = "Parameters";
inline constexpr const char* kValue = "Value";
inline constexpr const char* kOptionalData = "OptionalData";
inline constexpr const char* kOptionalDataType = "OptionalDataType";
}  // namespace QVLayerStateKeys

// Extension of the texture files the history writes itself.
inline constexpr const char* kQVCompressedTextureExtension = "rovacompressedimagedata";

class QVLayerState : public QVPreset,
                     public QVLayerStateModelProtocol,
                     public std::enable_shared_from_this<QVLayerState> {
 public:
  using Ptr = std::shared_ptr<QVLayerState>;
  using LayerPtr = std::shared_ptr<QVIPLayer>;
  using EffectList = std::vector<std::shared_ptr<QVIPEffect>>;

  // The defaults (enabled, mask enabled, amounts 1) and a fresh UUID as identifier, so that two
  // records never count as the same state by accident.
  QVLayerState();
  ~QVLayerState() override = default;
  // Makes this the record layers build for themselves (done when the library loads).
  static void registerAsLayerStateMaker();

  // ---- Making ----
  // A snapshot of a live layer: its fields, its own effect objects, a sub-state per sublayer (the
  // sublayer's held state), and its mask's stored name and brush history (the mask is saved first).
  static Ptr initWithLayer(const LayerPtr& layer);
  // A record read from a layer-state dictionary. Each sublayer entry gets a prototype sub-state from
  // a fresh catalogue layer of its "LayerIdentifier" (made for `layer`), which the entry then fills.
  static Ptr initWithDic(const qv::Value& dictionary, const LayerPtr& layer) {
    return initWithDic(dictionary, layer, false);
  }
  static Ptr initWithoutSublayersAndEffectsFromInfo(const qv::Value& dictionary) {
    return initWithDic(dictionary, nullptr, true);
  }
  static Ptr initWithDic(const qv::Value& dictionary, const LayerPtr& layer, bool skipSublayersAndEffects);
  // Reads the dictionary into this record (see the table above).
  void updateWithInfo(const qv::Value& dictionary, bool skipSublayersAndEffects);

  // ---- Writing ----
  // With `withoutIdentifiers`, "Identifier" and "PresetUUID" are left out at every depth.
  qv::Value serializeWithoutIdentifiers(bool withoutIdentifiers) const;
  qv::Value serialize() const override { return serializeWithoutIdentifiers(false); }
  // MD5 text of the dictionary without identifiers: equal for records that differ only in them.
  std::string stateHash() const;

  // ---- Applying ----
  void updateLayer(const LayerPtr& layer) override;
  void updateTextureOfLayer(const LayerPtr& layer) override;
  // Rescales a transform recorded for a canvas of `preferredSize` to a canvas of `size`; nothing
  // for a null transform, equal sizes or a size with a zero side. The initial layer only moves.
  static void updateTransform(std::optional<CGAffineTransform>& transform, CGSize preferredSize, CGSize size,
                              bool forInitialLayer);

  // ---- Migration of the older lens-correction layout (QVLayerState+HvnMigration.cpp) ----
  // True when the record was migrated and applied to `layer` itself; false, nothing changed,
  // otherwise. Only for layers of an HDR processor.
  bool migrateForLayer(const LayerPtr& layer) override;
  // The first sub-state's first sub-state when it is a "LensCorrectionAdjustmentLayer".
  Ptr lensCorrectionSubState() const;
  // A plain layer given `lensCorrectionSubState`; nullptr without one.
  LayerPtr oldStyleLensCorrectionLayer() const;
  // The second of exactly two sub-states when it has exactly 14 sub-states.
  Ptr filtersSubState() const;
  static LayerPtr createNewStyleLensCorrectionLayerForLayer(const LayerPtr& layer);

  // ---- Fields ----
  std::string identifier() const override { return QVPreset::identifier(); }
  void setIdentifier(std::string identifier) { QVPreset::setIdentifier(std::move(identifier)); }
  const std::optional<std::string>& layerIdentifier() const { return layerIdentifier_; }
  void setLayerIdentifier(std::optional<std::string> v) { layerIdentifier_ = std::move(v); }
  const std::optional<std::string>& name() const { return name_; }
  void setName(std::optional<std::string> v) { name_ = std::move(v); }
  double effectsAmount() const { return effectsAmount_; }
  void setEffectsAmount(double v) { effectsAmount_ = v; }
  bool enabled() const { return enabled_; }
  void setEnabled(bool v) { enabled_ = v; }
  bool maskEnabled() const { return maskEnabled_; }
  void setMaskEnabled(bool v) { maskEnabled_ = v; }
  bool hidden() const { return hidden_; }
  void setHidden(bool v) { hidden_ = v; }
  bool blendModeModified() const { return blendModeModified_; }
  void setBlendModeModified(bool v) { blendModeModified_ = v; }
  bool isInitialLayer() const { return initialLayer_; }
  void setInitialLayer(bool v) { initialLayer_ = v; }
  bool adjustTransform() const { return adjustTransform_; }
  void setAdjustTransform(bool v) { adjustTransform_ = v; }
  const std::optional<CGAffineTransform>& transform() const { return transform_; }
  void setTransform(std::optional<CGAffineTransform> v) { transform_ = v; }
  CGSize preferredCanvasSize() const { return preferredCanvasSize_; }
  void setPreferredCanvasSize(CGSize v) { preferredCanvasSize_ = v; }
  uint64_t textureScaleMode() const { return textureScaleMode_; }
  void setTextureScaleMode(uint64_t v) { textureScaleMode_ = v; }
  const std::optional<std::string>& blendModeIdentifier() const { return blendModeIdentifier_; }
  void setBlendModeIdentifier(std::optional<std::string> v) { blendModeIdentifier_ = std::move(v); }
  std::vector<Ptr>& subLayersStates() { return subLayersStates_; }
  const std::vector<Ptr>& subLayersStates() const { return subLayersStates_; }
  EffectList& effects() { return effects_; }
  const EffectList& effects() const { return effects_; }
  const std::optional<std::string>& texturePath() const { return texturePath_; }
  void setTexturePath(std::optional<std::string> v) { texturePath_ = std::move(v); }
  const std::optional<std::string>& historyTextureName() const { return historyTextureName_; }
  void setHistoryTextureName(std::optional<std::string> v) { historyTextureName_ = std::move(v); }
  const std::optional<std::string>& historyMaskName() const { return historyMaskName_; }
  void setHistoryMaskName(std::optional<std::string> v) { historyMaskName_ = std::move(v); }
  const std::optional<qv::Array>& historyBrushStack() const { return historyBrushStack_; }
  void setHistoryBrushStack(std::optional<qv::Array> v) { historyBrushStack_ = std::move(v); }
  const std::optional<std::string>& presetUUID() const { return presetUUID_; }
  void setPresetUUID(std::optional<std::string> v) { presetUUID_ = std::move(v); }
  // A texture path or a history texture name that is not empty.
  bool isTexture() const;

  // "{width, height}" and back; a text that gives no finite, non-negative pair reads as zero.
  static std::string stringFromSize(CGSize size);
  static CGSize sizeFromString(const std::string& text);

 private:
  void readEffects(const qv::Array& entries);
  qv::Value effectEntry(const std::shared_ptr<QVIPEffect>& effect) const;
  void applyEffects(const LayerPtr& layer);

  std::optional<std::string> layerIdentifier_;
  std::optional<std::string> name_;
  double effectsAmount_ = 1.0;
  bool enabled_ = true;
  bool maskEnabled_ = true;
  bool hidden_ = false;
  bool blendModeModified_ = false;
  bool initialLayer_ = false;
  bool adjustTransform_ = false;
  std::optional<CGAffineTransform> transform_;
  CGSize preferredCanvasSize_{0, 0};
  uint64_t textureScaleMode_ = 0;
  std::optional<std::string> blendModeIdentifier_;
  std::vector<Ptr> subLayersStates_;
  EffectList effects_;
  std::optional<std::string> texturePath_;
  std::optional<std::string> historyTextureName_;
  std::optional<std::string> historyMaskName_;
  std::optional<qv::Array> historyBrushStack_;
  std::optional<std::string> presetUUID_;
};
