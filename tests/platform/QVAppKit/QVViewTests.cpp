#include "QVAppKit/QVView.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "AppKitTestSupport.h"
#include "QVAppKit/QVFrameChangingView.h"
#include "QVAppKit/QVRoundedView.h"

namespace {

using appkit_test::pixelAt;
using appkit_test::render;

// A window-sized white view to draw into; views are placed in its bottom-left space.
std::unique_ptr<QVView> makeCanvas(double w = 200, double h = 200) {
  std::unique_ptr<QVView> canvas(QVMake<QVView>(CGRectMake(0, 0, w, h)));
  canvas->setBackgroundColor(Qt::white);
  return canvas;
}

QVView* addFilled(QVBasicView* parent, CGRect frame, QColor color) {
  auto* v = QVMake<QVView>(frame);
  v->setBackgroundColor(color);
  parent->addSubview(v);
  return v;
}

bool near(QColor a, QColor b, int tolerance = 6) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

TEST(QVView, InteractionOffMakesTheWholeSubtreeClickThrough) {
  auto canvas = makeCanvas();
  canvas->show();
  auto* back = addFilled(canvas.get(), CGRectMake(0, 0, 200, 200), Qt::gray);
  auto* front = addFilled(canvas.get(), CGRectMake(0, 0, 100, 100), Qt::blue);
  auto* inner = addFilled(front, CGRectMake(10, 10, 50, 50), Qt::red);
  const QPoint innerOnScreen = canvas->mapFromGlobal(inner->mapToGlobal(QPoint(5, 5)));

  EXPECT_EQ(canvas->childAt(innerOnScreen), inner);
  EXPECT_EQ(canvas->hitTest(CGPointMake(20, 20)), inner);

  front->setUserInteractionEnabled(false);
  EXPECT_EQ(canvas->childAt(innerOnScreen), back) << "Qt delivers the click to the view behind";
  EXPECT_EQ(canvas->hitTest(CGPointMake(20, 20)), back);
  EXPECT_EQ(front->hitTest(CGPointMake(20, 20)), nullptr);

  front->setUserInteractionEnabled(true);
  EXPECT_EQ(canvas->childAt(innerOnScreen), inner);
}

TEST(QVView, PillRadiusFollowsHalfTheHeightAtEveryLayout) {
  std::unique_ptr<QVView> view(QVMake<QVView>(CGRectMake(0, 0, 120, 30)));
  view->setRoundsCornersToFitHeight(true);
  for (double height : {30.0, 44.0, 17.0, 0.0}) {
    view->setFrameSize(CGSizeMake(120, height));
    view->layoutSubtreeIfNeeded();
    EXPECT_DOUBLE_EQ(view->cornerRadius(), height / 2) << height;
    EXPECT_TRUE(view->roundsCornersToFitHeight());
  }
  view->setCornerRadius(view->cornerRadius());
  EXPECT_TRUE(view->roundsCornersToFitHeight()) << "the same radius leaves the flag on";
  view->setCornerRadius(4);
  EXPECT_FALSE(view->roundsCornersToFitHeight());
  view->setFrameSize(CGSizeMake(120, 60));
  view->layoutSubtreeIfNeeded();
  EXPECT_DOUBLE_EQ(view->cornerRadius(), 4);
}

TEST(QVView, SetViewsEnabledAnswersExactlyTheViewsItChanged) {
  std::unique_ptr<QVView> a(QVMake<QVView>()), b(QVMake<QVView>()), c(QVMake<QVView>());
  QWidget plain;
  b->setUserInteractionEnabled(false);
  std::vector<QWidget*> all{a.get(), &plain, b.get(), c.get()};

  const auto changed = QVView::setViews(all, false);
  EXPECT_EQ(changed, (std::vector<QWidget*>{a.get(), c.get()}));
  EXPECT_TRUE(QVView::setViews(all, false).empty()) << "already in the wanted state";
  // Restoring exactly those leaves b as it was.
  EXPECT_EQ(QVView::setViews(changed, true), changed);
  EXPECT_FALSE(b->userInteractionEnabled());
}

TEST(QVView, MouseDownCanMoveWindowFollowsTheFlagsOnceSet) {
  std::unique_ptr<QVView> view(QVMake<QVView>());
  EXPECT_FALSE(view->mouseDownCanMoveWindowWasSet());
  struct Case {
    bool flag, interaction, expected;
  };
  for (Case c : {Case{true, true, true}, Case{false, true, false}, Case{false, false, true}, Case{true, false, true}}) {
    view->setMouseDownCanMoveWindow(c.flag);
    view->setUserInteractionEnabled(c.interaction);
    EXPECT_EQ(view->mouseDownCanMoveWindow(), c.expected) << c.flag << c.interaction;
  }
  EXPECT_NE(view->description().find("; UIE: 0 "), std::string::npos);
}

TEST(QVRoundedView, PerCornerRoundingClipsChildren) {
  auto canvas = makeCanvas(100, 100);
  canvas->show();
  auto* rounded = QVMake<QVRoundedView>(CGRectMake(0, 0, 100, 100));
  canvas->addSubview(rounded);
  addFilled(rounded, CGRectMake(0, 0, 100, 100), Qt::red);

  rounded->setRoundParams({kQVRectCornerTopLeft | kQVRectCornerBottomRight, QVSMakeCornerRadii(40, 40, 40, 40)});
  rounded->layoutSubtreeIfNeeded();
  EXPECT_TRUE(rounded->usesPresentationEffect()) << "children are clipped as one";
  QImage image = render(canvas.get());
  EXPECT_TRUE(near(pixelAt(image, 2, 2), Qt::white)) << "top-left corner cut away";
  EXPECT_TRUE(near(pixelAt(image, 97, 97), Qt::white)) << "bottom-right corner cut away";
  EXPECT_TRUE(near(pixelAt(image, 97, 2), Qt::red)) << "top-right corner square";
  EXPECT_TRUE(near(pixelAt(image, 2, 97), Qt::red)) << "bottom-left corner square";
  EXPECT_TRUE(near(pixelAt(image, 50, 50), Qt::red));

  // Params that round nothing keep the last mask.
  rounded->setRoundParams({});
  rounded->layoutSubtreeIfNeeded();
  image = render(canvas.get());
  EXPECT_TRUE(near(pixelAt(image, 2, 2), Qt::white));
}

TEST(QVView, AlphaAndScaleAboutTheAnchorApplyToTheSubtree) {
  auto canvas = makeCanvas(200, 200);
  canvas->show();
  // The container fills the canvas's top-left quarter: (0, 100) in the bottom-left space.
  auto* container = QVMake<QVView>(CGRectMake(0, 100, 100, 100));
  canvas->addSubview(container);
  addFilled(container, CGRectMake(0, 0, 100, 100), Qt::red);
  EXPECT_FALSE(container->usesPresentationEffect());

  container->setAlpha(0.5);
  EXPECT_TRUE(container->usesPresentationEffect());
  QImage image = render(canvas.get());
  EXPECT_TRUE(near(pixelAt(image, 50, 50), QColor(255, 128, 128))) << pixelAt(image, 50, 50).name().toStdString();

  // Half size about the bottom-right corner: it shrinks down and to the right, into that corner.
  container->setAlpha(1);
  container->setAnchorPoint(CGPointMake(1, 0));
  container->setScale(0.5);
  image = render(canvas.get());
  EXPECT_TRUE(near(pixelAt(image, 25, 25), Qt::white));
  EXPECT_TRUE(near(pixelAt(image, 45, 75), Qt::white));
  EXPECT_TRUE(near(pixelAt(image, 75, 75), Qt::red));
  EXPECT_TRUE(near(pixelAt(image, 53, 53), Qt::red)) << "the whole subtree, not only the part under the result";
  EXPECT_TRUE(near(pixelAt(image, 98, 98), Qt::red));
  EXPECT_TRUE(near(pixelAt(image, 150, 150), Qt::white)) << "nothing beyond the anchor";

  container->setScale(1);
  EXPECT_FALSE(container->usesPresentationEffect()) << "removed once nothing needs it";
  image = render(canvas.get());
  EXPECT_TRUE(near(pixelAt(image, 5, 5), Qt::red));
}

TEST(QVView, TheSubtreesPictureIsKeptForPresentationChangesAndDroppedForContentChanges) {
  auto canvas = makeCanvas(100, 100);
  canvas->show();
  auto* container = QVMake<QVView>(CGRectMake(0, 0, 100, 100));
  canvas->addSubview(container);
  auto* child = addFilled(container, CGRectMake(0, 0, 100, 100), Qt::red);
  auto* plain = new QWidget();
  plain->setParent(container);
  container->setAlpha(0.5);
  render(canvas.get());
  const int first = container->subtreePictureRenders();
  EXPECT_EQ(first, 1);

  container->setAlpha(0.6);
  container->setScale(0.9);
  QImage image = render(canvas.get());
  EXPECT_EQ(container->subtreePictureRenders(), first) << "a fade or scale reuses the picture";

  container->setScale(1);
  container->setAlpha(0.5);
  child->setBackgroundColor(Qt::blue);
  image = render(canvas.get());
  EXPECT_EQ(container->subtreePictureRenders(), first + 1);
  EXPECT_TRUE(near(pixelAt(image, 50, 50), QColor(128, 128, 255))) << pixelAt(image, 50, 50).name().toStdString();

  plain->resize(10, 10);  // any event inside counts as a change
  render(canvas.get());
  EXPECT_EQ(container->subtreePictureRenders(), first + 2);
}

// A panel that lets clicks through beside its controls keeps a mask around them; fading, it draws
// through the combined effect. Its controls stay where they are, on screen and in a snapshot (the
// picture a transition moves), and what lies outside the mask stays cut off as without the fade.
TEST(QVView, AFadingViewWithAMaskDrawsItsSubtreeWhereItLies) {
  struct Case {
    const char* how;
    std::function<QImage(QVView*)> draw;
  };
  const Case cases[] = {
      {"on screen", [](QVView* v) { return render(v); }},
      {"in a snapshot", [](QVView* v) { return v->snapshot().toImage(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    auto canvas = makeCanvas(300, 200);
    canvas->show();
    auto* panel = QVMake<QVView>(CGRectMake(0, 0, 300, 200));
    canvas->addSubview(panel);
    addFilled(panel, CGRectMake(230, 10, 60, 30), Qt::red);   // bottom-right: Qt's (230, 160)
    addFilled(panel, CGRectMake(10, 160, 60, 30), Qt::blue);  // top-left, outside the mask
    panel->setMask(QRegion(150, 150, 150, 50));
    panel->setAlpha(0.31);
    ASSERT_TRUE(panel->usesPresentationEffect());
    const QImage image = c.draw(canvas.get());
    const QColor faded(255, 176, 176);
    EXPECT_TRUE(near(pixelAt(image, 260, 175), faded)) << pixelAt(image, 260, 175).name().toStdString();
    EXPECT_TRUE(near(pixelAt(image, 232, 162), faded)) << "its corner in place";
    EXPECT_TRUE(near(pixelAt(image, 110, 25), Qt::white)) << "not moved up and left by the mask's corner";
    EXPECT_TRUE(near(pixelAt(image, 40, 25), Qt::white)) << "cut off by the mask";
  }
}

TEST(QVView, ShadowIsDrawnOutsideTheViewAndMovesUpWithAPositiveOffset) {
  auto canvas = makeCanvas(200, 200);
  canvas->show();
  auto* card = addFilled(canvas.get(), CGRectMake(50, 50, 100, 100), Qt::white);
  card->setShadow(QVShadow{QColor(0, 0, 0, 255), CGSizeMake(0, 20), 0});
  const QImage image = render(canvas.get());
  // Qt space: the card spans y 50..150; the shadow is 20 points higher, so it shows above the card.
  EXPECT_TRUE(near(pixelAt(image, 100, 40), Qt::black));
  EXPECT_TRUE(near(pixelAt(image, 100, 160), Qt::white));
}

class CountingFrameView : public QVFrameChangingView {
 public:
  using QVFrameChangingView::QVFrameChangingView;
  void onViewFrameChanged() override { ++changes; }
  int changes = 0;
};

TEST(QVFrameChangingView, ToldAfterResizesAndMoves) {
  auto canvas = makeCanvas();
  auto* view = QVMake<CountingFrameView>(CGRectMake(0, 0, 10, 10));
  canvas->addSubview(view);
  const int before = view->changes;
  view->setFrameSize(CGSizeMake(20, 20));
  EXPECT_GT(view->changes, before);
  const int afterResize = view->changes;
  view->setFrameOrigin(CGPointMake(30, 30));
  EXPECT_GT(view->changes, afterResize);
}

}  // namespace
