// The export panel with the application's own pieces: the facade (engine, presets, caches), the
// interactive manager, the image writer and the export dialog of the panels, answered by a script.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "ExportPanelTestSupport.h"
#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/Export/QVExportViewController.h"
#include "Ombrel/Classes/Application/SoundManager/QVSoundManager.h"
#include "Ombrel/Classes/Business/ExportManager/QVSharingServices.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Business/SourceManager/QVSourceManager.h"
#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"
#include "common/TestSupport.h"
#include "tests/Ombrel/Classes/Business/AppTestSupport.h"
#include "tests/Ombrel/Classes/Common/Reachability/FakeReachabilityProbe.h"

namespace fs = std::filesystem;
using namespace export_test;

namespace {

// The options the dialog's view would hand back: a JPEG at 8 bits.
class JPEGOptions : public QVExportOptionsAccessory {
 public:
  QWidget* view() override { return nullptr; }
  std::string type() const override { return "public.jpeg"; }
  int64_t depth() const override { return 8; }
  qv::Dictionary imageProperties() const override { return {}; }
  void setOptionsDelegate(QVExportOptionsViewDelegate* d) override { delegate = d; }
  QVExportOptionsViewDelegate* delegate = nullptr;
};

// Pumps both manual clocks until the condition holds, letting background work run meanwhile.
bool pumpUntil(const std::function<bool()>& condition, double seconds = 120) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    pump(1.0 / 60);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// The panel in a window on screen, with a recording delegate and the paths as its data source, its
// begin row shown and the log emptied.
struct PanelOnScreen {
  explicit PanelOnScreen(std::vector<std::string> sources) {
    delegate.log = &log;
    paths.paths = std::move(sources);
    window.resize(1280, 800);
    panel.setDelegate(&delegate);
    panel.setDataSource(&paths);
    QVEmbedInContainer(panel.view(), &window);
    window.show();
    pump(1.2);
    log.clear();
  }
  std::vector<std::string> log;
  RecordingDelegate delegate;
  PathsSource paths;
  QWidget window;
  QVExportViewController panel;
};

TEST(ExportPanelIntegration, ExportsARealPhotoThroughTheSaveDialogAndRevealsIt) {
  solvane::test::FakeProbeInstaller offline(std::make_shared<solvane::test::FakeReachabilityProbe>(0));
  solvane::test::startFacadeOnce();
  const fs::path dir = solvane::test::makeTempDir("ExportPanelIntegration");
  const fs::path source = dir / "chelsea.png";
  fs::copy_file(solvane::test::dataDir() / "enhance" / "chelsea.png", source, fs::copy_options::overwrite_existing);
  const fs::path target = dir / "out" / "chelsea enhanced.jpg";
  fs::create_directories(target.parent_path());

  auto panels = std::make_shared<app_test::ScriptedPanelPresenter>();
  QVPanelResult answer;
  answer.response = QVModalResponseOK;
  answer.url = target.string();
  answer.directoryURL = target.parent_path().string();
  panels->script = {answer};
  QVSolvanePanels::setPresenter(panels);
  QVSolvanePanels::setAccessoryMaker([](bool, int64_t, int64_t) { return std::make_shared<JPEGOptions>(); });
  QVSharingServices::setDialogPresenter(QVSolvanePanels::exportDialogPresenter());
  auto revealer = std::make_shared<RecordingRevealer>();
  QVFileRevealer::setShared(revealer);
  QVSoundManager::setPlayer([](QVSoundCue) {});

  {
    PanelOnScreen onScreen({source.string()});
    auto& panel = onScreen.panel;
    const auto& log = onScreen.log;
    panel.exportPhotosToDisk(onScreen.paths.paths);
    ASSERT_EQ(panels->shown.size(), 1u);
    EXPECT_EQ(panels->shown[0].kind, QVPanelSpec::Kind::Save);
    EXPECT_EQ(panels->shown[0].nameFieldStringValue, "chelsea");
    ASSERT_TRUE(pumpUntil([&] { return panel.currentState() == QVExportViewStateEnd; }));
    std::vector<std::string> states;
    for (const auto& entry : log)
      if (entry.rfind("will ", 0) == 0) states.push_back(entry);
    EXPECT_EQ(states, (std::vector<std::string>{"will 1", "will 2"})) << "0 -> 1 -> 2";

    // One JPEG, where the dialog said.
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(target.parent_path())) written.push_back(entry.path().string());
    EXPECT_EQ(written, std::vector<std::string>{target.string()});
    std::ifstream in(target, std::ios::binary);
    unsigned char magic[3] = {};
    in.read(reinterpret_cast<char*>(magic), 3);
    EXPECT_EQ(magic[0], 0xFF);
    EXPECT_EQ(magic[1], 0xD8);
    EXPECT_EQ(magic[2], 0xFF);

    EXPECT_FALSE(panel.exportEndView()->revealButton()->isHidden());
    panel.exportEndViewDidClickReveal(panel.exportEndView());
    EXPECT_EQ(revealer->revealed, std::vector<std::vector<std::string>>{{target.string()}});
  }
  QVSolvanePanels::setPresenter(nullptr);
  QVSolvanePanels::setAccessoryMaker(nullptr);
  QVSharingServices::setDialogPresenter(nullptr);
  QVFileRevealer::setShared(nullptr);
  QVSoundManager::setPlayer(nullptr);
  QVExportManagerFactory::setMaker(nullptr);
}

// The options view's advanced settings reach the panel through the interactive manager and the
// application's dialog: the export-options window opens; closed without a preset, the focus comes
// back.
TEST(ExportPanelIntegration, TheDialogsAdvancedSettingsOpenTheExportOptionsWindow) {
  auto panels = std::make_shared<app_test::ScriptedPanelPresenter>();
  panels->holdOpen = true;
  QVSolvanePanels::setPresenter(panels);
  std::shared_ptr<JPEGOptions> options;
  QVSolvanePanels::setAccessoryMaker([&](bool, int64_t, int64_t) { return options = std::make_shared<JPEGOptions>(); });
  QVSharingServices::setDialogPresenter(QVSolvanePanels::exportDialogPresenter());
  std::vector<std::shared_ptr<HeldSettingsWindow>> windows;
  QVBatchSettingsWindow::setMaker([&] {
    windows.push_back(std::make_shared<HeldSettingsWindow>());
    return windows.back();
  });
  std::vector<std::string> log;
  RecordingDelegate delegate;
  delegate.log = &log;
  {
    QVExportViewController panel;
    panel.setDelegate(&delegate);
    panel.exportPhotosToDisk({"/photos/a.jpg"});
    ASSERT_TRUE(options);
    ASSERT_TRUE(options->delegate);
    options->delegate->advancedSettingsOptionDidSelect();
    ASSERT_EQ(windows.size(), 1u);
    windows[0]->close(nullptr);
    QVPanelResult cancelled;
    panels->finish(cancelled);
    pump(0.1);
    EXPECT_EQ(log, (std::vector<std::string>{"focus 1", "focus 1", "focus 0", "focus 0"}));
    EXPECT_EQ(panel.currentState(), QVExportViewStateBegin);
  }
  QVSolvanePanels::setPresenter(nullptr);
  QVSolvanePanels::setAccessoryMaker(nullptr);
  QVSharingServices::setDialogPresenter(nullptr);
  QVBatchSettingsWindow::setMaker(nullptr);
}

// The name question and the failure alert, recorded; the question is answered "Overwrite".
class RecordingExportAlerts : public solvane::test::RecordingAlerts {
 public:
  std::vector<std::string> asked;
  std::vector<std::pair<std::vector<QVExportFailure>, uint64_t>> failures;
  int64_t showAlertRenameExportImage(const std::string& fileName, bool*) override {
    asked.push_back(fileName);
    return QVAlertResultOverwrite;
  }
  void showAlertExportFailed(const std::vector<QVExportFailure>& failed, uint64_t exported) override {
    failures.emplace_back(failed, exported);
  }
};

// Three photos exported from the panel into a folder chosen in the dialog (a subfolder of the one
// it showed). One of them cannot be written (a read-only file in its place): the alert names it
// with its reason, the other two are written into the chosen folder, the end view says "2 OF 3
// EXPORTED", and the work does not count as saved (closing offers "Save first"). When none can be
// written (a read-only folder), the panel never shows its end view and the alert names all three.
TEST(ExportPanelIntegration, PhotosThatCannotBeWrittenAreNamedAndNeverReportedAsExported) {
  solvane::test::FakeProbeInstaller offline(std::make_shared<solvane::test::FakeReachabilityProbe>(0));
  solvane::test::startFacadeOnce();
  const fs::path dir = solvane::test::makeTempDir("ExportPanelFailures");
  std::vector<std::string> sources;
  for (const char* name : {"astronaut.png", "coffee.png", "chelsea.png"}) {
    fs::copy_file(solvane::test::dataDir() / "enhance" / name, dir / name, fs::copy_options::overwrite_existing);
    sources.push_back((dir / name).string());
  }
  auto panels = std::make_shared<app_test::ScriptedPanelPresenter>();
  QVSolvanePanels::setPresenter(panels);
  QVSolvanePanels::setAccessoryMaker([](bool, int64_t, int64_t) { return std::make_shared<JPEGOptions>(); });
  QVSharingServices::setDialogPresenter(QVSolvanePanels::exportDialogPresenter());
  auto alerts = std::make_shared<RecordingExportAlerts>();
  QVSolvaneAlerts::setPresenter(alerts);
  QVSoundManager::setPlayer([](QVSoundCue) {});

  const struct {
    const char* what;
    bool readOnlyFolder;
    std::vector<std::string> failed;
    uint64_t state;  // the panel's state once the export ended
    const char* title;
  } cases[] = {
      {"one read-only file", false, {"coffee.png"}, QVExportViewStateEnd, "2 OF 3 EXPORTED"},
      {"a read-only folder", true, {"astronaut.png", "coffee.png", "chelsea.png"}, QVExportViewStateBegin, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // The dialog showed `shown`; the user picked its subfolder `chosen` there and pressed Save.
    const fs::path shown = dir / c.what, chosen = shown / "chosen";
    fs::create_directories(chosen);
    { std::ofstream(chosen / "coffee.jpeg") << "protected"; }
    fs::permissions(chosen / "coffee.jpeg", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    if (c.readOnlyFolder) fs::permissions(chosen, fs::perms::owner_read | fs::perms::owner_exec);
    QVPanelResult answer;
    answer.response = QVModalResponseOK;
    answer.url = chosen.string();
    answer.paths = {chosen.string()};
    answer.directoryURL = shown.string();
    panels->script = {answer};
    alerts->asked.clear();
    alerts->failures.clear();
    QVApp::sourceManager()->setImagesPaths(sources, false);
    QVApp::setExported(true);  // as after an earlier export that wrote everything

    PanelOnScreen onScreen(sources);
    auto& panel = onScreen.panel;
    const auto& log = onScreen.log;
    panel.exportPhotosToDisk(sources);
    ASSERT_EQ(panels->shown.size(), 1u);
    panels->shown.clear();
    ASSERT_TRUE(pumpUntil([&] { return !alerts->failures.empty(); }))
        << "state " << panel.currentState() << ", asked " << alerts->asked.size() << ", log "
        << ::testing::PrintToString(log) << ", failures " << panel.failures().size();
    pump(0.5);
    EXPECT_EQ(panel.currentState(), c.state);
    EXPECT_EQ(std::count(log.begin(), log.end(), "will 2"), c.state == QVExportViewStateEnd ? 1 : 0)
        << "the end view shows only when something was written";
    if (c.state == QVExportViewStateEnd) EXPECT_EQ(panel.exportEndView()->titleLabel()->title().value_or(""), c.title);

    EXPECT_EQ(alerts->asked, std::vector<std::string>{"coffee.jpeg"});
    ASSERT_EQ(alerts->failures.size(), 1u) << "one alert names every photo";
    const auto& [failed, exported] = alerts->failures[0];
    std::vector<std::string> names;
    for (const auto& failure : failed) {
      names.push_back(fs::path(failure.sourcePath).filename().string());
      EXPECT_NE(failure.reason.find("read-only"), std::string::npos) << failure.reason;
    }
    EXPECT_EQ(names, c.failed);
    EXPECT_EQ(exported, sources.size() - c.failed.size());
    EXPECT_EQ(panel.failures().size(), c.failed.size());

    // What was written went into the chosen folder, none into the one the dialog showed.
    size_t written = 0;
    for (const char* name : {"astronaut.jpeg", "chelsea.jpeg"}) written += fs::exists(chosen / name);
    EXPECT_EQ(written, exported);
    for (const auto& entry : fs::directory_iterator(shown)) EXPECT_EQ(entry.path(), chosen) << entry.path();
    std::ifstream in(chosen / "coffee.jpeg");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "protected");
    EXPECT_FALSE(QVApp::exported()) << "closing must still offer to save first";
    fs::permissions(chosen, fs::perms::owner_all);
  }
  QVApp::sourceManager()->setImagesPaths({}, false);
  QVSolvanePanels::setPresenter(nullptr);
  QVSolvanePanels::setAccessoryMaker(nullptr);
  QVSharingServices::setDialogPresenter(nullptr);
  QVSolvaneAlerts::setPresenter(nullptr);
  QVSoundManager::setPlayer(nullptr);
  QVExportManagerFactory::setMaker(nullptr);
}

}  // namespace
