#include "Ombrel/Classes/Application/Alerts/QVAlert.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <algorithm>

#include "QVAppKit/QVDialogParent.h"
#include "QVAppKit/QVFileNames.h"

QVAlertResponse QVMessageBoxAlertRunner::runModal(const QVAlertSpec& spec) {
  // The window the box was asked from gets the focus back after it (without a window manager
  // nothing else gives it back); the box itself opens over whatever stays on top.
  const QPointer<QWidget> asking = QApplication::activeWindow();
  QMessageBox box(QVWindowForDialog(asking));
  // The application's own icon, as desktop alerts show it; the stock warning sign without one.
  const QIcon icon = QApplication::windowIcon();
  if (!icon.isNull())
    box.setIconPixmap(icon.pixmap(QSize(56, 56), box.devicePixelRatioF()));
  else
    box.setIcon(QMessageBox::Warning);
  box.setWindowModality(Qt::ApplicationModal);
  box.setText(QVDisplayText(spec.messageText));
  if (!spec.informativeText.empty()) box.setInformativeText(QVDisplayText(spec.informativeText));
  std::vector<QAbstractButton*> buttons;
  for (size_t i = 0; i < spec.buttons.size(); ++i) {
    // One role for all keeps the buttons in the given order; the first is the default one.
    QPushButton* button = box.addButton(QVDisplayText(spec.buttons[i]), QMessageBox::ActionRole);
    // The style sheet's padding is not in the button's size hint: without room for it a longer
    // title ("Quit Solvane") is cut at both ends.
    button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text()) + 2 * 18 + 8);
    if (i == 0) box.setDefaultButton(button);
    if (spec.cancelButtonIndex && *spec.cancelButtonIndex == i) box.setEscapeButton(button);
    buttons.push_back(button);
  }
  // Every button at least as wide as its size hint (its title and the style sheet's padding): the
  // style sheet's "min-width" becomes each button's minimum width, and the message box, which fixes
  // its own width, squeezes the buttons down to it, cutting a long title ("Quit Anyway") at both
  // ends.
  box.ensurePolished();
  for (QAbstractButton* button : buttons)
    button->setMinimumWidth(std::max(button->minimumWidth(), button->sizeHint().width()));
  QCheckBox* suppression = nullptr;
  if (spec.suppressionTitle) {
    suppression = new QCheckBox(QVDisplayText(*spec.suppressionTitle));
    box.setCheckBox(suppression);
  }
  box.exec();
  // The window the alert was asked from takes the keyboard again: without a window manager
  // nothing gives it back, and its fields took no typing, its buttons kept the hover they froze in.
  if (asking && asking->isVisible() && QApplication::activeWindow() != asking) asking->activateWindow();
  QVAlertResponse response;
  const auto it = std::find(buttons.begin(), buttons.end(), box.clickedButton());
  // Closing the box without a button answers the escape button, else the default one.
  response.buttonIndex =
      it != buttons.end() ? int64_t(it - buttons.begin()) : int64_t(spec.cancelButtonIndex.value_or(0));
  response.suppressionChecked = suppression && suppression->isChecked();
  return response;
}
