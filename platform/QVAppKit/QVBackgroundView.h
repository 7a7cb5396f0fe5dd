#pragma once
// Drawn backgrounds: `QVBackgroundView` (a colour, or a tiled pattern image when there is no
// colour, a background image placed by a content mode, an optional thin selection frame, and
// window dragging on mouse-down) and `QVBackgroundGradientView` (a vignette darkening the four
// edges). Images by name are resources of the application (PNG or SVG).
//
// Main thread only.
#include <QColor>
#include <QImage>
#include <functional>
#include <optional>
#include <string>

#include "QVAppKit/QVBasicView.h"

class QMouseEvent;

class QVBackgroundView : public QVBasicView {
 public:
  // Placement of the background image.
  enum ContentMode : int32_t { Stretch = 0, AspectFit = 1, AspectFill = 2 };

  using QVBasicView::QVBasicView;

  std::optional<QColor> backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(std::optional<QColor> color);
  const QImage& backgroundImage() const { return backgroundImage_; }
  void setBackgroundImage(const QImage& image);
  const std::string& patternImageName() const { return patternImageName_; }
  void setPatternImageName(const std::string& name);
  const std::string& backgroundImageName() const { return backgroundImageName_; }
  // Read at the next drawing.
  void setBackgroundImageName(const std::string& name) { backgroundImageName_ = name; }
  bool canMoveWindow() const { return canMoveWindow_; }
  void setCanMoveWindow(bool can) { canMoveWindow_ = can; }
  bool mouseDownCanMoveWindow() const { return canMoveWindow_; }
  bool drawsSelectionFrame() const { return drawsSelectionFrame_; }
  void setDrawsSelectionFrame(bool draws);
  int32_t contentMode() const { return contentMode_; }
  void setContentMode(int32_t mode);
  bool drawPatternToImage() const { return drawPatternToImage_; }
  void setDrawPatternToImage(bool draws) { drawPatternToImage_ = draws; }

  // Told around a change of the content mode (before = true, then false), as key-value observers.
  void setContentModeObserver(std::function<void(bool before)> observer) { contentModeObserver_ = std::move(observer); }
  // Where the background image is drawn, in the view's coordinates (bottom-left origin).
  CGRect backgroundImageRect() const;
  // How often a display was requested (tests of the setters).
  int displayRequests() const { return displayRequests_; }

  // The colour of the selection frame.
  static QColor selectionFrameColor();
  // Loads an image resource by name (PNG, then SVG rendered at `size`); null when missing.
  static QImage imageNamed(const std::string& name, QSize size = {});

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  // A Control-click lands here, as a right click.
  virtual void rightMouseDown(QMouseEvent* event);

 private:
  void requestDisplay();

  std::optional<QColor> backgroundColor_;
  QImage backgroundImage_;
  std::string patternImageName_;
  std::string backgroundImageName_;
  bool canMoveWindow_ = false;
  bool drawsSelectionFrame_ = false;
  int32_t contentMode_ = 0;
  bool drawPatternToImage_ = false;
  std::function<void(bool)> contentModeObserver_;
  int displayRequests_ = 0;
};

class QVBackgroundGradientView : public QVBasicView {
 public:
  using QVBasicView::QVBasicView;
  void initialize() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
