// The export options' rules without widgets: what the settings pane shows (stored preset or
// edited copy), what the window hands out, which preset opens, the selection rule, naming and
// deleting.
#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetSelectorModel.h"

#include <gtest/gtest.h>

#include "Ombrel/Classes/Business/Batch/QVBatchTextHelpers.h"
#include "tests/Ombrel/Classes/Application/ExportOptions/ExportOptionsTestSupport.h"

namespace {

using export_options_test::PresetStoreFixture;
using Row = QVBatchPresetSelectorModel::Row;
using Result = QVBatchPresetSelectorModel::NamingResult;

struct RecordingPaneDelegate : QVBatchPresetSettingsModelDelegate {
  std::vector<std::string> calls;
  void batchPresetSettingsVCDidChangePreset() override { calls.push_back("preset"); }
  void batchPresetSettingsVCDidCreateAmendedPreset() override { calls.push_back("amended"); }
  void batchPresetSettingsVCDidChangeInterimPreset(const std::shared_ptr<QVBatchPreset>&) override {
    calls.push_back("interim");
  }
};

std::shared_ptr<QVBatchPreset> stored(const std::string& name, int64_t type = 1) {
  qv::Dictionary d{{"preset type", type}, {"version", 3}, {"uuid", "U-" + name}};
  auto preset = QVBatchPreset::initWithDic(qv::Value(d));
  preset->setName(name);
  return preset;
}

class QVBatchPresetSelectorModelTest : public PresetStoreFixture {
 protected:
  // The shipped presets and, when named, one user preset; the store and a model opened over it.
  void openModel(const std::string& userPreset = {}) {
    writeShipped();
    if (!userPreset.empty()) write(user / (userPreset + ".plist"), presetDictionary(2, "U1"));
    store = makeStore();
    model = std::make_unique<QVBatchPresetSelectorModel>(store);
    model->open();
  }
  std::shared_ptr<QVBatchPresetManager> store;
  std::unique_ptr<QVBatchPresetSelectorModel> model;
};

TEST(QVBatchPresetSettingsModel, ShowsAStoredPresetOrItsEditedCopyNeverBoth) {
  QVBatchPresetSettingsModel pane;
  RecordingPaneDelegate delegate;
  pane.setDelegate(&delegate);
  auto jpeg = stored("JPEG");
  EXPECT_TRUE(pane.setPreset(jpeg));
  // The same object again: nothing happens and nothing is said.
  EXPECT_FALSE(pane.setPreset(jpeg));
  EXPECT_EQ(delegate.calls, (std::vector<std::string>{"preset"}));
  EXPECT_EQ(pane.preset(), jpeg);
  EXPECT_EQ(pane.existingAmendedPreset(), nullptr);

  // The first edit makes the copy, which holds the editor's own section object.
  auto format = std::make_shared<QVBatchSettingsFormat>();
  format->setExportType("public.png");
  EXPECT_TRUE(pane.didChangePresetSetting(format));
  EXPECT_EQ(pane.preset(), nullptr);
  ASSERT_NE(pane.existingAmendedPreset(), nullptr);
  EXPECT_EQ(pane.existingAmendedPreset()->format(), format);
  EXPECT_EQ(pane.shownPreset(), pane.existingAmendedPreset());
  // A second edit goes into the same copy.
  auto copy = pane.existingAmendedPreset();
  EXPECT_TRUE(pane.didChangePresetSetting(std::make_shared<QVBatchSettingsSaving>()));
  EXPECT_EQ(pane.existingAmendedPreset(), copy);
  EXPECT_EQ(delegate.calls, (std::vector<std::string>{"preset", "amended", "interim", "interim"}));

  // Showing the stored preset again drops the copy.
  EXPECT_TRUE(pane.setPreset(jpeg));
  EXPECT_EQ(pane.preset(), jpeg);
  EXPECT_EQ(pane.existingAmendedPreset(), nullptr);
  EXPECT_EQ(jpeg->format()->exportType(), std::nullopt) << "the stored preset never changes";
}

TEST(QVBatchPresetSettingsModel, TheResultIsAFreshUserCopyAndOtherSectionsChangeNothing) {
  QVBatchPresetSettingsModel pane;
  RecordingPaneDelegate delegate;
  pane.setDelegate(&delegate);
  EXPECT_EQ(pane.amendedPreset(), nullptr) << "nothing shown gives nothing";
  // A section of another kind is ignored: no copy, no call.
  struct Other : QVSerializationProtocol {
    qv::Value serialize() const override { return qv::Value(); }
  };
  auto jpeg = stored("JPEG");
  pane.setPreset(jpeg);
  delegate.calls.clear();
  EXPECT_FALSE(pane.didChangePresetSetting(std::make_shared<Other>()));
  EXPECT_FALSE(pane.didChangePresetSetting(nullptr));
  EXPECT_TRUE(delegate.calls.empty());
  EXPECT_EQ(pane.preset(), jpeg);

  auto result = pane.amendedPreset();
  ASSERT_NE(result, nullptr);
  EXPECT_NE(result, jpeg);
  EXPECT_EQ(result->type(), kQVBatchPresetTypeUser);
  EXPECT_NE(result->uuid(), jpeg->uuid());
  EXPECT_EQ(result->version(), 1);
  EXPECT_EQ(result->name(), "Unknown");
  EXPECT_EQ(pane.amendedPreset(), result) << "asked again, the same copy";
  EXPECT_EQ(delegate.calls, (std::vector<std::string>{"amended"}));
}

TEST_F(QVBatchPresetSelectorModelTest, ContinueOnAnUneditedDefaultPresetLeavesTheStoreAlone) {
  openModel();
  auto& model = *this->model;
  ASSERT_EQ(model.selection(), (Row{1, 0}));
  const auto before = store->presets();
  auto result = model.selectedPreset();
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->type(), 2);
  EXPECT_NE(result->uuid(), "D1");
  EXPECT_EQ(result->version(), 1);
  EXPECT_EQ(result->name(), "Unknown");
  EXPECT_EQ(store->presets(), before);
  EXPECT_EQ(store->presetWithUUID("D1")->type(), 1);
  EXPECT_TRUE(userFiles().empty());
}

TEST_F(QVBatchPresetSelectorModelTest, AnEditBecomesTheInterimPresetAndClearsTheRemembered) {
  openModel();
  auto& model = *this->model;
  EXPECT_EQ(store->selectedPresetUUID(), "D1");
  auto resizing = std::make_shared<QVBatchSettingsResizing>();
  resizing->setType(1);
  resizing->setValue("1024");
  model.settings().didChangePresetSetting(resizing);
  EXPECT_TRUE(model.editingMode());
  EXPECT_EQ(model.selection(), std::nullopt) << "the edited copy belongs to neither list";
  EXPECT_EQ(store->selectedPresetUUID(), std::nullopt);
  auto onDisk = QVBatchPresetManager::loadBatchPresetAtPath(interim.string());
  ASSERT_NE(onDisk, nullptr);
  EXPECT_EQ(onDisk->resizing()->value(), "1024");
  EXPECT_EQ(onDisk->uuid(), model.settings().existingAmendedPreset()->uuid());
}

TEST_F(QVBatchPresetSelectorModelTest, OpeningTable) {
  struct Case {
    const char* name;
    bool shipped, userPreset, interimFile;
    std::optional<std::string> remembered;
    std::optional<Row> selection;
    bool editing;
    std::string shownUUID;
  };
  const Case cases[] = {
      {"remembered user preset", true, true, true, "U1", Row{2, 0}, false, "U1"},
      {"remembered shipped preset", true, true, false, "D2", Row{1, 1}, false, "D2"},
      {"unknown uuid, interim", true, true, true, "gone", std::nullopt, true, "I1"},
      {"nothing remembered, interim", true, false, true, std::nullopt, std::nullopt, true, "I1"},
      {"neither: first default", true, false, false, "gone", Row{1, 0}, false, "D1"},
      {"empty store", false, false, false, std::nullopt, std::nullopt, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(shipped);
    std::filesystem::remove_all(user);
    std::filesystem::remove(interim);
    std::filesystem::create_directories(shipped);
    std::filesystem::create_directories(user);
    if (c.shipped) writeShipped();
    if (c.userPreset) write(user / "Mine.plist", presetDictionary(2, "U1"));
    if (c.interimFile) write(interim, presetDictionary(2, "I1"));
    auto& defaults = qv::UserDefaults::standardUserDefaults();
    if (c.remembered) {
      defaults.setObject(qv::Value(*c.remembered), kQVLastPresetSelectedUUIDKey);
    } else {
      defaults.removeObjectForKey(kQVLastPresetSelectedUUIDKey);
    }
    QVBatchPresetSelectorModel model(makeStore());
    model.open();
    EXPECT_EQ(model.selection(), c.selection);
    EXPECT_EQ(model.editingMode(), c.editing);
    EXPECT_EQ(model.saveButtonVisible(), c.editing);
    auto shown = model.settings().shownPreset();
    EXPECT_EQ(shown ? shown->uuid() : "", c.shownUUID);
    if (c.shownUUID.empty()) EXPECT_EQ(model.selectedPreset(), nullptr) << "nothing to show gives nil";
  }
}

TEST_F(QVBatchPresetSelectorModelTest, SelectionKeepsOneRowAcrossBothLists) {
  openModel("Mine");
  auto& model = *this->model;
  ASSERT_EQ(model.selection(), (Row{1, 0}));
  // Leaving the list with the selection empty is refused; the other list may take it over.
  EXPECT_FALSE(model.shouldChangeSelection(1, false));
  EXPECT_TRUE(model.shouldChangeSelection(1, true));
  EXPECT_TRUE(model.shouldChangeSelection(2, false)) << "the other list has the selection";
  model.selectRow({2, 0});
  EXPECT_EQ(model.selection(), (Row{2, 0}));
  EXPECT_EQ(store->selectedPresetUUID(), "U1");
  EXPECT_EQ(model.settings().preset()->uuid(), "U1");
  EXPECT_FALSE(model.shouldChangeSelection(2, false));
  EXPECT_TRUE(model.shouldChangeSelection(1, false));
  model.selectRow({2, 7});  // out of range
  EXPECT_EQ(model.selection(), (Row{2, 0}));
  // In editing mode no row is selected and any change is allowed.
  model.settings().amendedPreset();
  EXPECT_TRUE(model.editingMode());
  EXPECT_TRUE(model.shouldChangeSelection(1, false));
  EXPECT_TRUE(model.shouldChangeSelection(2, false));
  // Selecting a stored preset after an edit drops the edit from the pane.
  model.selectRow({1, 1});
  EXPECT_FALSE(model.editingMode());
  EXPECT_EQ(model.settings().existingAmendedPreset(), nullptr);
  EXPECT_EQ(model.settings().preset()->uuid(), "D2");
}

TEST_F(QVBatchPresetSelectorModelTest, NamingTable) {
  openModel("Holiday");
  auto& model = *this->model;
  const auto row = model.saveClicked();
  ASSERT_EQ(row, (Row{2, 1}));
  EXPECT_EQ(model.namingRow(), row);
  EXPECT_EQ(model.selection(), row);
  EXPECT_FALSE(model.editingMode());
  EXPECT_EQ(model.namingPreset()->name(), "Unknown");
  EXPECT_EQ(model.saveClicked(), std::nullopt) << "one name at a time";

  struct Case {
    const char* typed;
    bool refused;
  };
  const Case refused[] = {{"", true},     {"   ", true},     {"a/b", true},     {".x", true},
                          {"  .x", true}, {"Holiday", true}, {"holiday ", true}};
  for (const auto& c : refused) {
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(model.finishNaming(c.typed), Result::Refused);
    EXPECT_FALSE(model.lastMessage().empty());
    EXPECT_NE(model.namingPreset(), nullptr) << "naming goes on";
  }
  EXPECT_EQ(userFiles(), (std::vector<std::string>{"Holiday.plist"}));

  // A valid name is trimmed and written; rows follow the store's order, the new row selected.
  auto preset = model.namingPreset();
  EXPECT_EQ(model.finishNaming("  Alpine  "), Result::Saved);
  EXPECT_EQ(model.namingPreset(), nullptr);
  EXPECT_EQ(preset->name(), "Alpine");
  EXPECT_EQ(userFiles(), (std::vector<std::string>{"Alpine.plist", "Holiday.plist"}));
  ASSERT_EQ(model.presetsWithType(2).size(), 2u);
  EXPECT_EQ(model.presetsWithType(2)[0], preset);
  EXPECT_EQ(model.selection(), (Row{2, 0}));
  EXPECT_EQ(store->selectedPresetUUID(), preset->uuid());
  EXPECT_EQ(store->presetWithUUID(preset->uuid()), preset);
  EXPECT_EQ(model.finishNaming("Other"), Result::NotNaming);
  EXPECT_TRUE(alerts->notSaved.empty());
}

TEST_F(QVBatchPresetSelectorModelTest, AFailedWriteShowsTheAlert) {
  openModel();
  auto& model = *this->model;
  ASSERT_TRUE(model.saveClicked());
  // The user folder has become a file: the write must fail.
  std::filesystem::remove_all(user);
  { std::ofstream(user.string()) << "x"; }
  EXPECT_EQ(model.finishNaming("Lost"), Result::WriteFailed);
  EXPECT_EQ(alerts->notSaved, (std::vector<std::string>{"Lost"}));
  EXPECT_EQ(model.namingPreset(), nullptr);
}

TEST_F(QVBatchPresetSelectorModelTest, DeleteAsksAndDeletesOnlyAUserPresetOnOK) {
  openModel("Mine");
  auto& model = *this->model;
  // A shipped preset is never deleted, and nobody is asked.
  EXPECT_FALSE(model.deleteSelectedPreset());
  EXPECT_TRUE(alerts->deleteAsked.empty());
  model.selectRow({2, 0});
  alerts->deleteAnswer = false;
  EXPECT_FALSE(model.deleteSelectedPreset());
  EXPECT_EQ(alerts->deleteAsked, (std::vector<std::string>{"Mine"}));
  EXPECT_EQ(userFiles(), (std::vector<std::string>{"Mine.plist"}));
  alerts->deleteAnswer = true;
  EXPECT_TRUE(model.deleteSelectedPreset());
  EXPECT_TRUE(userFiles().empty());
  EXPECT_EQ(store->presetWithUUID("U1"), nullptr);
  EXPECT_TRUE(model.presetsWithType(2).empty());
  EXPECT_EQ(model.selection(), std::nullopt);
  EXPECT_EQ(store->selectedPresetUUID(), std::nullopt);
  // The pane keeps the deleted preset's settings until another row is chosen.
  EXPECT_EQ(model.settings().preset()->uuid(), "U1");
}

}  // namespace
