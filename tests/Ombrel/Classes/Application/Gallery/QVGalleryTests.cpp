#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTest>
#include <random>

#include "Ombrel/Classes/Application/Common/QVSingleImageNotifications.h"
#include "Ombrel/Classes/Application/Gallery/GalleryTestSupport.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryCollectionView.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryModel.h"
#include "Ombrel/Classes/Application/MainWindow/QVExportImageDatasource.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "QVAppKit/QVScrollView.h"
#include "QVPlatform/NotificationCenter.h"

using namespace gallery_test;

namespace {

class NoSourceList : public QVExportImageSourceList {
 public:
  Paths imagesPaths() const override { return {}; }
  void setImagesPaths(const Paths&, bool) override {}
  void addImageWithPaths(const Paths&) override {}
  Paths validatedFilenames(const Paths& paths) const override { return paths; }
};

// A panel that the test drives as the export would.
class FakePanel : public QVGalleryExportPanel {
 public:
  explicit FakePanel(QVGalleryExportPanelOwner* owner) : owner(owner) {}
  QWidget* view() override { return nullptr; }
  uint64_t currentState() const override { return state; }
  void updateWithExportState(uint64_t s) override { state = s; }
  void reload() override { ++reloads; }
  void updateExportedItemsCount() override { ++countUpdates; }
  void exportPhotosToDisk(const Paths& paths) override { exported.push_back(paths); }
  void exportAllImagesWithExportType(uint64_t) override {}
  std::map<std::string, QWidget*> animatableViews() override { return {}; }
  void start() {
    state = 1;
    owner->exportControllerDidChangeExportState(this, 1);
    owner->exportControllerDidStart(this);
  }
  void end(bool cancelled) {
    state = cancelled ? 0 : 2;
    owner->exportControllerDidChangeExportState(this, state);
    if (cancelled) {
      owner->exportControllerDidCancel(this);
    } else {
      owner->exportControllerDidFinish(this);
    }
  }
  QVGalleryExportPanelOwner* owner;
  uint64_t state = 0;
  int reloads = 0, countUpdates = 0;
  std::vector<Paths> exported;
};

FakePanel* lastPanel = nullptr;

class QVGalleryTest : public testing::Test {
 protected:
  void SetUp() override {
    QVAnimationDriver::shared().useManualClock();
    QVGalleryServices::setShared(services);
    QVQuickPreviewScreen::setFactory([this] { return std::make_unique<CountingScreen>(&screens); });
    QVExportImageSourceList::setShared(std::make_shared<NoSourceList>());
    QVGalleryExportPanel::setFactory([](QVGalleryExportPanelOwner* owner) {
      auto panel = std::make_unique<FakePanel>(owner);
      lastPanel = panel.get();
      return panel;
    });
    services->onDelete = [this](const Paths& removed) {
      for (const auto& p : removed)
        datasource.paths.erase(std::remove(datasource.paths.begin(), datasource.paths.end(), p),
                               datasource.paths.end());
    };
  }
  void TearDown() override {
    controller.reset();
    delete window;
    QVAnimationDriver::shared().cancelAll();
    qv::MainExecutor::shared().discardPending();
    QVGalleryServices::setShared(nullptr);
    QVExportImageSourceList::setShared(nullptr);
    QVGalleryExportPanel::setFactory(nullptr);
    QVQuickPreviewScreen::setFactory(nullptr);
  }
  // A gallery of n photos in a main window of the given size, shown and laid out.
  void open(int n, double width = 1800, double height = 1200) {
    for (int i = 0; i < n; ++i) datasource.paths.push_back(pathFor(i));
    controller = std::make_unique<QVGalleryViewController>(services);
    controller->setDatasource(&datasource);
    controller->setDelegate(&delegate);
    window = new QVSolvaneWindow();
    window->setTitleBarView(QVSolvaneTopBarView::topBar());
    QVEmbedInContainer(controller->view(), window->contentView());
    window->setFrame(CGRectMake(100, 100, width, height));
    window->show();
    controller->reloadData();
    controller->viewWillAppear();
    layout();
  }
  void layout() {
    QApplication::processEvents();
    grid()->doItemsLayout();
    grid()->grab();  // paints the visible cells, which ask for their images
  }
  QVGalleryCollectionView* grid() { return controller->collectionView(); }
  QColor pixelAtRow(const QImage& image, int row) {
    const QRect r = grid()->visualRect(controller->model()->index(row));
    return image.pixelColor(r.center() + grid()->viewport()->geometry().topLeft());
  }
  QImage viewportPicture() { return grid()->grab().toImage(); }
  void answerLoad(const FakeServices::Load& load) {
    load.completion(load.path, solidImage(originalColor(indexOf(load.path))));
  }
  void answerProcess(const FakeServices::Process& p) {
    p.completion(p.path, nullptr, solidImage(processedColor(indexOf(p.path))));
  }
  bool key(int k) {
    QKeyEvent event(QEvent::KeyPress, k, Qt::NoModifier);
    return controller->keyDownMonitor(&event);
  }

  std::shared_ptr<FakeServices> services = std::make_shared<FakeServices>();
  FakeDatasource datasource;
  RecordingDelegate delegate;
  ScreenLog screens;
  std::unique_ptr<QVGalleryViewController> controller;
  QVSolvaneWindow* window = nullptr;
};

}  // namespace

TEST(QVGalleryModel, PassesTheModelTesterThroughGrowthResetsRemovalsAndAnswers) {
  auto services = std::make_shared<FakeServices>();
  QVGalleryModel model(services);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  model.setPaths({pathFor(0), pathFor(1)});
  model.setPaths({pathFor(0), pathFor(1), pathFor(2), pathFor(3)});
  EXPECT_EQ(model.rowCount(), 4);
  model.requestImagesForRow(1);
  model.setOriginalImage(pathFor(1), solidImage(Qt::red));
  EXPECT_TRUE(model.data(model.index(1), QVGalleryModel::HasOriginalRole).toBool());
  model.removeRows(std::set<int>{0, 2, 3});
  EXPECT_EQ(model.paths(), Paths({pathFor(1)}));
  model.setPaths({pathFor(3), pathFor(1)});
  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_TRUE(model.data(model.index(1), QVGalleryModel::HasOriginalRole).toBool()) << "kept by path";
  model.setPaths({});
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_EQ(services->cancelledLoads, Paths({pathFor(1)})) << "the one requested path was cancelled once gone";
}

TEST(QVGalleryModel, AListThatOnlyLostPathsRemovesTheirRowsAndKeepsTheOthers) {
  QVGalleryModel model(std::make_shared<FakeServices>());
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  model.setPaths({pathFor(0), pathFor(1), pathFor(2), pathFor(3), pathFor(4)});
  int removed = 0, resets = 0;
  QObject::connect(&model, &QAbstractItemModel::rowsRemoved,
                   [&](const QModelIndex&, int first, int last) { removed += last - first + 1; });
  QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
  model.setPaths({pathFor(0), pathFor(2), pathFor(4)});
  EXPECT_EQ(model.paths(), Paths({pathFor(0), pathFor(2), pathFor(4)}));
  EXPECT_EQ(removed, 2);
  EXPECT_EQ(resets, 0);
  // Removing by path after the list already followed removes nothing more.
  model.removePaths({pathFor(1), pathFor(3)});
  EXPECT_EQ(model.paths(), Paths({pathFor(0), pathFor(2), pathFor(4)}));
  model.removePaths({pathFor(2)});
  EXPECT_EQ(model.paths(), Paths({pathFor(0), pathFor(4)}));
  // Another order is a reset.
  model.setPaths({pathFor(4), pathFor(0)});
  EXPECT_EQ(resets, 1);
  EXPECT_EQ(model.paths(), Paths({pathFor(4), pathFor(0)}));
}

TEST(QVGalleryModel, InsertsAsManyRowsAsTheListReallyGrew) {
  QVGalleryModel model(std::make_shared<FakeServices>());
  model.setPaths({pathFor(0), pathFor(1)});
  int inserted = 0, resets = 0;
  QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                   [&](const QModelIndex&, int first, int last) { inserted += last - first + 1; });
  QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
  model.setPaths({pathFor(0), pathFor(1), pathFor(2)});
  EXPECT_EQ(inserted, 1);
  EXPECT_EQ(resets, 0);
}

TEST(QVGalleryModel, HeldImagesStayWithinTheirBoundLeastRecentlyPaintedGoingFirst) {
  auto services = std::make_shared<FakeServices>();
  QVGalleryModel model(services);
  Paths paths;
  for (int n = 0; n < 6; ++n) paths.push_back(pathFor(n));
  model.setPaths(paths);
  // 300 x 200 RGB: 180 000 bytes an image; room for three paths' thumbnail and enhanced thumbnail
  // and a few small pictures.
  const uint64_t perPath = 2 * 180'000, limit = 3 * perPath + 10'000;
  model.setHeldBytesLimit(limit);
  auto answer = [&](int n) {
    model.requestImagesForRow(n);
    model.setOriginalImage(pathFor(n), solidImage(originalColor(n)));
    model.setProcessedImage(pathFor(n), solidImage(processedColor(n)));
  };
  for (int n = 0; n < 3; ++n) answer(n);
  EXPECT_EQ(model.heldBytes(), 3 * perPath);
  // Row 0 is painted again: row 1 is now the least recently used.
  EXPECT_FALSE(model.displayPicture(pathFor(0), QSize(30, 20), 1.0).isNull());
  answer(3);
  EXPECT_LE(model.heldBytes(), limit);
  EXPECT_TRUE(model.wasRequested(pathFor(0)));
  EXPECT_FALSE(model.wasRequested(pathFor(1))) << "let go";
  EXPECT_EQ(model.originalImage(pathFor(1)), nullptr);
  EXPECT_EQ(services->cancelledLoads, Paths({pathFor(1)}));
  EXPECT_TRUE(model.wasRequested(pathFor(2)));
  EXPECT_TRUE(model.wasRequested(pathFor(3)));
  // A row of a path let go asks again once painted again.
  const size_t asked = services->loads.size();
  model.requestImagesForRow(1);
  EXPECT_EQ(services->loads.size(), asked + 1);
  EXPECT_EQ(services->loads.back().path, pathFor(1));
  // Held bytes never exceed the bound however many paths are shown in turn.
  for (int n = 0; n < 6; ++n) {
    answer(n);
    EXPECT_LE(model.heldBytes(), limit) << n;
    EXPECT_NE(model.originalImage(pathFor(n)), nullptr) << "the path just painted stays";
  }
}

TEST_F(QVGalleryTest, LateAnswersInAnyOrderLandOnTheirOwnRowsThenTheEnhancedOnes) {
  open(20);
  ASSERT_EQ(services->loads.size(), 20u) << "every visible cell asked for its thumbnail";
  ASSERT_EQ(services->processes.size(), 20u);
  for (const auto& p : services->processes) {
    EXPECT_EQ(p.type, 0);
    EXPECT_EQ(p.priority, 3);
  }
  for (int64_t type : services->loadTypes) EXPECT_EQ(type, 0);
  // Rows move before any answer comes: three photos are deleted.
  controller->removeItemsAtIndexPaths({0, 5, 6});
  ASSERT_EQ(controller->model()->rowCount(), 17);
  EXPECT_EQ(services->cancelledLoads, Paths({pathFor(0), pathFor(5), pathFor(6)}));
  std::mt19937 random(7);
  auto loads = services->loads;
  std::shuffle(loads.begin(), loads.end(), random);
  for (const auto& load : loads) answerLoad(load);
  settle();
  QImage picture = viewportPicture();
  for (int row = 0; row < 17; ++row) {
    const int n = indexOf(controller->model()->pathAt(row));
    EXPECT_EQ(pixelAtRow(picture, row), originalColor(n)) << "row " << row;
  }
  auto processes = services->processes;
  std::shuffle(processes.begin(), processes.end(), random);
  for (const auto& p : processes) answerProcess(p);
  settle();
  picture = viewportPicture();
  for (int row = 0; row < 17; ++row) {
    const int n = indexOf(controller->model()->pathAt(row));
    EXPECT_EQ(pixelAtRow(picture, row), processedColor(n)) << "row " << row;
  }
  // Scrolling paints again from the pictures made once.
  const int renders = controller->model()->pictureRenders();
  grid()->grab();
  EXPECT_EQ(controller->model()->pictureRenders(), renders);
}

TEST_F(QVGalleryTest, DeletionTable) {
  struct Case {
    const char* name;
    std::set<int> selection;
    bool pluginMode, menusEnabled, delegateAnswers;
    bool keyTaken;
    int removeAll;    // start over asked
    bool lonely;      // the single-image route
    size_t rowsLeft;  // rows in the grid after the key
  };
  const std::vector<Case> cases = {
      {"all selected", {0, 1, 2, 3}, false, true, true, true, 1, false, 4},
      {"all but one", {0, 1, 3}, false, true, true, true, 0, true, 4},
      {"all but one, no delegate answer", {0, 1, 3}, false, true, false, true, 0, false, 4},
      {"two of four", {1, 2}, false, true, true, true, 0, false, 2},
      {"nothing selected", {}, false, true, true, true, 0, false, 4},
      {"plug-in mode", {1, 2}, true, true, true, true, 0, false, 4},
      {"menus disabled", {1, 2}, false, false, true, false, 0, false, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    delegate = RecordingDelegate();
    datasource = FakeDatasource();
    services->deleted.clear();
    services->pluginMode = c.pluginMode;
    services->menusEnabled = c.menusEnabled;
    delegate.answers = c.delegateAnswers;
    QVExportImageDatasource storage({});
    datasource.storage = &storage;
    open(4);
    controller->selectRows(c.selection);
    EXPECT_EQ(key(Qt::Key_Backspace), c.keyTaken);
    EXPECT_EQ(delegate.removeAll, c.removeAll);
    EXPECT_EQ(size_t(controller->model()->rowCount()), c.rowsLeft);
    if (c.lonely) {
      ASSERT_EQ(delegate.lonePaths, Paths({pathFor(2)}));
      EXPECT_EQ(storage.tempPaths(), std::optional<Paths>(Paths{pathFor(2)}));
      EXPECT_EQ(controller->lonelyCachedCellRect(), grid()->cellRectForItem(2));
      EXPECT_NE(controller->lonelyCachedCellRect().size.width, 0);
      EXPECT_TRUE(services->deleted.empty()) << "the source list keeps its paths until the block runs";
      delegate.block();
      ASSERT_EQ(services->deleted.size(), 1u);
      EXPECT_EQ(services->deleted[0], Paths({pathFor(0), pathFor(1), pathFor(3)}));
      EXPECT_FALSE(storage.tempPaths().has_value());
    } else if (c.rowsLeft == 2) {
      ASSERT_EQ(services->deleted.size(), 1u);
      EXPECT_EQ(services->deleted[0], Paths({pathFor(1), pathFor(2)}));
      EXPECT_EQ(controller->model()->paths(), Paths({pathFor(0), pathFor(3)}));
      EXPECT_EQ(lastPanel->reloads, 1);
    } else {
      EXPECT_TRUE(delegate.lonePaths.empty());
      EXPECT_TRUE(services->deleted.empty());
    }
    datasource.storage = nullptr;
  }
}

// The main window reloads the grid as soon as the source list loses a photo, which happens inside
// the gallery's own delete: whether it did or not, the grid shows exactly the photos left, each
// cell its own photo, and a row stands for the photo its cell shows.
TEST_F(QVGalleryTest, DeletingShowsExactlyThePhotosLeftWhenTheWindowReloadsDuringTheDelete) {
  const struct Case {
    const char* name;
    std::set<int> deleted;
    bool windowReloads;
  } cases[] = {
      {"the second, window reloads", {1}, true},   {"the second", {1}, false},
      {"the first, window reloads", {0}, true},    {"the last, window reloads", {4}, true},
      {"two apart, window reloads", {1, 3}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    datasource = FakeDatasource();
    services->onDelete = [this, reloads = c.windowReloads](const Paths& removed) {
      for (const auto& p : removed) std::erase(datasource.paths, p);
      if (reloads) controller->update();
    };
    open(5);
    for (const auto& load : services->loads) answerLoad(load);
    settle();
    controller->selectRows(c.deleted);
    ASSERT_TRUE(key(Qt::Key_Delete));
    layout();
    Paths left;
    for (int i = 0; i < 5; ++i)
      if (!c.deleted.count(i)) left.push_back(pathFor(i));
    EXPECT_EQ(datasource.paths, left);
    EXPECT_EQ(controller->model()->paths(), left);
    EXPECT_EQ(grid()->visibleRows().size(), left.size()) << "a cell for every photo left";
    EXPECT_EQ(grid()->cellRects().size(), left.size());
    const QImage picture = viewportPicture();
    for (int row = 0; row < int(left.size()); ++row) {
      EXPECT_EQ(pixelAtRow(picture, row), originalColor(indexOf(left[size_t(row)]))) << "row " << row;
      EXPECT_EQ(controller->photoPathsAtIndexPaths({row}), Paths({left[size_t(row)]})) << "row " << row;
    }
    // Space on the second cell opens the photo that cell shows.
    controller->selectRows({1});
    ASSERT_TRUE(key(Qt::Key_Space));
    settle();
    ASSERT_TRUE(controller->isQuickpreviewVisible());
    EXPECT_EQ(controller->quickPreviewController()->selectedPath(), left[1]);
  }
}

TEST_F(QVGalleryTest, ContextMenuTitlesCountTheSelectionOrSayAllAndItsActionsFollow) {
  open(5);
  EXPECT_EQ(controller->contextMenuTitles(), Paths({"Export All Images...", "Delete All Images..."}));
  controller->selectMenuExportImages();
  ASSERT_EQ(lastPanel->exported.size(), 1u);
  EXPECT_EQ(lastPanel->exported[0].size(), 5u);
  controller->selectRows({1, 3});
  EXPECT_EQ(controller->contextMenuTitles(), Paths({"Export 2 Images...", "Delete 2 Images..."}));
  controller->selectMenuExportImages();
  EXPECT_EQ(lastPanel->exported[1], Paths({pathFor(1), pathFor(3)}));
  controller->selectRows({2});
  EXPECT_EQ(controller->contextMenuTitles(), Paths({"Export 1 Image...", "Delete 1 Image..."}));
  controller->selectRows({});
  controller->selectMenuRemoveImages();
  EXPECT_EQ(delegate.removeAll, 1) << "deleting with nothing selected starts over";
  services->pluginMode = true;
  EXPECT_TRUE(controller->contextMenuTitles().empty());
  EXPECT_EQ(controller->createContextMenu(), nullptr);
}

TEST_F(QVGalleryTest, SpaceOpensAndClosesTheQuickPreviewAndArrowsStepOrMoveTheSelection) {
  open(6);
  EXPECT_FALSE(key(Qt::Key_A));
  EXPECT_TRUE(key(Qt::Key_Space)) << "space is taken even with nothing selected";
  settle();
  EXPECT_FALSE(controller->isQuickpreviewVisible());

  controller->selectRows({1, 2, 4});
  EXPECT_TRUE(key(Qt::Key_Space));
  settle();
  ASSERT_TRUE(controller->isQuickpreviewVisible());
  auto* preview = controller->quickPreviewController();
  EXPECT_EQ(preview->imagePaths(), Paths({pathFor(1), pathFor(2), pathFor(4)}));
  EXPECT_NE(controller->quickPreviewViewController(), nullptr);
  EXPECT_TRUE(key(Qt::Key_Right));
  settle();
  EXPECT_EQ(preview->selectedPath(), pathFor(2));
  EXPECT_TRUE(key(Qt::Key_Left));
  settle();
  EXPECT_TRUE(key(Qt::Key_Left));
  settle();
  EXPECT_EQ(preview->selectedPath(), pathFor(4)) << "wraps to the last";
  EXPECT_EQ(controller->selectedRows(), std::set<int>({1, 2, 4})) << "the grid's selection stays";

  // With one selected the arrows move the grid's selection, and the preview follows it.
  controller->selectRows({1});
  settle();
  EXPECT_EQ(preview->imagePaths(), Paths({pathFor(1)}));
  EXPECT_TRUE(key(Qt::Key_Right));
  settle();
  EXPECT_EQ(controller->selectedRows(), std::set<int>({2}));
  EXPECT_EQ(preview->imagePaths(), Paths({pathFor(2)}));

  controller->selectRows({1, 2, 4});
  settle();
  EXPECT_TRUE(key(Qt::Key_Right));
  settle();
  EXPECT_EQ(preview->selectedIdx(), 1);
  EXPECT_TRUE(key(Qt::Key_Space));
  EXPECT_TRUE(preview->hidden());
  settle();
  EXPECT_FALSE(controller->isQuickpreviewVisible());

  // Shown again on another selection, from the first photo of it.
  controller->selectRows({3, 5});
  EXPECT_TRUE(key(Qt::Key_Space));
  settle();
  ASSERT_TRUE(controller->isQuickpreviewVisible());
  EXPECT_EQ(preview->selectedPath(), pathFor(3));
  EXPECT_EQ(screens.shown.back(), pathFor(3));
  EXPECT_FALSE(preview->animatesResize());
  EXPECT_TRUE(key(Qt::Key_Space));
  settle();
  services->panelShown = true;
  EXPECT_FALSE(key(Qt::Key_Space)) << "not while a file panel is up";
}

TEST_F(QVGalleryTest, EscapeInThePreviewClosesItAndIsNotTakenWithoutOne) {
  open(4);
  EXPECT_FALSE(key(Qt::Key_Escape)) << "no preview: Escape is left to others";
  controller->selectRows({0, 2});
  EXPECT_TRUE(key(Qt::Key_Space));
  settle();
  ASSERT_TRUE(controller->isQuickpreviewVisible());
  // Typed into the preview's own window, as the keyboard delivers it there.
  QWidget* preview = controller->quickPreviewController()->window();
  QTest::keyClick(preview, Qt::Key_Escape);
  EXPECT_TRUE(controller->quickPreviewController()->hidden());
  settle();
  EXPECT_FALSE(controller->isQuickpreviewVisible());
  EXPECT_FALSE(key(Qt::Key_Escape));
}

TEST_F(QVGalleryTest, WhileExportingTheGridIsBlurredAndTakesNoKeysOrClicks) {
  open(6);
  std::vector<uint64_t> posted;
  auto token = qv::NotificationCenter::defaultCenter().addObserver(
      kQVExportViewStateDidChangeNotification, nullptr, [&](const qv::Notification& n) {
        posted.push_back(QVSingleImageNotifications::objectValue<uint64_t>(n).value_or(99));
      });
  ASSERT_NE(lastPanel, nullptr);
  auto* importMore = window->titleBarView()->importMoreButtonContainer();
  for (bool cancelled : {false, true}) {
    controller->selectRows({0});
    lastPanel->start();
    ASSERT_NE(controller->blurredView(), nullptr);
    EXPECT_FALSE(grid()->enabled());
    EXPECT_FALSE(importMore->userInteractionEnabled());
    EXPECT_TRUE(key(Qt::Key_Space)) << "swallowed";
    EXPECT_TRUE(key(Qt::Key_A)) << "swallowed";
    settle();
    EXPECT_FALSE(controller->isQuickpreviewVisible());
    const QRect item = grid()->visualRect(controller->model()->index(3));
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, Qt::NoModifier, item.center());
    EXPECT_EQ(controller->selectedRows(), std::set<int>({0})) << "clicks are ignored";
    lastPanel->end(cancelled);
    EXPECT_EQ(controller->blurredView(), nullptr);
    EXPECT_TRUE(grid()->enabled());
    EXPECT_EQ(importMore->userInteractionEnabled(), cancelled) << "import more only in state 0";
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, Qt::NoModifier, item.center());
    EXPECT_EQ(controller->selectedRows(), std::set<int>({3}));
  }
  EXPECT_EQ(posted, std::vector<uint64_t>({0, 0, 0, 1})) << "1 exactly when the new state is 0";
}

TEST_F(QVGalleryTest, CellRectsAreAtMostSixteenTopRowFirstThenLeftToRight) {
  open(60);
  const auto rects = controller->cellRects();
  ASSERT_EQ(rects.size(), 16u);
  for (size_t i = 1; i < rects.size(); ++i) {
    const bool ordered = rects[i - 1].origin.y > rects[i].origin.y ||
                         (rects[i - 1].origin.y == rects[i].origin.y && rects[i - 1].origin.x < rects[i].origin.x);
    EXPECT_TRUE(ordered) << i;
  }
  EXPECT_EQ(rects[0].size, CGSizeMake(222, 156));
  // The first item: inset 20 under the title bar, counted up from the grid's bottom edge.
  EXPECT_EQ(rects[0].origin.y, grid()->height() - 20 - 156);
  EXPECT_EQ(rects[1].origin.x - rects[0].origin.x, 222 + 20) << "20 between items";
  EXPECT_EQ(controller->cellRectForItemAtIndexPath(999, true), CGRectMake(0, 0, 222, 156));
}

TEST_F(QVGalleryTest, ReloadLastCellsInsertsTheRealGrowthAndCountsTheExport) {
  open(3);
  datasource.paths.push_back(pathFor(3));
  controller->reloadLastCells(2);
  EXPECT_EQ(controller->model()->rowCount(), 4);
  EXPECT_EQ(lastPanel->countUpdates, 1);
}

TEST_F(QVGalleryTest, ASingleClickNeverReachesTheDelegateADoubleClickOpensThePreview) {
  open(4);
  const QRect item = grid()->visualRect(controller->model()->index(2));
  QTest::mouseClick(grid()->viewport(), Qt::LeftButton, Qt::NoModifier, item.center());
  settle();
  EXPECT_EQ(controller->selectedRows(), std::set<int>({2}));
  EXPECT_FALSE(controller->hasQuickPreviewController());
  QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, Qt::NoModifier, item.center());
  settle();
  EXPECT_TRUE(controller->isQuickpreviewVisible());
}

TEST_F(QVGalleryTest, StartingOverHidesThePreviewAndRunsTheBlock) {
  open(4);
  controller->selectRows({0, 1});
  controller->showQuickpreview();
  settle();
  ASSERT_TRUE(controller->isQuickpreviewVisible());
  int ran = 0;
  controller->prepareToStartOver([&] { ++ran; });
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(controller->quickPreviewController()->hidden());
  EXPECT_EQ(grid()->scrollView()->verticalScroller(), nullptr);
}
