// The export route through the export options window, with the real export managers, the
// application's export dialog (scripted answers) and the shipped presets: Advanced settings in
// the save dialog opens the window, the shipped 16-bit TIFF preset is picked, a folder is chosen
// through the saving editor's chooser, Continue exports through the preset-driven manager.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "Ombrel/Classes/Application/AppDelegate/QVAppDelegate.h"
#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/ExportOptions/QVBatchSettingsWindowController.h"
#include "Ombrel/Classes/Business/Batch/QVBatchNamingUIDatasource.h"
#include "Ombrel/Classes/Business/ExportManager/QVExportManager.h"
#include "Ombrel/Classes/Business/ExportManager/QVExportManagerBusiness.h"
#include "QVPlatform/UserDefaults.h"
#include "tests/Ombrel/Classes/Business/ExportManager/ExportTestSupport.h"

namespace {

// Runs the main executor and Qt's events until the condition holds or the time is up.
bool pumpMainUntil(const std::function<bool()>& condition, double seconds = 60) {
  return solvane::test::pumpMainUntil(
      [&] {
        QApplication::processEvents();
        // Delays (the strength blend's coalescing) fall due on a manual clock too.
        if (qv::MainExecutor::shared().usesManualClock()) qv::MainExecutor::shared().advance(0.01);
        return condition();
      },
      seconds);
}

// What the export panel does on this road: the interactive manager's progress and option
// delegate; Advanced settings opens the export options window, whose preset goes to the
// preset-driven manager with the paths kept from the save dialog.
class PanelRoute : public QVExportOptionsViewDelegate, public QVExportProgressUpdatable {
 public:
  std::vector<std::string> paths;
  std::shared_ptr<QVBatchSettingsWindowController> window;
  std::shared_ptr<QVExportManagerBusiness> business = QVExportManagerBusiness::make();
  std::vector<std::string> calls;
  int windowsOpened = 0;

  void advancedSettingsOptionDidSelect() override {
    if (window) return;
    ++windowsOpened;
    window = QVBatchSettingsWindowController::make();
    window->showWithCompletion([this](std::shared_ptr<QVBatchPreset> preset) {
      window = nullptr;
      if (!preset) return;
      qv::MainExecutor::shared().async([this, preset] {
        business->setPreset(preset);
        business->prepareExportPaths(paths);
        business->exportWithType(0);
      });
    });
  }
  void onExportStarted(QVExportManagable&) override { calls.push_back("started"); }
  void onExportFinished(QVExportManagable&) override { calls.push_back("finished"); }
  void onExportCanceled(QVExportManagable&) override { calls.push_back("canceled"); }
  void exportOnDiskDialogDidCancel() override { calls.push_back("dialog canceled"); }
  void onExportFailed(QVExportManagable&, const std::string& path, const qv::Error&) override {
    calls.push_back("failed " + path);
  }
};

TEST(ExportOptionsRoute, AdvancedSettingsThenTheShippedTiffPresetWritesA16BitTiffNamedByItsPattern) {
  const auto dir = solvane::test::makeTempDir("ExportOptionsRoute");
  const auto source = dir / "sources" / "rocket.png";
  std::filesystem::create_directories(source.parent_path());
  std::filesystem::copy_file(solvane::test::dataDir() / "enhance" / "rocket.png", source);
  const auto output = dir / "chosen";
  std::filesystem::create_directories(output);
  qv::UserDefaults::standardUserDefaults().removeObjectForKey(kQVLastPresetSelectedUUIDKey);

  auto delegate = QVAppDelegate::make();
  // The application's export dialog with its options, on the main window.
  delegate->solvaneWindowController()->showWindow();
  auto panels = std::make_shared<app_test::ScriptedPanelPresenter>();
  panels->holdOpen = true;
  QVSolvanePanels::setPresenter(panels);

  auto route = std::make_shared<PanelRoute>();
  route->paths = {source.string()};
  route->business->setProgressUpdater(route);
  auto interactive = QVExportManager::make();
  interactive->setProgressUpdater(route);
  interactive->setExportOptionDelegate(route);
  ASSERT_TRUE(interactive->prepareExportPaths(route->paths));
  interactive->exportWithType(0);
  qv::MainExecutor::shared().runUntilIdle();
  ASSERT_EQ(panels->shown.size(), 1u);
  ASSERT_NE(panels->shown.back().accessoryView, nullptr);

  // "Advanced settings..." in the dialog's options.
  QVRoundedSpringButton* advanced = nullptr;
  for (auto* child : panels->shown.back().accessoryView->findChildren<QWidget*>())
    if (auto* button = dynamic_cast<QVRoundedSpringButton*>(child); button && button->title() == "ADVANCED SETTINGS...")
      advanced = button;
  ASSERT_NE(advanced, nullptr);
  advanced->sendActionToTarget();
  pumpMainUntil([&] { return route->windowsOpened == 1; }, 10);
  panels->finish(QVPanelResult{});  // the dialog is cancelled as the window opens
  pumpMainUntil([] { return true; });
  ASSERT_NE(route->window, nullptr);
  EXPECT_EQ(route->calls, (std::vector<std::string>{"dialog canceled"}));

  // Pick the shipped 16-bit TIFF preset.
  auto* selector = route->window->selectorViewController();
  auto* defaults = selector->tableForType(kQVBatchPresetTypeDefault);
  int tiffRow = -1;
  for (int row = 0; row < defaults->model()->rowCount(); ++row)
    if (defaults->model()->index(row, 0).data().toString() == "TIFF 16-bit LZW") tiffRow = row;
  ASSERT_GE(tiffRow, 0);
  QTest::mouseClick(defaults->viewport(), Qt::LeftButton, {},
                    defaults->visualRect(defaults->model()->index(tiffRow, 0)).center());
  pumpMainUntil([] { return true; });
  auto shown = selector->model().settings().preset();
  ASSERT_NE(shown, nullptr);
  ASSERT_EQ(shown->name(), "TIFF 16-bit LZW");

  // Choose the folder through the saving editor's chooser.
  panels->holdOpen = false;
  QVPanelResult chosen;
  chosen.response = QVModalResponseOK;
  chosen.paths = {output.string()};
  chosen.url = output.string();
  panels->script = {chosen};
  selector->settingsVC()->savingVC()->browseButton()->sendActionToTarget();
  pumpMainUntil([&] { return panels->shown.size() == 2; }, 10);
  EXPECT_TRUE(panels->shown.back().canChooseDirectories);
  EXPECT_EQ(selector->model().settings().existingAmendedPreset()->saving()->path(), output.string());

  // Continue: the preset-driven manager writes the photo.
  selector->okButton()->sendActionToTarget();
  const bool ended = pumpMainUntil(
      [&] {
        const auto& last = route->calls.back();
        return last == "finished" || last == "canceled";
      },
      120);
  ASSERT_TRUE(ended) << ::testing::PrintToString(route->calls) << " window " << (route->window != nullptr);
  EXPECT_EQ(route->calls.back(), "finished");
  EXPECT_EQ(route->window, nullptr);

  const auto expected = QVBatchNamingUIDatasource().targetFileName(source.string(), *shown->naming(), 0, "public.tiff");
  ASSERT_TRUE(expected.has_value());
  EXPECT_EQ(solvane::test::filesIn(output), (std::vector<std::string>{*expected}));
  const auto written = solvane::test::readBack(output / *expected);
  EXPECT_EQ(written.type, "public.tiff");
  EXPECT_EQ(written.bits, 16u);

  QVSolvanePanels::setPresenter(nullptr);
  EXPECT_TRUE(QVApp::cancelImageOperationsAndWaitUntilDone(10));
  delegate.reset();
  qv::MainExecutor::shared().discardPending();
}

}  // namespace
