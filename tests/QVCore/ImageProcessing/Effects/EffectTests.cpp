#include <gtest/gtest.h>

#include "QVCore/ImageProcessing/Base/ModelFakes.h"
#include "QVCore/ImageProcessing/Effects/QVIPEffect.h"
#include "QVCore/ImageProcessing/Effects/QVIgnoreDisablingEffect.h"
#include "QVCore/ImageProcessing/Effects/QVSharpenParameters.h"
#include "rova/effects/factory/EffectFactory.h"

using namespace solvane::test;

namespace {

// An engine effect for these tests. On a new context it puts every value back to its default
// (as effects that adapt to the picture do), and optionally drops its last parameter.
class ModelTestEffect : public rova::EffectBase<ModelTestEffect> {
 public:
  enum class OnContext { ResetValues, DropLast };
  explicit ModelTestEffect(std::string id, OnContext onContext = OnContext::ResetValues)
      : EffectBase(std::move(id), {rova::Parameter("Amount", -100, 100, 0), rova::Parameter("Tone", 0, 1, 0.5f),
                                   rova::Parameter("Secret", 0, 1, 0, true)}),
        onContext_(onContext) {}

 protected:
  std::unique_ptr<rova::EffectKernel> makeKernel(const rova::ParameterList&, const rova::EffectRenderInfo&,
                                                 const rova::EffectParametersContextPtr&) const override {
    return nullptr;
  }
  void contextDidChange(rova::ParameterList& parameters, const rova::EffectParametersContextPtr&) override {
    for (auto& p : parameters) p.setValue(p.defaultValue());
    if (onContext_ == OnContext::DropLast) parameters.pop_back();
  }

 private:
  OnContext onContext_;
};

constexpr const char* kTestEffect = "ROVAModelTestEffect";
constexpr const char* kShrinkingEffect = "ROVAModelShrinkingEffect";

struct EffectFixture : ::testing::Test {
  static void SetUpTestSuite() {
    auto& factory = rova::EffectFactory::instance();
    factory.registerEffect(kTestEffect, [] { return std::make_shared<ModelTestEffect>(kTestEffect); });
    factory.registerEffect(kShrinkingEffect, [] {
      return std::make_shared<ModelTestEffect>(kShrinkingEffect, ModelTestEffect::OnContext::DropLast);
    });
  }

  std::shared_ptr<FakeHistory> history = std::make_shared<FakeHistory>();
  std::shared_ptr<FakeParent> layer = FakeParent::make(history, /*withQueue=*/true);

  std::shared_ptr<QVIPEffect> makeEffect(const std::string& id = kTestEffect) {
    auto e = QVIPEffect::initWithIdentifier(id);
    if (e) e->setParent(layer);
    return e;
  }
  const rova::Parameter& engineParameter(const QVIPEffect& e, size_t i) {
    engineList_ = e.cppEffect()->getParameters();
    return engineList_.at(i);
  }
  void drain() { layer->queue->waitUntilAllOperationsAreFinished(); }

 private:
  rova::ParameterList engineList_;
};

using Effect = EffectFixture;

TEST_F(Effect, MadeByTheEngineFactoryWithRawFallback) {
  ASSERT_FALSE(rova::EffectFactory::instance().isSupported("ROVARawModelTestEffect"));
  auto e = QVIPEffect::initWithIdentifier("ROVARawModelTestEffect");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->identifier(), kTestEffect);
  ASSERT_EQ(e->parameters().size(), 3u);
  const auto& amount = e->parameters()[0];
  EXPECT_EQ(amount->identifier(), "Amount");
  EXPECT_EQ(amount->name(), "Amount");
  EXPECT_EQ(amount->minValue(), -100);
  EXPECT_EQ(amount->maxValue(), 100);
  EXPECT_EQ(e->parameters()[1]->value(), 0.5);
  EXPECT_TRUE(e->parameters()[2]->hidden());
  EXPECT_EQ(amount->parent().get(), static_cast<QVParentProtocol*>(e.get()));

  EXPECT_EQ(QVIPEffect::initWithIdentifier("ROVANoSuchEffect"), nullptr);

  auto ignoring = QVIgnoreDisablingEffect::initWithIdentifier(kTestEffect);
  ASSERT_NE(ignoring, nullptr);
  EXPECT_NE(std::dynamic_pointer_cast<QVIgnoreDisablingParameter>(ignoring->parameters()[0]), nullptr);
}

TEST_F(Effect, ShippedEffectsMirrorTheEngine) {
  auto sharpen = QVIPEffect::initWithIdentifier("ROVARawSharpenEffect");
  ASSERT_NE(sharpen, nullptr);
  EXPECT_EQ(sharpen->identifier(), "ROVASharpenEffect");
  for (const std::string& id : rova::EffectFactory::instance().supportedEffects()) {
    auto e = makeEffect(id);
    ASSERT_NE(e, nullptr) << id;
    rova::ParameterList engine = e->cppEffect()->getParameters();
    ASSERT_EQ(e->parameters().size(), engine.size()) << id;
    for (size_t i = 0; i < engine.size(); ++i) {
      const auto& p = e->parameters()[i];
      EXPECT_EQ(p->identifier(), engine[i].identifier());
      EXPECT_EQ(p->value(), engine[i].value());
      EXPECT_EQ(p->defaultValue(), engine[i].defaultValue());
      EXPECT_EQ(p->hidden(), engine[i].isHidden());
      p->setValue(double(engine[i].maxValue()));
    }
    drain();
    for (size_t i = 0; i < engine.size(); ++i)
      EXPECT_EQ(engineParameter(*e, i).value(), engine[i].maxValue()) << id << " " << engine[i].identifier();
  }
}

TEST_F(Effect, IdForPreset) {
  auto raw = QVIPEffect::initWithCppEffect(std::make_shared<ModelTestEffect>("ROVARawDevelopCommonEffectID"));
  auto plain = QVIPEffect::initWithCppEffect(std::make_shared<ModelTestEffect>("ROVASharpenEffect"));
  EXPECT_EQ(raw->identifier(), "ROVARawDevelopCommonEffectID");
  EXPECT_EQ(raw->idForPreset(), "ROVADevelopCommonEffectID");
  EXPECT_EQ(plain->idForPreset(), "ROVASharpenEffect");
}

TEST_F(Effect, ValuesReachTheEngineOnTheProcessingQueue) {
  auto e = makeEffect();
  NotificationRecorder notes(e.get(), {kQVEffectParameterDidChange});
  layer->queue->setSuspended(true);
  e->parameters()[0]->setValue(42);
  EXPECT_EQ(engineParameter(*e, 0).value(), 0);  // queued, not yet written
  layer->queue->setSuspended(false);
  drain();
  EXPECT_EQ(engineParameter(*e, 0).value(), 42);

  ASSERT_EQ(layer->didChange.size(), 1u);
  EXPECT_EQ(layer->didChange[0].child, e);
  EXPECT_EQ(layer->didChange[0].info[kQVEffectIDUserInfoKey].asString(), kTestEffect);
  EXPECT_EQ(layer->didChange[0].info[kQVParameterIDKey].asString(), "Amount");
  ASSERT_EQ(notes.received.size(), 1u);
  EXPECT_EQ(notes.received[0].userObjects.at(kQVChangedParameterUserInfoKey), e->parameters()[0]);
  EXPECT_EQ(history->steps.at(0).actionName, "Layer: Amount");

  // Without a processor the engine is written at once.
  auto detached = QVIPEffect::initWithIdentifier(kTestEffect);
  detached->parameters()[1]->setValue(0.25);
  EXPECT_EQ(engineParameter(*detached, 1).value(), 0.25f);
}

TEST_F(Effect, OptionalDataReachesTheEngine) {
  auto e = makeEffect();
  auto& p = e->parameters()[1];
  auto read = [&] {
    drain();
    return engineParameter(*e, 1).optionalData();
  };

  p->setOptionalData(QVMakeOptionalData(qv::Array{0.5, 1, true}), QVParameterOptionalDataTypeNumbers);
  EXPECT_EQ(read(), rova::ParameterOptionalData(std::vector<float>{0.5f, 1.f, 1.f}));

  p->setOptionalData(QVMakeOptionalData("lut"), QVParameterOptionalDataTypeText);
  EXPECT_EQ(read(), rova::ParameterOptionalData(std::string("lut")));

  // Five entries: two pairs, the odd last entry ignored; malformed pairs are skipped.
  qv::Array tables{"red", qv::Dictionary{{"a", 1}, {"b", 2.5}}, "green", qv::Dictionary{{"c", 3}}, "blue"};
  p->setOptionalData(QVMakeOptionalData(tables), QVParameterOptionalDataTypeNamedTables);
  rova::NamedParameterTables expected{{"red", {{"a", 1.f}, {"b", 2.5f}}}, {"green", {{"c", 3.f}}}};
  EXPECT_EQ(read(), rova::ParameterOptionalData(expected));
  qv::Array malformed{"red", "not a table", 7, qv::Dictionary{{"x", 1}}, "ok", qv::Dictionary{{"y", 2}}};
  p->setOptionalData(QVMakeOptionalData(malformed), QVParameterOptionalDataTypeNamedTables);
  EXPECT_EQ(read(), rova::ParameterOptionalData(rova::NamedParameterTables{{"ok", {{"y", 2.f}}}}));
  // A dictionary in place of the list sends none.
  p->setOptionalData(QVMakeOptionalData(qv::Dictionary{{"red", 1}}), QVParameterOptionalDataTypeNamedTables);
  EXPECT_EQ(read(), rova::ParameterOptionalData(std::vector<float>{}));

  // Image files reach the engine as the history's copy.
  p->setOptionalData(QVMakeOptionalData("/photos/sky.png"), QVParameterOptionalDataTypeImagePath);
  EXPECT_EQ(read(), rova::ParameterOptionalData(std::string("/history/res/sky.png")));
  p->setOptionalData(QVMakeOptionalData(qv::Dictionary{{kQVParameterOptionalDataPathKey, "/photos/moon.tif"},
                                                       {kQVParameterOptionalDataOrigFileNameKey, "Moon"}}),
                     QVParameterOptionalDataTypeImageFile);
  EXPECT_EQ(read(), rova::ParameterOptionalData(std::string("/history/res/moon.tif")));
  // A file the history cannot copy: the engine gets no path.
  p->setOptionalData(QVMakeOptionalData("/photos/unreadable.png"), QVParameterOptionalDataTypeImagePath);
  EXPECT_EQ(read(), rova::ParameterOptionalData(std::vector<float>{}));
  // Cleared data clears the engine's.
  p->setOptionalData(QVMakeOptionalData("lut"), QVParameterOptionalDataTypeText);
  p->setOptionalData(nullptr, QVParameterOptionalDataTypeNone);
  EXPECT_EQ(read(), rova::ParameterOptionalData(std::vector<float>{}));
}

TEST_F(Effect, ContextRefreshKeepsValues) {
  auto e = makeEffect();
  e->parameters()[0]->setValue(30);
  e->parameters()[1]->setValue(0.75);
  e->updateParametersContextWithOriginalImage(nullptr);
  drain();
  EXPECT_NE(e->cppEffect()->context(), nullptr);
  EXPECT_EQ(engineParameter(*e, 0).value(), 30);
  EXPECT_EQ(engineParameter(*e, 1).value(), 0.75f);
  EXPECT_EQ(e->parameters()[0]->value(), 30);
}

TEST_F(Effect, RefreshThatChangesTheListAndStalePushes) {
  auto e = makeEffect(kShrinkingEffect);
  e->parameters()[0]->setValue(30);
  e->updateParametersContextWithOriginalImage(nullptr);  // logged; the engine keeps its new list
  drain();
  ASSERT_EQ(e->cppEffect()->getParameters().size(), 2u);
  EXPECT_EQ(engineParameter(*e, 0).value(), 0);  // values not carried over

  e->parameters()[2]->setValue(1);  // past the end of the engine list now: skipped
  drain();
  EXPECT_EQ(e->cppEffect()->getParameters().size(), 2u);

  auto stranger = QVIPParameter::make();  // not the effect's: ignored
  e->parameterUpdated(stranger);
  e->parameters()[1]->setValue(0.1);  // the rest still works
  drain();
  EXPECT_EQ(engineParameter(*e, 1).value(), 0.1f);
}

TEST_F(Effect, ResetCopyAndPresets) {
  auto e = makeEffect();
  auto source = makeEffect();
  NotificationRecorder notes(e.get(), {kQVEffectResetParams});
  e->parameters()[0]->setValue(10);
  e->parameters()[1]->setValue(0.9);
  e->parameters()[1]->setDoNotReset(true);
  e->resetParams();
  EXPECT_EQ(e->parameters()[0]->value(), 0);
  EXPECT_EQ(e->parameters()[1]->value(), 0.9);
  EXPECT_EQ(notes.received.size(), 1u);

  e->parameters()[1]->setDoNotReset(false);
  e->resetParamsWithIdentifiers({"Tone"});
  EXPECT_EQ(e->parameters()[1]->value(), 0.5);
  EXPECT_EQ(notes.received.size(), 1u);

  // Copy: a non-default target value stays without override; fillFromPreset meets doNotReset.
  source->parameters()[0]->setValue(70);
  source->parameters()[1]->setValue(0.2);
  source->parameters()[1]->setFillFromPreset(true);
  e->parameters()[0]->setValue(5);
  e->parameters()[1]->setDoNotReset(true);
  e->copyParamsFromEffect(*source, false);
  EXPECT_EQ(e->parameters()[0]->value(), 5);
  e->copyParamsFromEffect(*source);
  EXPECT_EQ(e->parameters()[0]->value(), 70);
  EXPECT_EQ(e->parameters()[1]->value(), 0.5);
  drain();
  EXPECT_EQ(engineParameter(*e, 0).value(), 70);

  // Presets: only the effect's own; named parameters take the value, the others their default.
  auto preset = QVEffectPreset::make();
  preset->setParameters({QVEffectPresetParameter::make("Tone", 0.8)});
  e->activatePreset(preset);
  EXPECT_EQ(e->parameters()[1]->value(), 0.5);
  e->setPresets({preset});
  history->steps.clear();
  e->activatePreset(preset);
  EXPECT_EQ(e->parameters()[0]->value(), 0);
  EXPECT_EQ(e->parameters()[1]->value(), 0.8);
  ASSERT_FALSE(history->steps.empty());
  EXPECT_EQ(history->steps[0].actionName, "Preset Layer: Activated");
}

TEST_F(Effect, TwinEffects) {
  auto a = makeEffect();
  auto b = makeEffect();
  ASSERT_TRUE(a->syncWithEffect(b));
  EXPECT_EQ(a->syncEffect(), b);
  b->parameters()[0]->setValue(12);
  drain();
  EXPECT_EQ(a->parameters()[0]->value(), 12);
  EXPECT_EQ(engineParameter(*a, 0).value(), 12);

  auto stranger = QVIPEffect::initWithCppEffect(std::make_shared<ModelTestEffect>("ROVAOtherEffect"));
  EXPECT_FALSE(a->syncWithEffect(stranger));
  EXPECT_EQ(a->syncEffect(), nullptr);
  auto shorter = QVIPEffect::initWithCppEffect(std::make_shared<ModelTestEffect>(kTestEffect));
  shorter->setParameters({shorter->parameters()[0]});
  EXPECT_FALSE(a->syncWithEffect(shorter));
  EXPECT_EQ(a->syncEffect(), nullptr);
  EXPECT_FALSE(a->syncWithEffect(nullptr));
}

TEST_F(Effect, HashAndChanges) {
  auto a = makeEffect();
  auto b = makeEffect();
  EXPECT_EQ(a->hash(), b->hash());
  EXPECT_FALSE(a->hasChanges());
  a->parameters()[0]->setValue(1);
  EXPECT_NE(a->hash(), b->hash());
  EXPECT_TRUE(a->hasChanges());
  a->parameters()[0]->setValue(0);
  EXPECT_EQ(a->hash(), b->hash());
  a->parameters()[2]->setOptionalData(QVMakeOptionalData("x"), QVParameterOptionalDataTypeText);
  EXPECT_TRUE(a->hasChanges());
  b->parameters()[1]->setValue(NAN);
  EXPECT_TRUE(b->hasChanges());

  EXPECT_EQ(a->valueForKeyPath("Amount.value").asDouble(), 0);
  EXPECT_EQ(a->valueForKeyPath("Tone.defaultValue").asDouble(), 0.5);
  EXPECT_EQ(a->valueForKeyPath("identifier").asString(), kTestEffect);
  EXPECT_TRUE(a->valueForKeyPath("Nothing.value").isNull());
}

TEST_F(Effect, IgnoreDisablingEffectSwitchesItsParameters) {
  auto e = QVIgnoreDisablingEffect::initWithIdentifier(kTestEffect);
  e->parameters()[0]->setValue(40);
  e->setIgnoreDisabling(true);
  EXPECT_EQ(e->parameters()[0]->value(), 0);
  EXPECT_EQ(e->parameters()[0]->visibleValue(), 40);
  EXPECT_EQ(engineParameter(*e, 0).value(), 0);
  e->setIgnoreDisabling(false);
  EXPECT_EQ(e->parameters()[0]->value(), 40);
  EXPECT_EQ(engineParameter(*e, 0).value(), 40);
}

TEST(SharpenParameters, Table) {
  EXPECT_EQ(QVSharpenParameters::sharpenParametersForLevel(0, false), nullptr);
  EXPECT_EQ(QVSharpenParameters::sharpenParametersForLevel(0, true), nullptr);
  struct Row {
    uint64_t level;
    bool raw;
    double amount, radius, dehalo, masking;
  };
  for (const Row& r : std::vector<Row>{{1, false, 15, 25, 20, 60},
                                       {2, false, 25, 30, 35, 40},
                                       {3, false, 25, 30, 35, 40},
                                       {4, false, 0, 50, 50, 35},
                                       {1, true, 25, 28, 29, 60},
                                       {2, true, 40, 34, 35, 40},
                                       {3, true, 70, 45, 45, 30},
                                       {9, true, 0, 50, 50, 35}}) {
    auto s = QVSharpenParameters::sharpenParametersForLevel(r.level, r.raw);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::vector<double>({s->amount(), s->radius(), s->dehalo(), s->masking()}),
              std::vector<double>({r.amount, r.radius, r.dehalo, r.masking}))
        << r.level << (r.raw ? " raw" : "");
  }
}

}  // namespace
