#pragma once
// A view clipped, children included, to a rectangle whose corners each have their own radius.
#include "QVAppKit/QVRoundParams.h"
#include "QVAppKit/QVView.h"

class QVRoundedView : public QVView {
 public:
  using QVView::QVView;

  QVRoundParams roundParams() const { return roundParams_; }
  // Stores the params, clips to bounds and lays out again; the mask follows at the next layout.
  void setRoundParams(const QVRoundParams& params);
  void layout() override;
  // The per-corner mask once one was set (kept when the params go back to zero); else the plain
  // corner radius of QVView.
  QPainterPath roundedShape() const override;
  // The mask as it stands (what the last layout built); no corners while none was built.
  QVRoundParams maskParams() const { return mask_; }

 private:
  QVRoundParams roundParams_;
  QVRoundParams mask_;
};
