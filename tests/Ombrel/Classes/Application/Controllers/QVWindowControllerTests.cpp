#include <gtest/gtest.h>

#include "Ombrel/Classes/Application/ApplicationTestSupport.h"

#include <QTimer>
#include "Ombrel/Classes/Application/Controllers/QVWindowController.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVPlatform/MainExecutor.h"

namespace {

struct Content : QVViewControllerWithoutNib {};

class SmallWindow : public QVWindowController {
 public:
  explicit SmallWindow(bool modal = false) : QVWindowController(modal) { createCurrentVC(); }
  std::string className() const override { return "QVSmallWindowController"; }
  std::string viewControllerClassName() const override { return "QVSmallContent"; }
  ViewControllerMaker viewControllerClass() const override {
    return [] { return std::make_unique<Content>(); };
  }
  CGSize fixedSize() const override { return CGSizeMake(420, 300); }
};

TEST(QVWindowController, WithoutInterfaceFilesBothAreMadeInCode) {
  SmallWindow controller;
  EXPECT_FALSE(controller.windowNibName().has_value());
  EXPECT_FALSE(controller.viewControllerNibNameUsed().has_value());
  EXPECT_EQ(controller.possibleWCNibNames(), (std::vector<std::string>{"QVSmallWindowController"}));
  ASSERT_NE(dynamic_cast<Content*>(controller.currentVC()), nullptr);
  QWidget* window = controller.window();
  // The plain window holds the content itself.
  EXPECT_EQ(controller.contentView(), window);
  EXPECT_EQ(controller.currentVC()->view()->parentWidget(), window);
  EXPECT_EQ(window->size(), QSize(420, 300));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_EQ(controller.contentView()->backgroundColor(), QVUIStyle::themeBGColor());
}

TEST(QVWindowController, AWindowSizeOverridesTheFixedSize) {
  SmallWindow controller;
  controller.setWindowSize(CGSizeMake(600, 400));
  EXPECT_EQ(controller.window()->size(), QSize(600, 400));
}

TEST(QVWindowController, ClosingAModalWindowEndsTheModalRun) {
  SmallWindow controller(true);
  controller.show();
  // The window shows on a later main-loop turn; closing it from inside the modal run ends it.
  qv::MainExecutor::shared().async([&] { EXPECT_FALSE(controller.isRunningModal()); });
  QTimer::singleShot(0, [&] {
    EXPECT_TRUE(controller.isRunningModal());
    EXPECT_TRUE(controller.isShown());
    controller.window()->close();
  });
  qv::MainExecutor::shared().runUntilIdle();
  EXPECT_FALSE(controller.isRunningModal());
  EXPECT_FALSE(controller.isShown());
  EXPECT_FALSE(controller.window()->isVisible());
}

}  // namespace
