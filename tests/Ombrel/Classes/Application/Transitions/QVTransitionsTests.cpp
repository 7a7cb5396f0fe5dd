#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QWidget>

#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "Ombrel/Classes/Application/Transitions/QVExportAnimationTransitionController.h"
#include "Ombrel/Classes/Application/Transitions/QVMultiAnimationTransitionController.h"
#include "Ombrel/Classes/Application/Transitions/QVOpenAnimationTransitionController.h"
#include "Ombrel/Classes/Application/Transitions/QVSingleMultiAnimationTransitionController.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVOverlayCanvas.h"
#include "QVAppKit/QVView.h"

namespace {

using Controller = QVExportAnimationTransitionController;
using SingleMulti = QVSingleMultiAnimationTransitionController;

// A screen of a mode with a plain view.
class FakeScreen : public QVExportContainerAnimatable {
 public:
  FakeScreen(int64_t mode, QColor colour) : mode_(mode), view_(QVMake<QVView>(CGRectMake(0, 0, 10, 10))) {
    view_->setBackgroundColor(colour);
  }
  ~FakeScreen() override {
    if (view_ && !view_->parent()) delete view_.data();
  }
  int64_t containerMode() const override { return mode_; }
  QWidget* containerView() override { return view_; }
  std::map<std::string, QWidget*> animatableViews() override { return views; }
  std::map<std::string, QWidget*> views;

 private:
  int64_t mode_;
  QPointer<QVView> view_;
};

class FakeDelegate : public QVExportAnimationTransitionControllerDelegate {
 public:
  CGRect firstCell = CGRectMake(40, 300, 200, 150);
  CGRect exportAnimationTransitionCalculateGalleryFirstCellRect(Controller*) override { return firstCell; }
};

// A window with a content container the transition view fills, like the main window's.
struct Stage {
  std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
  Stage() {
    window->resize(800, 600);
    window->show();
  }
  void lay(Controller& c) { QVExportAnimationTransitionController::embedView(window.get(), c.view()); }
};

void advance(double seconds) { QVAnimationDriver::shared().advance(seconds); }

TEST(QVTransitions, FactoryPicksTheClassForEachPairAndNoneOutsideTheModes) {
  struct Case {
    int64_t from, to;
    const char* kind;
  };
  const Case cases[] = {{1, 2, "singleMulti"}, {2, 1, "singleMulti"}, {0, 1, "open"},   {0, 2, "open"},
                        {0, 0, "open"},        {1, 0, "single"},      {1, 1, "single"}, {2, 0, "multi"},
                        {2, 2, "multi"},       {-1, 1, nullptr},      {3, 0, nullptr},  {-1, -1, nullptr}};
  for (const Case& c : cases) {
    auto controller = Controller::transitionControllerWithTransition(QVExportTransitionMake(c.from, c.to));
    SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
    if (!c.kind) {
      EXPECT_EQ(controller, nullptr);
      continue;
    }
    ASSERT_NE(controller, nullptr);
    const std::string kind = c.kind;
    EXPECT_EQ(dynamic_cast<SingleMulti*>(controller.get()) != nullptr, kind == "singleMulti");
    EXPECT_EQ(dynamic_cast<QVOpenAnimationTransitionController*>(controller.get()) != nullptr, kind == "open");
    EXPECT_EQ(dynamic_cast<QVSingleAnimationTransitionController*>(controller.get()) != nullptr, kind == "single");
    EXPECT_EQ(dynamic_cast<QVMultiAnimationTransitionController*>(controller.get()) != nullptr, kind == "multi");
  }
}

TEST(QVTransitions, TransitionsThatAnimateNothingCompleteAtOnceWithYes) {
  for (int64_t to : {0, 1}) {
    auto c = Controller::transitionControllerWithTransition(QVExportTransitionMake(1, to));
    std::vector<bool> finished;
    c->makeTransition(QVExportTransitionMake(1, to), [&](bool f) { finished.push_back(f); });
    EXPECT_EQ(finished, std::vector<bool>{true});
    EXPECT_EQ(c->currentTransition(), QVExportTransitionMake(1, to));
  }
}

TEST(QVTransitions, CancelLeavesNoTransitionAndCancellingOffBeforeTheCallerRuns) {
  QVSingleAnimationTransitionController c;
  c.makeTransition(QVExportTransitionMake(1, 0));
  bool ran = false;
  c.cancelTransition([&](bool) {
    ran = true;
    EXPECT_EQ(c.currentTransition(), QVExportTransitionNone);
    EXPECT_FALSE(c.cancelling());
  });
  EXPECT_TRUE(ran);
}

TEST(QVTransitions, IdentifiersChooseTheStoredCompletionOnce) {
  QVSingleAnimationTransitionController c;
  std::vector<std::string> ran;
  c.storeCompletion("a", [&](bool) { ran.push_back("a"); });
  c.storeCompletion("b", [&](bool) { ran.push_back("b"); });
  c.animationDidStop("", true);
  c.animationDidStop("other", true);
  EXPECT_TRUE(ran.empty());
  c.animationDidStop("b", true);
  c.animationDidStop("b", true);
  EXPECT_EQ(ran, std::vector<std::string>{"b"});
  EXPECT_TRUE(c.hasStoredCompletion("a"));
  EXPECT_FALSE(c.hasStoredCompletion("b"));
}

TEST(QVTransitions, EdgeInsetsOfTheCellInBothLayoutDirections) {
  const CGRect cell = CGRectMake(40, 300, 200, 150);
  const CGSize container = CGSizeMake(800, 600);
  EXPECT_EQ(SingleMulti::edgeInsetsForCellRect(cell, container, false), (SingleMulti::EdgeInsets{150, 40, 300, 560}));
  EXPECT_EQ(SingleMulti::edgeInsetsForCellRect(cell, container, true), (SingleMulti::EdgeInsets{150, 560, 300, 40}));
}

TEST(QVTransitionSprites, GrabsAViewOnceHidesItAndPaintsPlainColourSprites) {
  Stage stage;
  QVView* view = QVMake<QVView>(CGRectMake(10, 10, 100, 80));
  view->setBackgroundColor(Qt::red);
  view->setParent(stage.window.get());
  view->show();
  QVTransitionSprites sprites(stage.window.get());
  const auto id = sprites.grab(view);
  EXPECT_EQ(sprites.grab(view), id);
  EXPECT_FALSE(view->isVisible());
  // The sprite stands where the view stood, in the window's bottom-left space.
  EXPECT_EQ(sprites.sprite(id).frame, CGRectMake(10, 10, 100, 80));
  EXPECT_EQ(view->geometry(), QRect(10, 600 - 10 - 80, 100, 80));
  QVTransitionSprite panel;
  panel.frame = CGRectMake(300, 100, 200, 100);
  panel.backgroundColor = QColor(0, 200, 0);
  panel.cornerRadius = 6;
  const auto plain = sprites.add(panel);
  QVTransitionSprite target = panel;
  target.backgroundColor = QColor(0, 0, 200);
  target.frame = CGRectMake(100, 100, 100, 50);
  sprites.animate(plain, target);
  advance(0.15);
  const QVTransitionSprite half = sprites.sprite(plain);
  EXPECT_GT(half.frame.origin.x, 100);
  EXPECT_LT(half.frame.origin.x, 300);
  advance(0.3);
  EXPECT_EQ(sprites.sprite(plain).frame, target.frame);
  const QImage shot = stage.window->grab().toImage();
  EXPECT_EQ(QColor(shot.pixel(150, 600 - 125)), QColor(0, 0, 200));
  sprites.clear();
  EXPECT_TRUE(view->isVisible());
  EXPECT_EQ(sprites.count(), 0u);
}

struct SingleMultiFixture : ::testing::Test {
  Stage stage;
  FakeScreen single{1, QColor(200, 30, 30)};
  FakeScreen gallery{2, QColor(30, 30, 30)};
  FakeDelegate delegate;
  SingleMulti c;
  void SetUp() override {
    stage.lay(c);
    QVExportAnimationTransitionController::embedView(c.view(), single.containerView());
  }
  void start(int64_t from, int64_t to) {
    c.setStartVC(from == 1 ? static_cast<QVExportContainerAnimatable*>(&single) : &gallery);
    c.setEndVC(to == 1 ? static_cast<QVExportContainerAnimatable*>(&single) : &gallery);
    c.setDelegate(&delegate);
    c.willBeginTransitionToMode(to);
    c.makeTransition(QVExportTransitionMake(from, to), [this](bool f) { reports.push_back(f); });
  }
  std::vector<bool> reports;
};

TEST_F(SingleMultiFixture, ToTheGalleryShrinksIntoTheFirstCellAndReportsOnce) {
  start(1, 2);
  EXPECT_TRUE(c.isAnimating());
  EXPECT_FALSE(single.containerView()->isVisible()) << "the real view hides while its picture moves";
  auto* overlay = QVOverlayCanvas::overlayForWindow(stage.window.get());
  EXPECT_GE(overlay->itemCount(), 1u);
  advance(0.15);
  EXPECT_GT(c.constants().left, 0);
  EXPECT_LT(c.constants().left, 40);
  advance(0.3);
  EXPECT_EQ(reports, std::vector<bool>{true});
  EXPECT_EQ(c.constants(), (SingleMulti::EdgeInsets{150, 40, 300, 560}));
  EXPECT_DOUBLE_EQ(c.fullAlpha(), 0);
  EXPECT_EQ(overlay->itemCount(), 0u) << "the finish takes the sprites away";
}

TEST_F(SingleMultiFixture, CancelWhileRunningReturnsAndOnlyTheCancelReports) {
  start(1, 2);
  advance(0.1);
  std::vector<bool> cancels;
  c.cancelTransition([&](bool f) { cancels.push_back(f); });
  EXPECT_TRUE(c.isAnimating());
  advance(0.5);
  EXPECT_TRUE(reports.empty()) << "the interrupted transition does not report";
  EXPECT_EQ(cancels, std::vector<bool>{true});
  EXPECT_EQ(c.constants(), SingleMulti::EdgeInsets{});
  EXPECT_DOUBLE_EQ(c.fullAlpha(), 1);
  EXPECT_EQ(c.currentTransition(), QVExportTransitionNone);
  EXPECT_FALSE(c.isAnimating());
  EXPECT_TRUE(single.containerView()->isVisible());
}

TEST_F(SingleMultiFixture, CancelAfterTheEndAndOverlappingCancelsReportOnceEach) {
  start(1, 2);
  advance(0.1);
  std::vector<int> cancels;
  c.cancelTransition([&](bool) { cancels.push_back(1); });
  advance(0.05);
  c.cancelTransition([&](bool) { cancels.push_back(2); });
  advance(0.5);
  EXPECT_EQ(cancels, std::vector<int>{2});
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(c.constants(), SingleMulti::EdgeInsets{});
  EXPECT_DOUBLE_EQ(c.fullAlpha(), 1);
}

TEST_F(SingleMultiFixture, BackFromTheGalleryGrowsFromTheCellItLeft) {
  delegate.firstCell = CGRectMake(500, 20, 100, 80);
  start(2, 1);
  advance(0.0001);
  EXPECT_NEAR(c.constants().left, 500, 1);
  EXPECT_NEAR(c.constants().bottom, 20, 1);
  EXPECT_LT(c.fullAlpha(), 0.05);
  advance(0.4);
  EXPECT_EQ(reports, std::vector<bool>{true});
  EXPECT_EQ(c.constants(), SingleMulti::EdgeInsets{});
  EXPECT_DOUBLE_EQ(c.fullAlpha(), 1);
}

TEST_F(SingleMultiFixture, BackToOnePhotoCoversTheOtherCellsAsThePhotoGrows) {
  auto* overlay = QVOverlayCanvas::overlayForWindow(stage.window.get());
  static_cast<QVView*>(gallery.containerView())->setBackgroundColor(QColor(0, 160, 0));
  start(2, 1);
  ASSERT_NE(c.coverSprite(), 0u);
  EXPECT_DOUBLE_EQ(overlay->item(c.coverSprite())->alpha, 0) << "the gallery shows whole at the start";
  advance(0.15);
  const double half = overlay->item(c.coverSprite())->alpha;
  EXPECT_GT(half, 0.2);
  EXPECT_LT(half, 0.8);
  EXPECT_DOUBLE_EQ(half, c.fullAlpha()) << "the cover fades in with the photo";
  advance(0.05);
  ASSERT_EQ(overlay->itemCount(), 3u) << "the gallery's picture, the cover and the photo";
  EXPECT_FALSE(gallery.containerView()->isVisible()) << "its picture stands in for the gallery";
  // Beside the growing photo the gallery goes under its own colour.
  const double a = overlay->item(c.coverSprite())->alpha;
  EXPECT_GT(a, 0.7);
  const QColor corner(stage.window->grab().toImage().pixel(1, 1));
  EXPECT_NEAR(corner.green(), 160 * (1 - a) + QVUIStyle::themeBGColor().green() * a, 6);
  EXPECT_NEAR(corner.red(), QVUIStyle::themeBGColor().red() * a, 6);
  advance(0.1);
  EXPECT_EQ(reports, std::vector<bool>{true});
  EXPECT_EQ(overlay->itemCount(), 0u);
}

TEST_F(SingleMultiFixture, TowardsTheGalleryNothingCoversIt) {
  start(1, 2);
  EXPECT_EQ(c.coverSprite(), 0u);
  advance(0.5);
  EXPECT_EQ(reports, std::vector<bool>{true});
}

TEST_F(SingleMultiFixture, RightToLeftShrinksTowardsTheMirroredCell) {
  QGuiApplication::setLayoutDirection(Qt::RightToLeft);
  start(1, 2);
  advance(0.5);
  QGuiApplication::setLayoutDirection(Qt::LeftToRight);
  EXPECT_EQ(c.constants(), (SingleMulti::EdgeInsets{150, 560, 300, 40}));
}

TEST(QVTransitions, BackToTheOpenScreenCancelledAtAnyStepReportsOnceAndShowsTheGalleryAgain) {
  // During the grid's fade, the panel's shrink and the open screen's fade-in.
  for (double at : {0.1, 0.45, 0.75}) {
    SCOPED_TRACE(at);
    Stage stage;
    FakeScreen gallery{2, QColor(30, 30, 30)};
    FakeScreen open{0, QColor(60, 60, 60)};
    QVMultiAnimationTransitionController c;
    stage.lay(c);
    QVExportAnimationTransitionController::embedView(c.view(), gallery.containerView());
    c.setStartVC(&gallery);
    c.setEndVC(&open);
    int reports = 0;
    c.makeTransition(QVExportTransitionMake(2, 0), [&](bool) { ++reports; });
    auto* overlay = QVOverlayCanvas::overlayForWindow(stage.window.get());
    EXPECT_GT(overlay->itemCount(), 0u);
    advance(at);
    std::vector<bool> cancels;
    c.cancelTransition([&](bool f) { cancels.push_back(f); });
    EXPECT_EQ(cancels, std::vector<bool>{true});
    advance(2);
    EXPECT_EQ(cancels, std::vector<bool>{true});
    EXPECT_EQ(reports, 0) << "the interrupted transition never reports";
    EXPECT_EQ(c.currentTransition(), QVExportTransitionNone);
    EXPECT_EQ(overlay->itemCount(), 0u);
    EXPECT_TRUE(gallery.containerView()->isVisible());
    EXPECT_EQ(open.containerView()->parentWidget(), nullptr) << "the open screen leaves the transition view";
  }
}

}  // namespace
