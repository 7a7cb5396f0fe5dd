#pragma once
// The single-image screen without its export controls: one photo, first as a blurred preview with
// the dots animation and the phase texts while it is processed, then source and result under the
// split line (the curtain slides in), the result's opacity following the strength slider. Its
// rules live in QVSingleImageRules; this class is the widgets and the choreography of a state
// change: the cross-fade of the preview, an optional wait for the window's layout, both joined by
// a counter whose end runs the curtain.
//
// While the slider is open ("QVBoostSliderDidChangeShowState" YES) the whole view shows the result
// over the source at the chosen strength; when it closes, the split view returns with the result
// at that strength.
//
// Subclasses (the export screen, the extension's screen) supply the slider's container, the views
// the open slider dims, and act on the transition hooks.
//
// Main thread only.
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "Ombrel/Classes/Application/Common/QVExportSingleImageAnimator.h"
#include "Ombrel/Classes/Application/SingleImage/QVJoinCounter.h"
#include "Ombrel/Classes/Application/SingleImage/QVSingleImageRules.h"
#include "QVAppKit/QVImageView.h"
#include "QVAppKit/QVLoadingAnimationView.h"
#include "QVAppKit/QVPhaseLabelView.h"
#include "QVPlatform/NotificationCenter.h"

class QVBasicExportSingleImageViewController : public QVSImageViewController, public QVSingleImagePort {
 public:
  static constexpr double kBlurredPreviewScale = 1.08;

  explicit QVBasicExportSingleImageViewController(std::shared_ptr<QVSingleImageFacade> facade);
  ~QVBasicExportSingleImageViewController() override;

  QVSingleImageRules& rules() { return *rules_; }
  const std::string& imagePath() const { return rules_->imagePath(); }
  uint64_t currentState() const { return rules_->currentState(); }

  void showProcessedImageWithPath(const std::string& path, bool animated = true) {
    rules_->showProcessedImageWithPath(path, animated);
  }
  void updateWithExportState(uint64_t state) { updateWithExportState(state, true); }
  void performCurtainAnimation(std::function<void(bool finished)> completion);
  virtual void cancelStateTransition();
  void removeLoadingAnimation();
  void changeBoostSliderAmount(double amount) { rules_->changeBoostSliderAmount(amount); }

  const std::shared_ptr<QVExportSingleImageAnimator>& curtainAnimator() const { return curtainAnimator_; }
  bool waitsForWindowLayout() const { return waitsForWindowLayout_; }
  void setWaitsForWindowLayout(bool waits) { waitsForWindowLayout_ = waits; }
  // Set while a state change waits for the window's layout; the window runs it when done.
  const std::function<void()>& onWindowDidLayout() const { return onWindowDidLayout_; }
  const std::shared_ptr<QVJoinCounter>& waitAnimationGroup() const { return waitAnimationGroup_; }
  bool sliderOpen() const { return sliderOpen_; }

  QVImageView* blurredPreview();
  QVImageView* fullsizePreviewImageView();
  QVImageView* fullsizeOriginalImageView();
  QVLoadingLabelView* loadingLabelView();
  QVLoadingAnimationView* loadingAnimationView();

  // Hooks (empty here).
  virtual void onBeginTransitionToState(uint64_t) {}
  virtual void onEndTransitionToState(uint64_t) {}
  virtual QVView* sliderContainer() { return nullptr; }
  virtual std::vector<QVView*> sliderInactiveViews() { return {}; }
  // The views a state change fades: the blurred preview.
  virtual std::vector<QVView*> viewsPool();

  // Port of the rules.
  void setBlurredImage(NSImageRef image) override;
  void setImages(NSImageRef shownOriginal, NSImageRef source, NSImageRef result) override;
  void setResultAlpha(double alpha) override;
  void updateSliderOffset(double) override {}
  void updateWithExportState(uint64_t state, bool animated) override;
  void setappCompareImageForLensCorrectionIfNeeded() override;
  void showProcessingFailed() override;

  std::optional<bool> mouseTrackingViewShouldInvalidateCursorCollisingWithOtherTrackers(
      QVMouseEventTrackingView*, const std::vector<QVMouseEventTrackingView*>& trackers) override;

  // The failure line shown in place of the phase texts.
  static std::string processingFailedText();

 protected:
  void onBoostSliderChanged(bool opening);
  virtual void prepareToTransitionWithViewsToShow(std::vector<QVView*>& viewsToShow, std::vector<QVView*>& viewsToHide,
                                                  uint64_t state);

 private:
  std::function<void()> prepareTransitionToState(uint64_t state, bool animated);
  void configureLoadingLabelView();
  // Puts the view into the root directly below `above` (on top when none), filling it.
  void embedBelow(QVView* view, QWidget* above);
  class Phases;

  std::unique_ptr<QVSingleImageRules> rules_;
  std::shared_ptr<Phases> phases_;
  std::shared_ptr<QVExportSingleImageAnimator> curtainAnimator_;
  bool waitsForWindowLayout_ = false;
  std::function<void()> onWindowDidLayout_;
  std::shared_ptr<QVJoinCounter> waitAnimationGroup_;
  bool sliderOpen_ = false;
  QVImageView* blurredPreview_ = nullptr;
  QVImageView* fullsizePreview_ = nullptr;
  QVImageView* fullsizeOriginal_ = nullptr;
  QPointer<QVLoadingLabelView> loadingLabel_;
  QPointer<QVLoadingAnimationView> loadingAnimation_;
  qv::ObserverToken showStateToken_, amountToken_, settingsToken_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
