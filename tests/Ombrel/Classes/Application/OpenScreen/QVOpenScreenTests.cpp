#include <gtest/gtest.h>

#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "Ombrel/Classes/Application/OpenScreen/OpenScreenTestSupport.h"
#include "Ombrel/Classes/Application/OpenScreen/QVBlurredMovableImageView.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenViewController.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVSolvaneTopBarView.h"
#include "QVAppKit/QVViewController.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/NotificationCenter.h"

using namespace openscreen_test;

namespace {

class Delegate : public QVOpenViewControllerDelegate {
 public:
  void openViewControllerDidOpenPaths(QVOpenViewController*, const Paths& paths) override { calls.push_back(paths); }
  std::vector<Paths> calls;
};

class QVOpenScreenTest : public testing::Test {
 protected:
  void SetUp() override {
    QVOpenScreenServices::setShared(services);
    QVExportImageSourceList::setShared(sourceList);
    controller.setDelegate(&delegate);
    ASSERT_NE(controller.mainView(), nullptr);
  }
  void TearDown() override {
    QVAnimationDriver::shared().cancelAll();
    qv::MainExecutor::shared().discardPending();
    QVOpenScreenServices::setShared(nullptr);
    QVExportImageSourceList::setShared(nullptr);
  }
  void releaseBlurs() {
    auto held = std::move(services->held);
    services->held.clear();
    for (auto& answer : held) answer();
  }
  QVOpenView* view() { return controller.mainView(); }
  QVOpenSpringView* spring() { return view()->springView(); }

  std::shared_ptr<FakeServices> services = std::make_shared<FakeServices>();
  std::shared_ptr<FakeSourceList> sourceList = std::make_shared<FakeSourceList>();
  Delegate delegate;
  QVOpenViewController controller;
};

}  // namespace

TEST(QVBlurredMovableImageView, ParallaxFollowsAThirdOfThePointer) {
  auto* image = QVMake<QVBlurredMovableImageView>(CGRectMake(0, 0, 300, 200));
  EXPECT_DOUBLE_EQ(image->imageScale(), 1.5);
  EXPECT_EQ(image->parallaxOffsetForPoint(CGPointMake(150, 100)), CGPointMake(0, 0));
  EXPECT_EQ(image->parallaxOffsetForPoint(CGPointMake(240, 100)), CGPointMake(30, 0));
  EXPECT_EQ(image->parallaxOffsetForPoint(CGPointMake(150, 40)), CGPointMake(0, -20));
  image->moveContents(CGPointMake(240, 100));
  const CATransform3D t = image->transform();
  EXPECT_DOUBLE_EQ(t.m41, 30);
  EXPECT_DOUBLE_EQ(t.m42, 0);
  EXPECT_DOUBLE_EQ(t.m11, 1.5);
  EXPECT_DOUBLE_EQ(t.m22, 1.5);
  // A bigger enlargement moves further: k = (scale - 1) / 1.5.
  image->setImageScale(2.5);
  EXPECT_EQ(image->parallaxOffsetForPoint(CGPointMake(240, 100)), CGPointMake(90, 0));
  delete image;
}

TEST_F(QVOpenScreenTest, PanelPopsWhileAPhotoHoversAndRestsAfter) {
  view()->setBlurImageURL(std::string("/p/a.jpg"));
  settle();
  EXPECT_DOUBLE_EQ(spring()->scale().width, 1.1);
  EXPECT_DOUBLE_EQ(spring()->blurredView()->alpha(), 1.0);
  EXPECT_DOUBLE_EQ(view()->openButton()->alpha(), 0.3);
  EXPECT_FALSE(view()->openButton()->hoverEnabled());
  EXPECT_DOUBLE_EQ(view()->dropRing()->alpha(), 1.0);
  // The pointer moves the photo; the exit springs everything back.
  controller.handleDragDidMoveWhileDragging(CGPointMake(300, 200));
  EXPECT_EQ(view()->dragLocation(), CGPointMake(300, 200));
  EXPECT_FALSE(CATransform3DIsIdentity(spring()->blurredView()->transform()));
  controller.handleDragDidExitWithURLs({"/p/a.jpg"});
  settle();
  EXPECT_DOUBLE_EQ(spring()->scale().width, 1.0);
  EXPECT_DOUBLE_EQ(spring()->blurredView()->alpha(), 0.0);
  EXPECT_DOUBLE_EQ(view()->openButton()->alpha(), 1.0);
  EXPECT_TRUE(view()->openButton()->hoverEnabled());
  EXPECT_DOUBLE_EQ(view()->dropRing()->alpha(), 0.0);
  EXPECT_FALSE(view()->blurImageURL().has_value());
}

TEST_F(QVOpenScreenTest, SameURLTwiceDoesNothingTheSecondTime) {
  int first = 0, second = 0;
  view()->setBlurImageURL(std::string("/p/a.jpg"), [&](bool) { ++first; });
  view()->setBlurImageURL(std::string("/p/a.jpg"), [&](bool) { ++second; });
  settle();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(services->requested.size(), 1u);
}

TEST_F(QVOpenScreenTest, WaitingForTheBlurredImage) {
  int atOnce = 0;
  controller.waitForBlurredImageApply([&] { ++atOnce; });
  EXPECT_EQ(atOnce, 1);  // nothing being applied

  services->holdBlurs = true;
  int shown = 0, early = 0, late = 0;
  controller.updateBlurredImageWithURL(std::string("/p/a.jpg"), [&] { ++shown; });
  EXPECT_TRUE(spring()->isApplyingBlurredImage());
  controller.waitForBlurredImageApply([&] { ++early; });
  controller.waitForBlurredImageApply([&] { ++late; });
  // The same URL with a completion waits for the photo too.
  int again = 0;
  controller.updateBlurredImageWithURL(std::string("/p/a.jpg"), [&] { ++again; });
  settle(0.5);
  EXPECT_EQ(shown + early + late + again, 0);
  releaseBlurs();
  settle();
  EXPECT_FALSE(spring()->isApplyingBlurredImage());
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(early, 0);  // replaced by the later block
  EXPECT_EQ(again, 1);
  // Once shown, the same URL answers at once.
  controller.updateBlurredImageWithURL(std::string("/p/a.jpg"), [&] { ++again; });
  EXPECT_EQ(again, 2);
  EXPECT_EQ(late + again, 3);
}

TEST_F(QVOpenScreenTest, ARefusedFileShowsNothingAndLetsTheDropGoOn) {
  services->holdBlurs = true;
  controller.updateBlurredImageWithURL(std::string("/p/a.jpg"), nullptr);
  int waiting = 0, completion = 0;
  controller.waitForBlurredImageApply([&] { ++waiting; });
  controller.updateBlurredImageWithURL(std::string("/p/broken.jpg"), [&] { ++completion; });
  EXPECT_EQ(completion, 1);
  EXPECT_EQ(waiting, 1);
  EXPECT_FALSE(spring()->isApplyingBlurredImage());
  EXPECT_FALSE(spring()->blurredView()->imageURL().has_value());
  // The first photo's late answer is dropped: another was asked for meanwhile.
  releaseBlurs();
  settle();
  EXPECT_EQ(spring()->blurredView()->image(), nullptr);
  int afterwards = 0;
  controller.waitForBlurredImageApply([&] { ++afterwards; });
  EXPECT_EQ(afterwards, 1);
}

TEST_F(QVOpenScreenTest, ChosenFilesGoToTheDelegateOnce) {
  controller.insertTitleBarView(QVSolvaneTopBarView::topBar());
  auto before = controller.animatableViews();
  EXPECT_TRUE(before.has(QVOpenViewControllerTitleBarKey));
  EXPECT_FALSE(before.blurIsShown);
  for (const char* key : {QVOpenViewControllerExportButtonKey, QVOpenViewControllerBackgroundViewKey,
                          QVOpenViewControllerBlurredBackgroundViewKey, QVOpenViewControllerControlsViewKey,
                          QVOpenViewControllerTitleBarContainerKey, QVOpenViewControllerSpringViewKey}) {
    EXPECT_TRUE(before.has(key)) << key;
  }

  controller.showAndHandleChooseFilesPanel();
  EXPECT_EQ(services->panels, 1);
  EXPECT_DOUBLE_EQ(spring()->targetScale(), 1.1);
  ASSERT_TRUE(services->panelHandler);
  services->panelHandler(Paths{"/p/a.jpg", "/p/small.jpg", "/p/b.jpg"});
  ASSERT_EQ(delegate.calls.size(), 1u);
  EXPECT_EQ(delegate.calls[0], (Paths{"/p/a.jpg", "/p/b.jpg"}));
  EXPECT_EQ(view()->blurImageURL(), std::optional<std::string>("/p/a.jpg"));
  const auto after = controller.animatableViews();
  EXPECT_FALSE(after.has(QVOpenViewControllerTitleBarKey));
  EXPECT_TRUE(after.blurIsShown);
  EXPECT_TRUE(controller.needToShowBlurredImageDuringAnimation());
}

TEST_F(QVOpenScreenTest, ACancelledOrEmptyChoiceSpringsBack) {
  for (std::optional<Paths> answer : {std::optional<Paths>(), std::optional<Paths>(Paths{"/p/small.jpg"})}) {
    controller.showAndHandleChooseFilesPanel();
    settle(0.5);
    EXPECT_GT(spring()->scale().width, 1.0);
    services->panelHandler(answer);
    settle();
    EXPECT_DOUBLE_EQ(spring()->scale().width, 1.0);
  }
  EXPECT_TRUE(delegate.calls.empty());
  EXPECT_FALSE(controller.needToShowBlurredImageDuringAnimation());
}

TEST_F(QVOpenScreenTest, AppearingCountsTheLaunchAndTellsTheDelegate) {
  int posted = 0;
  auto token = qv::NotificationCenter::defaultCenter().addObserver(kQVOpenViewDidAppear, nullptr,
                                                                   [&](const qv::Notification&) { ++posted; });
  controller.viewDidAppear();
  EXPECT_EQ(posted, 1);
  EXPECT_EQ(services->launched, 1);
}

TEST_F(QVOpenScreenTest, ContentsEdgeInsetIsThePanelsPlaceInTheWindow) {
  using Insets = QVOpenViewController::EdgeInsets;
  EXPECT_EQ(QVOpenViewController::edgeInsets(CGRectMake(21, 30, 410, 390), CGRectMake(0, 0, 452, 440)),
            (Insets{20, 21, 30, 21}));
  EXPECT_EQ(QVOpenViewController::edgeInsets(CGRectZero, CGRectZero), (Insets{0, 0, 0, 0}));
  // Inside a window's content: the panel's inset on every side.
  QVSolvaneWindow window;
  QVEmbedInContainer(controller.view(), window.contentView());
  window.contentView()->layoutSubtreeIfNeeded();
  view()->layoutSubtreeIfNeeded();
  const double inset = QVOpenView::kPanelInset;
  EXPECT_EQ(controller.contentsEdgeInset(), (Insets{inset, inset, inset, inset}));
  controller.view()->setParent(nullptr);
}

// The window shrinks back to the open screen under a resting pointer: the import button springs
// to its hover size while the screen is laid out for the smaller window. It keeps the spring's
// size but sits at its new place, centred in the panel, not where the larger window had it.
TEST_F(QVOpenScreenTest, TheImportButtonKeepsItsPlaceWhileItsHoverSpringRuns) {
  view()->setFrame(CGRectMake(0, 0, 960, 639));
  view()->layoutSubtreeIfNeeded();
  QVSpringButton* button = view()->openButton();
  button->setHovering(true);
  ASSERT_FALSE(button->currentHoverAnimationKey().empty());
  QVAnimationDriver::shared().advance(0.05);
  view()->setFrame(CGRectMake(0, 0, 452, 440));
  view()->setNeedsLayout();
  view()->layoutSubtreeIfNeeded();
  ASSERT_FALSE(button->currentHoverAnimationKey().empty()) << "the spring still runs";
  const QRect placed = button->geometry();
  const QWidget* panel = button->parentWidget();
  EXPECT_NEAR(placed.center().x(), panel->width() / 2.0, 1.5);
  EXPECT_TRUE(panel->rect().contains(placed)) << placed.x() << "," << placed.y() << " " << placed.width();
}

// The title over the open screen's panel takes its clicks (it opens the title menu): nothing the
// panel draws over itself, such as the drop ring, lies over it.
TEST_F(QVOpenScreenTest, TheTitleBarsTitleTakesItsClicks) {
  auto* bar = QVSolvaneTopBarView::topBar();
  bar->setTitle("Solvane");
  controller.insertTitleBarView(bar);
  QVSolvaneWindow window;
  QVEmbedInContainer(controller.view(), window.contentView());
  window.show();
  window.contentView()->layoutSubtreeIfNeeded();
  view()->layoutSubtreeIfNeeded();
  bar->layoutSubtreeIfNeeded();
  QWidget* title = bar->solvaneButton();
  ASSERT_TRUE(title->isVisible());
  const QPoint centre = title->mapTo(&window, title->rect().center());
  EXPECT_EQ(window.childAt(centre), title);
  controller.view()->setParent(nullptr);
}
