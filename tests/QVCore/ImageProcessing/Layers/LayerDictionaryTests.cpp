// The layer dictionary writer against golden files (tests/data/model3), the option lists, and the
// layer's state record, preset identity and workspace.
//
// Set SOLVANE_UPDATE_GOLDEN=1 to rewrite the golden files from the current output.
#include <gtest/gtest.h>

#include <cstdlib>

#include "QVCore/ImageProcessing/Base/QVLayerStateModelProtocol.h"
#include "QVCore/ImageProcessing/Layers/LayerTestSupport.h"
#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayer+Dictionary.h"
#include "QVPlatform/PropertyList.h"
#include "common/TestSupport.h"

using namespace solvane::test;
using LayerPtr = std::shared_ptr<QVIPLayer>;

namespace {

struct ParameterSpec {
  std::string identifier;
  double value = 0, defaultValue = 0;
  QVOptionalData data = nullptr;
  uint64_t type = 0;
  QVValueMapper mapper = nullptr;
  bool doNotReset = false;
};

std::shared_ptr<QVIPParameter> makeParameter(const ParameterSpec& spec) {
  auto p = QVIPParameter::make();
  p->setIdentifier(spec.identifier);
  p->setMinValue(-1000);
  p->setMaxValue(1000);
  p->setDefaultValue(spec.defaultValue);
  p->setValue(spec.value);
  if (spec.data) p->setOptionalData(spec.data, spec.type);
  p->setValueMapper(spec.mapper);
  p->setDoNotReset(spec.doNotReset);
  return p;
}

// An engine effect whose parameter list is replaced by the given one (the writer only reads the
// model's parameters).
std::shared_ptr<QVIPEffect> makeEffect(const std::string& identifier, const std::vector<ParameterSpec>& specs,
                                       const std::string& selectedPreset = "") {
  auto effect = QVIPEffect::initWithIdentifier(identifier);
  EXPECT_TRUE(effect) << identifier;
  QVParameterList list;
  for (const auto& s : specs) list.push_back(makeParameter(s));
  effect->setParameters(list);
  effect->setSelectedPresetId(selectedPreset);
  return effect;
}

LayerPtr makeLayer(const std::string& identifier, std::vector<std::shared_ptr<QVIPEffect>> effects = {},
                   std::vector<LayerPtr> subs = {}) {
  auto layer = QVIPLayer::initWithDefaultSettings();
  layer->setIdentifier(identifier);
  layer->setName(identifier + " name");
  for (const auto& e : effects) layer->addEffect(e);
  for (const auto& s : subs) layer->mutableSubLayers().push_back(s);
  return layer;
}

// The canonical text of the output, compared with the golden file's (number flavours included:
// "Amount" is a 32-bit float, "LayerType" an integer).
void expectGolden(const qv::Dictionary& actual, const std::string& name) {
  const auto path = dataDir() / "model3" / name;
  if (const char* update = std::getenv("SOLVANE_UPDATE_GOLDEN"); update && std::string(update) == "1") {
    ASSERT_TRUE(qv::PropertyList::writeFile(path.string(), qv::Value(actual)));
  }
  qv::Error error;
  const qv::Value golden = qv::PropertyList::readFile(path.string(), &error);
  ASSERT_FALSE(golden.isNull()) << path;
  EXPECT_EQ(qv::Value(actual).description(), golden.description()) << "see " << path;
}

QVValueMapper doubling() {
  return [](bool inverse, double x) { return inverse ? x / 2 : x * 2; };
}

}  // namespace

TEST(LayerDictionary, GoldenTreeWithHiddenLayersMappedValuesAndCachedResources) {
  auto history = std::make_shared<FakeHistory>();
  auto parent = RecordingParent::make(history);
  auto fileData = QVMakeOptionalData(qv::Dictionary{{kQVParameterOptionalDataPathKey, "/pictures/paper.png"},
                                                    {kQVParameterOptionalDataOrigFileNameKey, "paper.png"}});
  auto develop = makeEffect("ROVADevelopCommonEffectID",
                            {{"Exposure", 40, 0, nullptr, 0, doubling()},  // written as 20 (inverse map)
                             {"Contrast", 0.00005, 0},                     // within 0.0001: left out
                             {"Highlights", 0.001, 0},                     // written
                             {"Curve", 0, 0, QVMakeOptionalData(qv::Array{0.0, 0.5, 1.0}), 1},
                             {"Locked", 5, 0, nullptr, 0, nullptr, true}},  // doNotReset: left out
                            "Preset-7");
  auto overlay = makeEffect("ROVATextureOverlayEffect",
                            {{"Texture", 1, 0, QVMakeOptionalData(qv::Value("/pictures/grain.jpg")), 4},
                             {"Amount", 100, 100, fileData, 5},
                             {"Broken", 0, 0, QVMakeOptionalData(qv::Value("/pictures/unreadable.jpg")), 4}});
  auto hidden = makeLayer("HiddenLayer");
  auto allHidden = makeLayer("HiddenChild");
  auto leaf = makeLayer("Leaf", {overlay}, {allHidden});
  auto group = makeLayer("Group", {develop}, {leaf, hidden});
  auto plain = makeLayer("");
  auto root = makeLayer("Root", {}, {group, plain});
  root->setParent(parent->weakParent());
  group->setParent(root->weakAs<QVParentLayerProtocol>());
  leaf->setParent(group->weakAs<QVParentLayerProtocol>());
  hidden->setHidden(true);
  allHidden->setHidden(true);
  plain->setAmount(0.3);
  plain->setEnabled(false);
  plain->setBlendMode(QVBlendMode::blendModeWithIdentifier("Multiply"));

  const qv::Dictionary out = root->serialize();
  expectGolden(out, "layer-dictionary.plist");
  // Spot checks of what the golden file must hold.
  const qv::Value v(out);
  EXPECT_EQ(v["AdjustmentLayers"].size(), 2u);
  EXPECT_FALSE(v["AdjustmentLayers"][0]["Sublayers"]["AdjustmentLayers"][0].contains("Sublayers"));
  EXPECT_FALSE(v["AdjustmentLayers"][1].contains("Identifier"));
  EXPECT_EQ(v["AdjustmentLayers"][1]["Amount"].asDouble(), double(0.3f));
  EXPECT_EQ(v["CachedResources"].size(), 2u);
  EXPECT_EQ(v["CachedResources"]["/pictures/paper.png"].asString(), "/history/res/paper.png");

  // Without history nothing is cached, and a tree without sublayers is just an empty list.
  EXPECT_EQ(qv::Value(makeLayer("Lonely")->serialize()).description(), R"({"AdjustmentLayers":[]})");
  auto orphan = makeLayer(
      "Orphan", {},
      {makeLayer("Child", {makeEffect("ROVATextureOverlayEffect",
                                      {{"Texture", 1, 0, QVMakeOptionalData(qv::Value("/pictures/grain.jpg")), 4}})})});
  EXPECT_FALSE(orphan->serialize().count("CachedResources"));
}

TEST(LayerDictionary, OptionsChooseSublayersAndCanKeepTheCameraProfilePrivate) {
  auto history = std::make_shared<FakeHistory>();
  auto parent = RecordingParent::make(history);
  auto raw =
      makeEffect("ROVARawDevelopCommonEffectID",
                 {{"Texture", 1, 0, QVMakeOptionalData(qv::Value("/profiles/camera.dcp")), 4}, {"Exposure", 1, 0}});
  auto a = makeLayer("A", {raw});
  auto b = makeLayer("B");
  auto c = makeLayer("C");
  auto root = makeLayer("Root", {}, {a, b, c});
  root->setParent(parent->weakParent());
  a->setParent(root->weakAs<QVParentLayerProtocol>());

  qv::Value options(root->defaultSerializationOptions());
  EXPECT_EQ(options["AdjustmentLayers"][1][kQVSerializationOptionsNameKey].asString(), "B name");
  EXPECT_EQ(qv::Value(root->serializeWithOptions(options)).description(), qv::Value(root->serialize()).description());

  // B switched off; C has no entry at all (a list shorter than the layers): both left out.
  options.dictionary()->at("AdjustmentLayers").array()->at(1).set(kQVSerializationOptionsSerializeKey, false);
  options.dictionary()->at("AdjustmentLayers").array()->pop_back();
  options.set(kQVSerializationOptionsSaveDCPKey, false);
  const qv::Value out(root->serializeWithOptions(options));
  ASSERT_EQ(out["AdjustmentLayers"].size(), 1u);
  const qv::Value& texture = out["AdjustmentLayers"][0]["Effects"][0]["Parameters"]["Texture"];
  EXPECT_EQ(texture.description(), R"({"Value":1.0})");
  EXPECT_FALSE(out.contains("CachedResources"));
  EXPECT_EQ(out["AdjustmentLayers"][0]["Effects"][0]["Parameters"]["Exposure"]["OptionalDataType"].asInt(-1), 0);

  options.set(kQVSerializationOptionsSaveDCPKey, true);
  const qv::Value withProfile(root->serializeWithOptions(options));
  EXPECT_EQ(withProfile["AdjustmentLayers"][0]["Effects"][0]["Parameters"]["Texture"]["OptionalData"].asString(),
            "/profiles/camera.dcp");
  EXPECT_EQ(withProfile["CachedResources"]["/profiles/camera.dcp"].asString(), "/history/res/camera.dcp");
}

TEST(LayerDictionary, DodgeBurnLayersAreWrittenAsTheCataloguesUntouchedOnes) {
  auto& catalogue = QVIPEffectsProvider::sharedEffectsProvider();
  auto fresh = catalogue.makeAdjustmentLayerWithIdentifier(kQVDodgeBurnLayerIdentifier);
  ASSERT_TRUE(fresh);
  const std::string untouched = qv::Value(fresh->serialize()).description();

  // A changed dodge-and-burn layer: its own dictionary is the untouched layer's.
  auto changed = catalogue.makeAdjustmentLayerWithIdentifier(kQVDodgeBurnLayerIdentifier);
  auto stroke = makeEffect("ROVADodgeBurnEffect", {{"Strength", 3, 0}});
  auto overlay = makeLayer(kQVDodgeBurnOverlayLayerIdentifier, {stroke}, {makeLayer("Inner")});
  changed->mutableSubLayers() = {overlay};
  ASSERT_TRUE(changed->hasChanges());
  EXPECT_EQ(qv::Value(changed->serialize()).description(), untouched);

  // As a sublayer: its own entry is written from itself, its "Sublayers" from the untouched layer.
  changed->setAmount(0.5);
  auto root = makeLayer("Root", {}, {changed});
  const qv::Value out(root->serialize());
  const qv::Value& entry = out["AdjustmentLayers"][0];
  EXPECT_EQ(entry["Amount"].asDouble(), 0.5);
  EXPECT_EQ(entry["Sublayers"].description(), untouched);

  // Sublayers of an overlay layer carry neither a blend mode nor sublayers.
  const qv::Value overlayOut(overlay->serialize());
  ASSERT_EQ(overlayOut["AdjustmentLayers"].size(), 1u);
  EXPECT_FALSE(overlayOut["AdjustmentLayers"][0].contains("BlendModeIdentifier"));
  EXPECT_TRUE(overlayOut["AdjustmentLayers"][0].contains("Enabled"));
}

namespace {

class FakeState : public QVLayerStateModelProtocol {
 public:
  explicit FakeState(std::string id) : id_(std::move(id)) {}
  std::string identifier() const override { return id_; }
  void updateLayer(const std::shared_ptr<QVIPLayer>& layer) override {
    ++updates;
    heldDuringUpdate = layer->state() != nullptr;  // made fresh by state(): must not be this one
    layer->setName("from " + id_);                 // a setter that drops the state
  }
  void updateTextureOfLayer(const std::shared_ptr<QVIPLayer>&) override { ++textureUpdates; }
  int updates = 0, textureUpdates = 0;
  bool heldDuringUpdate = false;

 private:
  std::string id_;
};

}  // namespace

TEST(LayerState, RecordIsMadeOnDemandAndAppliedOnlyWhenItIsAnotherState) {
  int made = 0;
  QVLayerStateFactory::registerMaker(
      [&](std::shared_ptr<QVIPLayer>) { return std::make_shared<FakeState>("made-" + std::to_string(++made)); });
  auto layer = makeLayer("L");
  auto first = layer->state();
  EXPECT_EQ(layer->state(), first);  // kept until a change
  EXPECT_EQ(made, 1);
  layer->setName("other");
  EXPECT_NE(layer->state(), first);

  auto applied = std::make_shared<FakeState>("preset-state");
  layer->setState(applied);
  EXPECT_EQ(applied->updates, 1);
  EXPECT_EQ(layer->state(), applied);  // survived the setters the update called
  EXPECT_EQ(layer->name(), "from preset-state");
  auto twin = std::make_shared<FakeState>("preset-state");
  layer->setState(twin);  // same identifier: ignored
  EXPECT_EQ(twin->updates, 0);
  EXPECT_EQ(layer->state(), applied);
  layer->setTextureState(twin);
  EXPECT_EQ(twin->textureUpdates, 0);
  layer->setTextureState(std::make_shared<FakeState>("other"));
  EXPECT_EQ(layer->state(), applied);

  // Dropped up the chain of parent layers.
  auto child = makeLayer("child");
  child->setParent(layer->weakAs<QVParentLayerProtocol>());
  child->setState(std::make_shared<FakeState>("c"));
  child->resetStateAscending();
  EXPECT_NE(child->state()->identifier(), "c");
  EXPECT_NE(layer->state(), applied);
  QVLayerStateFactory::registerMaker(nullptr);
}

TEST(LayerState, PresetIdentityIsDroppedOnlyByAFullReset) {
  auto layer = makeLayer("L");
  NotificationRecorder recorder(layer.get(), {kQVLayerPresetDidReset});
  layer->setPresetUUID(std::nullopt);
  layer->setPresetUUID("P1");
  layer->resetState(false);
  EXPECT_EQ(layer->presetUUID(), "P1");
  qv::MainExecutor::shared().runUntilIdle();
  EXPECT_TRUE(recorder.received.empty());
  layer->resetState();
  qv::MainExecutor::shared().runUntilIdle();
  EXPECT_FALSE(layer->presetUUID());
  EXPECT_EQ(recorder.received.size(), 1u);
}
