#include "Ombrel/Classes/Application/Common/QVSCompareViewController.h"

#include <QGuiApplication>
#include <cmath>

#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVFonts.h"
#include "QVPlatform/Localization.h"

QVSCompareViewController::QVSCompareViewController() {
  compare_ = QVMake<QVSCompareView>();
  lineTracker_ = QVMake<QVMouseEventTrackingView>();
  labelsTracker_ = QVMake<QVMouseEventTrackingView>();
}

QVSCompareViewController::~QVSCompareViewController() {
  // The view's rules and trackers call back into this controller: they go with it.
  if (root_) {
    delete root_;
  } else {
    delete compare_;
    delete lineTracker_;
    delete labelsTracker_;
  }
}

QVView* QVSCompareViewController::rootView() { return dynamic_cast<QVView*>(view()); }

bool QVSCompareViewController::isRightToLeft() { return QGuiApplication::layoutDirection() == Qt::RightToLeft; }

void QVSCompareViewController::loadView() {
  root_ = QVMake<QVView>();
  root_->setBackgroundColor(QVUIStyle::themeBGColor());
  root_->addSubview(compare_);
  root_->addSubview(lineTracker_);
  root_->addSubview(labelsTracker_);
  root_->addConstraint([this] {
    compare_->setFrame(root_->bounds());
    viewDidLayout();
  });
  setView(root_);
  if (!initialized_) {
    initialized_ = true;
    initialize();
  }
}

void QVSCompareViewController::initialize() {
  compare_->setRightToLeft(isRightToLeft());
  // The line and its hit strip.
  lineTracker_->setViewCursor(QCursor(Qt::SizeHorCursor));
  lineTracker_->setDelegate(this);
  QVSSplitLineView& line = compare_->splitLine();
  line.setLineWidth(compare_->splitLine().lineWidth());
  configureSplitLine(line);
  const bool shadows = QVUIStyle::shouldAddCurtainShadows();
  compare_->setShadowsEnabled(shadows);
  auto style = QVUIStyle::splitLineStyle();
  line.setLineColor(style->color);
  line.setLineWidth(style->width);
  // The labels, square-cornered, over their own tracking box.
  labelsTracker_->setViewCursor(QCursor(Qt::SizeHorCursor));
  labelsTracker_->setDelegate(this);
  compare_->setLabels(createLeftLabel(), createRightLabel());
  defaultSplitFactor_ = 0.5;
  positionRange_ = QVSplitPositionRange{};
  splitFactor_ = defaultSplitFactor_;
  compareMode_ = 1;
  refreshViews();
  splitLineOffsetRatio_ = 0;
  layoutUpdatesEnabled_ = true;
}

void QVSCompareViewController::configureSplitLine(QVSSplitLineView& line) {
  line.setLineWidth(4);
  line.setBorderWidth(1);
  line.setLineColor(QColor::fromRgbF(0.9739f, 0.3586f, 0.0382f));
  line.setBorderColor(QColor(Qt::black));
}

QVSCompareLabel QVSCompareViewController::createLeftLabel() {
  return {qv::QVSLocalization::localizedStringForKey("Before"), QVFonts::systemFontOfSize(13), 0, Qt::white, Qt::black};
}

QVSCompareLabel QVSCompareViewController::createRightLabel() {
  return {qv::QVSLocalization::localizedStringForKey("After"), QVFonts::systemFontOfSize(13), 0, Qt::white, Qt::black};
}

void QVSCompareViewController::viewDidLoad() {
  QVOverlayedViewController::viewDidLoad();
  setCurtainEnabled(false);
}

void QVSCompareViewController::viewDidLayout() {
  // The range of the new size first: placing with the previous size's range would put the line
  // at the factor of the old width after a resize.
  updateSplitLineRange();
  updateSplitLinePositionConstraint();
  applySplit();
}

void QVSCompareViewController::refreshViews() {
  if (!root_) return;
  root_->setNeedsLayout();
  root_->layoutSubtreeIfNeeded();
}

void QVSCompareViewController::setSplitFactor(double factor) {
  if (factor == splitFactor_) return;
  splitFactor_ = factor;
  updateSplitLinePositionConstraint();
}

void QVSCompareViewController::setDefaultSplitFactor(double factor) {
  if (factor == defaultSplitFactor_) return;
  defaultSplitFactor_ = factor;
  resetSplitFactor();
}

void QVSCompareViewController::setPositionRange(const QVSplitPositionRange& range) {
  if (!(range == positionRange_)) positionRange_ = range;
}

void QVSCompareViewController::setCompareMode(uint64_t mode) {
  if (mode == compareMode_) return;
  compareMode_ = mode;
  refreshViews();
}

bool QVSCompareViewController::curtainEnabled() const { return lineTracker_->enabled(); }

void QVSCompareViewController::setCurtainEnabled(bool enabled) {
  compare_->setCurtainVisible(enabled);
  lineTracker_->setVisible(enabled);
  labelsTracker_->setVisible(enabled);
  lineTracker_->setEnabled(enabled);
  labelsTracker_->setEnabled(enabled);
}

void QVSCompareViewController::setSplitLineOffset(double offset) {
  offset_ = offset;
  applySplit();
}

void QVSCompareViewController::setCompareEdgeOverride(std::optional<double> x) {
  compareEdgeOverride_ = x;
  applySplit();
}

void QVSCompareViewController::setLabelsCentreOverride(std::optional<double> x) {
  labelsCentreOverride_ = x;
  applySplit();
}

void QVSCompareViewController::updateSplitLinePositionConstraint() {
  if (!layoutUpdatesEnabled_ || !root_) return;
  const double W = root_->bounds().size.width;
  setSplitLineOffset(
      QVSCompareGeometry::offsetForFactor(splitFactor_, W, splitLineWidth(), positionRange_, isRightToLeft()));
}

void QVSCompareViewController::updateSplitLineRange() {
  if (!root_) return;
  const CGRect b = root_->bounds();
  setPositionRange(
      QVSCompareGeometry::allowedRange(b.size.width, b.origin.x, splitLineStripWidth(), splitLineOffsetRatio_));
  const double centre = QVSCompareGeometry::centreForOffset(offset_, b.size.width, b.origin.x);
  if (!positionRange_.contains(uint64_t(std::max(0.0, centre)))) updateSplitLinePositionConstraint();
}

void QVSCompareViewController::updateScaleFactorWithSplitLinePosition(double x) {
  if (!root_) return;
  const CGRect b = root_->bounds();
  if (auto factor = QVSCompareGeometry::factorForPosition(x, b.size.width, b.origin.x, splitLineStripWidth(),
                                                          positionRange_, isRightToLeft())) {
    setSplitFactor(*factor);
  }
}

void QVSCompareViewController::applySplit() {
  if (!root_) return;
  const CGRect b = root_->bounds();
  const double centre = QVSCompareGeometry::centreForOffset(offset_, b.size.width, b.origin.x);
  const double half = splitLineWidth() / 2;
  // The compare side starts at the line's far edge.
  const double edge = compareEdgeOverride_.value_or(isRightToLeft() ? centre - half : centre + half);
  compare_->setSplit(centre, edge, labelsCentreOverride_.value_or(centre));
  lineTracker_->setFrame(CGRectMake(std::round(centre - kHitStripWidth / 2), 0, kHitStripWidth, b.size.height));
  labelsTracker_->setFrame(CGRectIntegral(compare_->labelsRect()));
}

double QVSCompareViewController::pointerX(const QMouseEvent& event) const {
  if (!root_) return 0;
  return root_->mapFrom(root_->window(), event.scenePosition()).x();
}

void QVSCompareViewController::mouseTrackingViewLeftMouseDown(QVMouseEventTrackingView*, const QMouseEvent& event) {
  if (event.type() == QEvent::MouseButtonDblClick) resetSplitFactor();
  const CGRect b = root_ ? root_->bounds() : CGRectZero;
  startDragDelta_ = pointerX(event) - QVSCompareGeometry::centreForOffset(offset_, b.size.width, b.origin.x);
}

void QVSCompareViewController::mouseTrackingViewLeftMouseDragged(QVMouseEventTrackingView*, const QMouseEvent& event) {
  updateScaleFactorWithSplitLinePosition(std::round(pointerX(event) - startDragDelta_));
}
