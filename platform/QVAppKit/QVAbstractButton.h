#pragma once
// The plain text button the screens build on (the stand-in for the service framework's base
// control): a title in a font, colour and letter spacing, aligned in the button and moved by a
// text offset, an optional pictogram before or after the title, an optional rounded border, and a
// target and action sent when the left button is released inside. While pressed inside the button
// is highlighted.
//
// QVButton is the application's text button (text offset (0, 2)); QVTitleBarButton may let a drag
// that starts on it move the window.
//
// Main thread only.
#include <QColor>
#include <QPointer>
#include <functional>
#include <string>

#include "QVAppKit/QVImageBridge.h"
#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVView.h"
#include "QVPlatform/ImageIO/NSImage.h"

enum QVPictogramPosition : int64_t {
  QVPictogramPositionNone = 0,
  QVPictogramPositionOnly = 1,   // the pictogram alone, centred
  QVPictogramPositionLeft = 2,   // before the title
  QVPictogramPositionRight = 3,  // after the title
};

class QVAbstractButton : public QVView {
 public:
  using Action = std::function<void(QObject* target, QVAbstractButton* sender)>;

  using QVView::QVView;
  void initialize() override;
  // Settings of a new button; subclasses call the base first.
  virtual void commonInit();

  // The class-wide text offset new buttons start with; (0, 0) until set.
  static CGSize defaultTextOffset();
  static void setDefaultTextOffset(CGSize offset);
  // Moves the title: width to the right, height upwards, in points.
  CGSize textOffset() const { return textOffset_; }
  void setTextOffset(CGSize offset);

  const std::string& title() const { return title_; }
  void setTitle(const std::string& title);
  const std::string& fontName() const { return fontName_; }
  void setFontName(const std::string& name);
  double fontSize() const { return fontSize_; }
  void setFontSize(double size);
  void setFont(const QFont& font);
  QColor fontColor() const { return fontColor_; }
  void setFontColor(const QColor& color);
  double kerning() const { return kerning_; }
  void setKerning(double kerning);
  bool bordered() const { return bordered_; }
  void setBordered(bool bordered);
  uint64_t alignment() const { return alignment_; }
  void setAlignment(uint64_t alignment);
  NSImageRef pictogram() const { return pictogram_; }
  void setPictogram(NSImageRef image, CGSize size = CGSizeMake(16, 16));
  int64_t pictogramPosition() const { return pictogramPosition_; }
  void setPictogramPosition(int64_t position);

  QObject* target() const { return target_; }
  void setTarget(QObject* target) { target_ = target; }
  const Action& action() const { return action_; }
  void setAction(Action action) { action_ = std::move(action); }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled);
  bool isHighlighted() const { return highlighted_; }

  // Sends the action to the target now (nothing without a target or while disabled).
  void performClick();
  bool isPressed() const { return pressed_; }
  // Gives up a press without sending the action (the window took the drag over).
  void abandonPress();
  // Title and pictogram with the spacing between them.
  CGSize intrinsicContentSize() const;
  // Where the title is drawn, in the button's bottom-left space.
  CGRect titleFrame() const;

 protected:
  void drawContent(QPainter& painter) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  QFont font() const;

 private:
  CGSize textSize() const;
  double contentWidth() const;

  std::string title_;
  std::string fontName_;
  double fontSize_ = 13;
  QColor fontColor_ = Qt::black;
  double kerning_ = 0;
  bool bordered_ = false;
  uint64_t alignment_ = QVTextAlignmentCenter;
  NSImageRef pictogram_;
  CGSize pictogramSize_ = CGSizeMake(16, 16);
  int64_t pictogramPosition_ = QVPictogramPositionNone;
  CGSize textOffset_ = CGSizeZero;
  QPointer<QObject> target_;
  Action action_;
  bool enabled_ = true;
  bool highlighted_ = false;
  bool pressed_ = false;
};

class QVButton : public QVAbstractButton {
 public:
  using QVAbstractButton::QVAbstractButton;
  // The base's settings, then the text offset (0, 2).
  void commonInit() override;
};

class QVTitleBarButton : public QVButton {
 public:
  using QVButton::QVButton;
  bool canMoveWindow() const { return canMoveWindow_; }
  // With YES a drag that starts on the button moves the window (see QVWindowMoving).
  void setCanMoveWindow(bool can);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  bool canMoveWindow_ = false;
};
