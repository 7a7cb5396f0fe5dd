#include "Ombrel/Classes/Application/Export/QVExportViewController.h"

#include <gtest/gtest.h>

#include "ExportPanelTestSupport.h"
#include "Ombrel/Classes/Application/Export/QVExportDatasource.h"
#include "Ombrel/Classes/Application/MainWindow/QVDragViewAssistant.h"
#include "Ombrel/Classes/Application/SoundManager/QVSoundManager.h"
#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"
#include "QVAppKit/NSViewController+SwitchViewAnimation.h"

using namespace export_test;

namespace {

class ExportPanel : public ::testing::Test {
 public:
  void SetUp() override {
    QVAnimationDriver::shared().cancelAll();
    QVExportDatasource::setTargetOfferedQuery([](uint64_t t) { return t == 0 || t == 2 || t == 5; });
    QVExportManagerFactory::setMaker([this](uint64_t platform) -> std::shared_ptr<QVExportManagable> {
      if (platform == kQVExportPlatformPreset) return business;
      made.push_back(std::make_shared<FakeManager>());
      return made.back();
    });
    QVFileRevealer::setShared(revealer);
    QVSoundManager::setPlayer([this](QVSoundCue cue) {
      if (cue == QVSoundCue::Complete) log.push_back("sound");
    });
    QVBatchSettingsWindow::setMaker([this] {
      windows.push_back(std::make_shared<HeldSettingsWindow>());
      return windows.back();
    });
    delegate.log = &log;
    source.paths = {"/photos/a.jpg", "/photos/b.jpg"};
    window = std::make_unique<QWidget>();
    window->resize(1280, 800);
    panel = std::make_unique<QVExportViewController>();
    panel->setDelegate(&delegate);
    panel->setDataSource(&source);
    QVEmbedInContainer(panel->view(), window.get());
    window->show();
    token = qv::NotificationCenter::defaultCenter().addObserver(
        kQVExportStateChangedNotificationName, nullptr, [this](const qv::Notification& n) {
          log.push_back("post " + std::to_string(QVDragViewAssistant::exportStateFromNotification(n)));
        });
    pump(1.2);
    log.clear();
  }
  void TearDown() override {
    token.reset();
    panel.reset();
    window.reset();
    QVExportManagerFactory::setMaker(nullptr);
    QVFileRevealer::setShared(nullptr);
    QVSoundManager::setPlayer(nullptr);
    QVBatchSettingsWindow::setMaker(nullptr);
    QVExportDatasource::setTargetOfferedQuery(nullptr);
    QVAnimationDriver::shared().cancelAll();
    pump(0.1);
  }
  FakeManager& manager() { return *made.back(); }
  bool onScreen(QVView* view) { return view->superview() == panel->view() && view->alpha() == 1.0; }
  // Starts an export to e-mail of the source's paths and lets the progress view fade in.
  void startExport() {
    panel->exportAllImagesWithExportType(2);
    manager().start();
    pump(1.2);
  }

  std::vector<std::string> log;
  RecordingDelegate delegate;
  PathsSource source;
  std::vector<std::shared_ptr<FakeManager>> made;
  std::shared_ptr<FakeBusinessManager> business = std::make_shared<FakeBusinessManager>();
  std::shared_ptr<RecordingRevealer> revealer = std::make_shared<RecordingRevealer>();
  std::vector<std::shared_ptr<HeldSettingsWindow>> windows;
  std::unique_ptr<QWidget> window;
  std::unique_ptr<QVExportViewController> panel;
  qv::ObserverToken token;
};

TEST_F(ExportPanel, StartFinishAndDoneInOrder) {
  EXPECT_EQ(panel->currentState(), QVExportViewStateBegin);
  EXPECT_TRUE(onScreen(panel->exportBeginView()));
  panel->exportAllImagesWithExportType(2);
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(manager().calls, (std::vector<std::string>{"prepare /photos/a.jpg,/photos/b.jpg", "export 2"}));
  EXPECT_EQ(panel->exportInProgressView()->titleLabel()->title(), "EXPORTING TO EMAIL");

  manager().start();
  EXPECT_EQ(log, (std::vector<std::string>{"will 1", "post 1", "start"})) << "the post does not wait for the fade";
  pump(1.2);
  EXPECT_EQ(log.back(), "did 1");
  EXPECT_TRUE(onScreen(panel->exportInProgressView()));
  EXPECT_EQ(panel->exportBeginView()->superview(), nullptr) << "hidden views leave when the fade ends";
  EXPECT_TRUE(panel->exportInProgressView()->isTicking());

  manager().step(1);
  EXPECT_EQ(panel->exportInProgressView()->progressView()->currentPart(), 1u);
  EXPECT_EQ(panel->exportInProgressView()->progressView()->partsCount(), 2u);
  log.clear();
  manager().finish();
  EXPECT_EQ(panel->exportInProgressView()->progressView()->currentPart(), 2u) << "the finish fills the bar";
  EXPECT_TRUE(log.empty()) << "the end view waits for the bar";
  pump(3);
  EXPECT_EQ(log, (std::vector<std::string>{"sound", "will 2", "post 2", "did 2"}));
  EXPECT_TRUE(onScreen(panel->exportEndView()));
  EXPECT_FALSE(panel->exportInProgressView()->isTicking());
  EXPECT_EQ(panel->animatableViews().size(), 2u);

  log.clear();
  auto first = made.back();
  panel->exportActionedBasicViewDidClickActionButton(panel->exportEndView());
  pump(1.2);
  EXPECT_EQ(log, (std::vector<std::string>{"will 0", "post 0", "focus 0", "finish", "did 0"}));
  EXPECT_TRUE(onScreen(panel->exportBeginView()));
  EXPECT_TRUE(panel->animatableViews().empty());
  EXPECT_NE(panel->exportManager(), first) << "the next export gets a new interactive manager";
}

TEST_F(ExportPanel, AStateSetBeforeTheViewLoadsIsTheOneShown) {
  QVExportViewController fresh;
  fresh.setDelegate(&delegate);
  fresh.setDataSource(&source);
  fresh.updateWithExportState(QVExportViewStateInProgress);
  EXPECT_EQ(fresh.currentState(), QVExportViewStateInProgress);
  EXPECT_EQ(fresh.exportInProgressView()->superview(), fresh.view());
  EXPECT_EQ(fresh.exportBeginView()->superview(), nullptr);
  pump(1.2);
  EXPECT_EQ(fresh.currentState(), QVExportViewStateInProgress) << "the load did not put the panel back to 0";
  EXPECT_EQ(log, (std::vector<std::string>{"will 1", "post 1", "did 1"}));
}

TEST_F(ExportPanel, UserCancelAndManagerCancelReturnToTheBeginRow) {
  struct Case {
    const char* name;
    std::function<void(ExportPanel&)> cancel;
  } cases[] = {
      {"user",
       [](ExportPanel& t) { t.panel->exportActionedBasicViewDidClickActionButton(t.panel->exportInProgressView()); }},
      {"manager", [](ExportPanel& t) { t.manager().cancel(); }},
  };
  for (const Case& c : cases) {
    startExport();
    log.clear();
    auto running = made.back();
    running->calls.clear();
    c.cancel(*this);
    pump(1.2);
    EXPECT_EQ(running->calls, std::vector<std::string>{"cancel"}) << c.name << ": the running manager is cancelled";
    EXPECT_EQ(log, (std::vector<std::string>{"will 0", "post 0", "focus 0", "cancel", "did 0"})) << c.name;
    EXPECT_EQ(panel->currentState(), QVExportViewStateBegin) << c.name;
    EXPECT_TRUE(onScreen(panel->exportBeginView())) << c.name;
    EXPECT_FALSE(panel->exportInProgressView()->isTicking()) << c.name;
    EXPECT_EQ(panel->exportManager(), running) << c.name << ": a cancel keeps the manager";
  }
}

TEST_F(ExportPanel, LateReportsAndOldEndAnimationsChangeNothing) {
  startExport();
  panel->exportActionedBasicViewDidClickActionButton(panel->exportInProgressView());
  pump(1.2);
  log.clear();
  manager().step(1);
  manager().finish();
  manager().cancel();
  pump(3);
  EXPECT_TRUE(log.empty()) << "after a cancel the manager's reports are ignored";
  EXPECT_EQ(panel->currentState(), QVExportViewStateBegin);

  // A reload while the bar finishes: its end does nothing any more.
  startExport();
  manager().finish();
  panel->reload();
  log.clear();
  pump(3);
  EXPECT_EQ(panel->currentState(), QVExportViewStateInProgress);
  EXPECT_EQ(std::count(log.begin(), log.end(), "sound"), 0);
  EXPECT_EQ(std::count(log.begin(), log.end(), "will 2"), 0);

  // Nor once the panel is gone.
  panel->exportActionedBasicViewDidClickActionButton(panel->exportInProgressView());
  startExport();
  manager().finish();
  panel.reset();
  log.clear();
  pump(3);
  EXPECT_TRUE(log.empty());
}

TEST_F(ExportPanel, MenuChoicesStartOnTheNextTurnWithThePathsOfTheClick) {
  QVExportBeginView* row = panel->exportBeginView();
  row->exportSpringMenuDidClickItemWithType(row->exportMenu(), kQVExportTypeNone);
  pump(0.1);
  EXPECT_TRUE(made.empty()) << "a title click starts nothing";

  source.paths = {"/photos/at-click.jpg"};
  row->exportSpringMenuDidClickItemWithType(row->exportMenu(), 5);
  EXPECT_TRUE(made.empty()) << "not on this turn";
  source.paths = {"/photos/later.jpg"};
  pump(0.05);
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(manager().calls, (std::vector<std::string>{"prepare /photos/at-click.jpg", "export 5"}));
  EXPECT_FALSE(panel->isShowRevealInFinderButton());
}

TEST_F(ExportPanel, ExportOptionsRouteRunsThePresetDrivenManagerWithTheKeptPaths) {
  panel->exportPhotosToDisk({"/photos/a.jpg", "/photos/b.jpg"});
  EXPECT_EQ(log, std::vector<std::string>{"focus 1"}) << "the save dialog takes the focus";
  EXPECT_TRUE(panel->isShowRevealInFinderButton());
  ASSERT_TRUE(manager().optionDelegate());
  manager().optionDelegate()->advancedSettingsOptionDidSelect();
  manager().optionDelegate()->advancedSettingsOptionDidSelect();
  ASSERT_EQ(windows.size(), 1u) << "a second request while it is open does nothing";

  auto preset = std::make_shared<QVBatchPreset>();
  windows[0]->close(preset);
  EXPECT_FALSE(panel->settingsVC());
  EXPECT_TRUE(business->calls.empty()) << "on the next turn";
  pump(0.05);
  EXPECT_EQ(business->calls, (std::vector<std::string>{"prepare /photos/a.jpg,/photos/b.jpg", "export 0"}));
  EXPECT_EQ(business->preset(), preset);
  EXPECT_TRUE(panel->paths().empty());
  EXPECT_EQ(panel->runningManager(), std::static_pointer_cast<QVExportManagable>(business));
  EXPECT_TRUE(panel->isShowRevealInFinderButton());
  // The user's cancel goes to the manager that runs, not to the interactive one.
  panel->onExportStarted(*business);
  pump(1.2);
  manager().calls.clear();
  panel->exportActionedBasicViewDidClickActionButton(panel->exportInProgressView());
  EXPECT_EQ(business->calls.back(), "cancel");
  EXPECT_TRUE(manager().calls.empty());
  pump(1.2);

  // Closed without a preset: the focus comes back and nothing starts.
  business->calls.clear();
  log.clear();
  panel->advancedSettingsOptionDidSelect();
  ASSERT_EQ(windows.size(), 2u);
  windows[1]->close(nullptr);
  pump(0.05);
  EXPECT_EQ(log, (std::vector<std::string>{"focus 1", "focus 0"}));
  EXPECT_TRUE(business->calls.empty());
}

TEST_F(ExportPanel, RevealAfterDiskExportsOnly) {
  // A cancelled save dialog gives the focus back and stays in the begin row.
  panel->exportPhotosToDisk({"/photos/a.jpg"});
  manager().dialogCancelled();
  EXPECT_EQ(log, (std::vector<std::string>{"focus 1", "focus 0"}));
  EXPECT_EQ(panel->currentState(), QVExportViewStateBegin);

  struct Case {
    uint64_t type;
    bool reveal;
  } cases[] = {{0, true}, {2, false}, {0, true}};
  for (const Case& c : cases) {
    panel->exportImages(source.paths, c.type);
    manager().start();
    manager().finish();
    pump(3);
    ASSERT_EQ(panel->currentState(), QVExportViewStateEnd) << c.type;
    EXPECT_EQ(panel->isShowRevealInFinderButton(), c.reveal) << c.type;
    EXPECT_EQ(panel->exportEndView()->revealButton()->isHidden(), !c.reveal) << c.type;
    revealer->revealed.clear();
    panel->exportEndViewDidClickReveal(panel->exportEndView());
    EXPECT_EQ(revealer->revealed, std::vector<std::vector<std::string>>{source.paths}) << c.type;
    panel->exportActionedBasicViewDidClickActionButton(panel->exportEndView());
    pump(1.2);
  }
  // Nothing exported, nothing to show.
  revealer->revealed.clear();
  panel->exportEndViewDidClickReveal(panel->exportEndView());
  EXPECT_TRUE(revealer->revealed.empty());
}

TEST_F(ExportPanel, BeginRowCountsThePathsAndLetsClicksThroughElsewhere) {
  EXPECT_EQ(panel->exportBeginView()->exportMenu()->collapsedTitle(), "EXPORT 2 PHOTOS");
  EXPECT_TRUE(panel->exportBeginView()->showSlider()) << "a delegate that does not answer shows the slider";
  EXPECT_TRUE(panel->passesClicksThrough());
  QWidget* root = panel->view();
  const QPoint menuCentre =
      panel->exportBeginView()->exportMenu()->mapTo(root, panel->exportBeginView()->exportMenu()->rect().center());
  EXPECT_EQ(window->childAt(QPoint(100, 100)), nullptr) << "the photo below takes that click";
  EXPECT_NE(window->childAt(root->mapTo(window.get(), menuCentre)), nullptr);
  EXPECT_TRUE(root->mask().contains(menuCentre));
  EXPECT_FALSE(root->mask().contains(QPoint(100, 100)));

  source.paths = {};
  delegate.showSlider = false;
  panel->reload();
  pump(1.2);
  EXPECT_EQ(panel->exportBeginView()->itemsCount(), 1u) << "no paths still count one";
  EXPECT_EQ(panel->exportBeginView()->exportMenu()->collapsedTitle(), "EXPORT");
  EXPECT_FALSE(panel->exportBeginView()->sliderMenu()->superview());

  startExport();
  EXPECT_FALSE(panel->passesClicksThrough());
  EXPECT_TRUE(root->mask().isEmpty()) << "during an export the whole panel takes the pointer";
}

// Photos a manager could not write: kept with their reasons while the export runs (a report of
// another manager counts for nothing), named in one alert when it ends, and counted on the end
// view; when none was written the panel goes back to its begin row, never to the end view. The
// next export starts with a clean list and says "EXPORT COMPLETE" again.
TEST_F(ExportPanel, FailedPhotosAreNamedOnceTheExportEndsAndCountedOnTheEndView) {
  struct FailureAlerts : QVSolvaneAlertsPresenter {
    void showAllertNotSupportExtension(const std::string&) override {}
    void showAlertSourceNotAvailable(const std::vector<QVUnopenableFile>&) override {}
    void showAlertLessThanMinimumSize(const std::vector<QVUnopenableFile>&) override {}
    void showAlertExportFailed(const std::vector<QVExportFailure>& f, uint64_t exported) override {
      shown.emplace_back(f, exported);
    }
    std::vector<std::pair<std::vector<QVExportFailure>, uint64_t>> shown;
  };
  auto alerts = std::make_shared<FailureAlerts>();
  QVSolvaneAlerts::setPresenter(alerts);
  const struct {
    const char* what;
    std::vector<std::string> failing;
    uint64_t state;
    const char* title;
  } cases[] = {
      {"one of two", {"/photos/b.jpg"}, QVExportViewStateEnd, "1 OF 2 EXPORTED"},
      {"none written", {"/photos/a.jpg", "/photos/b.jpg"}, QVExportViewStateBegin, nullptr},
      {"all written", {}, QVExportViewStateEnd, "EXPORT COMPLETE"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    alerts->shown.clear();
    log.clear();
    startExport();
    FakeManager stranger;
    stranger.setProgressUpdater(panel->progressUpdater());
    stranger.fail("/elsewhere/x.jpg", "not this export's");
    for (const auto& path : c.failing) manager().fail(path, "the folder /out is read-only");
    EXPECT_TRUE(alerts->shown.empty()) << "named once the export ends, not photo by photo";
    manager().end();
    pump(3);
    EXPECT_EQ(panel->currentState(), c.state);
    EXPECT_EQ(std::count(log.begin(), log.end(), "will 2"), c.state == QVExportViewStateEnd ? 1 : 0);
    if (c.title) EXPECT_EQ(panel->exportEndView()->titleLabel()->title().value_or(""), c.title);
    std::vector<QVExportFailure> expected;
    for (const auto& path : c.failing) expected.push_back({path, "the folder /out is read-only"});
    EXPECT_EQ(panel->failures(), expected);
    if (expected.empty()) {
      EXPECT_TRUE(alerts->shown.empty());
    } else {
      ASSERT_EQ(alerts->shown.size(), 1u);
      EXPECT_EQ(alerts->shown[0].first, expected);
      EXPECT_EQ(alerts->shown[0].second, 2 - expected.size());
    }
    if (panel->currentState() == QVExportViewStateEnd) {
      panel->exportActionedBasicViewDidClickActionButton(panel->exportEndView());
      pump(1.2);
    }
  }
  QVSolvaneAlerts::setPresenter(nullptr);
}

}  // namespace
