#pragma once
// The base of the application's small fixed-size windows (feedback, export options, plug-in
// installer). A subclass names its content view controller and its fixed size; the base makes the
// controller, embeds its view in a frameless window with rounded corners on the theme background,
// fixes the size and shows the window normally or application-modal.
//
// A subclass may build the window itself (`loadWindow`: the application's own window class, for
// one) and name the view inside it that holds the content; it then configures it itself.
//
// Interface files: a window or a content controller is made from an interface file of its class's
// name (or the extra name a subclass gives) when the bundle has one ("<name>.nib"); the
// application builds its windows in code, so without one both are made in code.
//
// `show` runs on a later turn of the main loop; a modal window runs a nested loop until `hide` or
// closing ends it, then is ordered out and centred. Main thread only.
#include <QEventLoop>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QVAppKit/QVView.h"
#include "QVAppKit/QVViewController.h"

class QVWindowController {
 public:
  using ViewControllerMaker = std::function<std::unique_ptr<QVViewController>()>;

  QVWindowController();
  explicit QVWindowController(bool modal);
  virtual ~QVWindowController();

  // Hooks a subclass overrides.
  virtual std::optional<std::string> windowControllerNibName() const { return std::nullopt; }
  virtual std::optional<std::string> viewControllerNibName() const { return std::nullopt; }
  virtual std::string viewControllerClassName() const { return {}; }
  virtual ViewControllerMaker viewControllerClass() const { return nullptr; }
  virtual CGSize fixedSize() const { return CGSizeZero; }
  virtual std::string className() const { return "QVWindowController"; }

  // The first name for which the bundle has an interface file ("<name>.nib"), in order.
  static std::optional<std::string> findFirstExistingNibNameFromNames(
      const std::vector<std::optional<std::string>>& names);
  std::vector<std::string> possibleWCNibNames() const;
  std::vector<std::string> possibleVCNibNames() const;
  // The interface file the window was made from (none when built in code).
  const std::optional<std::string>& windowNibName() const { return windowNibName_; }
  const std::optional<std::string>& viewControllerNibNameUsed() const { return vcNibName_; }

  // The top-level window, made on first use.
  QWidget* window();
  // The view that holds the content controller's view (the plain window itself, or the view a
  // subclass's window names).
  QVView* contentView();
  QVViewController* currentVC() const { return currentVC_.get(); }
  void setVcClass(ViewControllerMaker maker);

  CGSize windowSize() const { return windowSize_; }
  void setWindowSize(CGSize size) { windowSize_ = size; }
  bool isShown() const { return isShown_; }
  bool isModal() const { return isModal_; }
  void setIsModal(bool modal) { isModal_ = modal; }
  bool isRunningModal() const { return modalLoop_ != nullptr; }

  // Size (windowSize, else fixedSize; zero keeps the window's own), corners, background.
  virtual void configureWindow();
  virtual void configureViewController();
  void show();
  void hide();
  // Called when the window closes.
  virtual void windowWillClose();

 protected:
  // Makes the content controller (call from a subclass constructor once its hooks answer).
  void createCurrentVC();
  // A window a subclass builds instead of the plain rounded one, with the view that holds the
  // content; none for the plain one. The subclass's window calls `windowCloseHandler()` as it closes.
  struct LoadedWindow {
    QWidget* window = nullptr;
    QVView* contentView = nullptr;
  };
  virtual LoadedWindow loadWindow() { return {}; }
  // Calls `windowWillClose` while this controller lives.
  std::function<void()> windowCloseHandler();
  // The window when it was made already (never makes it).
  QWidget* loadedWindow() const { return window_; }
  // The size the window takes: windowSize, else fixedSize.
  CGSize effectiveSize() const;

 private:
  void windowDidLoad();

  QPointer<QWidget> window_;
  QPointer<QVView> contentView_;
  std::unique_ptr<QVViewController> currentVC_;
  std::optional<std::string> windowNibName_, vcNibName_;
  CGSize windowSize_ = CGSizeZero;
  bool isShown_ = false;
  bool isModal_ = false;
  QEventLoop* modalLoop_ = nullptr;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
