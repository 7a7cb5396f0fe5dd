#include "Ombrel/Classes/Application/SingleImage/QVBasicExportSingleImageViewController.h"

#include <algorithm>

#include "Ombrel/Classes/Application/AppDelegate/QVAppDelegate.h"
#include "Ombrel/Classes/Application/Common/QVSingleImageNotifications.h"
#include "QVAppKit/NSViewController+SwitchViewAnimation.h"
#include "QVAppKit/QVSpringMenu.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/Log.h"

namespace {
// Keeps a label centred in its container: the phase label sizes itself to each new text, so it is
// placed again after each of its own resizes and after each layout of the container.
class CentreKeeper : public QObject {
 public:
  CentreKeeper(QVLabel* label, QVBasicView* container) : QObject(label), label_(label), container_(container) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Resize) place();
    return false;
  }
  void place() {
    if (!label_ || !container_ || label_->parentWidget() != container_ || placing_) return;
    placing_ = true;
    const CGRect b = container_->bounds();
    const CGSize s = label_->frame().size;
    label_->setFrameOrigin(
        CGPointMake(std::round((b.size.width - s.width) / 2), std::round((b.size.height - s.height) / 2)));
    placing_ = false;
  }

 private:
  QPointer<QVLabel> label_;
  QPointer<QVBasicView> container_;
  bool placing_ = false;
};

void placeCentred(QVLabel* label, QVBasicView* container) {
  label->setParent(container);
  label->show();
  auto* keeper = new CentreKeeper(label, container);
  label->installEventFilter(keeper);
  QPointer<CentreKeeper> weak = keeper;
  container->addConstraint([weak] {
    if (weak) weak->place();
  });
  keeper->place();
}
}  // namespace

class QVBasicExportSingleImageViewController::Phases : public QVLoadingLabelDataSource {
 public:
  explicit Phases(QVSingleImageRules* rules) : rules_(rules) {}
  std::vector<std::string> phaseDescriptinosForLoadingLabel(QVLoadingLabelView*) override {
    return QVSingleImageRules::phaseDescriptions();
  }
  CGSize processingImageSizeForLoadingLabel(QVLoadingLabelView*) override { return rules_->processingImageSize(); }

 private:
  QVSingleImageRules* rules_;
};

QVBasicExportSingleImageViewController::QVBasicExportSingleImageViewController(
    std::shared_ptr<QVSingleImageFacade> facade)
    : QVSImageViewController(nullptr) {
  rules_ = std::make_unique<QVSingleImageRules>(std::move(facade), this);
  phases_ = std::make_shared<Phases>(rules_.get());
  blurredPreview()->scaleCentered(kBlurredPreviewScale);
  auto& center = qv::NotificationCenter::defaultCenter();
  std::weak_ptr<int> alive = alive_;
  showStateToken_ = center.addObserver(kQVBoostSliderDidChangeShowStateNotification, nullptr,
                                       [this, alive](const qv::Notification& n) {
                                         if (!alive.lock()) return;
                                         if (auto opening = QVSingleImageNotifications::objectValue<bool>(n)) {
                                           onBoostSliderChanged(*opening);
                                         }
                                       });
  amountToken_ =
      center.addObserver(kQVBoostSliderDidChangeAmountNotification, nullptr, [this, alive](const qv::Notification& n) {
        if (!alive.lock()) return;
        if (auto amount = QVSingleImageNotifications::objectValue<double>(n)) {
          changeBoostSliderAmount(*amount);
        }
      });
  settingsToken_ = center.addObserver(kQVAppMenuSettingsDidChange, nullptr, [this, alive](const qv::Notification&) {
    if (alive.lock()) rules_->onAppPresetSettingsChanged();
  });
}

QVBasicExportSingleImageViewController::~QVBasicExportSingleImageViewController() {
  alive_.reset();
  showStateToken_.reset();
  amountToken_.reset();
  settingsToken_.reset();
  if (curtainAnimator_) curtainAnimator_->cancel();
  curtainAnimator_.reset();
  NSViewControllerSwitchViewAnimation::cancelVisibilityChange(this);
  rules_.reset();
  // Views out of the hierarchy right now are ours to delete; the others go with the root.
  for (QWidget* v : std::initializer_list<QWidget*>{blurredPreview_, fullsizePreview_, fullsizeOriginal_}) {
    if (v && !v->parentWidget()) delete v;
  }
  if (loadingAnimation_ && !loadingAnimation_->parentWidget()) delete loadingAnimation_.data();
  if (loadingLabel_ && !loadingLabel_->parentWidget()) delete loadingLabel_.data();
}

std::string QVBasicExportSingleImageViewController::processingFailedText() {
  return qv::QVSLocalization::localizedStringForKey("This photo could not be enhanced.");
}

// ---- Views ----

QVImageView* QVBasicExportSingleImageViewController::blurredPreview() {
  if (!blurredPreview_) {
    blurredPreview_ = QVMake<QVImageView>();
    blurredPreview_->setContentMode(QVImageContentModeAspectFill);
    blurredPreview_->setBackgroundColor(Qt::black);
    blurredPreview_->setAlpha(0);
  }
  return blurredPreview_;
}

QVImageView* QVBasicExportSingleImageViewController::fullsizePreviewImageView() {
  if (!fullsizePreview_) {
    fullsizePreview_ = QVMake<QVImageView>();
    fullsizePreview_->setContentMode(QVImageContentModeAspectFit);
  }
  return fullsizePreview_;
}

QVImageView* QVBasicExportSingleImageViewController::fullsizeOriginalImageView() {
  if (!fullsizeOriginal_) {
    fullsizeOriginal_ = QVMake<QVImageView>();
    fullsizeOriginal_->setContentMode(QVImageContentModeAspectFit);
    fullsizeOriginal_->setBackgroundColor(Qt::black);
  }
  return fullsizeOriginal_;
}

QVLoadingLabelView* QVBasicExportSingleImageViewController::loadingLabelView() {
  if (!loadingLabel_) {
    loadingLabel_ = QVLoadingLabelView::loadingLabelView();
    loadingLabel_->setLoadingDataSource(phases_);
    loadingLabel_->setAlignment(QVTextAlignmentCenter);
  }
  return loadingLabel_;
}

QVLoadingAnimationView* QVBasicExportSingleImageViewController::loadingAnimationView() {
  if (!loadingAnimation_) {
    auto* dots = QVLoadingAnimationView::processingDotsView();
    loadingAnimation_ = dots;
  }
  return loadingAnimation_;
}

std::vector<QVView*> QVBasicExportSingleImageViewController::viewsPool() { return {blurredPreview()}; }

void QVBasicExportSingleImageViewController::removeLoadingAnimation() {
  if (!loadingAnimation_) return;
  QVLoadingAnimationView* dots = loadingAnimation_;
  loadingAnimation_ = nullptr;
  dots->hide();
  dots->setParent(nullptr);
  dots->deleteLater();
}

void QVBasicExportSingleImageViewController::configureLoadingLabelView() {
  QVLoadingLabelView* label = loadingLabelView();
  if (label->parentWidget()) return;
  // Over the dots, in the preview that holds them (the dots view lays out no children of its own).
  placeCentred(label, blurredPreview());
}

void QVBasicExportSingleImageViewController::embedBelow(QVView* view, QWidget* above) {
  QWidget* root = this->view();
  QVEmbedInContainer(view, root);
  if (above && above->parentWidget() == root) {
    view->stackUnder(above);
  } else {
    view->raise();
  }
}

// ---- Port ----

void QVBasicExportSingleImageViewController::setBlurredImage(NSImageRef image) {
  blurredPreview()->setImage(std::move(image));
}

void QVBasicExportSingleImageViewController::setImages(NSImageRef shownOriginal, NSImageRef source, NSImageRef result) {
  fullsizeOriginalImageView()->setImage(shownOriginal);
  fullsizePreviewImageView()->setImage(result);
  setProcessedImage(result);
  setOriginalImage(source);
  updateCompareImage(result);
}

void QVBasicExportSingleImageViewController::setResultAlpha(double alpha) {
  // A fade still bringing the result in would end on the strength it started with.
  if (QVOpacityAnimation::has(fullsizePreviewImageView())) QVOpacityAnimation::removeAll(fullsizePreviewImageView());
  fullsizePreviewImageView()->setAlpha(alpha);
  // The split view shows the same strength; while the slider is open it lies hidden below.
  if (!sliderOpen_) compareView()->setCompareAlpha(alpha);
}

void QVBasicExportSingleImageViewController::setappCompareImageForLensCorrectionIfNeeded() {
  // The lens-corrected source lies under the result on the compare side.
  compareView()->setCompareBackdropImage(
      rules_->facade().autoLensCorrectionEnabled() ? fullsizeOriginalImageView()->image() : nullptr);
}

void QVBasicExportSingleImageViewController::showProcessingFailed() {
  if (!blurredPreview()->parentWidget()) updateWithExportState(QVExportImageViewControllerState_Processing, true);
  QVLoadingLabelView* label = loadingLabelView();
  label->stopAnimation();
  // The message stays where the phases were; the dots go.
  QVImageView* preview = blurredPreview();
  if (label->parentWidget() != preview) placeCentred(label, preview);
  label->setTitle(processingFailedText());
  label->setFrameSize(label->sizeForCurrentString());  // the whole line, re-centred
  removeLoadingAnimation();
  preview->setNeedsLayout();
  preview->layoutSubtreeIfNeeded();
}

// ---- State changes ----

void QVBasicExportSingleImageViewController::performCurtainAnimation(std::function<void(bool)> completion) {
  if (curtainAnimator_) curtainAnimator_->cancel();
  curtainAnimator_ = QVExportSingleImageAnimator::make(this);
  curtainAnimator_->hideCurtainAndDisableConstraints();
  auto animator = curtainAnimator_;
  std::weak_ptr<int> alive = alive_;
  animator->animateWithDefaultDurationAndCompletion([this, alive, animator, completion](bool finished) {
    if (!alive.lock()) return;
    if (curtainAnimator_ == animator) curtainAnimator_.reset();
    if (completion) completion(finished);
  });
}

void QVBasicExportSingleImageViewController::cancelStateTransition() {
  if (curtainAnimator_) curtainAnimator_->cancel();
}

std::function<void()> QVBasicExportSingleImageViewController::prepareTransitionToState(uint64_t state, bool animated) {
  const uint64_t previous = rules_->currentState();
  std::weak_ptr<int> alive = alive_;
  std::function<void()> block;
  switch (state) {
    case QVExportImageViewControllerState_Processing:
      configureLoadingLabelView();
      loadingLabelView()->startAnimation();
      QVEmbedInContainer(loadingAnimationView(), blurredPreview());
      loadingLabelView()->raise();
      loadingAnimationView()->startAnimation();
      break;
    case QVExportImageViewControllerState_Processed: {
      if (curtainAnimator_) curtainAnimator_->cancel();
      auto animator = QVExportSingleImageAnimator::make(this);
      curtainAnimator_ = animator;
      animator->hideCurtainAndDisableConstraints();
      if (!animated) {
        // Nothing will slide the curtain in: it rests where the animation would have left it.
        animator->cancel();
        curtainAnimator_.reset();
        if (loadingLabel_) loadingLabel_->stopAnimation();
        removeLoadingAnimation();
        break;
      }
      const bool fromProcessed = previous == QVExportImageViewControllerState_Processed;
      if (!fromProcessed && loadingLabel_) loadingLabel_->showLastPhase();
      block = [this, alive, animator, fromProcessed] {
        if (!alive.lock()) return;
        animator->animateWithDefaultDurationAndCompletion([this, alive, animator, fromProcessed](bool finished) {
          if (!alive.lock()) return;
          if (curtainAnimator_ == animator) curtainAnimator_.reset();
          if (!fromProcessed) {
            if (finished) removeLoadingAnimation();
            if (loadingLabel_) loadingLabel_->stopAnimation();
          }
          onEndTransitionToState(QVExportImageViewControllerState_Processed);
        });
      };
      break;
    }
    case QVExportImageViewControllerState_Exporting:
      // The blurred photo returns under the export panel: without the processing's phase text,
      // which the panel's own text replaces.
      if (loadingLabel_ && loadingLabel_->superview()) {
        loadingLabel_->stopAnimation();
        loadingLabel_->removeFromSuperview();
      }
      block = [this, alive] {
        if (alive.lock()) resetSplitFactor();
      };
      break;
    default:
      break;
  }
  return animated ? block : nullptr;
}

void QVBasicExportSingleImageViewController::prepareToTransitionWithViewsToShow(std::vector<QVView*>& viewsToShow,
                                                                                std::vector<QVView*>& viewsToHide,
                                                                                uint64_t state) {
  QVView* preview = blurredPreview();
  if (state != QVExportImageViewControllerState_Processed && !preview->parentWidget()) {
    viewsToHide.erase(std::remove(viewsToHide.begin(), viewsToHide.end(), preview), viewsToHide.end());
    viewsToShow.insert(viewsToShow.begin(), preview);
  }
  if (state == QVExportImageViewControllerState_Processing) {
    viewsToHide.erase(std::remove(viewsToHide.begin(), viewsToHide.end(), preview), viewsToHide.end());
  }
}

void QVBasicExportSingleImageViewController::updateWithExportState(uint64_t state, bool animated) {
  const auto name = QVSingleImageRules::exportViewControllerStateStringFromState(state);
  QVLogInfo("Will enter export state: %s", name ? name->c_str() : "(unknown)");
  onBeginTransitionToState(state);
  std::function<void()> block = prepareTransitionToState(state, animated);
  rules_->setCurrentState(state);
  setCurtainEnabled(state == QVExportImageViewControllerState_Processed);

  // A cross-fade of the previous state still running (a cached photo is processed a moment after its
  // preview came up) would end by showing its views again over this state's.
  NSViewControllerSwitchViewAnimation::cancelVisibilityChange(this);
  std::vector<QVView*> viewsToHide = viewsPool(), viewsToShow;
  prepareToTransitionWithViewsToShow(viewsToShow, viewsToHide, state);

  auto group = QVJoinCounter::make();
  waitAnimationGroup_ = group;
  onWindowDidLayout_ = nullptr;
  if (waitsForWindowLayout_) {
    group->enter();
    std::weak_ptr<QVJoinCounter> weakGroup = group;
    onWindowDidLayout_ = [this, weakGroup] {
      auto g = weakGroup.lock();
      onWindowDidLayout_ = nullptr;  // the block clears itself
      if (g) g->leave();
    };
  }
  group->enter();
  std::weak_ptr<int> alive = alive_;
  group->notify([this, alive, group, block] {
    if (!alive.lock()) return;
    if (waitAnimationGroup_ == group) waitAnimationGroup_.reset();
    if (block) block();
  });
  // Views on screen that go away fade out over the same second, so the photo under the blurred
  // preview comes through gradually (the cross-fade alone would hold them and then cut them off);
  // views already off screen need no fade and hold nothing up.
  const std::vector<QVView*> crossFaded;
  for (QVView* v : viewsToHide) {
    if (!v->parentWidget()) continue;
    group->enter();
    QPointer<QVView> weakView = v;
    QVOpacityAnimation::add(v, v->alpha(), 0, QVFadeAnimator({}, {}).defaultDuration(),
                            [weakView, group](bool finished) {
                              if (finished && weakView) weakView->removeFromSuperview();
                              group->leave();
                            });
  }
  const bool fading = NSViewControllerSwitchViewAnimation::changeVisibility(this, crossFaded, viewsToShow, animated,
                                                                            [group] { group->leave(); });
  if (!fading) group->leave();
}

// ---- Slider ----

void QVBasicExportSingleImageViewController::onBoostSliderChanged(bool opening) {
  QVImageView* preview = fullsizePreviewImageView();
  QVImageView* original = fullsizeOriginalImageView();
  if (opening) {
    sliderOpen_ = true;
    embedBelow(preview, sliderContainer());
    embedBelow(original, preview);
    NSViewFadeAnimation::switchToAlpha(preview, compareView()->compareAlpha());
    std::weak_ptr<int> alive = alive_;
    NSViewFadeAnimation::show(original, [this, alive](bool finished) {
      // Covered whole by the source below the result: the split view need not paint under them,
      // so each step of the slider repaints two pictures, not three.
      if (finished && alive.lock() && sliderOpen_) compareView()->hide();
    });
    for (QVView* v : sliderInactiveViews()) NSViewFadeAnimation::hide(v);
    return;
  }
  sliderOpen_ = false;
  compareView()->show();
  if (preview->image()) updateCompareImage(preview->image());
  compareView()->setCompareAlpha(preview->alpha());
  // The full-size pictures fade away over the split view (a plain hide would cut them off), and
  // leave once gone; opening again meanwhile replaces the fade and keeps them.
  for (QVView* v : {static_cast<QVView*>(preview), static_cast<QVView*>(original)}) {
    QPointer<QVView> weak = v;
    QVOpacityAnimation::add(v, v->alpha(), 0, kQVStandardAnimationDuration, [weak](bool finished) {
      if (finished && weak) weak->removeFromSuperview();
    });
  }
  for (QVView* v : sliderInactiveViews()) NSViewFadeAnimation::show(v);
}

std::optional<bool>
QVBasicExportSingleImageViewController::mouseTrackingViewShouldInvalidateCursorCollisingWithOtherTrackers(
    QVMouseEventTrackingView*, const std::vector<QVMouseEventTrackingView*>& trackers) {
  for (auto* t : trackers) {
    if (dynamic_cast<QVSpringMenu*>(t)) return true;
  }
  return false;
}
