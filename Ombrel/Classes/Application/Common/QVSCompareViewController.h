#pragma once
// The before/after compare: the source and the enhanced result on top of each other, divided by a
// vertical split line the user drags (left of it the source, "Before"; right of it the result,
// "After"; mirrored in a right-to-left layout). A double click puts the line back at its default.
//
// The view: the painting surface (QVSCompareView) fills it; above it lie two tracking views, a
// strip over the line (a resize-left-right cursor, press and drag) and the labels' box, which take
// the presses that move the line. Every layout places the line again at `splitFactor` of the
// allowed range (QVSCompareGeometry), except while `splitLineLayoutUpdatesEnabled` is off: then
// the curtain owns the line and the compare edge and labels may follow it instead
// (`setCompareEdgeOverride`, `setLabelsCentreOverride`).
//
// The curtain (the line, its labels and the tracking) is hidden until `setCurtainEnabled(true)`.
// Main thread only.
#include <memory>
#include <optional>

#include "Ombrel/Classes/Application/Common/QVSCompareGeometry.h"
#include "Ombrel/Classes/Application/Common/QVSCompareView.h"
#include "QVAppKit/QVMouseEventTrackingView.h"
#include "QVAppKit/QVViewController.h"

class QVSCompareViewController : public QVOverlayedViewController, public QVMouseEventTrackingViewDelegate {
 public:
  // The width of the hit strip over the line, in points.
  static constexpr double kHitStripWidth = 28;

  QVSCompareViewController();
  ~QVSCompareViewController() override;
  void loadView() override;
  void viewDidLoad() override;
  void viewDidLayout() override;
  // The controller's view as a toolkit view.
  QVView* rootView();

  QVSCompareView* compareView() const { return compare_; }
  QVMouseEventTrackingView* splitLineMouseTrackingView() const { return lineTracker_; }
  QVMouseEventTrackingView* beforeAfterLabelsContainer() const { return labelsTracker_; }

  double splitFactor() const { return splitFactor_; }
  void setSplitFactor(double factor);
  double defaultSplitFactor() const { return defaultSplitFactor_; }
  // A different value also resets the split factor to it.
  void setDefaultSplitFactor(double factor);
  void resetSplitFactor() { setSplitFactor(defaultSplitFactor_); }
  const QVSplitPositionRange& positionRange() const { return positionRange_; }
  void setPositionRange(const QVSplitPositionRange& range);
  double splitLineOffsetRatio() const { return splitLineOffsetRatio_; }
  bool splitLineLayoutUpdatesEnabled() const { return layoutUpdatesEnabled_; }
  void setSplitLineLayoutUpdatesEnabled(bool enabled) { layoutUpdatesEnabled_ = enabled; }
  double startDragDelta() const { return startDragDelta_; }
  uint64_t compareMode() const { return compareMode_; }
  void setCompareMode(uint64_t mode);
  bool curtainEnabled() const;
  void setCurtainEnabled(bool enabled);
  double splitLineWidth() const { return compareView()->splitLine().lineWidth(); }
  // The width of the line's strip (the split-line view's width): the line width.
  double splitLineStripWidth() const { return splitLineWidth(); }

  // The line centre's offset from the view's centre (what the drags and layout set).
  double splitLineOffset() const { return offset_; }
  void setSplitLineOffset(double offset);
  // While set, the compare edge and the labels' centre stand there instead of following the line.
  void setCompareEdgeOverride(std::optional<double> x);
  void setLabelsCentreOverride(std::optional<double> x);
  // Places the line at the split factor (only while layout updates are enabled).
  void updateSplitLinePositionConstraint();
  // Recomputes the allowed range; places the line again when it stands outside.
  void updateSplitLineRange();
  // Lays the views out again now.
  void refreshViews();
  // The drag maths: the factor for a line centre at x (nothing while the usable width is 0).
  void updateScaleFactorWithSplitLinePosition(double x);

  static bool isRightToLeft();

  // Tracking delegate.
  void mouseTrackingViewLeftMouseDown(QVMouseEventTrackingView* view, const QMouseEvent& event) override;
  void mouseTrackingViewLeftMouseDragged(QVMouseEventTrackingView* view, const QMouseEvent& event) override;

 protected:
  // The labels' looks; the image screen gives the application's style.
  virtual QVSCompareLabel createLeftLabel();
  virtual QVSCompareLabel createRightLabel();
  // The line's look before the style is applied.
  virtual void configureSplitLine(QVSSplitLineView& line);
  // Set-up, run once when the view is made.
  virtual void initialize();
  // The x of a pointer event in the view's space.
  double pointerX(const QMouseEvent& event) const;

 private:
  void applySplit();

  QVView* root_ = nullptr;
  QVSCompareView* compare_ = nullptr;
  QVMouseEventTrackingView* lineTracker_ = nullptr;
  QVMouseEventTrackingView* labelsTracker_ = nullptr;
  double splitFactor_ = 0.5;
  double defaultSplitFactor_ = 0.5;
  QVSplitPositionRange positionRange_;
  double splitLineOffsetRatio_ = 0;
  bool layoutUpdatesEnabled_ = true;
  double startDragDelta_ = 0;
  uint64_t compareMode_ = 1;
  double offset_ = 0;
  std::optional<double> compareEdgeOverride_, labelsCentreOverride_;
  bool initialized_ = false;
};
