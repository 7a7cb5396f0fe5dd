// The layer tree: the engine's flat list follows the tree, rebuilding a tree from an engine list,
// what each sublayer operation records, posts and reports, switches, names and the parent chain.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <future>

#include "QVCore/ImageProcessing/Effects/QVIgnoreDisablingEffect.h"
#include "QVCore/ImageProcessing/Layers/LayerTestSupport.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/Layers/QVIgnoreDisablingLayer.h"
#include "QVCore/ImageProcessing/RovaBridge/QVRovaHelper.h"
#include "common/TestSupport.h"
#include "rova/effects/factory/EffectFactory.h"
#include "rova/layers/ImageLayer.h"

using namespace solvane::test;
using LayerPtr = std::shared_ptr<QVIPLayer>;

namespace {

struct Tree {
  std::shared_ptr<FakeHistory> history = std::make_shared<FakeHistory>();
  std::shared_ptr<TestProcessor> processor = TestProcessor::make(history);
  LayerPtr a2a = namedLayer("A2a");
  LayerPtr a1 = namedLayer("A1"), a2 = namedLayer("A2", {a2a});
  LayerPtr a = namedLayer("A", {a1, a2});
  LayerPtr b = namedLayer("B");

  Tree() {
    processor->setInitialLayer(namedLayer("Image"));
    processor->addLayer(a);
    processor->addLayer(b);
  }
};

TEST(LayerTree, EngineListIsTheDepthFirstWalkAfterEveryOperation) {
  Tree t;
  EXPECT_EQ(describe(*t.processor, engineList(*t.processor)), "Image0 A0 A11 A21 A2a2 B0");

  struct Step {
    const char* name;
    std::function<void(Tree&)> run;
  };
  const std::vector<Step> steps = {
      {"insert with sublayers", [](Tree& t) { t.b->insertLayer(namedLayer("B1", {namedLayer("B1a")}), 0); }},
      {"add after sibling", [](Tree& t) { t.a->addLayer(namedLayer("A3"), t.a1); }},
      {"add batch",
       [](Tree& t) {
         t.a2a->addLayers({namedLayer("X"), namedLayer("Y")});
       }},
      {"move a layer with sublayers up", [](Tree& t) { t.a->moveLayer(t.a2, 0); }},
      {"move a layer with sublayers down", [](Tree& t) { t.a->moveLayer(t.a2, 2); }},
      {"remove", [](Tree& t) { t.a->removeLayer(t.a1); }},
      {"hide keeps the engine layer", [](Tree& t) { t.a2->setHidden(true); }},
      {"replace",
       [](Tree& t) {
         t.a->setLayers({t.a2, namedLayer("C", {namedLayer("C1")})});
       }},
      {"remove all", [](Tree& t) { t.a2->removeAllLayers(); }},
      {"last", [](Tree& t) { t.b->removeLastLayer(); }},
  };
  for (const auto& step : steps) {
    step.run(t);
    auto engine = engineList(*t.processor);
    EXPECT_EQ(describe(*t.processor, engine), describe(*t.processor, modelWalk(*t.processor))) << step.name;
    EXPECT_EQ(engine, modelWalk(*t.processor)) << step.name;
  }
  EXPECT_EQ(describe(*t.processor, engineList(*t.processor)), "Image0 A0 A21 C1 C12 B0");
}

TEST(LayerTree, MovingALayerWithSublayersMovesItsWholeSubtreeInTheEngine) {
  // The move reports no sublayer change, so nothing but the move itself may bring the engine
  // sublayers along.
  Tree t;
  t.a->moveLayer(t.a2, 0);
  EXPECT_EQ(describe(*t.processor, engineList(*t.processor)), "Image0 A0 A21 A2a2 A11 B0");
  EXPECT_EQ(t.processor->reports.back().info.changeType(), "kQVImageLayerPositionDidChange");
  t.a->moveLayer(t.a2, 5);  // outside the list: refused
  t.a->moveLayer(t.a2, -1);
  EXPECT_EQ(describe(*t.processor, engineList(*t.processor)), "Image0 A0 A21 A2a2 A11 B0");
}

// Builds an engine list of adjustment layers with the given levels (and tags) and rebuilds the
// top-level layers from it as the processor does.
struct EngineListFixture {
  std::shared_ptr<TestProcessor> processor = TestProcessor::make();
  std::vector<rova::BaseLayerPtr> engineLayers;

  rova::BaseLayerPtr add(uint64_t level, std::vector<std::string> tags = {}, rova::BaseLayerPtr layer = nullptr) {
    if (!layer) layer = std::make_shared<rova::AdjustmentLayer>();
    layer->setLevel(level);
    for (const auto& tag : tags) layer->setTag(tag);
    processor->engine->addLayer(layer);
    engineLayers.push_back(layer);
    return layer;
  }
  std::vector<LayerPtr> rebuild() {
    std::vector<LayerPtr> top;
    for (const auto& layer : processor->engine->layers())
      if (layer->level() == 0)
        top.push_back(
            QVIPLayerFactory::layerWithCppLayer(layer, processor->weakAs<QVParentLayerProtocol>(), processor->engine));
    return top;
  }
};

TEST(LayerTree, RebuildFromAnEngineListGivesTheTree) {
  EngineListFixture f;
  auto a = f.add(0), a1 = f.add(1), a2 = f.add(1), a2a = f.add(2), b = f.add(0);
  auto top = f.rebuild();
  ASSERT_EQ(top.size(), 2u);
  EXPECT_EQ(top[0]->cppLayer(), a);
  ASSERT_EQ(top[0]->subLayers().size(), 2u);
  EXPECT_EQ(top[0]->subLayers()[0]->cppLayer(), a1);
  EXPECT_EQ(top[0]->subLayers()[1]->cppLayer(), a2);
  ASSERT_EQ(top[0]->subLayers()[1]->subLayers().size(), 1u);
  EXPECT_EQ(top[0]->subLayers()[1]->subLayers()[0]->cppLayer(), a2a);
  EXPECT_EQ(top[1]->cppLayer(), b);
  EXPECT_TRUE(top[1]->subLayers().empty());
  EXPECT_FALSE(top[0]->isActive());  // the processor activates its layers itself

  EngineListFixture skip;  // a level that skips one is left out
  skip.add(0);
  skip.add(2);
  auto kept = skip.add(1);
  auto rebuilt = skip.rebuild();
  ASSERT_EQ(rebuilt.size(), 1u);
  ASSERT_EQ(rebuilt[0]->subLayers().size(), 1u);
  EXPECT_EQ(rebuilt[0]->subLayers()[0]->cppLayer(), kept);
}

TEST(LayerTree, RebuildRecognisesTypesAndReadsTheEngineLayer) {
  EngineListFixture f;
  auto ignoring = f.add(0, {"1"});
  ignoring->setOpacity(0.25f);
  ignoring->setEffectAmount(0.5f);
  ignoring->setEnabled(false);
  std::static_pointer_cast<rova::AdjustmentLayer>(ignoring)->addEffect(
      rova::EffectFactory::instance().makeEffectWithID("ROVASharpenEffect"));
  f.add(0, {"4"});
  f.add(0);
  f.add(0, {"1"}, std::make_shared<rova::ImageLayer>(nullptr));
  auto top = f.rebuild();
  ASSERT_EQ(top.size(), 4u);

  auto first = std::dynamic_pointer_cast<QVIgnoreDisablingLayer>(top[0]);
  ASSERT_TRUE(first);
  EXPECT_DOUBLE_EQ(first->amount(), 0.25);
  EXPECT_DOUBLE_EQ(first->effectsAmount(), 0.5);
  EXPECT_FALSE(first->isEnabled());
  ASSERT_EQ(first->effects().size(), 1u);
  EXPECT_EQ(first->effects()[0]->identifier(), "ROVASharpenEffect");
  EXPECT_TRUE(std::dynamic_pointer_cast<QVIgnoreDisablingEffect>(first->effects()[0]));
  EXPECT_EQ(first->effects()[0]->parent(), std::dynamic_pointer_cast<QVParentProtocol>(top[0]));

  for (size_t i : {1, 2}) EXPECT_EQ(top[i]->layerType(), 0u) << i;  // tag "4" and no tag: plain
  EXPECT_FALSE(top[3]->isAdjustmentLayer());                        // an engine image layer
  EXPECT_TRUE(top[3]->effects().empty());
}

TEST(LayerTree, RebuildRequestedFromTheProcessingQueueRunsInline) {
  EngineListFixture f;
  f.add(0);
  f.add(1);
  std::promise<size_t> sublayers;
  auto result = sublayers.get_future();
  f.processor->queue->addOperationWithBlock([&] {
    auto layer = QVIPLayerFactory::layerWithCppLayer(f.engineLayers[0], f.processor->weakAs<QVParentLayerProtocol>(),
                                                     f.processor->engine);
    sublayers.set_value(layer->subLayers().size());
  });
  ASSERT_EQ(result.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_EQ(result.get(), 1u);
}

// ---- What each sublayer operation records, posts and reports ----

struct Expected {
  std::vector<std::string> history;
  std::vector<std::string> notifications;  // "<name> <user-info description>"
  std::vector<std::string> reports;        // "<kind> <value keys>"
};

struct OperationCase {
  const char* name;
  std::function<void(const LayerPtr& parent, std::vector<LayerPtr>& subs)> run;
  Expected expected;
};

std::string unquoted(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
  return text;
}

std::string describeNotification(const qv::Notification& n) {
  std::string text = n.name + " " + unquoted(qv::Value(n.userInfo).description());
  for (const auto& [key, object] : n.userObjects) text += " +" + key;
  return text;
}

std::string describeReport(const ChildReport& r) {
  std::string text = r.info.changeType();
  for (const auto& [key, value] : r.info.values)
    if (key != kQVChangeTypeStateInfoKey) text += " " + key + "=" + unquoted(value.description());
  for (const auto& [key, objects] : r.info.objects) text += " +" + key;
  return text;
}

TEST(LayerTree, SublayerOperationsRecordPostAndReport) {
  const std::string sub = "QVLayerDidChangeSublayersNotification";
  const std::vector<OperationCase> cases = {
      {"addLayer",
       [](auto& p, auto&) { p->addLayer(namedLayer("X")); },
       {{"X: Added Filter"}, {sub + " {QVAddedSublayersIndexes:[2]}"}, {sub + " QVAddedSublayersIndexes=[2]"}}},
      {"addLayer after the first",
       [](auto& p, auto& s) { p->addLayer(namedLayer("X"), s[0]); },
       {{"X: Added Filter"}, {sub + " {QVAddedSublayersIndexes:[1]}"}, {sub}}},
      {"insert past the end appends",
       [](auto& p, auto&) { p->insertLayer(namedLayer("X"), 7); },
       {{"X: Added Filter"}, {sub + " {QVAddedSublayersIndexes:[2]}"}, {sub}}},
      {"a develop layer goes first",
       [](auto& p, auto& s) {
         auto develop = namedLayer("Dev");
         develop->setIdentifier("DevelopAdjustmentLayer");
         p->addLayer(develop, s[1]);
       },
       {{"Dev: Added Filter", "Dev: Added Filter"}, {sub + " {QVAddedSublayersIndexes:[0]}"}, {sub}}},
      {"empty batch", [](auto& p, auto&) { p->addLayers({}); }, {{}, {}, {}}},
      {"batch",
       [](auto& p, auto&) {
         p->addLayers({namedLayer("X"), namedLayer("Y")});
       },
       {{}, {sub + " {QVAddedSublayersIndexes:[2,3]}"}, {sub + " QVAddedSublayersIndexes=[2,3]"}}},
      {"remove",
       [](auto& p, auto& s) { p->removeLayer(s[0]); },
       {{"S0: Deleted"},
        {sub + " {QVSublayersIndexes:[0],Remove:true} +kQVModifyedLayer"},
        {sub + " QVSublayersIndexes=[0] Remove=true +kQVModifyedLayer"}}},
      {"remove a stranger", [](auto& p, auto&) { p->removeLayer(namedLayer("Z")); }, {{"Z: Deleted"}, {}, {}}},
      {"remove all",
       [](auto& p, auto&) { p->removeAllLayers(); },
       {{},
        {sub + " {QVSublayersIndexes:[0,1],Remove:true} +kQVModifyedLayers"},
        {sub + " Remove=true +kQVModifyedLayers"}}},
      {"replace",
       [](auto& p, auto&) { p->setLayers({namedLayer("X")}); },
       {{},
        {sub + " {QVSublayersIndexes:[0,1],Remove:true} +kQVModifyedLayers", sub + " {QVAddedSublayersIndexes:[0]}",
         sub + " {}"},
        {sub + " Remove=true +kQVModifyedLayers", sub + " QVAddedSublayersIndexes=[0]"}}},
      {"move",
       [](auto& p, auto& s) { p->moveLayer(s[0], 1); },
       {{"S0: Position Changed"},
        {"kQVImageLayerPositionDidChange {QVSublayersIndexes:[1]}"},
        {"kQVImageLayerPositionDidChange"}}},
      {"move naming the list's own element",
       [](auto& p, auto&) { p->moveLayer(p->mutableSubLayers()[0], 1); },
       {{"S0: Position Changed"},
        {"kQVImageLayerPositionDidChange {QVSublayersIndexes:[1]}"},
        {"kQVImageLayerPositionDidChange"}}},
      {"remove the last",
       [](auto& p, auto&) { p->removeLastLayer(); },
       {{"S1: Deleted"},
        {sub + " {QVSublayersIndexes:[1],Remove:true} +kQVModifyedLayer"},
        {sub + " QVSublayersIndexes=[1] Remove=true +kQVModifyedLayer"}}},
      {"move to the same place", [](auto& p, auto& s) { p->moveLayer(s[1], 1); }, {{}, {}, {}}},
      {"hide (posted by the parent)",
       [](auto&, auto& s) { s[0]->setHidden(true); },
       {{"S0: Deleted"}, {sub + " {}"}, {sub}}},
      {"show",
       [](auto&, auto& s) {
         s[1]->setHidden(true);
         s[1]->setHidden(false);
       },
       {{"S1: Deleted", "S1: Added Filter"}, {sub + " {}", sub + " {}"}, {sub, sub}}},
      {"hide twice", [](auto&, auto& s) { s[0]->setHidden(false); }, {{}, {}, {}}},
  };
  for (const auto& c : cases) {
    auto history = std::make_shared<FakeHistory>();
    auto top = RecordingParent::make(history, true);
    std::vector<LayerPtr> subs = {namedLayer("S0"), namedLayer("S1")};
    auto parent = namedLayer("P");
    parent->setLayers(subs);  // before the parent joins: nothing recorded
    parent->setParent(top->weakParent());
    NotificationRecorder recorder(parent.get(), {sub, "kQVImageLayerPositionDidChange"});
    c.run(parent, subs);

    std::vector<std::string> steps, notes, reports;
    for (const auto& s : history->steps) steps.push_back(s.actionName);
    for (const auto& n : recorder.received) notes.push_back(describeNotification(n));
    for (const auto& r : top->didChange) {
      EXPECT_EQ(r.child, parent) << c.name;
      reports.push_back(describeReport(r));
    }
    EXPECT_EQ(steps, c.expected.history) << c.name;
    EXPECT_EQ(notes, c.expected.notifications) << c.name;
    EXPECT_EQ(reports, c.expected.reports) << c.name;
  }
}

TEST(LayerTree, InsertingALayerWithSublayersReattachesThem) {
  auto top = RecordingParent::make(nullptr, true);
  auto parent = namedLayer("P");
  parent->setParent(top->weakParent());
  parent->setLevel(3);
  auto child = namedLayer("C"), inserted = namedLayer("I", {child});
  NotificationRecorder recorder(inserted.get(), {"QVLayerDidChangeSublayersNotification"});
  parent->insertLayer(inserted, 0);
  top->parentProcessingQueue()->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(recorder.received.size(), 3u);  // removal, re-addition, replacement
  EXPECT_EQ(inserted->level(), 4u);
  EXPECT_EQ(child->level(), 5u);
  EXPECT_EQ(child->cppLayer()->level(), 5u);
  EXPECT_EQ(child->parent(), std::dynamic_pointer_cast<QVParentLayerProtocol>(inserted));
  EXPECT_EQ(parent->cppSublayersCount(), 2u);
  child->setHidden(true);
  EXPECT_TRUE(inserted->visibleLayers().empty());
  EXPECT_EQ(inserted->subLayers().size(), 1u);
  EXPECT_EQ(parent->cppSublayersCount(), 2u);
}

TEST(LayerTree, EngineLayerIsOnOnlyWhileEnabledAndActive) {
  Tree t;
  auto engineEnabled = [&] {
    t.processor->waitForQueue();
    return t.b->cppLayer()->isEnabled();
  };
  t.b->setActive(false);
  EXPECT_FALSE(engineEnabled());
  t.b->setActive(true);
  EXPECT_TRUE(engineEnabled());
  t.b->setEnabled(false);
  EXPECT_FALSE(engineEnabled());
  t.b->setActive(false);
  t.b->setEnabled(true);
  EXPECT_FALSE(engineEnabled());
  EXPECT_EQ(t.history->steps.size(), 2u);  // enabling and disabling; activity records nothing
  EXPECT_EQ(t.history->steps[0].actionName, "B: Disabled");
  EXPECT_EQ(t.history->steps[1].actionName, "B: Enabled");
  const QVChangeInfo& last = t.processor->reports.back().info;
  EXPECT_EQ(last.changeType(), "kQVImageLayerEnableStateDidChange");
  EXPECT_TRUE(last["kQVImageLayerEnableStateDidChange"].asBool());
}

TEST(LayerTree, IgnoreDisablingLayerKeepsItsEngineLayerOnAndSwitchesItsEffects) {
  auto layer = QVIgnoreDisablingLayer::initWithDefaultSettings();
  EXPECT_TRUE(layer->cppLayer()->isTagPresent("1"));
  auto effect = QVIgnoreDisablingEffect::initWithIdentifier("ROVASharpenEffect");
  layer->addEffect(effect);
  layer->setEnabled(false);
  EXPECT_TRUE(layer->cppLayer()->isEnabled());
  EXPECT_TRUE(effect->ignoreDisabling());
  layer->setEnabled(true);
  EXPECT_FALSE(effect->ignoreDisabling());
}

TEST(LayerTree, NamesAndFullNames) {
  auto history = std::make_shared<FakeHistory>();
  auto group = RecordingParent::make(history, false, "Group");
  auto layer = namedLayer("Layer");
  layer->setParent(group->weakParent());
  EXPECT_EQ(layer->fullName(), std::nullopt);  // no effect list yet
  layer->addEffect(nullptr);                   // creates the list
  layer->setName("Sky");
  ASSERT_EQ(history->steps.size(), 1u);
  EXPECT_EQ(history->steps[0].actionName, "Layer: Rename");
  EXPECT_EQ(history->steps[0].additionalInfo.asString(), "Sky");
  EXPECT_EQ(layer->fullName(), "Sky Group");
  layer->setName("");
  EXPECT_EQ(layer->fullName(), "Group");
  layer->updateNameWithPrefix("Copy of");
  EXPECT_EQ(layer->name(), "Copy of ");
}

TEST(LayerTree, ParentChainAndQueue) {
  Tree t;
  EXPECT_EQ(t.a2a->parentProcessor(), std::static_pointer_cast<QVImageProcessorProtocol>(t.processor));
  EXPECT_TRUE(t.a2->isEqualToLayerOrItsAncestors(t.a2a));
  EXPECT_FALSE(t.a2a->isEqualToLayerOrItsAncestors(t.a2));

  auto detached = namedLayer("D");
  bool ran = false;
  detached->performOnParentProcessingQueue([&] { ran = true; }, false);
  EXPECT_TRUE(ran);  // no processor: at once on this thread

  std::thread::id where;
  t.a->performOnParentProcessingQueue([&] { where = std::this_thread::get_id(); }, true);
  EXPECT_NE(where, std::this_thread::get_id());
}

TEST(LayerTree, ReparentingMovesTheCachedTextureOrForgetsIt) {
  auto folderA = makeTempDir("texture-a"), folderB = makeTempDir("texture-b");
  struct FolderHistory : FakeHistory {
    std::string folder;
    std::string resourcesPath() override { return folder; }
  };
  auto historyA = std::make_shared<FolderHistory>(), historyB = std::make_shared<FolderHistory>();
  historyA->folder = folderA.string();
  historyB->folder = folderB.string();
  {  // a real cache file: setting the name loads the texture from it
    const auto bytes = QVRovaHelper::compressedImageDataForImage(
        rova::Image::make(rova::ImageDataRGBf::create(60, 60, rova::kColorProfileNative)));
    std::ofstream(folderA / "tex.rovacompressedimagedata", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  auto parentA = namedLayer("PA"), parentB = namedLayer("PB");
  auto topA = RecordingParent::make(historyA), topB = RecordingParent::make(historyB);
  parentA->setParent(topA->weakParent());
  parentB->setParent(topB->weakParent());

  auto layer = namedLayer("T");
  parentA->addLayer(layer);
  layer->setHistoryTextureName("tex.rovacompressedimagedata");
  layer->setParent(parentB->weakAs<QVParentLayerProtocol>());
  EXPECT_EQ(layer->historyTextureName(), "tex.rovacompressedimagedata");
  EXPECT_TRUE(std::filesystem::exists(folderB / "tex.rovacompressedimagedata"));

  auto sameFolder = namedLayer("PB2");  // another parent over the same history: nothing to copy
  sameFolder->setParent(topB->weakParent());
  layer->setParent(sameFolder->weakAs<QVParentLayerProtocol>());
  EXPECT_EQ(layer->historyTextureName(), "tex.rovacompressedimagedata");

  layer->setParent(parentA->weakAs<QVParentLayerProtocol>());
  parentA->mutableSubLayers().push_back(layer);
  parentA->removeLayer(layer);  // its new parent (none) has no history
  EXPECT_EQ(layer->historyTextureName(), std::nullopt);
  // Only the cache name is dropped: the layer keeps its pixels.
  EXPECT_FALSE(layer->isAdjustmentLayer());
  EXPECT_EQ(layer->cppLayer()->kind(), rova::kLayerKindImage);
}

}  // namespace
