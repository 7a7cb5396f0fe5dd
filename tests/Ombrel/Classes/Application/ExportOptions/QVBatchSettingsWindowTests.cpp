// The export options window on the offscreen platform: its shape and layout, the lock of the other
// windows and the menus, its one answer, and the lists driven by mouse and keys.
#include "Ombrel/Classes/Application/ExportOptions/QVBatchSettingsWindowController.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/Menus/QVMenuController.h"
#include "QVPlatform/MainExecutor.h"
#include "tests/Ombrel/Classes/Application/ExportOptions/ExportOptionsTestSupport.h"

namespace {

using export_options_test::PresetStoreFixture;
using Row = QVBatchPresetSelectorModel::Row;

void pump() {
  for (int i = 0; i < 3; ++i) {
    qv::MainExecutor::shared().runUntilIdle();
    QApplication::processEvents();
  }
}

// The top-left rectangle of a widget inside another (Qt's space).
QRect rectIn(QWidget* widget, QWidget* ancestor) {
  return QRect(widget->mapTo(ancestor, QPoint(0, 0)), widget->size());
}

class QVBatchSettingsWindowTest : public PresetStoreFixture {
 protected:
  void SetUp() override {
    PresetStoreFixture::SetUp();
    writeShipped();
    write(user / "Mine.plist", presetDictionary(2, "U1"));
    main = std::make_unique<QVSolvaneWindow>();
    button = new QPushButton("Export", main->contentView());
    button->setGeometry(100, 100, 120, 40);
    QObject::connect(button, &QPushButton::clicked, [this] { ++mainClicks; });
    main->show();
    QVBatchSettingsWindowController::setParentWindowProvider([this] { return main.get(); });
    QVMenuController::setEnabledImportExportMenu(true);
  }
  void TearDown() override {
    controller.reset();
    pump();
    QVBatchSettingsWindowController::setParentWindowProvider(nullptr);
    main.reset();
    PresetStoreFixture::TearDown();
  }
  // Opens the window with a completion that records each answer.
  void open() {
    controller = QVBatchSettingsWindowController::make(makeStore());
    controller->showWithCompletion([this](std::shared_ptr<QVBatchPreset> preset) { answers.push_back(preset); });
    pump();
  }
  QVBatchPresetSelectorViewController* selector() { return controller->selectorViewController(); }
  QVSettingsPresetTableView* table(int64_t type) { return selector()->tableForType(type); }
  void clickRow(QVSettingsPresetTableView* list, int row, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                      list->visualRect(list->model()->index(row, 0)).center());
    pump();
  }
  // Clicks the main window where its button is, as the window system delivers it.
  void clickMainButton() {
    QTest::mouseClick(main->windowHandle(), Qt::LeftButton, {}, button->mapTo(main.get(), QPoint(60, 20)));
    pump();
  }
  bool importItemEnabled() {
    QVMenuItem item("Import More...");
    item.setTag(QVMenuTagImportMore);
    return QVMenuController::validateMenuItem(&item, 1);
  }

  std::unique_ptr<QVSolvaneWindow> main;
  QPushButton* button = nullptr;
  int mainClicks = 0;
  std::shared_ptr<QVBatchSettingsWindowController> controller;
  std::vector<std::shared_ptr<QVBatchPreset>> answers;
};

TEST_F(QVBatchSettingsWindowTest, AnApplicationWindowAboveTheMainWindowLaidOutAsDesigned) {
  // The main window away from the screen's centre.
  main->setFrame(CGRectMake(200, 150, 1200, 800));
  open();
  QVSolvaneWindow* window = controller->solvaneWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(controller->isModal());
  EXPECT_EQ(window->frame().size.width, 750);
  EXPECT_EQ(window->frame().size.height, 526);
  // Over the middle of the main window.
  EXPECT_NEAR(CGRectGetMidX(window->frame()), CGRectGetMidX(main->frame()), 1);
  EXPECT_NEAR(CGRectGetMidY(window->frame()), CGRectGetMidY(main->frame()), 1);
  EXPECT_EQ(window->minSize().width, window->maxSize().width);
  EXPECT_TRUE(QVSCornerRadiiIsEqual(window->cornerRadii(), QVSMakeCornerRadii(6, 6, 6, 6)));
  // Transient for the main window: kept above it, never above other applications.
  EXPECT_EQ(window->parentWidget(), main.get());
  EXPECT_TRUE(window->isWindow());
  EXPECT_FALSE(window->windowFlags() & Qt::WindowStaysOnTopHint);
  ASSERT_NE(controller->topBar(), nullptr);
  EXPECT_EQ(controller->topBar()->title(), "EXPORT OPTIONS");
  EXPECT_FALSE(controller->topBar()->showArrowNearTitle());
  EXPECT_TRUE(window->isTitleBarVisible());

  QWidget* content = window->contentView();
  auto* s = selector();
  // The default list shows every default preset (up to six) without scrolling.
  const int defaults = table(1)->model()->rowCount();
  const int listHeight = std::max(86, 20 + 4 + std::min(defaults, 6) * 20 + 2);
  EXPECT_EQ(rectIn(s->defaultPresetsViews().containerView, content), QRect(18, 54, 200, listHeight));
  EXPECT_EQ(rectIn(s->customPresetsViews().containerView, content).top(), 54 + listHeight + 20);
  EXPECT_GE(table(1)->viewport()->height(), defaults * 20);
  EXPECT_EQ(rectIn(s->okButton(), content), QRect(750 - 16 - 116, 526 - 16 - 28, 116, 28));
  QWidget* pane = s->settingsVC()->view();
  EXPECT_EQ(rectIn(pane, content), QRect(18 + 200 + 16, 54, 750 - 16 - 234, 526 - 16 - 28 - 16 - 54));
  const auto& strips = s->settingsVC()->strips();
  EXPECT_EQ(rectIn(strips[0], pane), QRect(0, 74, pane->width(), 2));
  EXPECT_EQ(rectIn(strips[1], pane).top(), 204);
  EXPECT_EQ(rectIn(strips[2], pane).top(), 332);
  const auto& titles = s->settingsVC()->titleLabels();
  EXPECT_EQ(rectIn(titles[0], pane), QRect(16, 16, 160, 12));
  EXPECT_EQ(rectIn(titles[1], pane).top(), 74 + 2 + 24);
  EXPECT_EQ(rectIn(titles[3], pane).bottom() + 1, 332 - 24);
  EXPECT_EQ(rectIn(titles[4], pane).top(), 332 + 2 + 24);
  EXPECT_EQ(rectIn(s->settingsVC()->savingVC()->view(), pane), QRect(160, 0, pane->width() - 160, 74));
  EXPECT_EQ(rectIn(s->settingsVC()->namingVC()->view(), pane), QRect(176, 92, pane->width() - 176, 204 - 16 - 92));
  EXPECT_EQ(rectIn(s->settingsVC()->resizeVC()->view(), pane).bottom() + 1, pane->height());
  // Opening with nothing remembered shows the first default preset as stored.
  EXPECT_EQ(table(1)->selectedRow(), 0);
  EXPECT_EQ(table(2)->selectedRow(), -1);
  EXPECT_FALSE(s->saveButton()->isVisible());
}

TEST_F(QVBatchSettingsWindowTest, WhileOpenOtherWindowsAndTheMenusAreLockedAndAfterwardsBack) {
  clickMainButton();
  ASSERT_EQ(mainClicks, 1) << "the main window takes clicks before";
  open();
  EXPECT_FALSE(main->userInteractionEnabled());
  EXPECT_FALSE(QVMenuController::isImportExportMenuEnabled());
  EXPECT_FALSE(importItemEnabled());
  clickMainButton();
  EXPECT_EQ(mainClicks, 1) << "clicks into the main window are ignored";
  // The controller still lives; closing the window unlocks at once.
  controller->solvaneWindow()->close();
  pump();
  EXPECT_TRUE(main->userInteractionEnabled());
  EXPECT_TRUE(QVMenuController::isImportExportMenuEnabled());
  EXPECT_TRUE(importItemEnabled());
  clickMainButton();
  EXPECT_EQ(mainClicks, 2);
  EXPECT_EQ(answers, (std::vector<std::shared_ptr<QVBatchPreset>>{nullptr}));

  // A controller that goes away without its window closing unlocks as well.
  open();
  EXPECT_FALSE(main->userInteractionEnabled());
  controller.reset();
  pump();
  EXPECT_TRUE(main->userInteractionEnabled());
  EXPECT_TRUE(QVMenuController::isImportExportMenuEnabled());
}

TEST_F(QVBatchSettingsWindowTest, ContinueAnswersOnceWithACopyThenTheCloseSaysNothing) {
  open();
  auto shown = selector()->model().settings().preset();
  ASSERT_NE(shown, nullptr);
  // The caller drops the window in its completion, as the export panel does.
  std::shared_ptr<QVBatchPreset> result;
  int calls = 0;
  controller->showWithCompletion([&](std::shared_ptr<QVBatchPreset> preset) {
    ++calls;
    result = preset;
    controller.reset();
  });
  QPointer<QWidget> window = selector()->view()->window();
  selector()->okClicked();
  pump();
  EXPECT_EQ(calls, 1);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->type(), 2);
  EXPECT_NE(result->uuid(), shown->uuid());
  EXPECT_EQ(result->name(), "Unknown");
  EXPECT_EQ(controller, nullptr);
  EXPECT_TRUE(!window || !window->isVisible());
  EXPECT_TRUE(main->userInteractionEnabled());
}

TEST_F(QVBatchSettingsWindowTest, AnEditThenACloseAnswersNilOnceAndKeepsTheEditAsInterim) {
  qv::UserDefaults::standardUserDefaults().setObject(qv::Value("U1"), kQVLastPresetSelectedUUIDKey);
  open();
  EXPECT_EQ(table(2)->selectedRow(), 0);
  auto* resize = selector()->settingsVC()->resizeVC();
  auto section = resize->presetSetting();
  section->setType(1);
  section->setValue("900");
  resize->notifyPresetSettingDidChange();
  EXPECT_TRUE(selector()->model().editingMode());
  EXPECT_TRUE(selector()->saveButton()->isVisible());
  EXPECT_EQ(table(2)->selectedRow(), -1);
  controller->solvaneWindow()->close();
  pump();
  controller->solvaneWindow()->close();
  controller->finishWithResult(nullptr);
  EXPECT_EQ(answers, (std::vector<std::shared_ptr<QVBatchPreset>>{nullptr}));
  auto interimPreset = QVBatchPresetManager::loadBatchPresetAtPath(interim.string());
  ASSERT_NE(interimPreset, nullptr);
  EXPECT_EQ(interimPreset->resizing()->value(), "900");
  EXPECT_FALSE(qv::UserDefaults::standardUserDefaults().stringForKey(kQVLastPresetSelectedUUIDKey).has_value());

  // The next opening shows the edit again, in editing mode.
  answers.clear();
  open();
  EXPECT_TRUE(selector()->model().editingMode());
  EXPECT_EQ(selector()->settingsVC()->resizeVC()->presetSetting()->value(), "900");
}

TEST_F(QVBatchSettingsWindowTest, NothingToShowAnswersNil) {
  std::filesystem::remove_all(shipped);
  std::filesystem::remove(user / "Mine.plist");
  open();
  selector()->okClicked();
  pump();
  EXPECT_EQ(answers, (std::vector<std::shared_ptr<QVBatchPreset>>{nullptr}));
}

TEST_F(QVBatchSettingsWindowTest, OneSelectionAcrossTheListsThatEmptySpaceNeverClears) {
  open();
  ASSERT_EQ(table(1)->selectedRow(), 0);
  clickRow(table(2), 0);
  EXPECT_EQ(table(2)->selectedRow(), 0);
  EXPECT_EQ(table(1)->selectedRow(), -1) << "selecting in one list clears the other";
  EXPECT_EQ(selector()->model().settings().preset()->uuid(), "U1");
  // A click on empty space below the rows, or a control-click on the selected row, keeps it.
  QTest::mouseClick(table(2)->viewport(), Qt::LeftButton, {}, QPoint(50, table(2)->viewport()->height() - 5));
  pump();
  EXPECT_EQ(table(2)->selectedRow(), 0);
  clickRow(table(2), 0, Qt::ControlModifier);
  EXPECT_EQ(table(2)->selectedRow(), 0);
  // Keys move within the list.
  clickRow(table(1), 0);
  QTest::keyClick(table(1), Qt::Key_Down);
  pump();
  EXPECT_EQ(table(1)->selectedRow(), 1);
  EXPECT_EQ(selector()->model().settings().preset()->uuid(), "D2");
  EXPECT_EQ(selector()->model().store()->selectedPresetUUID(), "D2");
}

TEST_F(QVBatchSettingsWindowTest, SaveNamesTheRowInPlaceRefusingBadNames) {
  open();
  selector()->saveClicked();
  pump();
  QLineEdit* editor = selector()->nameEditor();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->text(), "Unknown");
  EXPECT_EQ(table(2)->model()->rowCount(), 2);
  EXPECT_EQ(table(2)->selectedRow(), 1);
  for (const char* typed : {"", "a/b", ".x", "Mine"}) {
    SCOPED_TRACE(typed);
    editor->setText(typed);
    QTest::keyClick(editor, Qt::Key_Return);
    pump();
    EXPECT_EQ(selector()->nameEditor(), editor) << "the editor stays open";
    EXPECT_FALSE(selector()->namingMessage().isEmpty());
  }
  EXPECT_EQ(userFiles(), (std::vector<std::string>{"Mine.plist"}));
  editor->setText(" Alps ");
  QTest::keyClick(editor, Qt::Key_Tab);
  pump();
  EXPECT_EQ(selector()->nameEditor(), nullptr);
  EXPECT_TRUE(selector()->namingMessage().isEmpty());
  EXPECT_EQ(userFiles(), (std::vector<std::string>{"Alps.plist", "Mine.plist"}));
  EXPECT_EQ(table(2)->model()->index(0, 0).data().toString(), "Alps");
  EXPECT_EQ(table(2)->selectedRow(), 0);
}

TEST_F(QVBatchSettingsWindowTest, ClosingTheWindowOrLeavingTheEditorWhileNamingSavesTheName) {
  open();
  // The focus moves elsewhere: the name is taken.
  selector()->saveClicked();
  pump();
  ASSERT_NE(selector()->nameEditor(), nullptr);
  selector()->nameEditor()->setText("Dusk");
  selector()->nameEditor()->setFocus();
  pump();
  selector()->nameEditor()->clearFocus();
  pump();
  EXPECT_EQ(selector()->nameEditor(), nullptr);
  EXPECT_EQ(userFiles(), (std::vector<std::string>{"Dusk.plist", "Mine.plist"}));

  selector()->saveClicked();
  pump();
  ASSERT_NE(selector()->nameEditor(), nullptr);
  selector()->nameEditor()->setText("Evening");
  controller->solvaneWindow()->close();
  pump();
  EXPECT_EQ(userFiles(), (std::vector<std::string>{"Dusk.plist", "Evening.plist", "Mine.plist"}));
  EXPECT_EQ(answers.size(), 1u);
}

TEST_F(QVBatchSettingsWindowTest, DeleteAndBackspaceAskAndDeleteOnlyOnOK) {
  open();
  // A default preset: nothing asked.
  QTest::keyClick(table(1), Qt::Key_Delete);
  pump();
  EXPECT_TRUE(alerts->deleteAsked.empty());
  clickRow(table(2), 0);
  alerts->deleteAnswer = false;
  QTest::keyClick(table(2), Qt::Key_Delete);
  pump();
  EXPECT_EQ(alerts->deleteAsked.size(), 1u);
  EXPECT_EQ(table(2)->model()->rowCount(), 1);
  alerts->deleteAnswer = true;
  QTest::keyClick(table(2), Qt::Key_Backspace);
  pump();
  EXPECT_EQ(alerts->deleteAsked.size(), 2u);
  EXPECT_EQ(table(2)->model()->rowCount(), 0);
  EXPECT_TRUE(userFiles().empty());
}

}  // namespace
