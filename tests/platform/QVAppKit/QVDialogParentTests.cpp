#include "QVAppKit/QVDialogParent.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QWidget>
#include <QWindow>

// A dialog must come over the window the user faces: a window of ours that stays on top (the
// gallery's quick preview) would cover one given the main window; a question asked from a dialog
// comes over that dialog.
TEST(QVDialogParent, ADialogComesOverTheModalDialogThenAWindowThatStaysOnTop) {
  QWidget main;
  main.resize(400, 300);
  main.show();
  EXPECT_EQ(QVWindowForDialog(&main), &main) << "nothing else shown";

  auto* preview = new QWidget(&main, Qt::Tool | Qt::FramelessWindowHint);
  preview->setWindowFlag(Qt::WindowStaysOnTopHint, true);
  preview->resize(200, 150);
  preview->show();
  QApplication::processEvents();
  EXPECT_EQ(QVWindowForDialog(&main), preview);
  EXPECT_EQ(QVWindowForDialog(nullptr), preview);

  // Dropped to the normal level (the application went to the background): no longer in the way.
  preview->windowHandle()->setFlag(Qt::WindowStaysOnTopHint, false);
  main.activateWindow();
  QApplication::processEvents();
  EXPECT_EQ(QVWindowForDialog(nullptr), QApplication::activeWindow());
  EXPECT_NE(QVWindowForDialog(&main), preview);
  preview->windowHandle()->setFlag(Qt::WindowStaysOnTopHint, true);

  // A dialog up, modal: the next question comes over it.
  QDialog dialog(preview);
  dialog.setWindowModality(Qt::WindowModal);
  dialog.open();
  QApplication::processEvents();
  EXPECT_EQ(QVWindowForDialog(&main), &dialog);
  dialog.close();
  QApplication::processEvents();

  preview->hide();
  QApplication::processEvents();
  EXPECT_NE(QVWindowForDialog(&main), preview) << "a hidden window carries nothing";
}
