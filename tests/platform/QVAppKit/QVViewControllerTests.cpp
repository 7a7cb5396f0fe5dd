#include "QVAppKit/QVViewController.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "MouseTestSupport.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVBackgroundView.h"
#include "QVAppKit/QVCommonUISamples.h"
#include "QVAppKit/QVFonts.h"

namespace {

class Controllers : public ::testing::Test {
 protected:
  void SetUp() override {
    QVAnimationDriver::shared().useManualClock();
    QVAnimationDriver::shared().cancelAll();
  }
  void TearDown() override { QVAnimationDriver::shared().cancelAll(); }
};

TEST_F(Controllers, WithoutNibShowsAnotherControllersViewFillingIt) {
  QVViewControllerWithoutNib host, other;
  ASSERT_TRUE(host.view());
  EXPECT_EQ(host.view(), host.mainView());
  host.mainView()->setFrame(CGRectMake(0, 0, 300, 200));
  host.mainView()->addSubview(QVMake<QVView>(CGRectMake(0, 0, 10, 10)));
  host.presentViewController(&other);
  ASSERT_EQ(host.mainView()->subviews().size(), 1u);
  EXPECT_EQ(host.mainView()->subviews()[0], other.view());
  host.mainView()->setFrame(CGRectMake(0, 0, 400, 250));
  host.mainView()->layoutSubtreeIfNeeded();
  EXPECT_EQ(other.mainView()->frame(), CGRectMake(0, 0, 400, 250));
  host.mainView()->setMasksToBounds(true);
  host.mainView()->layout();
  EXPECT_FALSE(host.mainView()->masksToBounds());
}

TEST_F(Controllers, OverlayStacksBelowAViewAndFades) {
  QVOverlayedViewController controller;
  auto* root = static_cast<QVView*>(controller.view());
  root->setFrame(CGRectMake(0, 0, 200, 100));
  QVView* overlay = controller.transparentOverlayView();
  EXPECT_EQ(overlay->parentWidget(), root);
  EXPECT_EQ(overlay->alpha(), 0);
  EXPECT_EQ(overlay->frame(), CGRectMake(0, 0, 200, 100));
  auto* a = QVMake<QVView>(CGRectMake(0, 0, 10, 10));
  auto* panel = QVMake<QVView>(CGRectMake(0, 0, 10, 10));
  root->addSubview(a);
  root->addSubview(panel);
  controller.showOverlay(true, panel);
  auto order = root->subviews();
  ASSERT_EQ(order.size(), 3u);
  EXPECT_EQ(order[1], overlay);  // directly below the panel
  EXPECT_EQ(order[2], panel);
  QVAnimationDriver::shared().advance(2);
  EXPECT_DOUBLE_EQ(overlay->alpha(), 0.6);
  controller.showOverlay(true);
  QVAnimationDriver::shared().advance(2);
  EXPECT_DOUBLE_EQ(overlay->alpha(), 0.6);
  controller.childViewController(nullptr, false);
  QVAnimationDriver::shared().advance(2);
  EXPECT_DOUBLE_EQ(overlay->alpha(), 0);
}

class ControlClickRecorder : public QVBackgroundView {
 public:
  using QVBackgroundView::QVBackgroundView;
  int rightDowns = 0;

 protected:
  void rightMouseDown(QMouseEvent*) override { ++rightDowns; }
};

TEST(QVBackgroundView, ImageRectanglesByContentMode) {
  auto view = std::unique_ptr<QVBackgroundView>(QVMake<QVBackgroundView>(CGRectMake(0, 0, 100, 50)));
  QImage image(200, 200, QImage::Format_ARGB32);
  image.fill(Qt::red);
  view->setBackgroundImage(image);
  const struct {
    int32_t mode;
    CGRect rect;
  } cases[] = {{1, CGRectMake(25, 0, 50, 50)}, {2, CGRectMake(0, -25, 100, 100)}, {0, CGRectMake(0, 0, 100, 50)}};
  for (const auto& c : cases) {
    view->setContentMode(c.mode);
    EXPECT_EQ(view->backgroundImageRect(), c.rect) << c.mode;
  }
}

TEST(QVBackgroundView, SettersNotifyOnlyOnChanges) {
  auto view = std::unique_ptr<QVBackgroundView>(QVMake<QVBackgroundView>(CGRectMake(0, 0, 100, 50)));
  int notices = 0;
  view->setContentModeObserver([&](bool) { ++notices; });
  view->setContentMode(0);
  EXPECT_EQ(notices, 0);
  view->setContentMode(2);
  EXPECT_EQ(notices, 2);
  EXPECT_EQ(view->displayRequests(), 0);  // no image: nothing to redraw
  view->setPatternImageName("Stripes");
  view->setPatternImageName("Stripes");
  EXPECT_EQ(view->displayRequests(), 1);
  view->setBackgroundColor(QColor(Qt::black));
  view->setBackgroundColor(QColor(Qt::black));
  EXPECT_EQ(view->displayRequests(), 3);  // always
  EXPECT_EQ(QVBackgroundView::selectionFrameColor().red(), 201);
}

TEST(QVBackgroundView, ColourWinsOverThePattern) {
  auto view = std::unique_ptr<QVBackgroundView>(QVMake<QVBackgroundView>(CGRectMake(0, 0, 40, 40)));
  view->setPatternImageName("TopBarMenu");
  view->setBackgroundColor(QColor(10, 200, 30));
  const QImage grab = view->grab().toImage();
  EXPECT_EQ(grab.pixelColor(20, 20), QColor(10, 200, 30));
  EXPECT_EQ(grab.pixelColor(5, 5), QColor(10, 200, 30));
}

TEST(QVBackgroundView, ControlClickIsARightClickEvenWithoutWindowMoving) {
  auto view = std::unique_ptr<ControlClickRecorder>(QVMake<ControlClickRecorder>(CGRectMake(0, 0, 40, 40)));
  QMouseEvent e(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                Qt::ControlModifier);
  QApplication::sendEvent(view.get(), &e);
  EXPECT_EQ(view->rightDowns, 1);
  mouse_test::press(view.get(), QPointF(5, 5));
  EXPECT_EQ(view->rightDowns, 1);
  EXPECT_FALSE(view->mouseDownCanMoveWindow());
}

TEST(QVCommonUISamples, FactoriesSetWhatTheyAreGiven) {
  QObject target;
  QFont font = QVFonts::fontWithName("SF UI Display", 14);
  std::unique_ptr<QVRoundedSpringButton> spring(QVCommonUISamples::roundedSpringButtonWithTitle(
      "Export", font, Qt::white, QColor(29, 181, 101), &target, [](QObject*, QVTitledButton*) {}));
  EXPECT_EQ(spring->title(), std::optional<std::string>("Export"));
  EXPECT_EQ(spring->fontSize(), 14);
  EXPECT_EQ(spring->backgroundColor(), QColor(29, 181, 101));
  EXPECT_EQ(spring->target(), &target);

  std::unique_ptr<QVTextField> label(QVCommonUISamples::labelWithTitle("Name", font, Qt::gray, Qt::AlignRight));
  EXPECT_EQ(label->text(), "Name");
  EXPECT_TRUE(label->isReadOnly());
  EXPECT_FALSE(label->hasFrame());
  EXPECT_TRUE(label->verticallyCenteredText());
  EXPECT_TRUE(label->alignment() & Qt::AlignRight);

  std::unique_ptr<QVImageView> image(QVCommonUISamples::imageViewWithImage(nullptr, QVImageContentModeAspectFit));
  EXPECT_EQ(image->contentMode(), QVImageContentModeAspectFit);

  std::unique_ptr<QVAbstractButton> plain(
      QVCommonUISamples::buttonWithTitle("More", font, Qt::white, &target, [](QObject*, QVAbstractButton*) {}));
  EXPECT_EQ(plain->alignment(), 2u);
  EXPECT_EQ(plain->pictogramPosition(), QVPictogramPositionLeft);
  QApplication::setLayoutDirection(Qt::RightToLeft);
  std::unique_ptr<QVAbstractButton> rtl(
      QVCommonUISamples::buttonWithTitle("More", font, Qt::white, 0, nullptr, &target, nullptr));
  QApplication::setLayoutDirection(Qt::LeftToRight);
  EXPECT_EQ(rtl->pictogramPosition(), QVPictogramPositionRight);
}

}  // namespace
