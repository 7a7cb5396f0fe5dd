#pragma once
// The effects catalogue: one shared object that knows every adjustment layer the system can make.
// It reads the property list "EffectsInfo" of the bundle once and builds, from a layer identifier
// or a layer description, an adjustment layer with its effects (their parameters' display
// attributes, groups and presets) and its sublayers.
//
// File format: {"Categories": [{"AdjustmentLayers": [identifiers], ...}], "AdjustmentLayers":
// {identifier: layer description}}. A layer description has "LayerType", "Identifier", "Name",
// "BlendMode", "DeleteMaskOnReset", "Effects", "Sublayers" (nested descriptions) and
// "SublayersIdentifiers"; "Name" and "Effects" may have variants with "RAW" or "IMG" appended,
// used when the reference layer is a raw image layer, or is no adjustment layer (or none).
//
// Raw switch (`replaceEffectIDIntoRawID`): layers built with a raw reference layer use the raw
// variant of each engine effect ("ROVA" → "ROVARaw") when the engine makes it, and the ordinary
// description unchanged when it does not.
//
// Building runs on the caller's thread; the file sections are read under a lock.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVPlatform/Additions.h"

class QVImageProcessorProtocol;

// An effect class as the catalogue picks it for a layer type.
struct QVIPEffectClass {
  std::string name;  // "QVIPEffect" or "QVIgnoreDisablingEffect"
  std::function<std::shared_ptr<QVIPEffect>(const std::string& identifier, const rova::ImagePtr& image)>
      makeWithIdentifier;
  std::function<std::shared_ptr<QVIPEffect>(const rova::EffectPtr& effect)> makeWithCppEffect;
};

class QVIPEffectsProvider {
 public:
  using LayerPtr = std::shared_ptr<QVIPLayer>;
  using LayerList = std::vector<LayerPtr>;

  // The catalogue of the bundle's "EffectsInfo.plist".
  static QVIPEffectsProvider& sharedEffectsProvider();
  // A catalogue read from another file (tests, tools).
  explicit QVIPEffectsProvider(std::string path);

  // ---- Sections (read on first use; retried while the file cannot be read) ----
  qv::Value infoPlist();
  qv::Dictionary adjustmentLayers();
  // The categories with their identifiers replaced by the layer descriptions; identifiers the
  // file does not describe are left out (logged).
  qv::Array effectsInfo();

  // ---- Layers ----
  // `subLayers` given (even empty) replaces the description's own sublayers.
  LayerPtr makeAdjustmentLayerWithInfoDict(const qv::Value& info,
                                           const std::optional<LayerList>& subLayers = std::nullopt,
                                           const LayerPtr& superlayer = nullptr,
                                           const LayerPtr& duplicateFromLayer = nullptr);
  // A bare plain layer (no identifier, name, effects or sublayers) for an unknown identifier.
  LayerPtr makeAdjustmentLayerWithIdentifier(const std::string& identifier,
                                             const std::optional<LayerList>& subLayers = std::nullopt,
                                             const LayerPtr& superlayer = nullptr,
                                             const LayerPtr& duplicateFromLayer = nullptr);
  // Depth first: each description's own "Identifier", then its "Sublayers".
  std::optional<qv::Value> layerInfoWithIdentifier(const std::string& identifier, const qv::Array& descriptions) const;
  // The variant of `key` for the reference layer (see the file format above).
  static qv::Value objectForKey(const std::string& key, const qv::Value& dictionary, const QVIPLayer* layer);

  // ---- Preset entries (the layer entries of a preset's "AdjustmentLayers", QVIPLayer+Dictionary.h) ----
  // The catalogue layer of the entry's "Identifier" made under `superlayer`, the entry applied.
  LayerPtr makeLayerWithPresetEntry(const qv::Value& entry, const LayerPtr& superlayer = nullptr);
  // The entry's values on a layer made from the catalogue: switch ("Enabled", default on),
  // strength ("Amount", default 1), the numeric "Value" of each parameter of its effects (matched by
  // effect identifier or preset identifier, then parameter identifier), then its sublayers' entries
  // in order on the layer's sublayers.
  static void applyPresetEntry(const LayerPtr& layer, const qv::Value& entry);

  // ---- Effects ----
  std::shared_ptr<QVIPEffect> makeEffectWithEffectInfo(const qv::Value& info, const LayerPtr& layer = nullptr);
  // Names, flags, parameter attributes, groups and presets from an effect description.
  void updateEffect(const std::shared_ptr<QVIPEffect>& effect, const qv::Value& info, const LayerPtr& layer = nullptr);
  static std::vector<qv::RGBAColor> obtainColorsFromColorsInfo(const qv::Array& colors);
  static void addEffect(const std::shared_ptr<QVIPEffect>& effect, const LayerPtr& layer);

  // ---- Raw switch ----
  static bool replaceEffectIDIntoRawID();
  static void setReplaceEffectIDIntoRawID(bool replace);

  // ---- Effect factory ----
  static QVIPEffectClass effectClassForLayerType(uint64_t type);
  static std::shared_ptr<QVIPEffect> createEffectWithIdentifier(const std::string& identifier) {
    return createEffectWithIdentifier(identifier, 0);
  }
  static std::shared_ptr<QVIPEffect> createEffectWithIdentifier(const std::string& identifier, uint64_t layerType,
                                                                const rova::ImagePtr& originalImage = nullptr);
  // Class from the layer's class, context from the layer's source image when it is an image layer.
  static std::shared_ptr<QVIPEffect> createEffectWithIdentifierForLayer(const std::string& identifier,
                                                                        const QVIPLayer* layer);
  // Context from the processor's original image.
  static std::shared_ptr<QVIPEffect> createEffectWithIdentifierForProcessor(
      const std::string& identifier, uint64_t layerType, const std::shared_ptr<QVImageProcessorProtocol>& processor);
  static std::shared_ptr<QVIPEffect> createEffectWithCppEffect(const rova::EffectPtr& effect, uint64_t layerType);

 private:
  void load();
  const qv::Dictionary& layersInfo();
  std::shared_ptr<QVIPEffect> makeLayerEffect(const qv::Value& info, const LayerPtr& superlayer, const QVIPLayer& made);

  std::string path_;
  std::mutex mutex_;
  bool loaded_ = false;
  qv::Value infoPlist_;
  qv::Dictionary dictLayersInfo_;
  std::optional<qv::Array> effectsInfo_;
};
