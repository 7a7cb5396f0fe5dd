#pragma once
// The about window: a frameless window on the theme background with the application's icon, its
// name, the version line, the contacts table (two columns, no selection) and the copyright, all
// from the application's information record. The application delegate makes it once and shows it
// over the main window. Its one button is the close button in the top-left corner, where the
// application's other windows have theirs; Escape and Ctrl+W close it too, and it moves by its
// background.
//
// Main thread only.
#include <QPointer>
#include <QTableWidget>

#include "Ombrel/Classes/Application/About/QVAboutContent.h"
#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVRoundedView.h"
#include "QVAppKit/QVWindowButton.h"

// The window: not opaque, the theme background, rounded corners, no title bar; a close button of
// its own (no minimise or zoom button).
class QVAboutWindow : public QVRoundedView {
 public:
  using QVRoundedView::QVRoundedView;
  void initialize() override;

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Without a compositor the window is cut to its rounded shape.
  void resizeEvent(QResizeEvent* event) override;
};

class QVAboutWindowController {
 public:
  static constexpr double kWidth = 400;
  static constexpr double kHeight = 324;
  static constexpr double kCloseButtonSize = 14;
  static constexpr double kCloseButtonInset = 12;

  explicit QVAboutWindowController(QVAboutRecord record = QVAboutContent::buildRecord());
  ~QVAboutWindowController();

  QVAboutWindow* window() const { return window_; }
  QVLabel* appNameLabel() const { return appNameLabel_; }
  QVLabel* versionLable() const { return versionLable_; }
  QVLabel* copyrightLabel() const { return copyrightLabel_; }
  QTableWidget* tableView() const { return tableView_; }
  QVWindowButton* closeButton() const { return closeButton_; }

  // Places the window over the reference window (centred on the screen without one) and shows it
  // in front.
  void startForWindow(QWidget* reference);

 private:
  void configLable();
  void buildTable();
  void layoutContent();

  QVAboutRecord record_;
  QPointer<QVAboutWindow> window_;
  QVView* iconView_ = nullptr;
  QVLabel* appNameLabel_ = nullptr;
  QVLabel* versionLable_ = nullptr;
  QVLabel* copyrightLabel_ = nullptr;
  QVView* divider_ = nullptr;
  QVWindowButton* closeButton_ = nullptr;
  QTableWidget* tableView_ = nullptr;
};
