// The effects catalogue: every shipped layer builds (plain, raw, with the raw switch) and its
// settings reach the engine; variants, the raw fallback, nested and listed sublayers, groups,
// presets and categories of a small catalogue; the raw value mapper.
#include <gtest/gtest.h>

#include <cmath>

#include "QVCore/ImageProcessing/Effects/QVIgnoreDisablingEffect.h"
#include "QVCore/ImageProcessing/Effects/QVRawValueMapper.h"
#include "QVCore/ImageProcessing/Layers/LayerTestSupport.h"
#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIgnoreDisablingLayer.h"
#include "QVPlatform/PropertyList.h"
#include "common/TestSupport.h"
#include "rova/effects/factory/EffectFactory.h"

using namespace solvane::test;
using LayerPtr = std::shared_ptr<QVIPLayer>;

namespace {

// Stands in for the image layer of a raw picture as a reference layer.
class RawReference : public QVIPLayer {
 public:
  bool isRaw() const override { return true; }
  bool isAdjustmentLayer() const override { return false; }
};

struct RawSwitch {
  explicit RawSwitch(bool on) { QVIPEffectsProvider::setReplaceEffectIDIntoRawID(on); }
  ~RawSwitch() { QVIPEffectsProvider::setReplaceEffectIDIntoRawID(false); }
};

std::string rawVariant(const std::string& id) {
  std::string out;
  for (size_t i = 0; i < id.size();) {
    if (id.compare(i, 4, "ROVA") == 0) {
      out += "ROVARaw";
      i += 4;
    } else {
      out += id[i++];
    }
  }
  return out;
}

// Checks a built layer against its description, recursively.
void expectBuiltFrom(const LayerPtr& layer, const qv::Value& d, const QVIPLayer* reference, bool rawSwitch,
                     const std::string& where) {
  auto& catalogue = QVIPEffectsProvider::sharedEffectsProvider();
  EXPECT_EQ(layer->identifier(), d["Identifier"].asString()) << where;
  EXPECT_EQ(layer->name(), QVIPEffectsProvider::objectForKey("Name", d, reference).asString()) << where;
  const qv::Value effects = QVIPEffectsProvider::objectForKey("Effects", d, reference);
  ASSERT_EQ(layer->effects().size(), effects.size()) << where;
  for (size_t i = 0; i < effects.size(); ++i) {
    std::string id = effects[i]["Identifier"].asString();
    if (rawSwitch && reference && reference->isRaw() && rova::EffectFactory::instance().isSupported(rawVariant(id)))
      id = rawVariant(id);
    EXPECT_EQ(layer->effects()[i]->identifier(), id) << where;
  }
  const qv::Value& nested = d["Sublayers"];
  const qv::Value& listed = d["SublayersIdentifiers"];
  ASSERT_EQ(layer->subLayers().size(), nested.size() + listed.size()) << where;
  for (size_t i = 0; i < nested.size(); ++i)
    expectBuiltFrom(layer->subLayers()[i], nested[i], reference, rawSwitch,
                    where + "/" + nested[i]["Identifier"].asString());
  for (size_t i = 0; i < listed.size(); ++i)
    expectBuiltFrom(layer->subLayers()[nested.size() + i], catalogue.adjustmentLayers()[listed[i].asString()], nullptr,
                    rawSwitch, where + "/" + listed[i].asString());
}

TEST(EffectsCatalogue, EveryShippedLayerBuildsAndItsSettingsReachTheEngine) {
  auto& catalogue = QVIPEffectsProvider::sharedEffectsProvider();
  qv::Dictionary layers = catalogue.adjustmentLayers();
  ASSERT_GE(layers.size(), 8u);
  EXPECT_FALSE(catalogue.effectsInfo().empty());
  struct Reference {
    const char* name;
    LayerPtr layer;
    bool rawSwitch;
  };
  const Reference references[] = {{"none", nullptr, false},
                                  {"adjustment superlayer", namedLayer("Super"), false},
                                  {"raw image", std::make_shared<RawReference>(), false},
                                  {"raw image, raw switch", std::make_shared<RawReference>(), true}};
  auto multiply = QVBlendMode::blendModeWithIdentifier("Multiply");
  for (const auto& [identifier, description] : layers) {
    for (const auto& reference : references) {
      std::string where = identifier + " (" + reference.name + ")";
      RawSwitch rawSwitch(reference.rawSwitch);
      auto layer = catalogue.makeAdjustmentLayerWithIdentifier(identifier, std::nullopt, reference.layer);
      expectBuiltFrom(layer, description, reference.layer.get(), reference.rawSwitch, where);

      auto processor = TestProcessor::make(std::make_shared<FakeHistory>());
      processor->setInitialLayer(namedLayer("Image"));
      processor->addLayer(layer);
      layer->setAmount(0.4);
      layer->setEffectsAmount(0.6);
      layer->setBlendMode(multiply);
      auto engine = engineList(*processor);
      EXPECT_EQ(engine, modelWalk(*processor)) << where;
      EXPECT_FLOAT_EQ(layer->cppLayer()->opacity(), 0.4f) << where;
      EXPECT_FLOAT_EQ(layer->cppLayer()->getEffectAmount(), 0.6f) << where;
      EXPECT_EQ(layer->cppLayer()->blendMode(), rova::kBlendMultiply) << where;
      std::function<void(const LayerPtr&)> effectsInEngine = [&](const LayerPtr& l) {
        std::vector<rova::EffectPtr> model;
        for (const auto& e : l->effects()) model.push_back(e->cppEffect());
        EXPECT_EQ(std::static_pointer_cast<rova::AdjustmentLayer>(l->cppLayer())->effects(), model) << where;
        for (const auto& sub : l->subLayers()) effectsInEngine(sub);
      };
      effectsInEngine(layer);
    }
  }
}

// A small catalogue written by the test.
struct SmallCatalogue : ::testing::Test {
  std::string path = (makeTempDir("catalogue") / "EffectsInfo.plist").string();
  std::unique_ptr<QVIPEffectsProvider> catalogue;

  SmallCatalogue() {
    using qv::Array, qv::Dictionary, qv::Value;
    Array effects{Dictionary{{"Identifier", "ROVAWhiteBalanceEffect"},
                             {"Parameters", Dictionary{{"Temperature", Dictionary{{"NonlinearForRaw", true}}}}}},
                  Dictionary{{"Identifier", "ROVASharpenEffect"},
                             {"Parameters", Dictionary{{"Amount", Dictionary{{"NonlinearForRaw", true}}}}}}};
    Dictionary variants{
        {"Identifier", "Variants"},
        {"LayerType", 1},
        {"Name", "Plain"},
        {"NameRAW", "Raw"},
        {"NameIMG", "Img"},
        {"Effects", effects},
        {"EffectsRAW", effects},  // a raw image layer is no adjustment layer: without it "IMG" applies
        {"EffectsIMG", Array{Dictionary{{"Identifier", "ROVASharpenEffect"}}}},
    };
    Dictionary inner{{"Identifier", "Inner"},
                     {"Name", "Inner"},
                     {"Effects", Array{Dictionary{{"Identifier", "ROVASharpenEffect"}}}}};
    Dictionary outer{
        {"Identifier", "Outer"}, {"Sublayers", Array{inner}}, {"SublayersIdentifiers", Array{"Inner", "Unknown"}}};
    Dictionary temperature{{"Value", 5000},
                           {"DefaultValue", 5500},
                           {"NumberFormat", "%.0f K"},
                           {"VisibleMin", 2000},
                           {"DiscreteValues", Array{"a", "b"}},
                           {"DoNotReset", true}};
    Dictionary tint{{"Hidden", true},
                    {"GradientColors", Dictionary{{"Default", Array{"#FF0000"}},
                                                  {"RAW", Array{"#FF0000", "#00FF00", "nope"}},
                                                  {"RAWDefColorIdx", 1}}}};
    Dictionary grouped{
        {"Identifier", "Grouped"},
        {"BlendMode", "Screen"},
        {"DeleteMaskOnReset", true},
        {"Effects",
         Array{Dictionary{
             {"Identifier", "ROVAWhiteBalanceEffect"},
             {"Name", "WB"},
             {"Separatable", true},
             {"SelectedPresetId", "p1"},
             {"Parameters", Dictionary{{"Temperature", temperature}, {"Tint", tint}}},
             {"TabGroups", Array{Dictionary{{"Name", "Main"},
                                            {"SelectedByDefault", true},
                                            {"Parameters", Array{"Temperature", "Tint", "Missing"}}}}},
             {"Presets", Array{Dictionary{{"Identifier", "p1"},
                                          {"Name", "One"},
                                          {"Icon", "icon"},
                                          {"Parameters", Dictionary{{"Temperature", Dictionary{{"Value", 3000}}},
                                                                    {"Tint", Dictionary{}}}}}}}}}}};
    Dictionary plist{
        {"AdjustmentLayers", Dictionary{{"Variants", variants}, {"Outer", outer}, {"Grouped", grouped}}},
        {"Categories",
         Array{Dictionary{{"Identifier", "C"}, {"AdjustmentLayers", Array{"Outer", "Missing", "Grouped"}}}}},
    };
    EXPECT_TRUE(qv::PropertyList::writeFile(path, Value(plist)));
    catalogue = std::make_unique<QVIPEffectsProvider>(path);
  }

  static std::shared_ptr<QVEffectParameterProtocol> parameter(const std::shared_ptr<QVIPEffect>& e,
                                                              const std::string& id) {
    for (const auto& p : e->parameters())
      if (p->identifier() == id) return p;
    return nullptr;
  }
};

TEST_F(SmallCatalogue, VariantsAndTheRawSwitch) {
  auto raw = std::make_shared<RawReference>();
  {
    auto layer = catalogue->makeAdjustmentLayerWithIdentifier("Variants");  // no reference: the IMG variant
    EXPECT_EQ(layer->name(), "Img");
    ASSERT_EQ(layer->effects().size(), 1u);
    EXPECT_TRUE(std::dynamic_pointer_cast<QVIgnoreDisablingLayer>(layer));
    EXPECT_TRUE(std::dynamic_pointer_cast<QVIgnoreDisablingEffect>(layer->effects()[0]));
  }
  {
    auto layer = catalogue->makeAdjustmentLayerWithIdentifier("Variants", std::nullopt, namedLayer("Super"));
    EXPECT_EQ(layer->name(), "Plain");
    ASSERT_EQ(layer->effects().size(), 2u);
    EXPECT_FALSE(parameter(layer->effects()[0], "Temperature")->valueMapper());  // not a raw effect
  }
  {
    RawSwitch off(false);
    auto layer = catalogue->makeAdjustmentLayerWithIdentifier("Variants", std::nullopt, raw);
    EXPECT_EQ(layer->name(), "Raw");
    EXPECT_EQ(layer->effects()[0]->identifier(), "ROVAWhiteBalanceEffect");
  }
  RawSwitch on(true);
  auto layer = catalogue->makeAdjustmentLayerWithIdentifier("Variants", std::nullopt, raw);
  ASSERT_EQ(layer->effects().size(), 2u);
  auto whiteBalance = layer->effects()[0];
  EXPECT_EQ(whiteBalance->identifier(), "ROVARawWhiteBalanceEffect");
  auto temperature = parameter(whiteBalance, "Temperature");
  ASSERT_TRUE(temperature->valueMapper());
  EXPECT_NEAR(temperature->valueMapper()(false, 100), temperature->maxValue(), 1e-6);
  EXPECT_NEAR(temperature->valueMapper()(false, -100), temperature->minValue(), 1e-6);
  EXPECT_NEAR(temperature->valueMapper()(false, 0), temperature->defaultValue(), 1e-6);
  // The engine makes no raw sharpen: the ordinary description, unchanged and without mapper.
  auto sharpen = layer->effects()[1];
  EXPECT_EQ(sharpen->identifier(), "ROVASharpenEffect");
  EXPECT_EQ(sharpen->effectInfo()["Identifier"].asString(), "ROVASharpenEffect");
  EXPECT_FALSE(parameter(sharpen, "Amount")->valueMapper());
}

TEST_F(SmallCatalogue, NestedListedAndUnknownSublayers) {
  auto outer = catalogue->makeAdjustmentLayerWithIdentifier("Outer");
  ASSERT_EQ(outer->subLayers().size(), 3u);
  EXPECT_EQ(outer->subLayers()[0]->identifier(), "Inner");
  EXPECT_EQ(outer->subLayers()[1]->identifier(), "Inner");  // found inside another description
  EXPECT_EQ(outer->subLayers()[1]->effects().size(), 1u);
  auto bare = outer->subLayers()[2];  // unknown: a bare plain layer, not none
  EXPECT_EQ(bare->identifier(), "");
  EXPECT_EQ(bare->name(), "");
  EXPECT_TRUE(bare->effects().empty());
  EXPECT_EQ(bare->parent(), std::dynamic_pointer_cast<QVParentLayerProtocol>(outer));

  auto inner = catalogue->makeAdjustmentLayerWithIdentifier("Inner");
  EXPECT_EQ(inner->name(), "Inner");

  qv::Array categories = catalogue->effectsInfo();  // a category naming a missing layer keeps the rest
  ASSERT_EQ(categories.size(), 1u);
  EXPECT_EQ(categories[0]["Identifier"].asString(), "C");
  ASSERT_EQ(categories[0]["AdjustmentLayers"].size(), 2u);
  EXPECT_EQ(categories[0]["AdjustmentLayers"][1]["Identifier"].asString(), "Grouped");

  QVIPEffectsProvider missing("/nonexistent/EffectsInfo.plist");
  EXPECT_TRUE(missing.adjustmentLayers().empty());
  EXPECT_TRUE(missing.effectsInfo().empty());
  EXPECT_EQ(missing.makeAdjustmentLayerWithIdentifier("Outer")->identifier(), "");
}

TEST_F(SmallCatalogue, PresetEntriesSetSwitchesAmountsAndValuesDownTheSublayers) {
  using qv::Array, qv::Dictionary;
  auto sharpen = [](double amount) {
    return Dictionary{{"Identifier", "ROVASharpenEffect"},
                      {"Parameters", Dictionary{{"Amount", Dictionary{{"Value", amount}}},
                                                {"NoSuchParameter", Dictionary{{"Value", 1.0}}}}}};
  };
  qv::Value entry(Dictionary{
      {"Identifier", "Outer"},
      {"Enabled", false},
      {"Amount", 0.25},
      {"Sublayers",
       Dictionary{{"AdjustmentLayers", Array{Dictionary{{"Identifier", "Inner"}, {"Effects", Array{sharpen(0.5)}}},
                                             Dictionary{{"Effects", Array{sharpen(0.75)}}, {"Amount", "text"}}}}}}});
  auto outer = catalogue->makeLayerWithPresetEntry(entry);
  ASSERT_EQ(outer->identifier(), "Outer");
  EXPECT_FALSE(outer->isEnabled());
  EXPECT_DOUBLE_EQ(outer->amount(), 0.25);
  ASSERT_EQ(outer->subLayers().size(), 3u);
  const double applied[] = {0.5, 0.75};
  for (size_t i = 0; i < 2; ++i) {
    auto sub = outer->subLayers()[i];
    EXPECT_TRUE(sub->isEnabled()) << i;
    EXPECT_DOUBLE_EQ(sub->amount(), 1.0) << "a missing or mistyped amount is full strength";
    ASSERT_EQ(sub->effects().size(), 1u);
    EXPECT_NEAR(parameter(sub->effects()[0], "Amount")->value(), applied[i], 1e-6) << i;
  }
  QVIPEffectsProvider::applyPresetEntry(nullptr, entry);  // nothing to apply to
}

// A preset's numbers feed the engine: amounts outside 0..1 (a black or inverted picture) and values
// outside a parameter's range are limited, and values that are not numbers keep the default.
TEST_F(SmallCatalogue, PresetAmountsAndValuesAreRangeChecked) {
  using qv::Array, qv::Dictionary;
  const double nan = std::nan("");
  struct Case {
    double amount, wantAmount;
    double value;  // of the sharpen effect's "Amount"
  } cases[] = {{7.0, 1.0, 1e9}, {-3.0, 0.0, -1e9}, {nan, 1.0, nan}, {0.4, 0.4, 0.5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.amount);
    qv::Value entry(Dictionary{
        {"Identifier", "Inner"},
        {"Amount", c.amount},
        {"Effects", Array{Dictionary{{"Identifier", "ROVASharpenEffect"},
                                     {"Parameters", Dictionary{{"Amount", Dictionary{{"Value", c.value}}}}}}}}});
    auto layer = catalogue->makeLayerWithPresetEntry(entry);
    ASSERT_TRUE(layer);
    EXPECT_DOUBLE_EQ(layer->amount(), c.wantAmount);
    ASSERT_EQ(layer->effects().size(), 1u);
    auto amount = parameter(layer->effects()[0], "Amount");
    EXPECT_FALSE(std::isnan(amount->value()));
    if (amount->maxValue() > amount->minValue()) {
      EXPECT_GE(amount->value(), amount->minValue());
      EXPECT_LE(amount->value(), amount->maxValue());
    }
  }
}

TEST_F(SmallCatalogue, EffectAttributesGroupsAndPresets) {
  auto layer = catalogue->makeAdjustmentLayerWithIdentifier("Grouped");
  EXPECT_EQ(layer->blendMode()->identifier(), "Screen");
  EXPECT_EQ(layer->defaultBlendMode()->identifier(), "Screen");
  EXPECT_TRUE(layer->blendModeModified());
  EXPECT_TRUE(layer->deleteMaskOnReset());
  ASSERT_EQ(layer->effects().size(), 1u);
  auto effect = layer->effects()[0];
  EXPECT_EQ(effect->name(), "WB");
  EXPECT_TRUE(effect->separatable());
  EXPECT_EQ(effect->selectedPresetId(), "p1");

  auto temperature = parameter(effect, "Temperature"), tint = parameter(effect, "Tint");
  EXPECT_DOUBLE_EQ(temperature->value(), 5000);
  EXPECT_DOUBLE_EQ(temperature->defaultValue(), 5500);
  EXPECT_EQ(temperature->numberFormat(), "%.0f K");
  EXPECT_EQ(temperature->visibleMin(), 2000);
  EXPECT_EQ(temperature->visibleMax(), std::nullopt);
  EXPECT_EQ(temperature->discreteValues(), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(temperature->doNotReset());
  EXPECT_TRUE(temperature->fillNonDefaultValue());
  EXPECT_TRUE(tint->hidden());
  EXPECT_TRUE(tint->defaultGradientColors().empty());  // one colour is no gradient
  EXPECT_EQ(tint->rawGradientColors().size(), 2u);     // texts that give no colour are dropped
  EXPECT_EQ(tint->rawDefColorIdx(), 1);

  ASSERT_EQ(effect->tabGroups().size(), 1u);
  auto group = effect->tabGroups()[0];
  EXPECT_EQ(group->name(), "Main");
  EXPECT_TRUE(group->selectedByDefault());
  EXPECT_EQ(group->parameters(), (QVParameterList{temperature}));  // hidden and missing ones left out
  for (const auto& p : effect->ungrouppedParameters()) {
    EXPECT_NE(p, temperature);
    EXPECT_NE(p, tint);
  }
  EXPECT_FALSE(effect->ungrouppedParameters().empty());

  ASSERT_EQ(effect->presets().size(), 1u);
  auto preset = effect->presets()[0];
  EXPECT_EQ(preset->identifier(), "p1");
  EXPECT_EQ(preset->icon(), "icon");
  ASSERT_EQ(preset->parameters().size(), 2u);
  EXPECT_EQ(preset->parameters()[0]->identifier(), "Temperature");
  EXPECT_DOUBLE_EQ(preset->parameters()[0]->value(), 3000);
  EXPECT_DOUBLE_EQ(preset->parameters()[1]->value(), 0);
}

TEST(RawValueMapper, CurveAndItsDegenerateForms) {
  struct Case {
    double top, center, bottom, x, forward;
  };
  const Case cases[] = {
      {100, 0, -50, 100, 100}, {100, 0, -50, -100, -50}, {100, 0, -50, 0, 0},
      {100, 0, -100, 50, 50},  {100, 0, -100, -50, -50},  // centre halfway: a straight line
      {100, 100, 0, 50, 100},  {100, 100, 0, -50, 50},    // centre at the top
      {100, 0, 0, -50, 0},     {100, 0, 0, 50, 50},       // centre at the bottom
  };
  for (const auto& c : cases) {
    auto mapper = QVRawValueMapper(c.top, c.center, c.bottom);
    double v = mapper(false, c.x);
    EXPECT_NEAR(v, c.forward, 1e-9) << c.top << " " << c.center << " " << c.bottom << " x=" << c.x;
    EXPECT_TRUE(std::isfinite(mapper(true, v)));
  }
  auto mapper = QVRawValueMapper(100, 0, -50);
  EXPECT_NEAR(mapper(true, 100), 100, 1e-9);
  EXPECT_NEAR(mapper(true, mapper(false, 37)), 37, 1e-9);
  EXPECT_NEAR(mapper(false, 50), 100 * (std::sqrt(2.0) - 1), 1e-9);  // between: exponential
  EXPECT_NEAR(QVRawValueMapper(100, 0, -100)(true, -50), -50, 1e-9);
  EXPECT_NEAR(mapper(true, 500), 100, 1e-9);  // beyond the range: the nearest end
}

}  // namespace
