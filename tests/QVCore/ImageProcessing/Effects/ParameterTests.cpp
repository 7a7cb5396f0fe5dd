#include <gtest/gtest.h>

#include <cmath>

#include "QVCore/ImageProcessing/Base/ModelFakes.h"
#include "QVCore/ImageProcessing/Effects/QVIPParameter.h"
#include "QVCore/ImageProcessing/Effects/QVIgnoreDisablingParameter.h"

using namespace solvane::test;

namespace {

struct ParameterFixture : ::testing::Test {
  std::shared_ptr<FakeHistory> history = std::make_shared<FakeHistory>();
  std::shared_ptr<FakeParent> parent = FakeParent::make(history);

  template <class P = QVIPParameter>
  std::shared_ptr<P> makeParameter(const std::string& id = "Exposure", double value = 1, double def = 0) {
    auto p = std::make_shared<P>();
    p->setDefaultValue(def);
    p->setValue(value);
    p->setIdentifier(id);
    p->setName(id);
    p->setParent(parent);
    return p;
  }
};

using Parameter = ParameterFixture;

TEST_F(Parameter, HistoryNamesAndAdditionalInfo) {
  struct Case {
    std::optional<std::string> prefix, historyName, suffix;
    std::vector<std::string> discrete;
    std::optional<double> multiplier;
    double value;
    std::string action, info;
  };
  const std::vector<Case> cases = {
      {{}, {}, {}, {}, {}, 25.7, "Layer: Exposure", "+25"},
      {{}, {}, {}, {}, {}, -3.2, "Layer: Exposure", "-3"},
      {{}, {}, {}, {}, {}, 0, "Layer: Exposure", "0"},
      {{}, {}, {}, {}, {}, -0.5, "Layer: Exposure", "0"},
      {{}, {}, {}, {}, {}, NAN, "Layer: Exposure", "0"},
      {{}, {}, {}, {}, 0.01, 50, "Layer: Exposure", "+0.50"},
      {"Tone", {}, {}, {}, {}, 10, "Layer: Tone: Exposure", "+10"},
      {"Tone", "Brightness", " Level", {}, {}, 10, "Layer: Tone: Brightness Level", "+10"},
      {{}, {}, {}, {"Low", "Mid", "High"}, {}, 14, "Layer: Exposure", "Mid"},
      {{}, {}, {}, {"Low", "Mid", "High"}, {}, 15, "Layer: Exposure", "High"},
      {{}, {}, {}, {"Only"}, {}, 70, "Layer: Exposure", "Only"},
      // A step beyond the list names no step: the number is shown.
      {{}, {}, {}, {"Low", "Mid", "High"}, {}, 35, "Layer: Exposure", "+35"},
      {{}, {}, {}, {"Low", "Mid", "High"}, {}, -6, "Layer: Exposure", "-6"},
  };
  for (const auto& c : cases) {
    auto p = makeParameter("Exposure", 1);
    p->setHistoryPrefix(c.prefix);
    p->setHistoryName(c.historyName);
    p->setHistorySuffix(c.suffix);
    p->setDiscreteValues(c.discrete);
    p->setNumberMultiplier(c.multiplier);
    history->steps.clear();
    p->setValue(c.value);
    ASSERT_EQ(history->steps.size(), 1u) << c.value;
    EXPECT_EQ(history->steps[0].actionName, c.action) << c.value;
    EXPECT_EQ(history->steps[0].additionalInfo.asString(), c.info) << c.value;
  }
}

TEST_F(Parameter, ValueChangesRecordNotifyAndReport) {
  auto p = makeParameter("Exposure", 1);
  p->setSkipUpdateLowResOnChange(true);
  p->setDoNotReset(true);
  NotificationRecorder notes(p.get(), {kQVEffectParamDidChangeNotification});

  p->setValue(1);  // the current value: no change at all
  EXPECT_TRUE(history->steps.empty());
  EXPECT_TRUE(notes.received.empty());
  EXPECT_TRUE(parent->didChange.empty());

  p->setMinValue(-10);
  p->setMaxValue(10);
  p->setValue(250);  // nothing clamps
  EXPECT_EQ(p->value(), 250);
  ASSERT_EQ(parent->didChange.size(), 1u);
  const QVChangeInfo& info = parent->didChange[0].info;
  EXPECT_EQ(parent->didChange[0].child, p);
  EXPECT_EQ(info.changeType(), kQVParameterStateInfoType);
  EXPECT_EQ(info[kQVParameterIDKey].asString(), "Exposure");
  EXPECT_TRUE(info[kQVParameterSkipUpdateLowResKey].asBool());
  EXPECT_TRUE(info[kQVParameterDoNotResetKey].asBool());
  EXPECT_EQ(notes.received.size(), 1u);

  p->setValue(NAN);
  p->setValue(NAN);  // NaN never equals itself: both are changes
  EXPECT_EQ(history->steps.size(), 3u);
  EXPECT_EQ(notes.received.size(), 3u);
}

TEST_F(Parameter, OptionalDataIdentityAndHistory) {
  auto p = makeParameter("Curve");
  NotificationRecorder notes(p.get(), {kQVEffectPramaDidChangeOptionalData});
  auto curve = QVMakeOptionalData(qv::Array{0.0, 0.5, 1.0});

  p->setOptionalData(curve, QVParameterOptionalDataTypeNumbers);
  ASSERT_EQ(history->steps.size(), 1u);
  EXPECT_EQ(history->steps[0].actionName, "Layer: Curve Changed");
  EXPECT_EQ(history->steps[0].additionalInfo.asString(), "");
  ASSERT_EQ(parent->didChange.size(), 1u);
  EXPECT_EQ(parent->didChange[0].info[kQVParameterOptionalDataTypeKey].asInt(), 1);
  EXPECT_EQ(notes.received.size(), 1u);

  p->setOptionalData(curve, QVParameterOptionalDataTypeNumbers);  // the very same object: no change
  EXPECT_EQ(history->steps.size(), 1u);
  EXPECT_EQ(notes.received.size(), 1u);

  p->setOptionalData(curve, QVParameterOptionalDataTypeText);                       // same object, other code: a change
  p->setOptionalData(QVMakeOptionalData(*curve), QVParameterOptionalDataTypeText);  // equal copy: a change
  EXPECT_EQ(history->steps.size(), 3u);
  EXPECT_EQ(notes.received.size(), 3u);

  p->setHistorySuffix(" Edited");
  p->setOptionalData(QVMakeOptionalData("text"), QVParameterOptionalDataTypeText);
  EXPECT_EQ(history->steps.back().actionName, "Layer: Curve Edited");

  // Image files: no name or suffix text, the file name as additional info.
  p->setOptionalData(QVMakeOptionalData("/photos/sky.png"), QVParameterOptionalDataTypeImagePath);
  EXPECT_EQ(history->steps.back().actionName, "Layer: ");
  EXPECT_EQ(history->steps.back().additionalInfo.asString(), "sky.png");
  p->setOptionalData(QVMakeOptionalData(qv::Dictionary{{kQVParameterOptionalDataPathKey, "/cache/x.tif"},
                                                       {kQVParameterOptionalDataOrigFileNameKey, "Clouds.tif"}}),
                     QVParameterOptionalDataTypeImageFile);
  EXPECT_EQ(history->steps.back().additionalInfo.asString(), "Clouds.tif");
  p->setOptionalData(nullptr, QVParameterOptionalDataTypeImagePath);
  EXPECT_EQ(history->steps.back().additionalInfo.asString(), "");
}

TEST_F(Parameter, ResetRespectsDoNotReset) {
  auto p = makeParameter("Exposure", 7, 2);
  p->setOptionalData(QVMakeOptionalData("x"), QVParameterOptionalDataTypeText);
  NotificationRecorder notes(p.get(), {kQVEffectParamResetNotification, kQVEffectParamDidChangeNotification,
                                       kQVEffectPramaDidChangeOptionalData});
  history->steps.clear();

  p->setDoNotReset(true);
  p->reset();
  EXPECT_TRUE(notes.received.empty());
  EXPECT_TRUE(history->steps.empty());

  p->setDoNotReset(false);
  p->reset();
  EXPECT_EQ(p->value(), 2);
  EXPECT_EQ(p->optionalData(), nullptr);
  EXPECT_EQ(p->optionalDataType(), 0u);
  EXPECT_EQ(notes.names(),
            (std::vector<std::string>{kQVEffectParamResetNotification, kQVEffectParamDidChangeNotification,
                                      kQVEffectPramaDidChangeOptionalData}));
  EXPECT_EQ(history->steps.size(), 2u);
}

TEST_F(Parameter, TwinsFollowEachOtherWithoutEcho) {
  auto historyB = std::make_shared<FakeHistory>();
  auto parentB = FakeParent::make(historyB);
  auto a = makeParameter("Exposure", 1);
  auto b = makeParameter("Exposure", 1);
  b->setParent(parentB);
  ASSERT_TRUE(a->syncWithParameter(b));
  ASSERT_TRUE(b->syncWithParameter(a));
  ASSERT_TRUE(a->syncWithParameter(b));  // already the twin

  b->setValue(5);
  EXPECT_EQ(a->value(), 5);
  EXPECT_EQ(history->steps.size(), 1u);
  EXPECT_EQ(historyB->steps.size(), 1u);

  auto data = QVMakeOptionalData(qv::Array{1.0});
  a->setOptionalData(data, QVParameterOptionalDataTypeNumbers);
  EXPECT_EQ(b->optionalData(), data);  // the same object travels, so the echo stops
  EXPECT_EQ(history->steps.size(), 2u);
  EXPECT_EQ(historyB->steps.size(), 2u);

  // Another identifier is refused and the old twin stays.
  auto other = makeParameter("Contrast");
  EXPECT_FALSE(a->syncWithParameter(other));
  EXPECT_FALSE(a->syncWithParameter(nullptr));
  EXPECT_EQ(a->syncParameter(), b);
  other->setValue(9);
  EXPECT_EQ(a->value(), 5);
}

TEST_F(Parameter, CopyValuesFromParameter) {
  auto source = makeParameter("Exposure", 30, 0);
  source->setHistoryName("Exp");
  source->setNumberMultiplier(0.5);
  source->setMinValue(-50);
  source->setMaxValue(50);
  source->setDiscreteValues({"A"});
  source->setDoNotReset(true);
  source->setOptionalData(QVMakeOptionalData(qv::Array{1.0, 2.0}), QVParameterOptionalDataTypeNumbers);

  auto target = makeParameter("Old", 4, 0);  // not at its default
  target->copyValuesFromParameter(*source, false);
  EXPECT_EQ(target->identifier(), "Exposure");
  EXPECT_EQ(target->historyName(), "Exp");
  EXPECT_EQ(target->value(), 4);  // kept: not at its default and no override
  EXPECT_EQ(target->minValue(), -50);
  EXPECT_EQ(target->discreteValues(), std::vector<std::string>{"A"});
  EXPECT_FALSE(target->doNotReset());
  ASSERT_NE(target->optionalData(), nullptr);  // it had none: copied
  EXPECT_NE(target->optionalData(), source->optionalData());
  EXPECT_EQ(*target->optionalData(), *source->optionalData());

  auto data = target->optionalData();
  target->copyValuesFromParameter(*source, false);
  EXPECT_EQ(target->optionalData(), data);  // has data now: left alone without override
  target->copyValuesFromParameter(*source, true);
  EXPECT_EQ(target->value(), 30);
  EXPECT_NE(target->optionalData(), data);
}

TEST_F(Parameter, HashFollowsValueDataAndIdentifier) {
  auto a = makeParameter("Exposure", 1.5);
  auto b = makeParameter("Exposure", 1.5);
  EXPECT_EQ(a->hash(), b->hash());
  b->setValue(1.6);
  EXPECT_NE(a->hash(), b->hash());
  b->setValue(1.5);
  b->setOptionalData(QVMakeOptionalData(qv::Dictionary{{"k", 1}}), QVParameterOptionalDataTypeImageFile);
  EXPECT_NE(a->hash(), b->hash());
  a->setOptionalData(QVMakeOptionalData(qv::Dictionary{{"k", 1}}), QVParameterOptionalDataTypeImageFile);
  EXPECT_EQ(a->hash(), b->hash());
  a->setValue(INFINITY);  // stays defined
  a->setValue(NAN);
  (void)a->hash();
}

TEST_F(Parameter, IgnoreDisablingHoldsDefaultAndRestores) {
  auto p = makeParameter<QVIgnoreDisablingParameter>("Amount", 40, 10);
  p->setIgnoreDisabling(true);
  EXPECT_EQ(p->value(), 10);
  EXPECT_EQ(p->visibleValue(), 40);
  history->steps.clear();
  p->setIgnoreDisabling(true);  // the same flag does nothing
  EXPECT_TRUE(history->steps.empty());
  p->setIgnoreDisabling(false);
  EXPECT_EQ(p->value(), 40);
  EXPECT_EQ(p->visibleValue(), 40);
  EXPECT_EQ(history->steps.size(), 1u);
}

TEST_F(Parameter, WithoutParentChangesStillNotify) {
  auto p = QVIPParameter::make();
  NotificationRecorder notes(p.get(), {kQVEffectParamDidChangeNotification});
  p->setValue(3);
  EXPECT_EQ(p->value(), 3);
  EXPECT_EQ(notes.received.size(), 1u);
  EXPECT_FALSE(p->fullName().has_value());
}

}  // namespace
