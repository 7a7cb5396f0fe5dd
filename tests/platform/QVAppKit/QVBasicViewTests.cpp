#include "QVAppKit/QVBasicView.h"

#include <gtest/gtest.h>

#include "QVAppKit/QVViewController.h"

#include <memory>
#include <string>
#include <vector>

namespace {

// Records the order of its life-cycle calls.
class RecordingView : public QVBasicView {
 public:
  using QVBasicView::QVBasicView;
  void initialize() override {
    QVBasicView::initialize();
    log.push_back("defaults");
  }
  void addSubviews() override { log.push_back("addSubviews"); }
  void setupLayoutConstraints() override {
    ++setups;
    addConstraint([this] { ++ruleRuns; });
  }
  std::vector<std::string> log;
  int setups = 0;
  int ruleRuns = 0;
};

TEST(QVBasicView, InitializeBuildsSubviewsBeforeTheSubclassDefaults) {
  std::unique_ptr<RecordingView> view(QVMake<RecordingView>());
  EXPECT_EQ(view->log, (std::vector<std::string>{"addSubviews", "defaults"}));
  EXPECT_EQ(view->setups, 0);
}

TEST(QVBasicView, ConstraintsAreSetUpOncePerAttachment) {
  std::unique_ptr<QVBasicView> first(QVMake<QVBasicView>(CGRectMake(0, 0, 200, 200)));
  std::unique_ptr<QVBasicView> second(QVMake<QVBasicView>(CGRectMake(0, 0, 200, 200)));
  auto* view = QVMake<RecordingView>(CGRectMake(0, 0, 10, 10));

  first->addSubview(view);
  first->addSubview(view);  // again without removal
  EXPECT_EQ(view->setups, 1);
  EXPECT_TRUE(view->wereConstraintsSetUp());

  view->removeFromSuperview();
  EXPECT_FALSE(view->wereConstraintsSetUp());
  EXPECT_EQ(view->constraintCount(), 0u) << "moving to no superview removes the constraints";

  second->addSubview(view);
  EXPECT_EQ(view->setups, 2);
  EXPECT_EQ(view->constraintCount(), 1u);
  view->layoutSubtreeIfNeeded();
  EXPECT_EQ(view->ruleRuns, 1);
}

TEST(QVBasicView, AnEmbeddedViewKeepsFillingAContainerThatMoved) {
  // A panel moved out of its screen and back (as a cross-fade does) still fills the panel's
  // children to its new size.
  std::unique_ptr<QVBasicView> screen(QVMake<QVBasicView>(CGRectMake(0, 0, 400, 300)));
  auto* panel = QVMake<QVBasicView>(CGRectMake(0, 0, 400, 300));
  auto* row = QVMake<QVBasicView>(CGRectMake(0, 0, 10, 10));
  QVEmbedInContainer(panel, screen.get());
  QVEmbedInContainer(row, panel);
  EXPECT_EQ(row->frame().size.width, 400);
  panel->removeFromSuperview();
  QVEmbedInContainer(panel, screen.get());
  screen->setFrame(CGRectMake(0, 0, 768, 432));
  screen->layoutSubtreeIfNeeded();
  EXPECT_EQ(panel->frame().size.width, 768);
  EXPECT_EQ(row->frame().size.width, 768);
  EXPECT_EQ(row->frame().size.height, 432);
}

TEST(QVBasicView, FramesAreInTheSuperviewsBottomLeftSpace) {
  std::unique_ptr<QVBasicView> parent(QVMake<QVBasicView>(CGRectMake(0, 0, 300, 200)));
  auto* child = QVMake<QVBasicView>(CGRectMake(10, 20, 30, 40));
  parent->addSubview(child);
  // On screen: 20 points above the parent's bottom edge.
  EXPECT_EQ(child->geometry(), QRect(10, 200 - 60, 30, 40));

  // The parent grows upwards: the child keeps its distance from the bottom edge.
  parent->setFrameSize(CGSizeMake(300, 260));
  EXPECT_EQ(child->geometry(), QRect(10, 260 - 60, 30, 40));

  // Growing the child keeps its origin, so it grows up and to the right from its bottom-left corner.
  child->setFrameSize(CGSizeMake(50, 70));
  EXPECT_EQ(child->geometry(), QRect(10, 260 - 20 - 70, 50, 70));

  const CGRect f = child->frame();
  EXPECT_DOUBLE_EQ(f.origin.y, 20);
  EXPECT_DOUBLE_EQ(f.size.height, 70);
}

TEST(QVBasicView, HitTestFindsTheDeepestViewInFrontAndNothingOutside) {
  std::unique_ptr<QVBasicView> parent(QVMake<QVBasicView>(CGRectMake(0, 0, 100, 100)));
  auto* back = QVMake<QVBasicView>(CGRectMake(0, 0, 100, 100));
  auto* front = QVMake<QVBasicView>(CGRectMake(50, 0, 50, 50));
  parent->addSubview(back);
  parent->addSubview(front);
  EXPECT_EQ(parent->hitTest(CGPointMake(75, 25)), front);
  EXPECT_EQ(parent->hitTest(CGPointMake(25, 75)), back);
  EXPECT_EQ(parent->hitTest(CGPointMake(150, 25)), nullptr);
}

}  // namespace
