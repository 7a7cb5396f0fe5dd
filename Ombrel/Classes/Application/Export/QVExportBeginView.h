#pragma once
// The export panel's begin row: the export menu in the bottom-right corner (11 points in) and, on
// the single-image screen, the effect-strength slider beside it. Only one of the two is open at a
// time: opening one closes the other. While the row is shown, Escape closes the open export menu
// and a press anywhere outside both controls closes whichever is open (through one application
// event monitor).
//
// Main thread only.
#include <QPointer>
#include <cstdint>
#include <functional>
#include <vector>

#include "Ombrel/Classes/Application/Common/QVBoostSpringSlider.h"
#include "Ombrel/Classes/Application/Export/QVExportSpringMenu.h"
#include "QVAppKit/QVLocalEventMonitor.h"
#include "QVAppKit/QVRoundedShadowView.h"

class QVExportBeginView;

class QVExportBeginViewDelegate {
 public:
  virtual ~QVExportBeginViewDelegate() = default;
  virtual void exportBeginViewDidClickExportMenuItemOfType(QVExportBeginView*, uint64_t type) {}
};

class QVExportBeginView : public QVView, public QVExportSpringMenuDelegate {
 public:
  static constexpr double kGap = 11;
  static constexpr double kCornerRadius = 22;
  static constexpr double kTranslucentAlpha = 0.3;

  QVExportBeginView(uint64_t itemsCount, bool showSlider) : itemsCount_(itemsCount), showSlider_(showSlider) {}
  void initialize() override;
  void addSubviews() override;
  void layout() override;

  QVExportBeginViewDelegate* delegate() const { return delegate_; }
  void setDelegate(QVExportBeginViewDelegate* delegate) { delegate_ = delegate; }
  QVExportSpringMenu* exportMenu() const { return exportMenu_; }
  QVBoostSpringSlider* sliderMenu() const { return sliderMenu_; }
  uint64_t itemsCount() const { return itemsCount_; }
  bool showSlider() const { return showSlider_; }
  // The slider's trailing edge, measured from the row's trailing edge (negative: inwards).
  double sliderRightConstant() const { return sliderRightConstant_; }
  QVLocalEventMonitor* monitor() const { return monitor_; }
  // The controls on screen (the menu, and the slider when shown).
  virtual std::vector<QWidget*> visibleControls() const;
  // Told whenever a control moved or changed size (each spring step included).
  void setControlsFrameObserver(std::function<void()> observer) { controlsFrameObserver_ = std::move(observer); }

  void validateExportMenuTitles();
  void updateExpotedItemsCount(uint64_t count);
  // Also on the menu and the slider; disabling closes an open export menu.
  virtual void setControlsEnabled(bool enabled);
  void setSliderBoostAmount(double fraction) { sliderMenu_->setSliderValue(fraction); }
  virtual void setExportControlsTranslucent(bool translucent);
  void switchExportMenu() { exportMenu_->switchAndHandleMenu(kQVExportTypeNone); }

  // The controls' shadows (menu, slider), each below its control.
  const std::vector<QVRoundedShadowView*>& shadows() const { return shadows_; }

  // The monitor's two jobs (exposed for tests): true when the event was consumed.
  bool onKeyEvent(QEvent* event);
  void onMouseDown(QEvent* event);

  // Export menu and slider.
  void exportSpringMenuDidClickItemWithType(QVExportSpringMenu*, uint64_t type) override;
  std::optional<bool> springMenuShouldStartAnimation(QVSpringMenu*) override;
  void springMenuWillBeginAnimating(QVSpringMenu* sender) override;
  void springMenuDidAnimateToFrame(QVSpringMenu* sender, CGRect frame) override;
  void springMenuDidFinishAnimating(QVSpringMenu* sender) override;

 protected:
  // Tells the panel that a control moved or changed size (a subclass's own layout).
  void notifyControlsFrameChanged() {
    if (controlsFrameObserver_) controlsFrameObserver_();
  }

 private:
  void styleControl(QVSpringMenu* control);
  void pinSlider();
  CGRect restingFrame(QVSpringMenu* control, double trailing) const;
  void updateShadows();
  bool eventFilter(QObject* watched, QEvent* event) override;

  uint64_t itemsCount_;
  bool showSlider_;
  QVExportBeginViewDelegate* delegate_ = nullptr;
  QVExportSpringMenu* exportMenu_ = nullptr;
  QVBoostSpringSlider* sliderMenu_ = nullptr;
  double sliderRightConstant_ = 0;
  QVLocalEventMonitor* monitor_ = nullptr;
  std::function<void()> controlsFrameObserver_;
  std::vector<QVRoundedShadowView*> shadows_;
};
