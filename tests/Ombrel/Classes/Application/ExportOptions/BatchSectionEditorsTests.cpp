#include <gtest/gtest.h>

#include <QPointer>
#include <QTest>

#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/ExportOptions/QVBatchFormatViewController.h"
#include "Ombrel/Classes/Application/ExportOptions/QVBatchNamingViewController.h"
#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetUISamples.h"
#include "Ombrel/Classes/Application/ExportOptions/QVBatchResizeViewController.h"
#include "Ombrel/Classes/Application/ExportOptions/QVBatchSavingViewController.h"
#include "Ombrel/Classes/Application/Panels/QVSolvanePanels.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "Ombrel/Classes/Business/Batch/QVBatchNamingUIDatasource.h"
#include "Ombrel/Classes/Business/Batch/QVBatchTiffImageProperties.h"
#include "Ombrel/Classes/Business/Batch/QVExportSettingsDatasourceManager.h"
#include "tests/Ombrel/Classes/Application/ExportOptions/ExportOptionsTestSupport.h"

namespace {

// Counts the changes an editor reports and keeps the last section it reported.
struct Recorder : QVBatchPresetSectionViewControllerDelegate {
  int changes = 0;
  std::shared_ptr<QVSerializationProtocol> last;
  void batchPresetSectionVC(QVBatchPresetSectionViewController*,
                            const std::shared_ptr<QVSerializationProtocol>& setting) override {
    ++changes;
    last = setting;
  }
};

template <class Editor>
struct Hosted {
  Editor editor;
  Recorder recorder;
  Hosted() {
    editor.setDelegate(&recorder);
    editor.view()->resize(380, 100);
    editor.view()->show();
  }
  ~Hosted() { editor.setDelegate(nullptr); }
};

// Types into a field as the user does: each key is one edit.
void typeInto(QLineEdit* field, const QString& text) {
  for (QChar c : text) QTest::keyClick(field, c.toLatin1());
}

int indexOfType(const std::string& type) {
  const auto& types = QVExportSettingsDatasourceManager::shared().saveTypes();
  for (size_t i = 0; i < types.size(); ++i)
    if (types[i].identifier == type) return int(i);
  return -1;
}

std::shared_ptr<QVBatchSettingsFormat> formatSection(const std::string& type, double quality,
                                                     std::shared_ptr<QVBatchTiffImageProperties> tiff = nullptr) {
  auto format = std::make_shared<QVBatchSettingsFormat>();
  format->setQuality(quality);
  format->setExportType(type);
  format->setColorSpace(2);
  format->setTiffImageProperties(std::move(tiff));
  return format;
}

// ---- Controls ----

// The factory's controls: the batch look, a check box made with interaction off, and fields that
// report typing only.
TEST(QVBatchControlsTest, FactoryControlsAreStyledAndReportOnlyTheUser) {
  int checkboxActions = 0, fieldEdits = 0;
  std::unique_ptr<QVPopUpButton> popup(QVBatchPresetUISamples::createPopupButton(nullptr));
  EXPECT_TRUE(popup->hasPictogram());  // "popup_ears" is in the resources
  EXPECT_EQ(popup->backgroundColor(), QVUIStyle::batchSettingsStyle()->controlBGColor);

  std::unique_ptr<QVDisabledButton> checkbox(QVBatchPresetUISamples::createCheckboxWithTitle(
      "T", [&](QVDisabledButton*) { ++checkboxActions; }, false));
  checkbox->performClick();
  EXPECT_EQ(checkboxActions, 0);

  std::unique_ptr<QVTextField> field(QVBatchPresetUISamples::createEditableField([&](QVTextField*) { ++fieldEdits; }));
  field->setText("from code");
  EXPECT_EQ(fieldEdits, 0);
  typeInto(field.get(), "ab");
  EXPECT_EQ(fieldEdits, 2);
}

TEST(QVBatchControlsTest, FieldRulesRefuseWhatCannotBeStored) {
  struct Case {
    QVBatchFieldRule rule;
    const char* text;
    bool accepted;
  } cases[] = {
      {QVBatchFieldRule::Text, "trip 2024", true},
      {QVBatchFieldRule::Text, "a/b", false},
      {QVBatchFieldRule::Counter, "0", true},
      {QVBatchFieldRule::Counter, "-1", false},
      {QVBatchFieldRule::Counter, "1.5", false},
      {QVBatchFieldRule::PositiveInteger, "2048", true},
      {QVBatchFieldRule::PositiveInteger, "0", false},
      {QVBatchFieldRule::PositiveInteger, "65535", true},
      {QVBatchFieldRule::PositiveInteger, "65536", false},
      {QVBatchFieldRule::PositiveInteger, "12a", false},
      {QVBatchFieldRule::PositiveInteger, "", true},
  };
  for (const auto& c : cases) {
    QVBatchFieldValidator validator(c.rule, nullptr);
    QString text = QString::fromUtf8(c.text);
    int position = 0;
    EXPECT_EQ(validator.validate(text, position) != QValidator::Invalid, c.accepted) << c.text;
  }
  QVBatchFieldValidator text(QVBatchFieldRule::Text, nullptr);
  QString withNul = QStringLiteral("a") + QChar(0);
  int position = 0;
  EXPECT_EQ(text.validate(withNul, position), QValidator::Invalid);
}

// ---- Saving ----

class QVBatchSavingEditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    presenter = std::make_shared<app_test::ScriptedPanelPresenter>();
    QVSolvanePanels::setPresenter(presenter);
  }
  void TearDown() override { QVSolvanePanels::setPresenter(nullptr); }
  std::shared_ptr<app_test::ScriptedPanelPresenter> presenter;
};

TEST_F(QVBatchSavingEditorTest, FolderRulesAndTheOverwriteCheckbox) {
  Hosted<QVBatchSavingViewController> host;
  auto saving = std::make_shared<QVBatchSettingsSaving>();
  saving->setPath("/photos/out");
  host.editor.setPresetSetting(saving);
  EXPECT_EQ(host.recorder.changes, 0);
  EXPECT_EQ(host.editor.pathLabel()->title(), "/photos/out");
  EXPECT_FALSE(host.editor.shouldOverwriteCheckbox()->state());
  EXPECT_NE(host.editor.presetSetting(), saving);  // its own copy

  QVPanelResult same, several;
  same.response = several.response = QVModalResponseOK;
  same.paths = {"/photos/out"};
  several.paths = {"/a", "/b"};
  presenter->script = {same, QVPanelResult{}, several};
  host.editor.browseClicked();  // the folder already stored
  host.editor.browseClicked();  // cancelled
  EXPECT_EQ(host.recorder.changes, 0);
  host.editor.browseClicked();
  EXPECT_EQ(host.recorder.changes, 1);
  EXPECT_EQ(host.editor.presetSetting()->path(), "/a");
  EXPECT_EQ(host.editor.pathLabel()->title(), "/a");
  ASSERT_EQ(presenter->shown.size(), 3u);
  EXPECT_TRUE(presenter->shown[0].allowsMultipleSelection);
  EXPECT_TRUE(presenter->shown[0].canChooseDirectories);
  EXPECT_FALSE(presenter->shown[0].canChooseFiles);

  host.editor.shouldOverwriteCheckbox()->performClick();
  EXPECT_TRUE(host.editor.presetSetting()->shouldOverwriteWithoutWarning());
  host.editor.shouldOverwriteCheckbox()->performClick();
  EXPECT_FALSE(host.editor.presetSetting()->shouldOverwriteWithoutWarning());
  EXPECT_EQ(host.recorder.changes, 3);
  EXPECT_FALSE(saving->shouldOverwriteWithoutWarning());  // the preset handed in is untouched
}

// ---- Format ----

TEST(QVBatchFormatEditorTest, VisibilityFollowsTheFileType) {
  struct Case {
    const char* type;
    bool slider, tiff;
  } cases[] = {{"public.jpeg", true, false},
               {"public.jpeg-2000", true, false},
               {"PUBLIC.JPEG", true, false},
               {"public.tiff", false, true},
               {"public.png", false, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(QVBatchFormatViewController::showsQualitySlider(c.type), c.slider) << c.type;
    EXPECT_EQ(QVBatchFormatViewController::showsTiffRow(c.type), c.tiff) << c.type;
  }
  for (const char* type : {"public.jpeg", "public.png"}) {
    if (indexOfType(type) < 0) continue;
    Hosted<QVBatchFormatViewController> host;
    host.editor.setPresetSetting(formatSection(type, 0.85));
    auto* main = host.editor.view();
    EXPECT_EQ(host.editor.qualitySlider()->isVisibleTo(main), std::string(type) == "public.jpeg") << type;
    EXPECT_FALSE(host.editor.compressionUISection()->isVisibleTo(main)) << type;
    EXPECT_EQ(host.editor.formatButton()->indexOfSelectedItem(), indexOfType(type));
    EXPECT_EQ(host.editor.colorProfileButton()->indexOfSelectedItem(), 1);
    EXPECT_EQ(host.recorder.changes, 0);
  }
}

TEST(QVBatchFormatEditorTest, JpegShowsItsQualityAndEachEditReportsOnce) {
  Hosted<QVBatchFormatViewController> host;
  host.editor.setPresetSetting(formatSection("public.jpeg", 0.85));
  EXPECT_EQ(host.editor.qualitySlider()->value(), 85);
  EXPECT_EQ(host.recorder.changes, 0);
  export_options_test::dragSliderTo(host.editor.qualitySlider(), 90);
  EXPECT_EQ(host.recorder.changes, 1);
  EXPECT_EQ(host.editor.qualitySlider()->rightTitleString(), "\u200790");  // three figures wide
  EXPECT_DOUBLE_EQ(host.editor.presetSetting()->quality(), 0.9);

  // To TIFF and back: the slider keeps its place, and JPEG stores what it shows.
  const int tiff = indexOfType("public.tiff"), jpeg = indexOfType("public.jpeg");
  ASSERT_GE(tiff, 0);
  host.editor.formatButton()->chooseItemAtIndex(tiff);
  auto* main = host.editor.view();
  EXPECT_FALSE(host.editor.qualitySlider()->isVisibleTo(main));
  EXPECT_TRUE(host.editor.compressionUISection()->isVisibleTo(main));
  EXPECT_DOUBLE_EQ(host.editor.presetSetting()->quality(), 1.0);
  const int afterTiff = host.recorder.changes;
  host.editor.formatButton()->chooseItemAtIndex(jpeg);
  EXPECT_EQ(host.recorder.changes, afterTiff + 1);
  EXPECT_TRUE(host.editor.qualitySlider()->isVisibleTo(main));
  EXPECT_EQ(std::round(host.editor.qualitySlider()->value()), 90);
  EXPECT_DOUBLE_EQ(host.editor.presetSetting()->quality(), 0.9);
  host.editor.formatButton()->chooseItemAtIndex(jpeg);  // the same type: nothing
  EXPECT_EQ(host.recorder.changes, afterTiff + 1);

  host.editor.colorProfileButton()->chooseItemAtIndex(2);
  EXPECT_EQ(host.editor.presetSetting()->colorSpace(), 3);
  host.editor.colorProfileButton()->chooseItemAtIndex(2);
  EXPECT_EQ(host.recorder.changes, afterTiff + 2);
}

TEST(QVBatchFormatEditorTest, TiffPresetsSelectTheirChoicesOrTakeTheDefaultsAsOneEdit) {
  Hosted<QVBatchFormatViewController> host;
  auto tiff = std::make_shared<QVBatchTiffImageProperties>();
  tiff->setCompressionType("LZW", 5);
  tiff->setDepth("16 Bits", 16);
  host.editor.setPresetSetting(formatSection("public.tiff", 1, tiff));
  EXPECT_EQ(host.recorder.changes, 0);
  EXPECT_EQ(host.editor.compressionButton()->selectedTag(), 5);
  EXPECT_EQ(host.editor.depthButton()->selectedTag(), 16);

  // Choosing a compression or depth reports every time, also the same item again.
  host.editor.compressionButton()->chooseItemAtIndex(2);
  host.editor.compressionButton()->chooseItemAtIndex(2);
  EXPECT_EQ(host.recorder.changes, 2);
  EXPECT_EQ(host.editor.presetSetting()->tiffImageProperties()->compressionValue(), 32773);

  Hosted<QVBatchFormatViewController> fresh;
  fresh.editor.setPresetSetting(formatSection("public.tiff", 1));
  EXPECT_EQ(fresh.recorder.changes, 1);
  const auto& stored = fresh.editor.presetSetting()->tiffImageProperties();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->compressionValue(), 1);
  EXPECT_EQ(stored->depthValue(), 8);
  EXPECT_EQ(fresh.recorder.last, fresh.editor.presetSetting());
}

// ---- Naming ----

std::shared_ptr<QVBatchSettingsNaming> namingSection() {
  auto naming = std::make_shared<QVBatchSettingsNaming>();
  naming->setPrefix(std::make_shared<QVBatchName>(kQVBatchNameTypeNone, std::nullopt));
  naming->setBase(std::make_shared<QVBatchName>(kQVBatchNameTypeFileName, ""));
  naming->setSuffix(std::make_shared<QVBatchName>(kQVBatchNameTypeCounter, "1"));
  naming->setCapitalization(std::make_shared<QVBatchName>(kQVBatchCapitalizationUpper, ""));
  return naming;
}

int itemOfType(QVPopUpButton* popup, int64_t type) {
  for (int i = 0; i < popup->count(); ++i)
    if (popup->tagOfItemAtIndex(i) == type) return i;
  return -1;
}

TEST(QVBatchNamingEditorTest, SegmentsSwitchWithoutChanges) {
  Hosted<QVBatchNamingViewController> host;
  host.editor.setPresetSetting(namingSection());
  auto* segments = host.editor.namingSegmentedControl();
  auto* popup = host.editor.namingSectionPopupButton();
  EXPECT_EQ(popup->selectedTag(), int64_t(kQVBatchNameTypeNone));
  EXPECT_EQ(host.editor.visibleOptionVC(), nullptr);
  segments->clickSegment(1);  // base: no "None" offered
  EXPECT_EQ(itemOfType(popup, kQVBatchNameTypeNone), -1);
  EXPECT_EQ(popup->selectedTag(), int64_t(kQVBatchNameTypeFileName));
  segments->clickSegment(2);  // suffix: the counter editor with its start
  ASSERT_NE(host.editor.visibleOptionVC(), nullptr);
  EXPECT_EQ(host.editor.visibleOptionVC()->type(), int64_t(kQVBatchNameTypeCounter));
  EXPECT_EQ(host.editor.visibleOptionVC()->currentValue(), "1");
  segments->clickSegment(3);  // letters: never a value editor
  EXPECT_EQ(host.editor.visibleOptionVC(), nullptr);
  EXPECT_EQ(popup->selectedTag(), int64_t(kQVBatchCapitalizationUpper));
  EXPECT_EQ(host.recorder.changes, 0);
  // Another preset keeps the segment the user left.
  host.editor.setPresetSetting(namingSection());
  EXPECT_EQ(segments->selectedSegment(), 3);
  EXPECT_EQ(host.recorder.changes, 0);
}

TEST(QVBatchNamingEditorTest, ChoosingATypeStoresItsDefaultAndTypingReportsEachKey) {
  Hosted<QVBatchNamingViewController> host;
  host.editor.setPresetSetting(namingSection());
  auto* popup = host.editor.namingSectionPopupButton();
  const auto& part = [&] { return host.editor.presetSetting()->prefix(); };
  struct Case {
    uint64_t type;
    std::optional<std::string> value;
  } cases[] = {
      {kQVBatchNameTypeCustomText, ""}, {kQVBatchNameTypeCounter, "0"}, {kQVBatchNameTypeTimestamp, "ddMMyyyy"}};
  int expected = 0;
  for (const auto& c : cases) {
    popup->chooseItemAtIndex(itemOfType(popup, int64_t(c.type)));
    EXPECT_EQ(host.recorder.changes, ++expected);
    EXPECT_EQ(part()->type(), c.type);
    EXPECT_EQ(part()->value(), c.value);
    ASSERT_NE(host.editor.visibleOptionVC(), nullptr);
    EXPECT_EQ(host.editor.visibleOptionVC()->type(), int64_t(c.type));
  }

  popup->chooseItemAtIndex(itemOfType(popup, kQVBatchNameTypeCustomText));
  expected = host.recorder.changes;
  auto* field = dynamic_cast<QVTextField*>(host.editor.visibleOptionVC()->valueView());
  ASSERT_NE(field, nullptr);
  typeInto(field, "trip");
  EXPECT_EQ(host.recorder.changes, expected + 4);
  EXPECT_EQ(part()->value(), "trip");
  EXPECT_EQ(host.editor.exampleLabel()->text().toStdString(), "Example: TRIP_FILENAME_1.jpeg");
  typeInto(field, "/");  // refused: no change
  EXPECT_EQ(host.recorder.changes, expected + 4);

  // Re-choosing Custom Text clears the text.
  popup->chooseItemAtIndex(itemOfType(popup, kQVBatchNameTypeCustomText));
  EXPECT_EQ(part()->value(), "");
  EXPECT_EQ(field->text(), "");
}

// ---- Resize ----

std::shared_ptr<QVBatchSettingsResizing> resizeSection(uint64_t type, std::optional<std::string> value, bool enlarge) {
  auto resizing = std::make_shared<QVBatchSettingsResizing>();
  resizing->setType(type);
  resizing->setValue(std::move(value));
  resizing->setShouldEnlarge(enlarge);
  return resizing;
}

TEST(QVBatchResizeEditorTest, LongEdgeThenDimensionsThenOriginal) {
  Hosted<QVBatchResizeViewController> host;
  host.editor.setPresetSetting(resizeSection(1, "2048", false));
  EXPECT_EQ(host.recorder.changes, 0);
  EXPECT_EQ(host.editor.resizePopupButton()->indexOfSelectedItem(), 1);
  EXPECT_TRUE(host.editor.dontEnlargeCheckbox()->state());
  auto* option = host.editor.visibleOptionVC();
  ASSERT_NE(option, nullptr);
  EXPECT_EQ(option->type(), 1);
  EXPECT_EQ(option->field1()->text(), "2048");
  EXPECT_EQ(option->label1()->text(), "px");

  host.editor.resizePopupButton()->chooseItemAtIndex(3);
  EXPECT_EQ(host.recorder.changes, 1);
  EXPECT_EQ(host.editor.presetSetting()->value(), "");
  option = host.editor.visibleOptionVC();
  ASSERT_NE(option, nullptr);
  EXPECT_EQ(option->field1()->text(), "0");
  EXPECT_EQ(option->field2()->text(), "0");
  option->field1()->selectAll();
  typeInto(option->field1(), "800");
  EXPECT_EQ(host.editor.presetSetting()->value(), "800x0");
  option->field2()->selectAll();
  QTest::keyClick(option->field2(), Qt::Key_Backspace);
  EXPECT_EQ(host.editor.presetSetting()->value(), "800x");
  const int afterTyping = host.recorder.changes;
  EXPECT_EQ(afterTyping, 1 + 3 + 1);
  typeInto(option->field2(), "-");  // refused
  option->field2()->setText("");
  EXPECT_EQ(host.recorder.changes, afterTyping);

  host.editor.resizePopupButton()->chooseItemAtIndex(0);
  EXPECT_EQ(host.editor.visibleOptionVC(), nullptr);
  EXPECT_EQ(host.editor.presetSetting()->value(), "");
  EXPECT_EQ(host.recorder.changes, afterTyping + 1);
}

TEST(QVBatchResizeEditorTest, RefusedInputsAndTheSameNumberSendNothing) {
  Hosted<QVBatchResizeViewController> host;
  host.editor.setPresetSetting(resizeSection(2, "1000", true));
  EXPECT_FALSE(host.editor.dontEnlargeCheckbox()->state());
  auto* field = host.editor.visibleOptionVC()->field1();
  field->setCursorPosition(4);
  for (const char* refused : {"a", "-", "."}) typeInto(field, refused);
  EXPECT_EQ(field->text(), "1000");
  field->setText("6553");
  typeInto(field, "6");  // beyond the largest side the engine takes
  EXPECT_EQ(field->text(), "6553");
  field->setText("1000");
  EXPECT_EQ(host.recorder.changes, 0);
  // Re-typing the same number: the value is the same text, so nothing is reported.
  field->selectAll();
  typeInto(field, "1");
  const int changes = host.recorder.changes;
  typeInto(field, "000");
  EXPECT_EQ(host.editor.presetSetting()->value(), "1000");
  EXPECT_EQ(host.recorder.changes, changes + 3);
  host.editor.visibleOptionVC()->notifyDelegateOfValueChange();
  EXPECT_EQ(host.recorder.changes, changes + 3);

  host.editor.dontEnlargeCheckbox()->performClick();
  EXPECT_FALSE(host.editor.presetSetting()->shouldEnlarge());
  EXPECT_EQ(host.recorder.changes, changes + 4);
}

// A pane that shows an editor's view never keeps controls whose editor is gone.
TEST(QVBatchSectionEditorsTest, AnEditorTakesItsViewAlongOutOfAPane) {
  QWidget pane;
  auto editor = std::make_unique<QVBatchResizeViewController>();
  editor->view()->setParent(&pane);
  editor->setPresetSetting(resizeSection(3, "1920x1080", false));
  QPointer<QWidget> field = editor->visibleOptionVC()->field1();
  ASSERT_TRUE(field);
  editor.reset();
  EXPECT_FALSE(field);
  EXPECT_TRUE(pane.findChildren<QWidget*>().isEmpty());
}

}  // namespace
