#include <gtest/gtest.h>

#include "QVCore/ImageProcessing/History/HistoryTestSupport.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/Localization.h"
#include "common/TestSupport.h"

using namespace historytest;

namespace {

// Back to the application's own table for the tests that follow in this process.
void restoreApplicationTable() {
  qv::QVSLocalization::setTable({});
  const auto& bundle = qv::Bundle::mainBundle();
  for (const char* sub : {"", "en.lproj"})
    for (const char* ext : {"strings", "plist"})
      if (auto path = bundle.pathForResource("Localizable", ext, sub);
          !path.empty() && qv::QVSLocalization::loadTableFromFile(path))
        return;
}

class HistoryActionNamesTest : public HistoryTest {
 protected:
  void SetUp() override {
    HistoryTest::SetUp();
    ASSERT_TRUE(
        qv::QVSLocalization::loadTableFromFile((solvane::test::dataDir() / "history/Localizable.strings").string()));
  }
  void TearDown() override {
    restoreApplicationTable();
    HistoryTest::TearDown();
  }
};

}  // namespace

TEST_F(HistoryActionNamesTest, LevelNamesAreLocalisedByTheirFormats) {
  const struct {
    const char* stored;
    const char* shown;
  } cases[] = {
      {"Layer 1: Opacity", "Calque 1 : Opacité"},              // one-part format, known layer name
      {"My Layer: Blend", "My Layer : Fusion"},                // the user's own name stays as it is
      {"Preset Warm: Activated", "Préréglage Warm : activé"},  // two-part format
      {"Unknown: Something", "Unknown: Quelque chose"},        // no format: piece by piece at ": "
      {"Layers Deleted", "Calques supprimés"},
      {"Copy of Layer 1: Opacity", "Copie de Layer 1 : Opacité"},
      {"Plain", "Plain"},
  };
  for (const auto& c : cases) {
    manager->registerHistoryWithActionName(c.stored);
    nextPass();
  }
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(manager->unlocalizedActionNameOfLevel(i + 1), cases[i].stored);
    EXPECT_EQ(manager->actionNameOfLevel(i + 1), cases[i].shown) << cases[i].stored;
  }
  EXPECT_EQ(manager->actionNameOfLevel(0), "Originale");
  manager->setFirstHistoryStepName("Start");
  EXPECT_EQ(manager->actionNameOfLevel(0), "Start");
  EXPECT_FALSE(manager->actionNameOfLevel(std::size(cases) + 1));
  EXPECT_TRUE(manager->additionalInfoOfLevel(std::size(cases) + 1).isNull());
  EXPECT_TRUE(manager->additionalInfoOfLevel(0).isNull());
}

TEST_F(HistoryActionNamesTest, UndoAndRedoNamesCarryTheAdditionalInfo) {
  EXPECT_FALSE(manager->undoActionName());
  edit("Layer 1: Opacity", 1, "50%");
  edit("Layer 1: Blend", 2);
  EXPECT_EQ(manager->undoActionName(), "Calque 1 : Fusion");
  EXPECT_FALSE(manager->redoActionName());
  manager->undo();
  EXPECT_EQ(manager->undoActionName(), "Calque 1 : Opacité 50%");
  EXPECT_EQ(manager->redoActionName(), "Calque 1 : Fusion");
  manager->setUserInteractionsEnabled(false);
  EXPECT_FALSE(manager->undoActionName());
  EXPECT_EQ(manager->levelsOfHistory(), 1u);
}

TEST(HistoryActionNameHelpers, LocaliseOnlyWhatMatches) {
  qv::QVSLocalization::setTable({{"Preset %@: Activated", "P %@ on"}, {"a", "A"}});
  EXPECT_EQ(QVHistoryManager::localizeTwoPartFormat("Preset %@: Activated", "Preset X: Activated"), "P X on");
  EXPECT_EQ(QVHistoryManager::localizeTwoPartFormat("Preset %@: Activated", "Other X: Activated"),
            "Other X: Activated");
  EXPECT_EQ(QVHistoryManager::localizeString("a: b", ": "), "A: b");
  EXPECT_EQ(QVHistoryManager::localizeString("a", ": "), "a");
  EXPECT_EQ(QVHistoryManager::localizeSubstring("%@: Reset", "Nothing here"), "Nothing here");
  restoreApplicationTable();
}
