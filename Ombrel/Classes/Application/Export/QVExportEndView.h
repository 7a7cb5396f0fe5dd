#pragma once
// The export panel's end view: "EXPORT COMPLETE" (or, when some photos could not be written,
// "2 OF 3 EXPORTED"), the done button in the corner and, after a disk
// export, a wide "REVEAL IN FINDER" button (its English text "SHOW IN FOLDER") 20 points below the
// title. Whether the reveal button shows is asked of the delegate when the view is first laid out
// in a superview, and not again.
//
// Main thread only.
#include "Ombrel/Classes/Application/Export/QVExportActionedBasicView.h"

class QVExportEndView;

// The action button's click goes to the base's delegate (the same object).
class QVExportEndViewDelegate : public QVExportActionedBasicViewDelegate {
 public:
  virtual void exportEndViewDidClickReveal(QVExportEndView*) {}
  virtual bool shouldShowRevealInFinderForExportEndView(QVExportEndView*) { return false; }
};

class QVExportEndView : public QVExportLabeledView {
 public:
  static constexpr double kRevealWidth = 264;
  static constexpr double kRevealHeight = 44;
  static constexpr double kRevealGap = 20;

  using QVExportLabeledView::QVExportLabeledView;
  void initialize() override;
  void addSubviews() override;
  void setupLayoutConstraints() override;
  void layout() override;

  QVExportEndViewDelegate* delegate() const { return delegate_; }
  void setDelegate(QVExportEndViewDelegate* delegate);
  QVRoundedSpringButton* revealButton() const { return revealButton_; }
  bool isShowRevealInFinderButton() const;
  void revealButtonDidClick();
  // The title for an export that wrote `written` of `total` photos.
  void setExportedCount(uint64_t written, uint64_t total);

 private:
  QVExportEndViewDelegate* delegate_ = nullptr;
  QVRoundedSpringButton* revealButton_ = nullptr;
};
