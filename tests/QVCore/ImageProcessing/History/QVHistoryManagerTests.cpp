#include <gtest/gtest.h>

#include "QVCore/ImageProcessing/History/HistoryTestSupport.h"
#include "QVPlatform/NotificationCenter.h"

using namespace historytest;

TEST_F(HistoryTest, FreshManagerIsAtLevelZeroWithNothingToUndo) {
  EXPECT_EQ(manager->currentLevelOfHistory(), 0u);
  EXPECT_EQ(manager->levelCount(), 0u);
  EXPECT_TRUE(manager->isHistoryClear());
  EXPECT_FALSE(manager->canUndo());
  EXPECT_FALSE(manager->canRedo());
  EXPECT_EQ(manager->levelsOfHistory(), 1u);
  EXPECT_EQ(manager->unlocalizedActionNameOfLevel(0), "Original");
  EXPECT_FALSE(manager->edited());
  EXPECT_FALSE(manager->disableHistoryRegistration());
  EXPECT_EQ(manager->identificator(), manager->identificator());
  EXPECT_EQ(manager->historyPath(), QVHistoryManager::historiesRootPath() + "/" + manager->identificator());
  EXPECT_TRUE(fs::is_directory(manager->resourcesPath()));
}

TEST_F(HistoryTest, ThreePassesMakeThreeStepsAndUndoRedoBringStatesBack) {
  edit("A", 1);
  edit("B", 2);
  edit("C", 3);
  ASSERT_EQ(manager->levelCount(), 3u);
  EXPECT_EQ(manager->currentLevelOfHistory(), 3u);
  EXPECT_TRUE(manager->edited());
  EXPECT_TRUE(manager->canUndo());
  EXPECT_FALSE(manager->canRedo());
  EXPECT_EQ(manager->levelsOfHistory(), 4u);

  // Leaving the top keeps the live state in a pseudo-step.
  manager->undo();
  ASSERT_EQ(manager->levelCount(), 4u);
  EXPECT_EQ(stepName(3), "--FORCE SAVE--");
  EXPECT_EQ(manager->currentLevelOfHistory(), 2u);
  EXPECT_EQ(delegate->live, 2);
  EXPECT_EQ(delegate->restored.back(), stepUuid(2));
  EXPECT_FALSE(manager->applyingHistoryLevel());
  EXPECT_TRUE(manager->canRedo());
  nextPass();

  // Changes made while a state is restored are not recorded.
  delegate->registerDuringRestore = true;
  manager->undo();
  delegate->registerDuringRestore = false;
  EXPECT_EQ(manager->levelCount(), 4u);
  EXPECT_EQ(delegate->live, 1);

  manager->redo();
  manager->redo();
  EXPECT_EQ(manager->currentLevelOfHistory(), 3u);
  EXPECT_EQ(delegate->live, 3);
  EXPECT_FALSE(manager->canRedo());
  EXPECT_EQ(manager->levelsOfHistory(), 4u);

  // Jumps to the current level or past the last step do nothing.
  const size_t restores = delegate->restored.size();
  manager->setCurrentLevelOfHistory(3);
  manager->setCurrentLevelOfHistory(4);
  manager->setCurrentLevelOfHistory(99);
  EXPECT_EQ(delegate->restored.size(), restores);
  EXPECT_EQ(manager->currentLevelOfHistory(), 3u);
}

TEST_F(HistoryTest, RegistrationsOfOnePassMakeOneStep) {
  manager->registerHistoryWithActionNameAdditionalInfo("Layer 1: Opacity", "10");
  manager->registerHistoryWithActionNameAdditionalInfo("Layer 1: Opacity", "20");
  manager->registerHistoryWithActionNameAdditionalInfo("Layer 1: Blend", "Multiply");
  manager->registerHistoryWithActionName("Layer 1: Opacity");
  ASSERT_EQ(manager->levelCount(), 1u);
  EXPECT_EQ(delegate->saved.size(), 1u);
  EXPECT_EQ(manager->additionalInfoOfLevel(1), qv::Value("20"));
  EXPECT_TRUE(manager->disableHistoryRegistration());
  nextPass();
  EXPECT_FALSE(manager->disableHistoryRegistration());
  manager->registerHistoryWithActionName("Layer 1: Blend");
  EXPECT_EQ(manager->levelCount(), 2u);
  EXPECT_TRUE(manager->additionalInfoOfLevel(2).isNull());
}

TEST_F(HistoryTest, RegistrationAfterUndoDropsTheRedoSteps) {
  edit("A", 1);
  edit("B", 2);
  edit("C", 3);
  manager->undo();
  nextPass();
  manager->undo();
  nextPass();
  ASSERT_EQ(manager->currentLevelOfHistory(), 1u);
  const std::vector<std::string> dropped = {stepUuid(1), stepUuid(2), stepUuid(3)};
  const size_t saves = delegate->saved.size();

  edit("D", 4);
  ASSERT_EQ(manager->levelCount(), 2u);
  EXPECT_EQ(manager->currentLevelOfHistory(), 2u);
  EXPECT_EQ(stepName(1), "D");
  EXPECT_EQ(delegate->saved.size(), saves + 1);  // the pseudo-step was not the current level's
  for (const auto& uuid : dropped) {
    EXPECT_NE(std::find(delegate->removed.begin(), delegate->removed.end(), uuid), delegate->removed.end());
    EXPECT_FALSE(stateExists(uuid));
  }
}

TEST_F(HistoryTest, PseudoStepOfTheCurrentLevelBecomesTheNextStep) {
  edit("A", 1);
  edit("B", 2);
  manager->undo();  // pseudo-step at index 2 keeps the live state
  nextPass();
  manager->redo();  // back on the pseudo-step's level
  nextPass();
  const std::string pseudo = stepUuid(2);
  const size_t saves = delegate->saved.size();
  edit("C", 3);
  ASSERT_EQ(manager->levelCount(), 3u);
  EXPECT_EQ(stepUuid(2), pseudo);
  EXPECT_EQ(stepName(2), "C");
  EXPECT_EQ(delegate->saved.size(), saves);  // nothing saved again
  EXPECT_TRUE(stateExists(pseudo));
  EXPECT_EQ(manager->currentLevelOfHistory(), 3u);
}

TEST_F(HistoryTest, MaxLevelsTrimsTheOldestStepAndZeroNeverTrims) {
  manager->setMaxLevelsOfHistory(3);
  for (int i = 1; i <= 4; ++i) edit("Step " + std::to_string(i), i);
  ASSERT_EQ(manager->levelCount(), 3u);
  EXPECT_EQ(stepName(0), "Step 2");
  EXPECT_EQ(delegate->removed, std::vector<std::string>{delegate->saved[0]});
  EXPECT_EQ(manager->currentLevelOfHistory(), 3u);

  // Undo at the limit: the pseudo-step trims the oldest step, and undo still lands on the state
  // before the last action.
  manager->undo();
  EXPECT_EQ(delegate->live, 3);
  ASSERT_EQ(manager->levelCount(), 3u);
  EXPECT_EQ(manager->currentLevelOfHistory(), 1u);
  EXPECT_EQ(stepName(2), "--FORCE SAVE--");
  manager->redo();
  EXPECT_EQ(delegate->live, 4);

  auto unlimited = std::make_shared<QVHistoryManager>();
  unlimited->setDelegate(delegate);
  unlimited->setMaxLevelsOfHistory(0);
  for (int i = 0; i < 10; ++i) {
    unlimited->registerHistoryWithActionName("x");
    nextPass();
  }
  EXPECT_EQ(unlimited->levelCount(), 10u);
}

TEST_F(HistoryTest, FailedSaveAddsNoStep) {
  delegate->failSave = true;
  manager->registerHistoryWithActionName("A");
  EXPECT_EQ(manager->levelCount(), 0u);
  EXPECT_EQ(manager->currentLevelOfHistory(), 0u);
  EXPECT_FALSE(manager->canUndo());
  nextPass();
  delegate->failSave = false;
  edit("B", 2);
  EXPECT_EQ(manager->levelCount(), 1u);
  EXPECT_EQ(stepName(0), "B");

  // Without a delegate nothing is recorded either.
  QVHistoryManager orphan;
  orphan.registerHistoryWithActionName("A");
  EXPECT_TRUE(orphan.isHistoryClear());
}

TEST_F(HistoryTest, FailedRestoreKeepsTheLevel) {
  edit("A", 1);
  edit("B", 2);
  delegate->failRestore = true;
  manager->setCurrentLevelOfHistory(0);
  EXPECT_EQ(manager->currentLevelOfHistory(), 2u);
  EXPECT_FALSE(manager->applyingHistoryLevel());
}

TEST_F(HistoryTest, UndoFromTheTopNeedsTheLiveStateSaved) {
  edit("A", 1);
  edit("B", 2);
  delegate->failSave = true;
  manager->undo();
  EXPECT_TRUE(delegate->restored.empty());  // nothing restored over the unsaved live state
  EXPECT_EQ(manager->currentLevelOfHistory(), 2u);
  EXPECT_EQ(delegate->live, 2);
  nextPass();
  delegate->failSave = false;
  manager->undo();
  EXPECT_EQ(delegate->live, 1);
  manager->redo();
  EXPECT_EQ(delegate->live, 2);
}

TEST_F(HistoryTest, DisablingNestsAndExtraReleasesClampAtZero) {
  manager->setDisableHistoryRegistration(true);
  manager->setDisableHistoryRegistration(true);
  manager->setDisableHistoryRegistration(false);
  EXPECT_TRUE(manager->disableHistoryRegistration());
  manager->registerHistoryWithActionName("ignored");
  EXPECT_TRUE(manager->isHistoryClear());
  manager->setDisableHistoryRegistration(false);
  EXPECT_FALSE(manager->disableHistoryRegistration());
  // Releasing once more than disabling must not wrap the count around.
  manager->setDisableHistoryRegistration(false);
  EXPECT_FALSE(manager->disableHistoryRegistration());
  edit("A", 1);
  EXPECT_EQ(manager->levelCount(), 1u);
  EXPECT_FALSE(manager->disableHistoryRegistration());
}

TEST_F(HistoryTest, NotificationsCarryTheStepsAndTheNewIndex) {
  std::vector<std::string> names;
  qv::Value lastIndex;
  size_t lastStepCount = 0;
  auto& center = qv::NotificationCenter::defaultCenter();
  auto t1 =
      center.addObserver(kQVHistoryManagerRegisterNewStateNotification, manager.get(), [&](const qv::Notification& n) {
        names.push_back(n.name);
        lastIndex = n.info(kQVHistoryManagerCurrentStateIndexKey);
        lastStepCount = n.info(kQVHistoryManagerDictsKey).size();
      });
  auto t2 = center.addObserver(kQVHistoryCurrentLevelDidChangeNotification, manager.get(),
                               [&](const qv::Notification& n) { names.push_back(n.name); });
  auto t3 = center.addObserver(kQVHistoryLastSavedLevelDidChangeNotification, manager.get(),
                               [&](const qv::Notification& n) { names.push_back(n.name); });
  edit("A", 1);
  edit("B", 2);
  EXPECT_EQ(lastIndex.asInt(), 1);
  EXPECT_EQ(lastStepCount, 2u);
  manager->undo();  // the pseudo-step posts nothing of its own
  manager->setLastSavedLevel(1);
  manager->setLastSavedLevel(1);
  EXPECT_EQ(names, (std::vector<std::string>{
                       kQVHistoryManagerRegisterNewStateNotification, kQVHistoryCurrentLevelDidChangeNotification,
                       kQVHistoryManagerRegisterNewStateNotification, kQVHistoryCurrentLevelDidChangeNotification,
                       kQVHistoryCurrentLevelDidChangeNotification, kQVHistoryLastSavedLevelDidChangeNotification}));
}

TEST_F(HistoryTest, CancellingTemporaryModeBringsTheHistoryBackWithItsStates) {
  edit("A", 1);
  edit("B", 2);
  edit("C", 3);
  manager->undo();
  nextPass();
  manager->undo();  // level 1; steps 1..3 are above
  nextPass();
  const qv::Array before = manager->historyDictsArray();

  // Cancelled without any change: every state survives (the steps set aside are the list's own).
  manager->startTemporaryHistoryMode();
  manager->cancelTemporaryHistory();
  EXPECT_EQ(manager->historyDictsArray(), before);
  for (size_t i = 0; i < before.size(); ++i) EXPECT_TRUE(stateExists(stepUuid(i))) << i;

  // Cancelled after temporary work: the temporary steps and their states go.
  manager->startTemporaryHistoryMode();
  EXPECT_TRUE(manager->temporaryHistoryMode());
  edit("Temp 1", 10);
  edit("Temp 2", 11);
  const std::string temp = stepUuid(1);
  manager->cancelTemporaryHistory();
  EXPECT_FALSE(manager->temporaryHistoryMode());
  EXPECT_EQ(manager->historyDictsArray(), before);
  EXPECT_EQ(manager->currentLevelOfHistory(), 1u);
  EXPECT_EQ(delegate->live, 1);
  EXPECT_FALSE(stateExists(temp));
  for (size_t i = 0; i < before.size(); ++i) EXPECT_TRUE(stateExists(stepUuid(i))) << i;
  manager->redo();
  EXPECT_EQ(delegate->live, 2);
}

TEST_F(HistoryTest, ApplyingTemporaryModeKeepsTheWorkAndDeletesTheStatesSetAside) {
  edit("A", 1);
  edit("B", 2);
  manager->undo();  // level 1, steps 1 and 2 above
  nextPass();
  const std::string setAside1 = stepUuid(1), setAside2 = stepUuid(2);
  manager->startTemporaryHistoryMode();
  edit("Crop", 5);
  edit("Crop", 6);
  // The steps set aside keep their states while the mode runs.
  EXPECT_TRUE(stateExists(setAside1));
  EXPECT_TRUE(stateExists(setAside2));
  EXPECT_EQ(manager->subtractedUUIDs(stepUuid(0)).size(), 2u + 2u);
  manager->applyTemporaryAndRemoveSameLogicSteps(true);
  EXPECT_FALSE(manager->temporaryHistoryMode());
  ASSERT_EQ(manager->levelCount(), 2u);
  EXPECT_EQ(stepName(1), "Crop");
  EXPECT_EQ(manager->currentLevelOfHistory(), 2u);
  EXPECT_EQ(delegate->live, 6);  // the temporary work is what remains
  EXPECT_FALSE(stateExists(setAside1));
  EXPECT_FALSE(stateExists(setAside2));
  manager->undo();
  EXPECT_EQ(delegate->live, 1);
}

TEST_F(HistoryTest, NewStepListWaitsForItsJumpWithoutExposingNoLevel) {
  edit("A", 1);
  edit("B", 2);
  manager->saveCurrentSatateIfNeaded();
  qv::Array steps = manager->historyDictsArray();
  manager->applyHistoryWithNewHistoryDictsArray(steps);
  EXPECT_EQ(stepName(2), "--FORCE SAVE--");
  EXPECT_EQ(manager->currentLevelOfHistory(), 2u);
  EXPECT_EQ(manager->levelsOfHistory(), 3u);
  manager->setCurrentLevelOfHistory(2);  // the jump that follows restores even "the same" level
  EXPECT_EQ(delegate->restored.back(), stepUuid(2));
  EXPECT_EQ(manager->currentLevelOfHistory(), 2u);
}

TEST_F(HistoryTest, RepeatedActionsAtTheEndCollapseIntoOne) {
  edit("A", 1);
  edit("Crop", 2);
  edit("Crop", 3);
  edit("Crop", 4);
  manager->removeLastStatesWithSameLogic();
  ASSERT_EQ(manager->levelCount(), 3u);
  EXPECT_EQ(stepName(1), "Crop");
  EXPECT_EQ(stepName(2), "--FORCE SAVE--");
  EXPECT_EQ(manager->currentLevelOfHistory(), 2u);
  EXPECT_EQ(delegate->live, 4);
  manager->undo();
  EXPECT_EQ(delegate->live, 1);  // one undo takes back all the crops
}
