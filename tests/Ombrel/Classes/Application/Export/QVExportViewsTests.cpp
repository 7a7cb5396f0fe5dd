#include <gtest/gtest.h>

#include <QTest>

#include "../Common/CompareTestSupport.h"
#include "ExportPanelTestSupport.h"
#include "Ombrel/Classes/Application/Common/QVSingleImageNotifications.h"
#include "Ombrel/Classes/Application/Export/QVExportBeginView.h"
#include "Ombrel/Classes/Application/Export/QVExportProcessView.h"

using namespace export_test;

namespace {

TEST(QVExportProcessView, TitlesByTargetAndCount) {
  struct Case {
    uint64_t type;
    std::optional<std::string> name;
    uint64_t files;
    std::string title;
  } cases[] = {
      {0, "SAVE TO DISK", 1, "EXPORTING A MASTERPIECE"},
      {0, "SAVE TO DISK", 0, "EXPORTING A MASTERPIECE"},
      {0, "SAVE TO DISK", 2, "EXPORTING WORKS OF ART"},
      {2, "EMAIL", 3, "EXPORTING TO EMAIL"},
      {5, "MENDRIX", 1, "EXPORTING TO MENDRIX"},
      // The name is text, never a format.
      {2, "100%@ %s %d", 1, "EXPORTING TO 100%@ %s %d"},
      {6, std::nullopt, 1, "No Service name"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(QVExportProcessView::titleForServiceType(c.type, c.name, c.files), c.title) << c.title;
}

class ProcessView : public ::testing::Test {
 protected:
  void SetUp() override {
    QVAnimationDriver::shared().cancelAll();
    view = QVMake<QVExportProcessView>(CGRectMake(0, 0, 1000, 600));
    view->setImagesPathsToShare({"/a.jpg", "/b.jpg"});
    view->progressView()->setPartsCount(2);
  }
  void TearDown() override {
    delete view;
    QVAnimationDriver::shared().cancelAll();
    pump(0.1);
  }
  QVExportProcessView* view = nullptr;
};

TEST_F(ProcessView, DotsCountSecondsWhileAPhotoIsUnderWay) {
  view->startAnimation();
  std::vector<std::string> dots;
  for (int i = 0; i < 5; ++i) {
    pump(1.0);
    dots.push_back(view->dotString());
  }
  EXPECT_EQ(dots, (std::vector<std::string>{".", "..", "...", "", "."}));
  EXPECT_EQ(view->dotLabel()->title(), ".");
  EXPECT_FALSE(view->dotLabel()->isHidden());
  view->setCurrentPart(2);  // after the last photo
  EXPECT_FALSE(view->currentImagePath());
  EXPECT_TRUE(view->dotLabel()->isHidden());
  view->stopAnimation();
  pump(2);
  EXPECT_EQ(view->dotString(), ".") << "no ticks once stopped";
}

TEST_F(ProcessView, OnePhaseRestartAtATimeStoppedWithTheView) {
  view->startAnimation();
  view->setCurrentPart(1);
  EXPECT_TRUE(view->phaseRestartPending());
  EXPECT_EQ(view->exportingLabelView()->stringValue(), "Saving") << "a finished photo shows the last phase";
  view->stopAnimation();
  EXPECT_FALSE(view->phaseRestartPending());
  pump(1.5);
  EXPECT_FALSE(view->exportingLabelView()->startProcDate()) << "the stopped restart did not run";

  view->setCurrentPart(1);
  view->prepareForReuse();
  EXPECT_FALSE(view->phaseRestartPending());
  EXPECT_EQ(view->currentPart(), 0u);

  view->progressView()->setPartsCount(2);  // the panel's first step sets it again
  view->setCurrentPart(1);
  pump(1.1);
  EXPECT_FALSE(view->phaseRestartPending());
  EXPECT_TRUE(view->exportingLabelView()->startProcDate()) << "restarted for the next photo";
  view->setCurrentPart(2);
  EXPECT_FALSE(view->phaseRestartPending()) << "none after the last";
  EXPECT_FALSE(view->exportingLabelView()->startProcDate());
}

class BeginRow : public ::testing::Test {
 protected:
  void SetUp() override {
    QVAnimationDriver::shared().cancelAll();
    QVExportDatasource::setTargetOfferedQuery([](uint64_t t) { return t == 0 || t == 2; });
    window = std::make_unique<QVView>(CGRectMake(0, 0, 1000, 600));
    window->initialize();
    row = QVMake<QVExportBeginView>(1, true);
    QVEmbedInContainer(row, window.get());
    window->show();
    window->layoutSubtreeIfNeeded();
    token = qv::NotificationCenter::defaultCenter().addObserver(
        kQVBoostSliderDidChangeShowStateNotification, nullptr,
        [this](const qv::Notification& n) { shows.push_back(*QVSingleImageNotifications::objectValue<bool>(n)); });
  }
  void TearDown() override {
    token.reset();
    window.reset();
    QVExportDatasource::setTargetOfferedQuery(nullptr);
    QVAnimationDriver::shared().cancelAll();
    pump(0.1);
  }
  void switchAndSettle(QVSpringMenu* control) {
    control->switchExpanded();
    pump(2);
  }
  // A left press through the application, as the window delivers it.
  void pressAt(QWidget* target, QPoint local) {
    QTest::mousePress(target, Qt::LeftButton, Qt::NoModifier, local);
    QTest::mouseRelease(target, Qt::LeftButton, Qt::NoModifier, local);
    pump(2);
  }

  std::unique_ptr<QVView> window;
  QVExportBeginView* row = nullptr;
  qv::ObserverToken token;
  std::vector<bool> shows;
};

TEST_F(BeginRow, TitlesAndPlaces) {
  QVExportSpringMenu* menu = row->exportMenu();
  EXPECT_EQ(menu->collapsedTitle(), "EXPORT");
  EXPECT_EQ(menu->expandedTitle(), "CANCEL");
  row->updateExpotedItemsCount(1);
  EXPECT_EQ(menu->collapsedTitle(), "EXPORT 1 PHOTO");
  window->layoutSubtreeIfNeeded();
  EXPECT_EQ(CGRectGetMaxX(menu->frame()), 1000 - 11);
  EXPECT_EQ(menu->frame().origin.y, 11);
  const double menuWidth = menu->frame().size.width;
  EXPECT_EQ(row->sliderRightConstant(), -(menuWidth + 22));
  EXPECT_EQ(CGRectGetMaxX(row->sliderMenu()->frame()), 1000 - menuWidth - 22);
  EXPECT_EQ(menu->items().size(), 2u);

  row->setExportControlsTranslucent(true);
  EXPECT_EQ(menu->alpha(), 0.3);
  EXPECT_EQ(row->sliderMenu()->alpha(), 0.3);
  row->setExportControlsTranslucent(false);
  EXPECT_EQ(menu->alpha(), 1.0);
}

TEST_F(BeginRow, OnlyOneOfMenuAndSliderIsOpen) {
  switchAndSettle(row->sliderMenu());
  EXPECT_EQ(shows, std::vector<bool>{true});
  switchAndSettle(row->exportMenu());
  EXPECT_TRUE(row->exportMenu()->expanded());
  EXPECT_FALSE(row->sliderMenu()->expanded()) << "opening the menu closed the slider";
  EXPECT_EQ(shows, (std::vector<bool>{true, false}));
  EXPECT_LT(CGRectGetMaxX(row->sliderMenu()->frame()), row->exportMenu()->frame().origin.x)
      << "the slider rests beside the open menu";
  switchAndSettle(row->sliderMenu());
  EXPECT_FALSE(row->exportMenu()->expanded());
  EXPECT_TRUE(row->sliderMenu()->expanded());
  // Disabled, the open menu closes; the slider is left as it is.
  switchAndSettle(row->exportMenu());
  row->setControlsEnabled(false);
  pump(2);
  EXPECT_FALSE(row->exportMenu()->expanded());
  EXPECT_FALSE(row->exportMenu()->userInteractionEnabled());
}

TEST_F(BeginRow, EscapeClosesTheOpenMenuOnly) {
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QKeyEvent other(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
  EXPECT_FALSE(row->onKeyEvent(&escape)) << "a closed menu lets Escape pass";
  switchAndSettle(row->exportMenu());
  EXPECT_FALSE(row->onKeyEvent(&other));
  // Through the application, as a key press reaches any widget.
  QTest::keyClick(window.get(), Qt::Key_Escape);
  pump(2);
  EXPECT_FALSE(row->exportMenu()->expanded());
  switchAndSettle(row->sliderMenu());
  QTest::keyClick(window.get(), Qt::Key_Escape);
  pump(2);
  EXPECT_TRUE(row->sliderMenu()->expanded()) << "Escape closes the menu, not the slider";
}

TEST_F(BeginRow, PressesOutsideCloseWhateverIsOpen) {
  switchAndSettle(row->exportMenu());
  QVExportSpringMenu* menu = row->exportMenu();
  pressAt(menu->expandedLabel(), QPoint(5, 5));  // the title line: the menu's own click closes it
  EXPECT_FALSE(menu->expanded());

  switchAndSettle(menu);
  // Inside the open menu's list: it stays open (the row itself is not chosen without a release over it).
  QTest::mousePress(menu->menuContentView(), Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
  pump(2);
  EXPECT_TRUE(menu->expanded());
  pressAt(window.get(), QPoint(100, 100));
  EXPECT_FALSE(menu->expanded()) << "a press elsewhere closed it";

  switchAndSettle(row->sliderMenu());
  pressAt(window.get(), QPoint(100, 100));
  EXPECT_FALSE(row->sliderMenu()->expanded());

  // Hidden, the row does not watch the application.
  switchAndSettle(menu);
  row->hide();
  EXPECT_FALSE(row->monitor()->isInstalled());
  pressAt(window.get(), QPoint(100, 100));
  EXPECT_TRUE(menu->expanded());
  row->show();
  EXPECT_TRUE(row->monitor()->isInstalled());
}

}  // namespace
