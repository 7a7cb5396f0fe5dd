#include "Ombrel/Classes/Application/Export/QVExportSpringMenu.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <cmath>

#include "QVAppKit/NSView+Extensions.h"
#include "QVAppKit/NSView+SpringAnimation.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVSpringAnimation.h"
#include "QVAppKit/QVWindowResizing.h"

namespace {

bool rightToLeft() { return QGuiApplication::layoutDirection() == Qt::RightToLeft; }

QVLabel* makeTitleLabel(const QColor& color) {
  auto* label = QVMake<QVLabel>();
  label->setBackgroundColor(QColor());
  label->setFont(QVFonts::fontWithName("SFUIDisplay-Heavy", 15));
  label->setSpacing(1.0);
  label->setTitleColor(color);
  label->setSizeOffset(CGPointZero);
  label->setUserInteractionEnabled(false);
  return label;
}

}  // namespace

QVExportSpringMenu::~QVExportSpringMenu() { releaseWindowSize(); }

void QVExportSpringMenu::initialize() {
  collapsedLabel_ = makeTitleLabel(Qt::black);
  collapsedLabel_->setAlignment(QVTextAlignmentLeft);
  expandedLabel_ = makeTitleLabel(QColor::fromRgbF(0.41, 0.41, 0.41, 1));
  expandedLabel_->setAlignment(rightToLeft() ? QVTextAlignmentRight : QVTextAlignmentLeft);
  expandedLabel_->setAlpha(0);
  list_ = QVMake<QVExportMenuContentView>();
  list_->setBackgroundColor(QColor());
  list_->setDelegate(this);
  QVSpringMenu::initialize();
  setMouseMoveTrackEnabled(true);
  contentView()->setAlpha(0);
}

void QVExportSpringMenu::addSubviews() {
  QVSpringMenu::addSubviews();
  addSubview(collapsedLabel_);
  addSubview(expandedLabel_);
  contentView()->addSubview(list_);
}

void QVExportSpringMenu::setExportDelegate(QVExportSpringMenuDelegate* delegate) {
  exportDelegate_ = delegate;
  setDelegate(delegate);
}

void QVExportSpringMenu::setItems(std::vector<QVExportMenuItemPtr> items) {
  list_->setItems(std::move(items));
  setNeedsLayout();
}

void QVExportSpringMenu::setCollapsedTitle(const std::string& title) {
  collapsedLabel_->setTitle(title);
  updateGeometry();
  setNeedsLayout();
}

void QVExportSpringMenu::setExpandedTitle(const std::string& title) {
  expandedLabel_->setTitle(title);
  setNeedsLayout();
}

CGSize QVExportSpringMenu::contentSizeForState(bool expanded) {
  if (expanded) {
    const CGSize list = list_->intrinsicContentSize();
    return CGSizeMake(list.width, list.height + kCollapsedHeight);
  }
  return CGSizeMake(collapsedLabel_->intrinsicContentSize().width + 2 * kTitleOffset, kCollapsedHeight);
}

CGRect QVExportSpringMenu::restingListFrame(bool expanded) const {
  const CGSize list = list_->intrinsicContentSize();
  const double contentWidth = const_cast<QVExportSpringMenu*>(this)->contentView()->frame().size.width;
  // Collapsed, the list waits beyond the trailing edge, all but 10 points out of sight.
  double x = 0;
  if (!expanded) x = rightToLeft() ? -(list.width - kContentOffset) : contentWidth - kContentOffset;
  return CGRectMake(x, 0, list.width, list.height);
}

void QVExportSpringMenu::placeContent(CGSize size) {
  contentView()->setFrame(
      CGRectMake(0, kCollapsedHeight, size.width, std::max(0.0, std::ceil(size.height - kCollapsedHeight))));
  // The titles ride the trailing edge as the menu grows towards the leading side.
  const CGSize collapsed = collapsedLabel_->intrinsicContentSize();
  const double collapsedX = rightToLeft() ? kTitleOffset : size.width - kTitleOffset - collapsed.width;
  collapsedLabel_->setFrame(CGRectMake(collapsedX, 0, collapsed.width, kCollapsedHeight));
  const CGSize expanded = expandedLabel_->intrinsicContentSize();
  const double expandedWidth = std::max(0.0, size.width - menuTextOffset());
  const double expandedX = rightToLeft() ? 0 : menuTextOffset();
  expandedLabel_->setFrame(CGRectMake(expandedX, 0, std::max(expanded.width, expandedWidth), kCollapsedHeight));
}

void QVExportSpringMenu::layout() {
  QVSpringMenu::layout();
  placeContent(bounds().size);
  if (!animating()) list_->setFrame(restingListFrame(expanded()));
  if (contentView()->frame().size.height > 0) {
    // The list's top corners follow the menu's; the title line below keeps the bottom ones.
    const double r = cornerRadius();
    list_->setRoundParams(QVRoundParams{kQVRectCornerTopLeft | kQVRectCornerTopRight, QVSMakeCornerRadii(r, r, 0, 0)});
  }
}

void QVExportSpringMenu::switchControlsVisibility(bool expanded) {
  NSViewExtensions::appear(collapsedLabel_, !expanded, true, kQVStandardAnimationDuration);
  NSViewExtensions::appear(expandedLabel_, expanded, true, kQVStandardAnimationDuration);
}

void QVExportSpringMenu::onWillBeginExpanding() {
  QVSpringMenu::onWillBeginExpanding();
  switchControlsVisibility(true);
  list_->setFrame(restingListFrame(false));
  contentInitialPosition_ = QVSpringLayer::position(list_);
  const auto& params = springParams();
  auto position = QVSpringPositionParams::paramsWithPosition(
      CGPointMake(0, contentInitialPosition_.y), params ? params->speed() : 10, params ? params->bounciness() : 10);
  NSViewSpringAnimation::animateSpringPosition(list_, position);
  NSViewExtensions::appear(contentView(), true, true, kQVStandardAnimationDuration);
}

void QVExportSpringMenu::onWillBeginCollapsing() {
  QVSpringMenu::onWillBeginCollapsing();
  if (!heldWindow_ && window()) {
    heldWindow_ = window();
    QVWindowResizing::beginFixedSize(heldWindow_);
  }
  switchControlsVisibility(false);
  auto position = QVSpringPositionParams::defaultParams();
  position->setPosition(contentInitialPosition_);
  NSViewSpringAnimation::animateSpringPosition(list_, position);
  NSViewExtensions::appear(contentView(), false, true, kQVStandardAnimationDuration);
}

void QVExportSpringMenu::onDidAnimateToFrame(CGRect frame) {
  // The spring moves in fractions the widget frame rounds away.
  const CGSize size = QVSpringLayer::size(this);
  placeContent(size);
  QVSpringMenu::onDidAnimateToFrame(CGRectMake(frame.origin.x, kCollapsedHeight, size.width,
                                               std::max(0.0, std::ceil(size.height - kCollapsedHeight))));
}

void QVExportSpringMenu::onDidFinishExpanding() {
  setNeedsLayout();
  layoutSubtreeIfNeeded();
  // The collapsed title is put back exactly where it rests, without animation.
  collapsedLabel_->setScale(1.0);
  collapsedLabel_->setAnchorPoint(CGPointZero);
}

void QVExportSpringMenu::onDidFinishCollapsing() {
  updateGeometry();
  setNeedsLayout();
  layoutSubtreeIfNeeded();
  releaseWindowSize();
}

void QVExportSpringMenu::releaseWindowSize() {
  if (!heldWindow_) return;
  QVWindowResizing::endFixedSize(heldWindow_);
  heldWindow_ = nullptr;
}

void QVExportSpringMenu::viewDidMoveToSuperview() {
  QVSpringMenu::viewDidMoveToSuperview();
  // Taken out of its window mid-collapse: the collapse will not end there.
  if (heldWindow_ && window() != heldWindow_) releaseWindowSize();
}

void QVExportSpringMenu::actualClickAnimation(const std::shared_ptr<QVSpringSizeScaleParams>& params) {
  QVSpringMenu::actualClickAnimation(params);
  if (!expanded()) NSViewSpringAnimation::animateProportionallySizeScaleAndCentering(collapsedLabel_, params);
}

void QVExportSpringMenu::mouseMoved(QPointF windowPoint) {
  if (!window()) return;
  const QPointF local = contentView()->mapFrom(window(), windowPoint);
  if (QRectF(contentView()->rect()).contains(local))
    list_->mouseMoved(windowPoint);
  else
    list_->mouseExited();
}

void QVExportSpringMenu::mouseExited(QPointF windowPoint) {
  QVSpringMenu::mouseExited(windowPoint);
  if (expanded()) list_->mouseExited();
}

bool QVExportSpringMenu::event(QEvent* event) {
  if (event->type() == QEvent::MouseMove) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->buttons() == Qt::NoButton) mouseMoved(mouse->scenePosition());
  }
  return QVSpringMenu::event(event);
}

void QVExportSpringMenu::switchAndHandleMenu(uint64_t type) {
  QPointer<QVExportSpringMenu> weak(this);
  switchExpanded([weak, type](bool expanded) {
    if (!weak || expanded) return;
    if (weak->exportDelegate_) weak->exportDelegate_->exportSpringMenuDidClickItemWithType(weak, type);
  });
}

void QVExportSpringMenu::exportMenuContentViewDidSelectExportMenuItem(QVExportMenuContentView*,
                                                                      const QVExportMenuItemPtr& item) {
  if (item) switchAndHandleMenu(item->type);
}
