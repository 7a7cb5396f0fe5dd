#pragma once
// A titled button with the application's feel: it grows by 10 % under the pointer, springs back to
// its normal size while pressed, follows the pointer in and out while held, and sends its action
// only after the release spring has finished, and only when released inside.
//
// Linux stand-ins: hover comes from Qt's enter and leave events (the hover area is active always);
// the press is Qt's implicit grab (NSView+TrackingLoop.h); the window's key state is its
// activation (WindowActivate / WindowDeactivate of the button's window). While the window is not
// active the hover state freezes; when it becomes active again an enlarged button springs back.
//
// QVRoundedSpringButton rounds its corners to half its height.
//
// Main thread only.
#include <QPointer>
#include <QWindow>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "QVAppKit/QVMouseEventTrackingView.h"
#include "QVAppKit/QVSpringParams.h"
#include "QVAppKit/QVTitledButton.h"

class QVSpringButton : public QVTitledButton {
 public:
  using QVTitledButton::QVTitledButton;
  ~QVSpringButton() override;
  void initialize() override;
  void onViewFrameChanged() override;
  void viewDidMoveToSuperview() override;

  bool hoverEnabled() const { return hoverEnabled_; }
  void setHoverEnabled(bool enabled) { hoverEnabled_ = enabled; }
  bool tracksHovering() const { return tracksHovering_; }
  void setTracksHovering(bool tracks) { tracksHovering_ = tracks; }
  bool hovering() const { return hovering_; }
  void setHovering(bool hovering);

  // Made again from the size-scale defaults when read while unset (scale 1.0 for the click params).
  std::shared_ptr<QVSpringSizeScaleParams> hoverParams();
  void setHoverParams(std::shared_ptr<QVSpringSizeScaleParams> params) { hoverParams_ = std::move(params); }
  std::shared_ptr<QVSpringSizeScaleParams> clickParams();
  void setClickParams(std::shared_ptr<QVSpringSizeScaleParams> params) { clickParams_ = std::move(params); }
  // The rest size: a copy of the hover params at scale 1.0, made on first use.
  std::shared_ptr<QVSpringSizeScaleParams> initialParams();

  CGPoint anchor() const { return anchor_; }
  void setAnchor(CGPoint anchor);
  const std::optional<QVTrackingArea>& currentTrackingArea() const { return currentTrackingArea_; }
  const std::string& currentHoverAnimationKey() const { return currentHoverAnimationKey_; }
  const std::string& currentClickAnimationKey() const { return currentClickAnimationKey_; }

  void performClickAnimation(bool pressed, std::function<void()> completion = nullptr);
  void animateToHover(bool hover);
  void updateHover(bool hover);
  void handleMouseDown();
  void sendActionToTarget();
  // After the release spring: the hover state is the hover size shown, then follows the pointer.
  void followPointerAfterRelease();
  void addTrackingArea();

  virtual void mouseEntered();
  virtual void mouseExited();
  virtual void mouseDown(const QMouseEvent& event);
  void handleWindowDidResignKey();
  void handleWindowDidBecomeKey();

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  bool cancelAnimationInNeededForKey(std::string& key);
  bool cancelHoverAnimationInNeeded() { return cancelAnimationInNeededForKey(currentHoverAnimationKey_); }
  bool cancelClickAnimationInNeeded() { return cancelAnimationInNeededForKey(currentClickAnimationKey_); }
  // The label, the icon and the corner radius follow the button's spring.
  void springFace(const std::shared_ptr<QVSpringSizeScaleParams>& params);
  // Observes the button's current window (it may change when an ancestor moves).
  void observeCurrentWindow();
  void addObserversForWindow(QWidget* window);
  void removeObserversForWindow(QWidget* window);
  // After a release inside, until Qt enters the button again: its window's own pointer events tell
  // when the pointer has gone (see followPointerAfterRelease).
  void watchPointerAfterRelease(bool watch);

  bool hoverEnabled_ = true;
  bool tracksHovering_ = true;
  bool hovering_ = false;
  std::shared_ptr<QVSpringSizeScaleParams> hoverParams_;
  std::shared_ptr<QVSpringSizeScaleParams> clickParams_;
  std::shared_ptr<QVSpringSizeScaleParams> initialParams_;
  CGPoint anchor_ = CGPointZero;
  std::optional<QVTrackingArea> currentTrackingArea_;
  std::string currentHoverAnimationKey_;
  std::string currentClickAnimationKey_;
  QPointer<QWidget> observedWindow_;
  QPointer<QWindow> pointerWatchWindow_;
  // The size the last spring step wrote, until the frame takes another.
  std::optional<CGSize> springSize_;
};

class QVRoundedSpringButton : public QVSpringButton {
 public:
  using QVSpringButton::QVSpringButton;
  void initialize() override;
};
