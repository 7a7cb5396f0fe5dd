#include "Ombrel/Classes/Business/Presets/QVLayerManager.h"

#include <gtest/gtest.h>

#include "Ombrel/Classes/Business/Presets/QVEffectsPresetManager.h"
#include "Ombrel/Classes/Business/Presets/QVPresetHelpers.h"
#include "QVCore/ImageProcessing/Effects/QVIPEffect.h"
#include "QVCore/ImageProcessing/Layers/QVBlendMode.h"
#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVCore/Model/Entities/QVPreset.h"

namespace {

TEST(QVEffectsPresetManager, DefaultPresetByExtensionAndShippedAdditionalPresets) {
  QVEffectsPresetManager manager("Presets", "AdditionalPresets");
  struct Case {
    const char* path;
    const char* name;
  } cases[] = {{"/p/a.JPG", "DefaultJpegPreset"}, {"/p/a.png", "DefaultJpegPreset"}, {"/p/a.TIF", "DefaultRAWPreset"},
               {"/p/a.tiff", "DefaultRAWPreset"}, {"/p/a.CR2", "DefaultRAWPreset"},  {"/p/a.nef", "DefaultRAWPreset"}};
  for (const auto& c : cases)
    EXPECT_EQ(QVEffectsPresetManager::defaultPresetNameForImagePath(c.path), c.name) << c.path;
  auto jpeg = manager.defaultPresetForImagePath("/p/a.jpg");
  ASSERT_TRUE(jpeg);
  EXPECT_FALSE(jpeg->layersInfo()["AdjustmentLayers"].array()->empty());
  EXPECT_TRUE(manager.defaultPresetForImagePath("/p/a.tif"));
  EXPECT_FALSE(manager.defaultPresetFromDirectory("NoSuchFolder", "/p/a.jpg"));
  EXPECT_TRUE(manager.autoColorTemperaturePreset());
  EXPECT_TRUE(manager.lensCorrectionPreset());
}

qv::Value sharpenEntry(const char* effectId, double value) {
  qv::Value parameters;
  parameters.set("Amount", qv::Dictionary{{"Value", value}, {"OptionalDataType", int64_t(0)}});
  qv::Value effect = qv::Dictionary{{"Identifier", std::string(effectId)}};
  effect.set("Parameters", parameters);
  qv::Value layer = qv::Dictionary{{"Identifier", std::string("SharpenAdjustmentLayer")},
                                   {"Enabled", false},
                                   {"BlendModeIdentifier", std::string("Multiply")}};
  layer.set("Effects", qv::Array{effect});
  return layer;
}

std::shared_ptr<QVEffectParameterProtocol> amountOf(const std::shared_ptr<QVIPLayer>& layer) {
  for (const auto& effect : layer->effects())
    if (effect->idForPreset() == "ROVASharpenEffect")
      for (const auto& p : effect->parameters())
        if (p->identifier() == "Amount") return p;
  return nullptr;
}

TEST(QVLayerManager, EntryFlagsBlendModeAndRawValueMapping) {
  auto reference =
      QVIPEffectsProvider::sharedEffectsProvider().makeAdjustmentLayerWithIdentifier("SharpenAdjustmentLayer");
  ASSERT_TRUE(reference);
  auto referenceAmount = amountOf(reference);
  ASSERT_TRUE(referenceAmount);
  auto mapper = referenceAmount->valueMapper();
  auto toEngine = [&](double v) { return mapper ? mapper(false, v) : v; };
  auto toStored = [&](double v) { return mapper ? mapper(true, v) : v; };

  qv::Value dict;
  dict.set("AdjustmentLayers",
           qv::Array{sharpenEntry("ROVASharpenEffect", 20), sharpenEntry("ROVARawSharpenEffect", 20),
                     qv::Dictionary{{"Identifier", std::string("SharpenAdjustmentLayer")}}});
  auto layers = QVLayerManager::createLayersWithPresetDict(dict, nullptr);
  ASSERT_EQ(layers.size(), 3u);
  EXPECT_FALSE(layers[0]->isEnabled());
  ASSERT_TRUE(layers[0]->blendMode());
  EXPECT_EQ(layers[0]->blendMode()->identifier(), "Multiply");
  EXPECT_DOUBLE_EQ(amountOf(layers[0])->value(), toEngine(20));
  // A RAW entry holds an engine value: back to stored through the default layer, then to engine.
  EXPECT_DOUBLE_EQ(amountOf(layers[1])->value(), toEngine(toStored(20)));
  // Without "Enabled" or effects the catalogue's defaults hold.
  EXPECT_EQ(layers[2]->isEnabled(), reference->isEnabled());
  EXPECT_DOUBLE_EQ(amountOf(layers[2])->value(), referenceAmount->value());
}

TEST(QVPresetHelpers, RemoveEffectDropsOnlyLayersItEmptied) {
  auto& catalogue = QVIPEffectsProvider::sharedEffectsProvider();
  std::vector<std::shared_ptr<QVIPLayer>> layers{
      catalogue.makeAdjustmentLayerWithIdentifier("SharpenAdjustmentLayer"),
      catalogue.makeAdjustmentLayerWithIdentifier("NoSuchLayer"),
      catalogue.makeAdjustmentLayerWithIdentifier("VibranceAdjustmentLayer")};
  ASSERT_EQ(layers[0]->effects().size(), 1u);
  const std::string id = layers[0]->effects()[0]->identifier();
  QVPresetHelpers::removeEffectWithId(id, layers);
  ASSERT_EQ(layers.size(), 2u);  // the bare layer never had the effect and stays
  EXPECT_TRUE(layers[0]->effects().empty());
  EXPECT_FALSE(layers[1]->effects().empty());
}

}  // namespace
