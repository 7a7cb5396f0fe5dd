#pragma once
// The drop shadow of a rounded rectangle as a view of its own, placed below the control it belongs
// to. It is drawn from one blurred picture of a small rounded rectangle cut in nine (corners kept,
// edges and middle stretched), made once per look and device pixel ratio, so a control whose size
// springs every frame gets its shadow without blurring anything again (a view's own shadow blurs
// its whole picture whenever it changes).
//
// Main thread only.
#include <QPixmap>

#include "QVAppKit/QVView.h"

class QVRoundedShadowView : public QVView {
 public:
  using QVView::QVView;
  void initialize() override;

  const QVShadow& look() const { return look_; }
  void setLook(const QVShadow& look);
  double shadowCornerRadius() const { return radius_; }
  void setShadowCornerRadius(double radius);
  // How far the shadow reaches beyond the rectangle.
  double reach() const;
  // Places the view around the rectangle the shadow belongs to (a frame in the superview's space).
  void setShadowedFrame(CGRect frame);
  CGRect shadowedFrame() const { return shadowed_; }
  // How often the nine-part picture was made (once per look and ratio).
  int picturesMade() const { return made_; }

 protected:
  void drawContent(QPainter& painter) override;

 private:
  const QPixmap& picture(double devicePixelRatio);

  QVShadow look_{QColor(0, 0, 0, 128), CGSizeMake(0, 4), 10};
  double radius_ = 0;
  CGRect shadowed_ = CGRectZero;
  QPixmap picture_;
  double pictureRatio_ = 0;
  int made_ = 0;
};
