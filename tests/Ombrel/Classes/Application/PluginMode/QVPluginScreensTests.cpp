// The plug-in screens offscreen: the begin row for one and two host images, the progress title per
// host, Done and the apply command only from the begin state, DONE and CANCEL never seen over each other
// while the panel switches, the end state ending the run, and a press outside the open slider closing it
// while still reaching what was pressed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QtTest/QTest>

#include "Ombrel/Classes/Application/Controllers/QVSolvaneWindowController.h"
#include "Ombrel/Classes/Application/Export/QVExportManagerFactory.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginExportViewController.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVViewController.h"
#include "common/TestSupport.h"
#include "tests/Ombrel/Classes/Application/PluginMode/PluginTestSupport.h"

using namespace plugin_test;

namespace {

void pump(double seconds) {
  for (double t = 0; t < seconds - 1e-9; t += 1.0 / 60) {
    QVAnimationDriver::shared().advance(1.0 / 60);
    qv::MainExecutor::shared().advance(1.0 / 60);
    QCoreApplication::processEvents();
  }
  qv::MainExecutor::shared().runUntilIdle();
}

class Layout : public QVPluginExportLayoutDelegate {
 public:
  uint64_t overlayElementsLayoutWithPathsCount(size_t count) override {
    return QVPluginScreenRules::overlayElementsForPathsCount(count);
  }
};

class QVPluginScreensTest : public ::testing::Test {
 protected:
  void TearDown() override {
    panel.reset();
    delete window;
    QVExportManagerFactory::setMaker(nullptr);
    pump(2);
  }
  // A panel over a 1200 x 800 window for a run with these arguments (after the program path).
  void start(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "Solvane");
    manager.configureWithArguments(arguments);
    QVPluginController::Services services;
    services.facade = facade;
    services.writer = std::make_shared<TestWriter>();
    services.alerts = std::make_shared<RecordingAlerts>();
    services.terminator = terminator;
    services.notifier = notifier;
    services.modeManager = &manager;
    QVExportManagerFactory::setMaker([this, services](uint64_t) {
      controller = QVPluginController::make(services);
      return controller;
    });
    window = new QWidget();
    window->resize(1200, 800);
    panel = std::make_unique<QVPluginExportViewController>(&layout);
    QVEmbedInContainer(panel->view(), window);
    window->show();
    pump(1.5);
  }
  QRect qtFrame(QWidget* widget) { return QRect(widget->mapTo(window, QPoint(0, 0)), widget->size()); }

  Layout layout;
  QVSPluginModeManager manager;
  std::shared_ptr<FakeFacade> facade = std::make_shared<FakeFacade>();
  std::shared_ptr<RecordingNotifier> notifier = std::make_shared<RecordingNotifier>();
  std::shared_ptr<RecordingTerminator> terminator = std::make_shared<RecordingTerminator>();
  std::shared_ptr<QVPluginController> controller;
  std::unique_ptr<QVPluginExportViewController> panel;
  QWidget* window = nullptr;
};

TEST_F(QVPluginScreensTest, OneHostImageShowsDoneWithTheSliderBesideIt) {
  start({"-QVImagePath", "/h/a.jpg", "-QVSavePath", "/h/a.tif", "-QVPluginMode"});
  auto* row = panel->pluginBeginView();
  ASSERT_NE(row->actionButton(), nullptr);
  EXPECT_EQ(row->actionButton()->title(), "DONE");
  const QRect button = qtFrame(row->actionButton());
  EXPECT_EQ(button.topLeft(), QPoint(1200 - 134, 800 - 55));
  EXPECT_EQ(button.size(), QSize(123, 44));
  const QRect slider = qtFrame(row->sliderMenu());
  EXPECT_EQ(slider.right() + 1, button.left() - 11);
  EXPECT_EQ(slider.bottom() + 1, 800 - 11);
}

TEST_F(QVPluginScreensTest, TwoHostImagesShowTheSliderAloneElevenFromTheEdge) {
  start({"-QVSavePair", "/h/a.jpg", "/o/a.jpg", "-QVSavePair", "/h/b.jpg", "/o/b.jpg", "-QVPluginMode"});
  auto* row = panel->pluginBeginView();
  EXPECT_EQ(row->actionButton(), nullptr);
  const QRect slider = qtFrame(row->sliderMenu());
  EXPECT_EQ(slider.right() + 1, 1200 - 11);
  EXPECT_EQ(slider.bottom() + 1, 800 - 11);
  EXPECT_EQ(row->visibleControls(), std::vector<QWidget*>{row->sliderMenu()});
}

TEST_F(QVPluginScreensTest, TheProgressTitleNamesTheHost) {
  const std::pair<const char*, const char*> hosts[] = {
      {"-QVLightroomPluginOwner", "SAVING COPY TO LIGHTROOM"},
      {"-QVPhotoshopPluginOwner", "SAVING TO PHOTOSHOP"},
      {"-QVPluginMode", "Unknown"},
  };
  for (const auto& [flag, title] : hosts) {
    SCOPED_TRACE(title);
    start({"-QVImagePath", "/h/a.jpg", flag, "-QVPluginMode"});
    EXPECT_EQ(panel->exportInProgressView()->titleLabel()->title(), title);
    panel.reset();
    delete window;
    window = nullptr;
  }
}

TEST_F(QVPluginScreensTest, DoneAndApplyStartOneExportOnlyFromTheBeginState) {
  const auto dir = solvane::test::makeTempDir("plugin-screens-apply");
  const std::string photo = (dir / "a.jpg").string();
  writeImageFile(photo, kUTTypeJPEG);
  start({"-QVImagePath", photo, "-QVSavePath", photo, "-QVPluginMode"});
  QTest::mouseClick(panel->pluginBeginView()->actionButton(), Qt::LeftButton);
  pump(0.5);
  EXPECT_EQ(facade->pending.size(), 1u);
  EXPECT_EQ(panel->currentState(), QVExportViewStateInProgress);
  // Neither the apply command nor the button start a second run while one is under way.
  qv::NotificationCenter::defaultCenter().post(kQVApplyPluginNotificationName);
  panel->onApply();
  pump(0.5);
  EXPECT_EQ(facade->pending.size(), 1u);
  // The cancel command cancels like the panel's own cancel.
  qv::NotificationCenter::defaultCenter().post(kQVCancelPluginNotificationName);
  pump(1.5);
  EXPECT_EQ(panel->currentState(), QVExportViewStateBegin);
  EXPECT_FALSE(facade->exporting);
  EXPECT_TRUE(notifier->posted.empty());
}

// Whether the user can see the widget: shown, with every view from it up to the window opaque at all.
bool seen(QWidget* widget, QWidget* window) {
  for (QWidget* w = widget; w; w = w->parentWidget()) {
    if (!w->isVisible()) return false;
    if (auto* view = dynamic_cast<QVView*>(w); view && view->alpha() <= 0) return false;
    if (w == window) return true;
  }
  return false;
}

// The panel's views are see-through and keep their buttons in one corner. While DONE gives way to
// the saving progress, and while the progress gives way to the begin row again, the two buttons are
// never both in sight there, drawn over each other.
TEST_F(QVPluginScreensTest, DoneAndCancelAreNeverSeenOverEachOtherWhileThePanelSwitches) {
  const auto dir = solvane::test::makeTempDir("plugin-screens-corner");
  const std::string photo = (dir / "a.jpg").string();
  writeImageFile(photo, kUTTypeJPEG);
  start({"-QVImagePath", photo, "-QVSavePath", photo, "-QVLightroomPluginOwner", "-QVPluginMode"});
  QWidget* done = panel->pluginBeginView()->actionButton();
  QWidget* cancel = panel->exportInProgressView()->actionButton();
  auto drawnOverEachOther = [&] {
    return seen(done, window) && seen(cancel, window) && qtFrame(done).intersects(qtFrame(cancel));
  };
  QTest::mouseClick(done, Qt::LeftButton);
  for (int frame = 0; frame < 12; ++frame) {
    pump(0.1);
    SCOPED_TRACE(frame);
    EXPECT_FALSE(drawnOverEachOther());
  }
  ASSERT_EQ(panel->currentState(), QVExportViewStateInProgress);
  EXPECT_TRUE(seen(cancel, window));
  EXPECT_FALSE(seen(done, window));
  qv::NotificationCenter::defaultCenter().post(kQVCancelPluginNotificationName);
  for (int frame = 0; frame < 12; ++frame) {
    pump(0.1);
    SCOPED_TRACE(frame);
    EXPECT_FALSE(drawnOverEachOther());
  }
  EXPECT_TRUE(seen(done, window));
  EXPECT_FALSE(seen(cancel, window));
}

// The gallery's panel and its quick preview's both hear the apply command: the first starts the
// run, and the application's exporting flag keeps the other from starting a second one.
TEST_F(QVPluginScreensTest, TheApplyCommandStartsNothingWhileAnotherScreensExportRuns) {
  start({"-QVImagePath", "/h/a.jpg", "-QVPluginMode"});
  QVApp::setExporting(true);
  qv::NotificationCenter::defaultCenter().post(kQVApplyPluginNotificationName);
  pump(0.5);
  QVApp::setExporting(false);
  EXPECT_TRUE(facade->pending.empty());
  EXPECT_EQ(panel->currentState(), QVExportViewStateBegin);
  qv::NotificationCenter::defaultCenter().post(kQVApplyPluginNotificationName);
  pump(0.5);
  EXPECT_EQ(facade->pending.size(), 1u);
}

TEST_F(QVPluginScreensTest, WithoutHostImagesTheApplyCommandStartsNothing) {
  start({"-QVPluginMode"});
  qv::NotificationCenter::defaultCenter().post(kQVApplyPluginNotificationName);
  pump(0.5);
  EXPECT_EQ(panel->currentState(), QVExportViewStateBegin);
  EXPECT_TRUE(facade->pending.empty());
  EXPECT_TRUE(notifier->posted.empty());
}

TEST_F(QVPluginScreensTest, TheEndStatesActionEndsThePluginRun) {
  start({"-QVImagePath", "/h/a.jpg", "-QVPluginMode"});
  panel->finishExport();
  EXPECT_EQ(notifier->posted, (std::vector<std::string>{kQVHostTerminationCancel, kQVHostTerminationOK}));
  pump(0.4);
  EXPECT_EQ(terminator->times.size(), 1u);
}

TEST_F(QVPluginScreensTest, APressOutsideTheOpenSliderClosesItAndStillReachesItsTarget) {
  start({"-QVImagePath", "/h/a.jpg", "-QVPluginMode"});
  auto* target = new QWidget(window);
  target->setGeometry(20, 20, 100, 100);
  target->show();
  int presses = 0;
  struct Counter : QObject {
    int* count;
    explicit Counter(int* c) : count(c) {}
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::MouseButtonPress) ++*count;
      return false;
    }
  } counter(&presses);
  target->installEventFilter(&counter);
  auto* slider = panel->pluginBeginView()->sliderMenu();
  slider->switchExpanded();
  pump(1.5);
  ASSERT_TRUE(slider->expanded());
  // A press inside (on its bar) leaves it open.
  QWidget* bar = slider->sliderView();
  QTest::mousePress(bar, Qt::RightButton, {}, QPoint(bar->width() / 2, bar->height() / 2));
  QTest::mouseRelease(bar, Qt::RightButton, {}, QPoint(bar->width() / 2, bar->height() / 2));
  pump(1.0);
  EXPECT_TRUE(slider->expanded());
  QTest::mousePress(target, Qt::RightButton, {}, QPoint(50, 50));
  QTest::mouseRelease(target, Qt::RightButton, {}, QPoint(50, 50));
  pump(1.5);
  EXPECT_FALSE(slider->expanded());
  EXPECT_EQ(presses, 1);
}

}  // namespace
