#include "SifaneExtension/Runner/QVExtensionHostWindow.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

TEST(QVExtensionHostWindow, ClosingIsTheHostsCancelUntilTheEditIsBeingFinished) {
  auto* container = QVMake<QVView>();
  auto* window = QVMake<QVExtensionHostWindow>(container, "photo.jpg");
  window->resize(1280, 860);
  window->layoutSubtreeIfNeeded();
  int cancels = 0, dones = 0;
  window->setOnCancel([&] { ++cancels; });
  window->setOnDone([&] { ++dones; });
  // The container fills the window under the bar; Done sits in the bar's right corner.
  EXPECT_EQ(container->frame(), CGRectMake(0, 0, 1280, 860 - QVExtensionHostWindow::kBarHeight));
  EXPECT_EQ(CGRectGetMaxX(window->doneButton()->frame()), 1280 - QVExtensionHostWindow::kMargin);
  EXPECT_LT(CGRectGetMaxX(window->cancelButton()->frame()), window->doneButton()->frame().origin.x);

  window->show();
  EXPECT_FALSE(window->close()) << "the host decides when its window goes";
  EXPECT_EQ(cancels, 1);
  window->setButtonsEnabled(false);
  window->close();
  window->doneButton()->sendActionToTarget();
  QCoreApplication::processEvents();  // a spring button acts on a later turn of the main loop
  EXPECT_EQ(cancels, 1);
  EXPECT_EQ(dones, 0);
  window->setButtonsEnabled(true);
  window->doneButton()->sendActionToTarget();
  QCoreApplication::processEvents();
  EXPECT_EQ(dones, 1);
  delete window;
}
