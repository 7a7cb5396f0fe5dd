#pragma once
// View controllers for screens built in code: a small controller base (the view made on first use
// by `loadView`, then `viewDidLoad`), `QVViewControllerWithoutNib`, whose view is a QVView and
// which can show another controller's view in place of its content, and
// `QVOverlayedViewController`, which dims its whole view with a black overlay while a child panel
// has focus.
//
// Controllers own their view (deleted with the controller unless a superview took it over).
// Main thread only.
#include <QPointer>
#include <map>
#include <memory>
#include <string>

#include "QVAppKit/QVView.h"

class QVViewController {
 public:
  virtual ~QVViewController();
  // The view, made by loadView on first use (then viewDidLoad runs).
  QWidget* view();
  bool isViewLoaded() const { return view_ != nullptr; }
  void setView(QWidget* view);
  virtual void loadView();
  virtual void viewDidLoad() {}
  // Called after the view laid out its subviews.
  virtual void viewDidLayout() {}

  // Objects additions keep on a controller under a key of their own, owned by the controller (a
  // null object removes the entry).
  std::shared_ptr<void> associatedObject(const std::string& key) const;
  void setAssociatedObject(const std::string& key, std::shared_ptr<void> object);

 private:
  QPointer<QWidget> view_;
  bool loading_ = false;
  std::map<std::string, std::shared_ptr<void>> associated_;
};

class QVViewControllerWithoutNib : public QVViewController {
 public:
  void loadView() override;
  void viewDidLayout() override;
  // The view made by loadView (the same object as view()).
  QVView* mainView() const { return mainView_; }
  // Shows another controller's view, filling this controller's view, in place of its subviews.
  // The other controller is not made a child controller.
  void presentViewController(QVViewController* controller);

 private:
  QPointer<QVView> mainView_;
};

// A child panel reports that it took or gave up focus.
class QVViewControllerFocusable {
 public:
  virtual ~QVViewControllerFocusable() = default;
  virtual void childViewController(QVViewController* child, bool didChangeFocus) {}
};

class QVOverlayedViewController : public QVViewController, public QVViewControllerFocusable {
 public:
  static constexpr double kOverlayAlpha = 0.6;

  void viewDidLoad() override;
  // Black, alpha 0, made on first use. It lies over the whole view, so it takes the pointer only
  // while it dims: hidden, the clicks and drags go to the views below it (the split line).
  QVView* transparentOverlayView();
  void showOverlay(bool show) { showOverlay(show, nullptr); }
  // With a view, the overlay goes directly below it first; then it fades to 0.6 (and takes the
  // pointer) or to 0 (and lets it through at once).
  void showOverlay(bool show, QWidget* belowView);
  void childViewController(QVViewController* child, bool didChangeFocus) override { showOverlay(didChangeFocus); }

 private:
  QPointer<QVView> overlay_;
};

// Adds a view to a container so that it fills the container, also after the container resizes.
void QVEmbedInContainer(QWidget* view, QWidget* container);
