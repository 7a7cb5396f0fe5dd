// Layer adjustments (effects, opacity, effect strength, blend mode, resets, copies, twins) and the
// change reports that travel parameter → effect → layer → parent layer → processor.
#include <gtest/gtest.h>

#include "QVCore/ImageProcessing/Layers/LayerTestSupport.h"
#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "rova/layers/AdjustmentLayer.h"

using namespace solvane::test;
using LayerPtr = std::shared_ptr<QVIPLayer>;

namespace {

std::shared_ptr<QVIPEffect> sharpen() { return QVIPEffect::initWithIdentifier("ROVASharpenEffect"); }

LayerPtr layerWithEffects(const std::string& name, size_t effects, std::vector<LayerPtr> subs = {}) {
  auto layer = namedLayer(name);
  for (size_t i = 0; i < effects; ++i) layer->addEffect(sharpen());
  layer->setLayers(std::move(subs));
  return layer;
}

struct Sky : ::testing::Test {
  std::shared_ptr<FakeHistory> history = std::make_shared<FakeHistory>();
  std::shared_ptr<RecordingParent> parent = RecordingParent::make(history, true);
  LayerPtr sky = namedLayer("Sky");
  Sky() { sky->setParent(parent->weakParent()); }
  rova::BaseLayer& engine() {
    parent->queue->waitUntilAllOperationsAreFinished();
    return *sky->cppLayer();
  }
};

TEST_F(Sky, OpacityAndStrengthRecordTruncatedAndRoundedPercentages) {
  struct Case {
    bool strength;
    const char* identifier;
    double value;
    const char* action;
    const char* info;
  };
  const Case cases[] = {
      {false, "", 0.5, "Sky: Opacity", "+50"},         {false, "", 0.0, "Sky: Opacity", "0"},
      {false, "", -0.2, "Sky: Opacity", "-20"},        {false, "", 0.755, "Sky: Opacity", "+75"},
      {true, "", 0.755, "Sky: Filters Amount", "+76"}, {false, "DodgeBurnOverlayLayer", 0.5, "Sky: Amount", "+50"},
  };
  for (const auto& c : cases) {
    history->steps.clear();
    sky->setIdentifier(c.identifier);
    sky->setAmount(1.0);
    sky->setEffectsAmount(1.0);
    history->steps.clear();
    parent->didChange.clear();
    if (c.strength)
      sky->setEffectsAmount(c.value);
    else
      sky->setAmount(c.value);
    ASSERT_EQ(history->steps.size(), 1u) << c.action;
    EXPECT_EQ(history->steps[0].actionName, c.action);
    EXPECT_EQ(history->steps[0].additionalInfo.asString(), c.info) << c.value;
    ASSERT_EQ(parent->didChange.size(), 1u);
    const char* kind = c.strength ? "kQVImageLayerEffectsAmountDidChange" : "kQVImageLayerAmountDidChange";
    EXPECT_EQ(parent->didChange[0].info.changeType(), kind);
    EXPECT_DOUBLE_EQ(parent->didChange[0].info[kind].asDouble(), c.value);
    EXPECT_FLOAT_EQ(c.strength ? engine().getEffectAmount() : engine().opacity(), float(c.value));
  }
}

TEST_F(Sky, SettingTheCurrentValueIsNoChange) {
  sky->setAmount(0.4);
  sky->setEffectsAmount(0.6);
  history->steps.clear();
  parent->didChange.clear();
  NotificationRecorder recorder(sky.get(), {"kQVImageLayerAmountDidChange", "kQVImageLayerEffectsAmountDidChange"});
  engine().setOpacity(0.9f);  // a stray engine value shows whether the engine is written again
  sky->setAmount(0.4);
  sky->setEffectsAmount(0.6);
  EXPECT_TRUE(history->steps.empty());
  EXPECT_TRUE(parent->didChange.empty());
  EXPECT_TRUE(recorder.received.empty());
  EXPECT_FLOAT_EQ(engine().opacity(), 0.9f);
}

TEST_F(Sky, BlendModeRules) {
  auto multiply = QVBlendMode::blendModeWithIdentifier("Multiply");
  ASSERT_TRUE(multiply);
  NotificationRecorder recorder(sky.get(), {"kQVImageLayerBlendModeDidChange"});
  sky->setBlendMode(multiply);
  ASSERT_EQ(history->steps.size(), 1u);
  EXPECT_EQ(history->steps[0].actionName, "Sky: Blend");
  EXPECT_EQ(history->steps[0].additionalInfo.asString(), "Multiply");
  EXPECT_TRUE(sky->blendModeModified());
  EXPECT_EQ(engine().blendMode(), rova::kBlendMultiply);
  ASSERT_FALSE(recorder.received.empty());
  EXPECT_EQ(recorder.received.back().userObjects.at("blend"), multiply);
  EXPECT_EQ(recorder.received.back().userObjects.at("adjustment layer"), sky);
  EXPECT_EQ(parent->didChange.back().info["kQVImageLayerBlendModeDidChange"].asString(), "Multiply");

  sky->setBlendMode(multiply);  // the same object while modified: nothing
  EXPECT_EQ(history->steps.size(), 1u);
  sky->setBlendModeModified(false);
  EXPECT_EQ(history->steps.size(), 1u);  // the flag records nothing
  sky->setBlendMode(multiply);           // the same object while not modified: applied again
  EXPECT_EQ(history->steps.size(), 2u);

  engine().setBlendMode(rova::kBlendScreen);
  sky->setBlendMode(QVBlendMode::initWithIdentifier("Glow", "Glow"));  // unknown to the engine
  EXPECT_EQ(sky->blendMode()->identifier(), "Glow");
  EXPECT_EQ(history->steps.size(), 3u);
  EXPECT_EQ(engine().blendMode(), rova::kBlendScreen);

  sky->resetAll();  // no default mode: a plain Normal
  EXPECT_EQ(sky->blendMode()->identifier(), "Normal");
  EXPECT_FALSE(sky->blendModeModified());
  EXPECT_EQ(engine().blendMode(), rova::kBlendNormal);
}

TEST(LayerAdjustments, ChangesTravelUpToTheProcessor) {
  auto history = std::make_shared<FakeHistory>();
  auto processor = TestProcessor::make(history);
  auto look = namedLayer("Look");
  auto detail = layerWithEffects("Detail", 1);
  look->setLayers({detail});
  processor->addLayer(look);
  look->setPresetUUID("look-preset");
  detail->setPresetUUID("detail-preset");
  NotificationRecorder lookEffect(look.get(), {"kQVLayerEffectDidChanged", "QVLayerPresetDidReset"});
  processor->reports.clear();

  auto parameter = detail->effects()[0]->parameters()[0];
  parameter->setValue(parameter->value() + 1);
  ASSERT_EQ(processor->reports.size(), 1u);
  const ChildReport& report = processor->reports[0];
  EXPECT_EQ(report.child, look);  // each level reports itself
  EXPECT_EQ(report.info.changeType(), "kQVParameterStateInfoType");
  EXPECT_EQ(report.info["kQVEffectIDUserInfoKey"].asString(), "ROVASharpenEffect");
  EXPECT_EQ(lookEffect.names(), (std::vector<std::string>{"QVLayerPresetDidReset", "kQVLayerEffectDidChanged"}));
  EXPECT_EQ(look->presetUUID(), std::nullopt);  // an ordinary change drops the preset identity
  EXPECT_EQ(detail->presetUUID(), std::nullopt);
  EXPECT_EQ(history->steps.back().actionName, "Detail: " + parameter->name());
  processor->waitForQueue();
  auto engineEffect = std::static_pointer_cast<rova::AdjustmentLayer>(detail->cppLayer())->effectAtIndex(0);
  EXPECT_FLOAT_EQ(engineEffect->getParameters()[0].value(), float(parameter->value()));

  // A structural change keeps the preset identity of the layers above.
  look->setPresetUUID("look-preset");
  detail->setEnabled(false);
  EXPECT_EQ(look->presetUUID(), "look-preset");
  EXPECT_EQ(processor->reports.back().info.changeType(), "kQVImageLayerEnableStateDidChange");

  detail->childInvalidated(parameter);
  ASSERT_EQ(processor->invalidated.size(), 1u);
  EXPECT_EQ(processor->invalidated[0], look);
}

TEST(LayerAdjustments, EffectListReachesTheEngine) {
  auto parent = RecordingParent::make(nullptr, true);
  auto layer = namedLayer("L");
  layer->setParent(parent->weakParent());
  auto first = sharpen(), second = sharpen(), third = sharpen();
  layer->addEffect(first);
  layer->addEffect(second, 0);
  layer->addEffect(third, 5);  // past the end: refused
  EXPECT_EQ(layer->effects(), (QVIPLayer::EffectList{second, first}));
  EXPECT_EQ(first->parent(), std::dynamic_pointer_cast<QVParentProtocol>(layer));
  auto engine = std::static_pointer_cast<rova::AdjustmentLayer>(layer->cppLayer());
  parent->queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(engine->effects(), (std::vector<rova::EffectPtr>{second->cppEffect(), first->cppEffect()}));
  layer->removeEffect(second);
  parent->queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(engine->effects(), (std::vector<rova::EffectPtr>{first->cppEffect()}));
  layer->removeAllEffects();
  parent->queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(engine->effectsCount(), 0u);
  EXPECT_EQ(parent->didChange.size(), 4u);  // two additions, a removal, the removal of all
}

TEST(LayerAdjustments, CopyingAndApplyingParameters) {
  auto source = layerWithEffects("S", 2);
  source->effects()[1]->parameters()[0]->setValue(42);
  source->setAmount(0.3);
  auto target = layerWithEffects("T", 1);
  target->applyParamsFromLayer(source);  // one effect more in the source: nothing at all
  EXPECT_DOUBLE_EQ(target->amount(), 1.0);

  auto twin = layerWithEffects("T", 2);
  twin->applyParamsFromLayer(source);
  EXPECT_DOUBLE_EQ(twin->amount(), 0.3);
  EXPECT_DOUBLE_EQ(twin->effects()[1]->parameters()[0]->value(), 42);

  target->copyParamsFromLayer(source);  // more effects than the target has: the extra is skipped
  EXPECT_DOUBLE_EQ(target->amount(), 0.3);
  EXPECT_EQ(target->name(), "S");
  EXPECT_EQ(target->effects().size(), 1u);

  auto group = namedLayer("G");
  group->setLayers(
      {QVIPEffectsProvider::sharedEffectsProvider().makeAdjustmentLayerWithIdentifier("SharpenAdjustmentLayer")});
  group->subLayers()[0]->effects()[0]->parameters()[0]->setValue(7);
  auto copy = namedLayer("C");
  copy->copyParamsFromLayer(group);
  ASSERT_EQ(copy->subLayers().size(), 1u);
  EXPECT_EQ(copy->subLayers()[0]->identifier(), "SharpenAdjustmentLayer");
  EXPECT_NE(copy->subLayers()[0], group->subLayers()[0]);
  EXPECT_DOUBLE_EQ(copy->subLayers()[0]->effects()[0]->parameters()[0]->value(), 7);
}

TEST(LayerAdjustments, ChangeDetection) {
  EXPECT_EQ(namedLayer("Empty")->effectsHash(), 0u);
  auto a = layerWithEffects("A", 1), b = layerWithEffects("B", 1);
  EXPECT_EQ(a->effectsHash(), b->effectsHash());
  EXPECT_FALSE(a->hasChanges());
  a->effects()[0]->parameters()[0]->setValue(a->effects()[0]->parameters()[0]->defaultValue() + 5);
  EXPECT_NE(a->effectsHash(), b->effectsHash());
  EXPECT_TRUE(a->hasChanges());
  auto holder = namedLayer("H");
  holder->setLayers({a});
  EXPECT_TRUE(holder->hasChanges());

  auto overlay = namedLayer("O");
  overlay->setIdentifier("DodgeBurnOverlayLayer");
  overlay->setAmount(0.99);
  EXPECT_TRUE(overlay->hasChanges());
  b->setAmount(0.5);  // opacity of other layers does not count
  EXPECT_FALSE(b->hasChanges());
}

// Two trees under two processors, as when a document is shown twice.
struct Twins : ::testing::Test {
  std::shared_ptr<TestProcessor> mineProcessor = TestProcessor::make(), theirsProcessor = TestProcessor::make();
  LayerPtr mine = layerWithEffects("M", 1, {layerWithEffects("M1", 1), layerWithEffects("M2", 1)});
  LayerPtr theirs = layerWithEffects("T", 1, {layerWithEffects("T1", 1), layerWithEffects("T2", 1)});
  Twins() {
    mineProcessor->addLayer(mine);
    theirsProcessor->addLayer(theirs);
  }
};

TEST_F(Twins, FollowTheTwinsChanges) {
  ASSERT_TRUE(mine->syncWithLayer(theirs));
  EXPECT_TRUE(mine->syncWithLayer(theirs));  // already bound
  EXPECT_EQ(mine->subLayers()[1]->syncLayer(), theirs->subLayers()[1]);

  theirs->setAmount(0.3);
  theirs->setEffectsAmount(0.2);
  theirs->setBlendMode(QVBlendMode::blendModeWithIdentifier("Screen"));
  theirs->setEnabled(false);
  EXPECT_DOUBLE_EQ(mine->amount(), 0.3);
  EXPECT_DOUBLE_EQ(mine->effectsAmount(), 0.2);
  EXPECT_EQ(mine->blendMode()->identifier(), "Screen");
  EXPECT_FALSE(mine->isEnabled());
  theirs->effects()[0]->parameters()[0]->setValue(12);
  EXPECT_DOUBLE_EQ(mine->effects()[0]->parameters()[0]->value(), 12);

  theirs->removeLayer(theirs->subLayers()[0]);
  ASSERT_EQ(mine->subLayers().size(), 1u);
  EXPECT_EQ(mine->subLayers()[0]->name(), "M2");

  theirs->insertLayer(
      QVIPEffectsProvider::sharedEffectsProvider().makeAdjustmentLayerWithIdentifier("SharpenAdjustmentLayer"), 0);
  ASSERT_EQ(mine->subLayers().size(), 2u);
  EXPECT_EQ(mine->subLayers()[0]->identifier(), "SharpenAdjustmentLayer");
  EXPECT_EQ(mine->subLayers()[0]->syncLayer(), theirs->subLayers()[0]);
  EXPECT_EQ(engineList(*mineProcessor), modelWalk(*mineProcessor));
  EXPECT_TRUE(mineProcessor->invalidated.empty());
}

TEST_F(Twins, MismatchesAreRefusedAndReported) {
  theirs->subLayers()[1]->addEffect(sharpen());  // the second pair differs in effects
  EXPECT_FALSE(mine->syncWithLayer(theirs));
  EXPECT_EQ(mine->subLayers()[0]->syncLayer(), theirs->subLayers()[0]);  // the first pair stays bound
  EXPECT_EQ(mine->syncLayer(), nullptr);

  qv::Notification removal;
  removal.userInfo = {{"Remove", true}, {"QVSublayersIndexes", qv::Array{qv::Value(5)}}};
  mine->layerDidChangeSublayers(removal);
  EXPECT_EQ(mine->subLayers().size(), 2u);
  ASSERT_EQ(mineProcessor->invalidated.size(), 1u);
  EXPECT_EQ(mineProcessor->invalidated[0], mine);
}

}  // namespace
