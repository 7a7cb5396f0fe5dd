#pragma once
// The common base of the screens' views, with the presentation model Qt widgets lack.
//
// Besides its frame a view keeps presentation properties: alpha; a scale about an anchor point
// (unit coordinates of the view, (0, 0) its bottom-left corner, as a layer-backed view starts); a
// translation; corner radius (or per-corner rounding, QVRoundedView) with clipping of the
// children when `masksToBounds`; a drop shadow; background colour and border.
//
// How they reach the screen:
//   - the view paints its own background, border and content (drawContent) clipped to its rounded
//     shape, at its alpha, when nothing else is needed;
//   - when the subtree must be treated as one (alpha with children, a scale or translation, a
//     shadow, children clipped to the rounded shape) one combined effect is installed on the
//     widget, drawing the subtree's cached picture faded, transformed about the anchor, clipped
//     and shadowed. It is removed as soon as the properties no longer need it.
// Everything honours the device pixel ratio: Qt renders the subtree at the screen's ratio.
//
// Main thread only.
#include <QColor>
#include <QPainterPath>
#include <QPixmap>
#include <QTransform>
#include <optional>
#include <string>
#include <vector>

#include "QVAppKit/QVBasicView.h"

class QPainter;
class QGraphicsEffect;

struct QVShadow {
  QColor color = QColor(0, 0, 0, 128);
  CGSize offset = CGSizeZero;  // in the screens' coordinates: positive height moves the shadow up
  double blurRadius = 0;
  bool operator==(const QVShadow&) const = default;
};

class QVView : public QVBasicView {
 public:
  using QVBasicView::QVBasicView;
  ~QVView() override;

  void initialize() override;
  void layout() override;

  // ---- Looks ----
  QColor backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(const QColor& color);  // an invalid colour means none
  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double radius);
  bool roundsCornersToFitHeight() const { return roundsCornersToFitHeight_; }
  void setRoundsCornersToFitHeight(bool rounds);
  QColor borderColor() const { return borderColor_; }
  void setBorderColor(const QColor& color);
  double borderWidth() const { return borderWidth_; }
  void setBorderWidth(double width);
  bool masksToBounds() const { return masksToBounds_; }
  void setMasksToBounds(bool masks);
  std::optional<QVShadow> shadow() const { return shadow_; }
  void setShadow(std::optional<QVShadow> shadow);

  // ---- Presentation ----
  double alpha() const { return alpha_; }
  void setAlpha(double alpha);
  CGSize scale() const { return scale_; }
  void setScale(double scale) { setScale(CGSizeMake(scale, scale)); }
  void setScale(CGSize scale);
  CGPoint anchorPoint() const { return anchorPoint_; }
  void setAnchorPoint(CGPoint unitPoint);
  CGPoint translation() const { return translation_; }
  void setTranslation(CGPoint offset);
  // The presentation transform in Qt's widget space (scale about the anchor, then translation).
  QTransform presentationTransform() const;
  // Whether the combined effect is installed right now.
  bool usesPresentationEffect() const { return effect_ != nullptr; }
  // How often the combined effect drew the subtree's picture (0 without the effect).
  int subtreePictureRenders() const;

  // ---- Interaction ----
  bool userInteractionEnabled() const { return userInteractionEnabled_; }
  void setUserInteractionEnabled(bool enabled);
  bool mouseDownCanMoveWindow() const;
  void setMouseDownCanMoveWindow(bool can);
  bool mouseDownCanMoveWindowWasSet() const { return mouseDownCanMoveWindowWasSet_; }
  QWidget* hitTest(CGPoint pointInSuperview) override;

  // Sets the interaction flag on every QVView among the views whose flag differs; answers exactly
  // the views it changed, in order, so a caller can restore them later.
  static std::vector<QWidget*> setViews(const std::vector<QWidget*>& views, bool enabled);

  // Diagnostics: geometry and flags, then "; UIE: %d ".
  virtual std::string description() const;

  // The view and its subtree as the screen shows them (device pixel ratio kept), for transitions.
  QPixmap snapshot() const;

  void subtreeContentChanged() override;

  // The shape the view is clipped to, in Qt's widget space; empty when it is not rounded.
  virtual QPainterPath roundedShape() const;

 protected:
  // Draws the view's own content above the background, in Qt's widget space.
  virtual void drawContent(QPainter& painter) {}
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;
  // Re-decides whether the combined effect is needed and refreshes it.
  void updatePresentation();

 private:
  friend class QVPresentationEffect;
  bool needsEffect() const;
  bool hasVisibleSubviews() const;

  QColor backgroundColor_;
  double cornerRadius_ = 0;
  bool roundsCornersToFitHeight_ = false;
  QColor borderColor_;
  double borderWidth_ = 0;
  bool masksToBounds_ = false;
  std::optional<QVShadow> shadow_;
  double alpha_ = 1;
  CGSize scale_ = CGSizeMake(1, 1);
  CGPoint anchorPoint_ = CGPointZero;
  CGPoint translation_ = CGPointZero;
  bool userInteractionEnabled_ = true;
  bool mouseDownCanMoveWindow_ = false;
  bool mouseDownCanMoveWindowWasSet_ = false;
  class QVPresentationEffect* effect_ = nullptr;
  QRectF effectBounds_;
};
