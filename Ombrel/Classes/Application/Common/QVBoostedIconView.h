#pragma once
// The strength control's icon: the "boosted" artwork, in the theme colour when the strength was
// changed from its default and in near-black when not, centred and fitted in the view.
#include "QVAppKit/QVImageView.h"

class QVBoostedIconView : public QVView {
 public:
  static constexpr double kIconSize = 22;

  using QVView::QVView;
  void initialize() override;
  void addSubviews() override;
  void setupLayoutConstraints() override;

  bool boosted() const { return boosted_; }
  // A change draws the icon again.
  void setBoosted(bool boosted);
  QVImageView* icon();
  // The colour the icon is drawn in now.
  QColor iconColor() const;

 private:
  void updateIcon();

  bool boosted_ = false;
  QVImageView* icon_ = nullptr;
};
