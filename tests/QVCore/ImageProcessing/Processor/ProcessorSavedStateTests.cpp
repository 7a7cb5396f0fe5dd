// The processor as the delegate of its edit history: state files, restores that reuse the layers
// still holding a saved state, and the texture clean-up of dropped steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "QVCore/ImageProcessing/History/QVHistoryManager.h"
#include "QVCore/ImageProcessing/Processor/ProcessorStackTestSupport.h"
#include "QVPlatform/PropertyList.h"

using namespace solvane::test;
namespace fs = std::filesystem;
using LayerPtr = QVRovaProcessor::LayerPtr;

namespace {

struct SavedStateTest : ProcessorWithHistoryTest {
  std::string statePath(const std::string& uuid) { return manager->historyPath() + "/" + uuid + ".state"; }
  bool save(const std::string& uuid) {
    bool result = false;
    processor->historyManagerSaveStateForHistoryWithUUID(*manager, uuid, [&](bool ok) { result = ok; });
    return result;
  }
  bool restore(const std::string& uuid) {
    bool result = false;
    processor->historyManagerRestoreStateForUUID(*manager, uuid, [&](bool ok) { result = ok; });
    settle(*processor);
    return result;
  }
  std::vector<std::string> stateIds() {
    std::vector<std::string> ids;
    for (const auto& l : processor->layers()) ids.push_back(l->state()->identifier());
    return ids;
  }
};

TEST_F(SavedStateTest, SaveWritesTheEditingStateAndRestoreReusesTheLayers) {
  auto& p = *processor;
  EXPECT_EQ(manager->delegate().get(), static_cast<QVHistoryManagerDelegate*>(&p));
  for (int i = 0; i < 3; ++i) p.createLayer();
  const auto original = p.layers();
  original[1]->setAmount(0.5);
  p.setActiveLayer(original[1]);
  ASSERT_TRUE(save("A"));

  // Orientation 1 and no crop: only the three keys that are always there.
  qv::Value file = qv::PropertyList::readFile(statePath("A"), nullptr);
  ASSERT_TRUE(file.isDictionary());
  std::vector<std::string> keys;
  for (const auto& [k, v] : *file.dictionary()) keys.push_back(k);
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"ActiveLayerIndex", "InitialLayerDictionary", "Layers"}));
  EXPECT_EQ(file["ActiveLayerIndex"].asInt(), 1);
  EXPECT_EQ(file["Layers"].size(), 3u);

  // Restoring the state just saved reuses every layer and applies no state.
  const auto idsBefore = stateIds();
  ASSERT_TRUE(restore("A"));
  EXPECT_EQ(p.layers(), original);
  EXPECT_EQ(stateIds(), idsBefore);

  // Change one layer, add two, rename another: the saved values come back on the same objects.
  original[1]->setAmount(0.2);
  original[2]->setName("Renamed");
  p.createLayer();
  p.createLayer();
  NotificationLog didRestore(kQVHistoryStateDidRestoreNotification);
  ASSERT_TRUE(restore("A"));
  EXPECT_EQ(p.layers(), original);
  EXPECT_FLOAT_EQ(float(original[1]->amount()), 0.5f);
  EXPECT_EQ(original[2]->name(), "Adjustment Layer 3");
  EXPECT_EQ(p.activeLayer(), original[1]);
  expectActiveFlags(p);
  expectEngineMatchesModel(p);
  ASSERT_EQ(didRestore.posts.size(), 1u);
  EXPECT_FALSE(p.isNotifyAsync());

  // Fewer saved layers than the stack holds: the top ones go.
  p.removeLayer(original[0]);
  ASSERT_TRUE(save("B"));
  ASSERT_TRUE(restore("A"));
  ASSERT_EQ(p.layers().size(), 3u);
  ASSERT_TRUE(restore("B"));
  ASSERT_EQ(p.layers().size(), 2u);
  expectEngineMatchesModel(p);

  // A missing file changes nothing and reports failure.
  EXPECT_FALSE(restore("missing"));
  EXPECT_EQ(p.layers().size(), 2u);
}

TEST_F(SavedStateTest, CropOrientationAndNoActiveLayer) {
  auto& p = *processor;
  p.createLayer();
  p.createLayer();  // never activated
  auto crop = std::make_shared<QVTCropDescription>();
  crop->setImageSize(p.canvasSize());
  crop->setCropRect(CGRectMake(10, 20, 200, 150));
  p.setCropDescription(crop);
  ASSERT_TRUE(save("C"));
  qv::Value file = qv::PropertyList::readFile(statePath("C"), nullptr);
  EXPECT_EQ(file["ActiveLayerIndex"].asInt(), INT64_MAX);
  EXPECT_TRUE(file.contains("CropDescription"));
  EXPECT_FALSE(file.contains("kQVHistoryDictionaryOrientationKey"));

  p.setCropDescription(nullptr);
  NotificationLog didRestore(kQVHistoryStateDidRestoreNotification);
  ASSERT_TRUE(restore("C"));
  ASSERT_TRUE(p.cropDescription());
  EXPECT_EQ(p.cropDescription()->cropRect(), CGRectMake(10, 20, 200, 150));
  EXPECT_EQ(p.activeLayer(), nullptr);
  EXPECT_TRUE(didRestore.posts.empty());
  rova::CropDescription engineCrop;
  p.performOnImageProcessingQueue([&] { engineCrop = p.cppProcessor()->getCropDescription(); }, true);
  EXPECT_EQ(engineCrop.width, 200);
  EXPECT_EQ(engineCrop.height, 150);
}

TEST_F(SavedStateTest, UndoThroughTheHistoryBringsBackTheStack) {
  auto& p = *processor;
  auto first = p.createLayer();
  qv::MainExecutor::shared().runUntilIdle();
  auto second = p.createLayer();  // registers "New Adjustment Layer: Adjustment Layer 2" first
  qv::MainExecutor::shared().runUntilIdle();
  ASSERT_TRUE(manager->canUndo());
  manager->undo();
  settle(p);
  EXPECT_EQ(p.layers(), (std::vector<LayerPtr>{first}));
  expectEngineMatchesModel(p);
  manager->redo();
  settle(p);
  ASSERT_EQ(p.layers().size(), 2u);
  EXPECT_EQ(p.layers()[0], first);
  expectEngineMatchesModel(p);
}

TEST_F(SavedStateTest, RemovingAStepKeepsTexturesOtherStepsUse) {
  auto& p = *processor;
  // Three steps through the history, whose state files are then replaced by hand-made ones.
  for (const char* name : {"one", "two", "three"}) {
    manager->registerHistoryWithActionName(name);
    qv::MainExecutor::shared().runUntilIdle();
  }
  auto steps = manager->historyDictsArray();
  ASSERT_GE(steps.size(), 3u);
  const std::string s1 = steps[0]["uuid"].asString(), s2 = steps[1]["uuid"].asString(),
                    s3 = steps[2]["uuid"].asString();

  qv::Dictionary nested{{"HistoryMaskName", "m1"}};
  qv::Dictionary layer1{{"HistoryTextureName", "t2"}, {"SubLayersStates", qv::Array{nested}}};
  qv::Dictionary state1{{"InitialLayerDictionary", qv::Dictionary{{"HistoryTextureName", "t1"}}},
                        {"Layers", qv::Array{layer1}},
                        {"ActiveLayerIndex", 0}};
  qv::Dictionary state2{{"InitialLayerDictionary", qv::Dictionary{}},
                        {"Layers", qv::Array{qv::Dictionary{{"HistoryTextureName", "t2"}}}}};
  qv::Dictionary state3{{"InitialLayerDictionary", qv::Dictionary{}}, {"Layers", qv::Array{}}};
  ASSERT_TRUE(qv::PropertyList::writeFile(statePath(s1), state1));
  ASSERT_TRUE(qv::PropertyList::writeFile(statePath(s2), state2));
  ASSERT_TRUE(qv::PropertyList::writeFile(statePath(s3), state3));
  const fs::path resources = manager->resourcesPath();
  for (const char* name : {"t1", "t2", "m1"}) std::ofstream(resources / name) << name;

  EXPECT_EQ(p.allTexturesFromStateUUID(s1), (std::vector<std::string>{"t1", "t2", "m1"}));
  EXPECT_EQ(p.allTexturesFromStateUUID("missing"), std::nullopt);
  EXPECT_EQ(p.historyManagerAllTexturesFromStateUUID(*manager, "missing"), std::vector<std::string>{});

  p.historyManagerRemoveStateForUUID(*manager, s1);
  EXPECT_FALSE(fs::exists(resources / "t1"));
  EXPECT_FALSE(fs::exists(resources / "m1"));
  EXPECT_TRUE(fs::exists(resources / "t2"));  // step two still uses it
  EXPECT_FALSE(fs::exists(statePath(s1)));

  // A step without textures still loses its state file.
  p.historyManagerRemoveStateForUUID(*manager, s3);
  EXPECT_FALSE(fs::exists(statePath(s3)));

  // Another manager's request is ignored.
  auto other = std::make_shared<QVHistoryManager>();
  p.historyManagerRemoveStateForUUID(*other, s2);
  EXPECT_TRUE(fs::exists(statePath(s2)));
}

}  // namespace
