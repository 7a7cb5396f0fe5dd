#pragma once
// The bases of the export panel's progress and end views.
//  - QVExportActionedBasicView: the action button (132 x 44, white, shadowed) 11 points from the
//    bottom-right corner; its click goes to the delegate.
//  - QVExportLabeledView: adds the white title line (Inter Heavy 15, letter spacing 2, 18 high)
//    centred horizontally, its centre 9 points above the view's centre.
//
// Main thread only.
#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVSpringButton.h"

class QVExportActionedBasicView;

class QVExportActionedBasicViewDelegate {
 public:
  virtual ~QVExportActionedBasicViewDelegate() = default;
  virtual void exportActionedBasicViewDidClickActionButton(QVExportActionedBasicView*) {}
};

class QVExportActionedBasicView : public QVView {
 public:
  static constexpr double kGap = 11;
  static CGSize actionButtonSize() { return CGSizeMake(132, 44); }

  using QVView::QVView;
  void initialize() override;
  void addSubviews() override;
  void layout() override;

  QVExportActionedBasicViewDelegate* actionDelegate() const { return actionDelegate_; }
  void setActionDelegate(QVExportActionedBasicViewDelegate* delegate) { actionDelegate_ = delegate; }
  QVRoundedSpringButton* actionButton() const { return actionButton_; }
  void actionButtonDidClick();

  // A white rounded button in Inter Black with the panel's shadow, its action calling `clicked`.
  static QVRoundedSpringButton* makeButton(QObject* target, const std::string& title, std::function<void()> clicked);

 private:
  QVRoundedSpringButton* actionButton_ = nullptr;
  QVExportActionedBasicViewDelegate* actionDelegate_ = nullptr;
};

class QVExportLabeledView : public QVExportActionedBasicView {
 public:
  static constexpr double kTitleHeight = 18;
  static constexpr double kTitleCenterOffset = 9;

  using QVExportActionedBasicView::QVExportActionedBasicView;
  void initialize() override;
  void addSubviews() override;
  void layout() override;

  QVLabel* titleLabel() const { return titleLabel_; }
  // Whether the title sits by its centre constraint (the progress view places it itself).
  bool titleCentered() const { return titleCentered_; }
  void setTitleCentered(bool centered) { titleCentered_ = centered; }

 protected:
  // The title's frame for a vertical centre.
  CGRect titleFrameWithCenterY(double centerY) const;

 private:
  QVLabel* titleLabel_ = nullptr;
  bool titleCentered_ = true;
};
