#include <chrono>

#include <gtest/gtest.h>

#include "QVCore/ImageProcessing/History/HistoryTestSupport.h"
#include "common/TestSupport.h"

using namespace historytest;

namespace {

// Waits for the size measurement, which reads the folder off the main thread.
double measure(QVHistoryManager& m, bool allSteps, bool withOriginalResources, bool* answeredAtOnce = nullptr) {
  std::optional<double> size;
  m.historySizeInBytesAllSteps(allSteps, withOriginalResources, [&](double s) { size = s; });
  if (answeredAtOnce) *answeredAtOnce = size.has_value();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!size && std::chrono::steady_clock::now() < deadline) {
    nextPass();
    std::this_thread::yield();
  }
  EXPECT_TRUE(size.has_value());
  return size.value_or(-1);
}

}  // namespace

TEST_F(HistoryTest, HistoryDictionaryRoundTripsStepsStatesAndResources) {
  const fs::path texture = solvane::test::makeTempDir("history-dict") / "paper.png";
  writeText(texture, "texture bytes");
  ASSERT_TRUE(manager->updateCacheTextureWithPath(texture.string()));
  edit("A", 1);
  edit("B", 2, "info");
  edit("C", 3);

  const qv::Dictionary dict = manager->historyDictWithResourcesData(true);
  ASSERT_EQ(manager->levelCount(), 4u);  // the live state got its pseudo-step
  EXPECT_EQ(dict.at("historyDicts").size(), 4u);
  EXPECT_EQ(dict.at("currentLevelOfHistory").asInt(), 3);
  EXPECT_EQ(dict.at("statesDict").size(), 4u);
  EXPECT_EQ(dict.at("resourcesDict").size(), 1u);
  EXPECT_EQ(dict.at("cachedTexturesDict").size(), 1u);
  EXPECT_EQ(dict.at("cachedTexturesBookmarksDict").size(), 1u);

  // Without the full history: one step and level 0, yet the states of every step.
  const qv::Dictionary one = manager->historyDictWithResourcesData(true, false);
  EXPECT_EQ(one.at("historyDicts").size(), 1u);
  EXPECT_EQ(one.at("historyDicts")[0], manager->historyDictsArray()[3]);
  EXPECT_EQ(one.at("currentLevelOfHistory").asInt(), 0);
  EXPECT_EQ(one.at("statesDict").size(), 4u);

  // Through a property list, as a document keeps it.
  auto bytes = qv::PropertyList::toBinary(qv::Value(dict));
  ASSERT_TRUE(bytes);
  const qv::Value read = qv::PropertyList::read(*bytes, nullptr);
  ASSERT_TRUE(read.isDictionary());

  auto loaded = std::make_shared<QVHistoryManager>(*read.dictionary());
  auto other = std::make_shared<FakeDelegate>();
  loaded->setDelegate(other);
  EXPECT_NE(loaded->identificator(), manager->identificator());
  EXPECT_EQ(loaded->levelCount(), 4u);
  EXPECT_EQ(loaded->currentLevelOfHistory(), 0u);
  EXPECT_FALSE(loaded->edited());  // a level waits to be applied
  EXPECT_EQ(loaded->historyDictsArray(), manager->historyDictsArray());
  EXPECT_EQ(loaded->cachedTexturesDict(), manager->cachedTexturesDict());
  for (size_t i = 0; i < 4; ++i) EXPECT_TRUE(fs::exists(loaded->historyPath() + "/" + stepUuid(i) + ".state")) << i;
  auto copy = loaded->cachedPathForTextureWithPath(texture.string());
  ASSERT_TRUE(copy);
  EXPECT_EQ(readText(*copy), "texture bytes");

  loaded->restoreHistory();
  EXPECT_EQ(loaded->currentLevelOfHistory(), 3u);
  EXPECT_EQ(other->live, 3);
  EXPECT_EQ(loaded->lastSavedLevel(), 3u);
  EXPECT_FALSE(loaded->edited());
  loaded->undo();
  EXPECT_EQ(other->live, 2);
  EXPECT_EQ(loaded->unlocalizedActionNameOfLevel(2), "B");
  EXPECT_EQ(loaded->additionalInfoOfLevel(2), qv::Value("info"));
}

TEST_F(HistoryTest, LoadingWithoutALevelLeavesNothingWaiting) {
  edit("A", 1);
  qv::Dictionary dict = manager->historyDictWithResourcesData(false);
  dict.erase("currentLevelOfHistory");
  QVHistoryManager loaded(dict);
  loaded.setEdited(true);
  EXPECT_TRUE(loaded.edited());
  loaded.restoreHistory();  // nothing waits
  EXPECT_EQ(loaded.currentLevelOfHistory(), 0u);
}

TEST_F(HistoryTest, RestoringAtTheStepCountLandsOnTheLastStep) {
  edit("A", 1);
  edit("B", 2);
  qv::Dictionary dict = manager->historyDictWithResourcesData(true);
  // A history whose level has no step of its own.
  qv::Array steps = *dict["historyDicts"].array();
  steps.pop_back();
  dict["historyDicts"] = steps;
  dict["currentLevelOfHistory"] = 2;

  auto loaded = std::make_shared<QVHistoryManager>();
  auto other = std::make_shared<FakeDelegate>();
  loaded->setDelegate(other);
  loaded->applyHistoryDict(dict, true);
  ASSERT_EQ(loaded->levelCount(), 2u);
  EXPECT_EQ(loaded->historyDictsArray()[0], steps[0]);  // order kept
  EXPECT_EQ(loaded->historyDictsArray()[1]["actionName"].asString(), "Synced");
  EXPECT_EQ(loaded->historyDictsArray()[1]["uuid"], steps[1]["uuid"]);
  EXPECT_EQ(loaded->currentLevelOfHistory(), 1u);
  EXPECT_EQ(other->live, 1);
  EXPECT_TRUE(loaded->canUndo());
}

TEST_F(HistoryTest, AddingAnotherHistoryAppendsItAfterTheCurrentLevel) {
  edit("A", 1);
  auto remote = std::make_shared<QVHistoryManager>();
  auto remoteDelegate = std::make_shared<FakeDelegate>();
  remote->setDelegate(remoteDelegate);
  remote->registerHistoryWithActionName("R1");
  remoteDelegate->live = 7;
  nextPass();
  const qv::Dictionary dict = remote->historyDictWithResourcesData(true);  // 2 steps, level 1

  manager->addHistoryStepsFromInfoDict(dict);
  ASSERT_EQ(manager->levelCount(), 4u);
  EXPECT_EQ(stepName(1), "Synced");
  EXPECT_EQ(stepName(2), "R1");
  manager->restoreHistory();
  EXPECT_EQ(manager->currentLevelOfHistory(), 3u);
  EXPECT_EQ(delegate->live, 7);
}

TEST_F(HistoryTest, HostileHistoryDictionaryWritesNothingOutsideTheFolder) {
  const fs::path outside = solvane::test::testHome();
  const fs::path victim = solvane::test::makeTempDir("history-victim") / "keep.txt";
  writeText(victim, "precious");
  const qv::Bytes data{'x'};
  qv::Dictionary dict{
      {"historyDicts", qv::Array{qv::Dictionary{{"uuid", "good"}, {"actionName", "A"}},
                                 qv::Dictionary{{"uuid", "../../evil-step"}, {"actionName", "B"}}}},
      {"statesDict", qv::Dictionary{{"good", qv::Dictionary{{"live", 1}}},
                                    {"../../evil-state", qv::Dictionary{{"live", 2}}},
                                    {"", qv::Dictionary{}},
                                    {"a/b", qv::Dictionary{}},
                                    {"..\\win", qv::Dictionary{}}}},
      {"resourcesDict", qv::Dictionary{{"ok.bin", data},
                                       {"../../../evil-resource", data},
                                       {"..", data},
                                       {"sub/file", data},
                                       {"back\\slash", data},
                                       {"", data}}},
      {"cachedTexturesDict",
       qv::Dictionary{{victim.string(), "../../../../../../../../" + victim.string()}, {"/tmp/fine.png", "fine.png"}}},
      {"currentLevelOfHistory", 0}};

  manager->applyHistoryDict(dict, false);
  EXPECT_EQ(manager->levelCount(), 1u);  // the step whose uuid leaves the folder is skipped
  EXPECT_TRUE(fs::exists(manager->historyPath() + "/good.state"));
  EXPECT_TRUE(fs::exists(manager->resourcesPath() + "/ok.bin"));
  EXPECT_EQ(manager->cachedTexturesDict().size(), 1u);
  for (const auto& entry : fs::recursive_directory_iterator(outside)) {
    const std::string p = entry.path().string();
    EXPECT_EQ(p.find("evil"), std::string::npos) << p;
  }
  std::vector<std::string> inFolder;
  for (const auto& entry : fs::recursive_directory_iterator(manager->historyPath()))
    inFolder.push_back(fs::relative(entry.path(), manager->historyPath()).string());
  std::sort(inFolder.begin(), inFolder.end());
  EXPECT_EQ(inFolder, (std::vector<std::string>{"good.state", "resources", "resources/ok.bin"}));

  // Deleting by a name that leaves the folder deletes nothing.
  manager->deleteTextureWithName("../../../../../../../../" + victim.string());
  EXPECT_TRUE(fs::exists(victim));
}

TEST_F(HistoryTest, SizeIsMeasuredRememberedAndForgottenOnChange) {
  const fs::path texture = solvane::test::makeTempDir("history-size") / "t.png";
  writeText(texture, std::string(1000, 't'));
  ASSERT_TRUE(manager->updateCacheTextureWithPath(texture.string()));
  edit("A", 1);
  edit("B", 2);

  bool atOnce = true;
  const double full = measure(*manager, true, true, &atOnce);
  EXPECT_FALSE(atOnce);
  EXPECT_GE(full, 1000.0);
  const double withoutSources = measure(*manager, true, false);
  EXPECT_DOUBLE_EQ(full - withoutSources, 1000.0);
  EXPECT_DOUBLE_EQ(manager->origResourcesSizeForFolder(manager->historyPath()), 1000.0);

  // Answered from the memo without touching the disk.
  fs::remove_all(manager->historyPath() + "/resources");
  EXPECT_DOUBLE_EQ(measure(*manager, true, true, &atOnce), full);
  EXPECT_TRUE(atOnce);

  // One step: the current level's state and the textures it names; the copy is removed after.
  delegate->textures = std::vector<std::string>{};
  const double oneStep = measure(*manager, false, true);
  EXPECT_GT(oneStep, 0.0);
  EXPECT_LT(oneStep, full);
  EXPECT_FALSE(fs::exists(manager->oneStepHistoryPath()));

  edit("C", 3);
  measure(*manager, true, true, &atOnce);
  EXPECT_FALSE(atOnce);
}

TEST_F(HistoryTest, ClearingRemovesOwnFolderOrAllFolders) {
  auto second = std::make_shared<QVHistoryManager>();
  const std::string mine = manager->historyPath(), theirs = second->historyPath();
  EXPECT_TRUE(manager->clearHistory());
  EXPECT_FALSE(fs::exists(mine));
  EXPECT_TRUE(fs::exists(theirs));
  manager->historyPath();
  EXPECT_TRUE(QVHistoryManager::clearAllHistory());
  EXPECT_FALSE(fs::exists(mine));
  EXPECT_FALSE(fs::exists(theirs));
  // A released manager takes its folder with it.
  const std::string path = second->historyPath();
  second.reset();
  EXPECT_FALSE(fs::exists(path));
}
