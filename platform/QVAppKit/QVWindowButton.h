#pragma once
// The application's own window buttons (close, minimise, zoom) for its frameless windows, and the
// rollover groups that make a set of them react as one: while the pointer is over any button of a
// group, every enabled button of the group shows its rollover image.
//
// A button is told from another only by its five image names (SVG resources of the application,
// "WindowChrome/<name>.svg", rendered crisp at any scale) and its action, which it sends to its
// window on the mouse-down. The window's focus, minimising and full-screen changes reach the
// button through an event filter on its top-level widget (Qt's activation and window-state
// events stand in for the window notifications).
//
// Main thread only.
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "QVAppKit/QVView.h"
#include "QVPlatform/NotificationCenter.h"

class QSvgRenderer;

inline constexpr const char* QVWindowButtonGroupDidUpdateRolloverStateNotification =
    "QVWindowButtonGroupDidUpdateRolloverStateNotification";
inline constexpr const char* kQVDefaultWindowButtonGroupIdentifier = "com.solvane.defaultWindowButtonGroup";

// An image resource of the window chrome: an SVG renderer, or null when the resource is missing.
using QVChromeImage = std::shared_ptr<QSvgRenderer>;
// Loads "WindowChrome/<name>.svg" from the application's resources (cached by name).
QVChromeImage QVChromeImageNamed(const std::string& name);

class QVWindowButtonGroup {
 public:
  // nil means the default group; a group, once made, lives as long as the process.
  static std::shared_ptr<QVWindowButtonGroup> groupWithIdentifier(const std::optional<std::string>& identifier);
  explicit QVWindowButtonGroup(std::string identifier) : identifier_(std::move(identifier)) {}

  const std::string& identifier() const { return identifier_; }
  int64_t numberOfCaptures() const { return numberOfCaptures_; }
  // Negative values are ignored; a change posts the rollover notification with the group.
  void setNumberOfCaptures(int64_t count);
  void didCaptureMousePointer() { setNumberOfCaptures(numberOfCaptures_ + 1); }
  void didReleaseMousePointer() { setNumberOfCaptures(numberOfCaptures_ - 1); }
  bool shouldDisplayRollOver() const { return numberOfCaptures_ > 0; }
  void resetMouseCaptures() { setNumberOfCaptures(0); }

 private:
  std::string identifier_;
  int64_t numberOfCaptures_ = 0;
};

class QVWindowButton : public QVView {
 public:
  // Sent on the mouse-down with the button's window as target.
  using Action = std::function<void(QWidget* window, QVWindowButton* sender)>;

  static QVWindowButton* windowButtonWithSize(CGSize size, std::optional<std::string> groupIdentifier);
  explicit QVWindowButton(CGRect frame = CGRectZero, std::optional<std::string> groupIdentifier = std::nullopt);
  ~QVWindowButton() override;
  void initialize() override;

  // The standard actions of the three buttons.
  static Action closeAction();
  static Action miniaturizeAction();
  static Action zoomAction();

  const std::optional<std::string>& groupIdentifier() const { return groupIdentifier_; }
  std::shared_ptr<QVWindowButtonGroup> group() const;

  void setActiveImageName(const std::string& name);
  void setActiveNotKeyWindowImageName(const std::string& name);
  void setInactiveImageName(const std::string& name);
  void setRolloverImageName(const std::string& name);
  void setPressedImageName(const std::string& name);
  // Sets the five names "<prefix>Active", "…NotKey", "…Inactive", "…Rollover", "…Pressed".
  void setImageNamesWithPrefix(const std::string& prefix);

  QVChromeImage activeImage() const { return activeImage_; }
  QVChromeImage activeNotKeyWindowImage() const { return notKeyImage_; }
  QVChromeImage inactiveImage() const { return inactiveImage_; }
  QVChromeImage rolloverImage() const { return rolloverImage_; }
  QVChromeImage pressedImage() const { return pressedImage_; }
  // The image the button shows now (the pressed image while the mouse is down).
  QVChromeImage shownImage() const { return pressed_ && pressedImage_ ? pressedImage_ : image_; }

  const Action& action() const { return action_; }
  void setAction(Action action) { action_ = std::move(action); }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled);
  bool becomeFirstResponder() const { return false; }

  void windowButtonGroupDidUpdateRolloverStateNotification() { updateRollOverImage(); }
  void viewDidMoveToWindow();
  void windowDidChangeFocus() { updateImage(); }
  void windowWillEnterFullScreen();
  void windowWillExitFullScreen();
  void windowDidMiniaturize();
  void viewDidEndLiveResize();
  void mouseEntered();
  void mouseExited();
  void mouseDown();

  void updateRollOverImage();
  void updateImage();
  void updateActiveImage();

  // Whether the button's window is the key window; tests install their own answer.
  bool isWindowKey() const;
  static void setKeyWindowQuery(std::function<bool(const QWidget* window)> query);

 protected:
  void drawContent(QPainter& painter) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void show(QVChromeImage image);
  void observeWindow();

  std::optional<std::string> groupIdentifier_;
  std::string activeName_, notKeyName_, inactiveName_, rolloverName_, pressedName_;
  QVChromeImage activeImage_, notKeyImage_, inactiveImage_, rolloverImage_, pressedImage_, image_;
  Action action_;
  bool enabled_ = true;
  bool pressed_ = false;
  QPointer<QWidget> observedWindow_;
  Qt::WindowStates lastWindowState_;
  qv::ObserverToken groupObserver_;
};
