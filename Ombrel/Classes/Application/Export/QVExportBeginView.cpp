#include "Ombrel/Classes/Application/Export/QVExportBeginView.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QString>

#include "Ombrel/Classes/Application/Common/QVSingleImageNotifications.h"
#include "QVAppKit/NSView+Extensions.h"
#include "QVAppKit/QVRoundedShadowView.h"
#include "QVAppKit/QVSpringAnimation.h"
#include "QVPlatform/Localization.h"

namespace {

bool rightToLeft() { return QGuiApplication::layoutDirection() == Qt::RightToLeft; }
std::string localized(const char* key) { return qv::QVSLocalization::localizedStringForKey(key); }
std::string upper(const std::string& text) { return QString::fromStdString(text).toUpper().toStdString(); }

std::string photosTitle(uint64_t count) {
  std::string title = localized(count == 1 ? "EXPORT %lu PHOTO" : "EXPORT %lu PHOTOS");
  if (const size_t at = title.find("%lu"); at != std::string::npos) title.replace(at, 3, std::to_string(count));
  return title;
}

}  // namespace

void QVExportBeginView::initialize() {
  exportMenu_ = QVMake<QVExportSpringMenu>();
  sliderMenu_ = QVMake<QVBoostSpringSlider>();
  sliderMenu_->setMaxScaleValue(100);
  styleControl(exportMenu_);
  styleControl(sliderMenu_);
  exportMenu_->setExportDelegate(this);
  sliderMenu_->setDelegate(this);
  QVView::initialize();
  setBackgroundColor(QColor());
  validateExportMenuTitles();
  exportMenu_->setItems(QVExportDatasource::exportItems());
  // Escape and presses elsewhere, while the row is shown.
  QPointer<QVExportBeginView> weak(this);
  monitor_ = new QVLocalEventMonitor(
      this, QVLocalEventMonitor::LeftMouseDown | QVLocalEventMonitor::RightMouseDown | QVLocalEventMonitor::KeyDown,
      [weak](QEvent* event) {
        if (!weak) return false;
        if (event->type() == QEvent::KeyPress) return weak->onKeyEvent(event);
        weak->onMouseDown(event);
        return false;
      });
}

void QVExportBeginView::styleControl(QVSpringMenu* control) {
  control->setBackgroundColor(Qt::white);
  control->setCornerRadius(kCornerRadius);
  control->setMouseEnteredOrExitedTrackEnabled(true);
  // The shadow is a view of its own below the control (see updateShadows).
}

void QVExportBeginView::addSubviews() {
  QVView::addSubviews();
  for (QVSpringMenu* control : {static_cast<QVSpringMenu*>(exportMenu_), static_cast<QVSpringMenu*>(sliderMenu_)}) {
    auto* shadow = QVMake<QVRoundedShadowView>();
    shadow->setShadowCornerRadius(kCornerRadius);
    shadows_.push_back(shadow);
    // Every move and size of the control, its springs' steps included, moves its shadow.
    control->installEventFilter(this);
  }
  addSubview(shadows_[0]);
  addSubview(exportMenu_);
  // Without the slider it is still made (and stays closed), so the rules need no special case.
  if (showSlider_) {
    addSubview(shadows_[1]);
    addSubview(sliderMenu_);
  }
}

bool QVExportBeginView::eventFilter(QObject* watched, QEvent* event) {
  const auto type = event->type();
  if ((watched == exportMenu_ || watched == sliderMenu_) && (type == QEvent::Resize || type == QEvent::Move))
    updateShadows();
  return QVView::eventFilter(watched, event);
}

void QVExportBeginView::updateShadows() {
  if (shadows_.size() < 2) return;
  const QVSpringMenu* controls[] = {exportMenu_, sliderMenu_};
  for (int i = 0; i < 2; ++i) {
    shadows_[i]->setShadowedFrame(QVSpringLayer::frame(controls[i]));
    shadows_[i]->setAlpha(controls[i]->alpha());
  }
}

CGRect QVExportBeginView::restingFrame(QVSpringMenu* control, double trailing) const {
  const CGSize size = control->contentSizeForState(control->expanded());
  const double x = rightToLeft() ? trailing : bounds().size.width - trailing - size.width;
  return CGRectMake(x, kGap, size.width, size.height);
}

void QVExportBeginView::layout() {
  QVView::layout();
  if (!exportMenu_->animating()) exportMenu_->setFrame(restingFrame(exportMenu_, kGap));
  if (!sliderMenu_->animating() && !exportMenu_->animating()) pinSlider();
  if (controlsFrameObserver_) controlsFrameObserver_();
}

std::vector<QWidget*> QVExportBeginView::visibleControls() const {
  std::vector<QWidget*> controls{exportMenu_};
  if (showSlider_) controls.push_back(sliderMenu_);
  return controls;
}

void QVExportBeginView::pinSlider() {
  // Beside the export menu as it rests (open or closed), 11 points from it.
  const double menuWidth = exportMenu_->contentSizeForState(exportMenu_->expanded()).width;
  sliderRightConstant_ = -(menuWidth + 2 * kGap);
  if (showSlider_) sliderMenu_->setFrame(restingFrame(sliderMenu_, -sliderRightConstant_));
}

void QVExportBeginView::validateExportMenuTitles() {
  exportMenu_->setCollapsedTitle(itemsCount_ >= 2 ? photosTitle(itemsCount_) : upper(localized("Export")));
  exportMenu_->setExpandedTitle(upper(localized("Cancel")));
  setNeedsLayout();
}

void QVExportBeginView::updateExpotedItemsCount(uint64_t count) {
  itemsCount_ = count;
  exportMenu_->setCollapsedTitle(photosTitle(count));
  setNeedsLayout();
}

void QVExportBeginView::setControlsEnabled(bool enabled) {
  setUserInteractionEnabled(enabled);
  exportMenu_->setUserInteractionEnabled(enabled);
  sliderMenu_->setUserInteractionEnabled(enabled);
  if (!enabled && exportMenu_->expanded()) switchExportMenu();
}

void QVExportBeginView::setExportControlsTranslucent(bool translucent) {
  const double alpha = translucent ? kTranslucentAlpha : 1.0;
  exportMenu_->setAlpha(alpha);
  sliderMenu_->setAlpha(alpha);
  updateShadows();
}

bool QVExportBeginView::onKeyEvent(QEvent* event) {
  auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() != Qt::Key_Escape || !exportMenu_->expanded()) return false;
  switchExportMenu();
  return true;
}

void QVExportBeginView::onMouseDown(QEvent* event) {
  const bool menuOpen = exportMenu_->expanded(), sliderOpen = sliderMenu_->expanded();
  if (menuOpen == sliderOpen) return;
  auto* mouse = static_cast<QMouseEvent*>(event);
  if (!QVLocalEventMonitor::isOutsideView(*mouse, sliderMenu_)) return;
  if (!QVLocalEventMonitor::isOutsideView(*mouse, exportMenu_)) return;
  if (sliderOpen)
    sliderMenu_->switchExpanded();
  else
    switchExportMenu();
}

void QVExportBeginView::exportSpringMenuDidClickItemWithType(QVExportSpringMenu*, uint64_t type) {
  if (delegate_) delegate_->exportBeginViewDidClickExportMenuItemOfType(this, type);
}

std::optional<bool> QVExportBeginView::springMenuShouldStartAnimation(QVSpringMenu*) {
  return !exportMenu_->animating() && !sliderMenu_->animating();
}

void QVExportBeginView::springMenuWillBeginAnimating(QVSpringMenu* sender) {
  if (sender == sliderMenu_)
    qv::NotificationCenter::defaultCenter().post(kQVBoostSliderDidChangeShowStateNotification,
                                                 std::make_shared<bool>(!sliderMenu_->expanded()));
  // Opening one closes the other. The sender is marked animating only after this call, so the
  // other may still start its spring.
  const bool menuOpen = exportMenu_->expanded(), sliderOpen = sliderMenu_->expanded();
  if (menuOpen == sliderOpen) return;
  QVSpringMenu* open = menuOpen ? static_cast<QVSpringMenu*>(exportMenu_) : sliderMenu_;
  if (open == sender) return;
  if (open == exportMenu_)
    switchExportMenu();
  else
    sliderMenu_->switchExpanded();
}

void QVExportBeginView::springMenuDidAnimateToFrame(QVSpringMenu* sender, CGRect) {
  if (controlsFrameObserver_) controlsFrameObserver_();
  if (sender != exportMenu_ || !showSlider_) return;
  // The slider keeps its distance from the moving menu.
  const CGRect menu = QVSpringLayer::frame(exportMenu_);
  CGRect slider = sliderMenu_->frame();
  slider.origin.x = rightToLeft() ? CGRectGetMaxX(menu) + kGap : menu.origin.x - slider.size.width - kGap;
  if (!sliderMenu_->animating()) sliderMenu_->setFrame(slider);
}

void QVExportBeginView::springMenuDidFinishAnimating(QVSpringMenu* sender) {
  // Both controls go back to their resting places (the slider pinned beside the closed menu) at
  // the next layout, once the spring has let go.
  if (sender == exportMenu_) exportMenu_->updateGeometry();
  setNeedsLayout();
}
