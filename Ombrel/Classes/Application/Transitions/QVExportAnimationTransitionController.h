#pragma once
// The controllers that animate a change of screen mode of the main window, and the factory that
// picks one for a pair of modes.
//
// Call order: willBeginTransitionToMode → makeTransition (stores the transition, runs the
// subclass's actualTransitionToMode; when that completes, the caller's completion runs first and
// then actualFinishTransitionWithMode) → didFinishTransitionToMode. cancelTransition marks the
// controller as cancelling, runs the subclass's actualCancel, and then leaves the record at
// {-1, -1} and cancelling off before the caller's completion runs.
//
// The motion happens in sprites (QVTransitionSprites) laid in the window's overlay canvas; the
// controller's own view is a transparent view the driver lays over the window's content.
//
// Main thread only.
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Transitions/QVExportTransition.h"
#include "Ombrel/Classes/Application/Transitions/QVTransitionSprites.h"
#include "QVPlatform/ImageIO/NSImage.h"

class QVView;
class QVSolvaneWindow;
class QVExportAnimationTransitionController;

// A screen taking part in transitions: its mode, its view and its animatable parts by key.
class QVExportContainerAnimatable {
 public:
  virtual ~QVExportContainerAnimatable() = default;
  virtual int64_t containerMode() const = 0;
  virtual QWidget* containerView() = 0;
  virtual std::map<std::string, QWidget*> animatableViews() { return {}; }
  // The open screen: whether its blurred photo shows during the transitions.
  virtual bool blurIsShown() { return false; }
  // The photo at the path as the screen already holds it in memory (a thumbnail, a preview);
  // none when it has none at hand. Never loads.
  virtual NSImageRef shownImageAtPath(const std::string& path) { return nullptr; }
};

// What the transitions ask of the driver that runs them.
class QVExportAnimationTransitionControllerDelegate {
 public:
  virtual ~QVExportAnimationTransitionControllerDelegate() = default;
  // The pixel size of the first photo, when known.
  virtual std::optional<CGSize> exportAnimationTransitionImageSize(QVExportAnimationTransitionController*) {
    return std::nullopt;
  }
  // The gallery's cell rectangles in the controller's view (bottom-left space).
  virtual std::vector<CGRect> exportAnimationTransitionCalculateGalleryCellRects(
      QVExportAnimationTransitionController*) {
    return {};
  }
  // The first cell (or the cell the gallery left for one photo), zero when none.
  virtual CGRect exportAnimationTransitionCalculateGalleryFirstCellRect(QVExportAnimationTransitionController*) {
    return CGRectZero;
  }
  // A gallery cell showing the first photo, owned by the caller; none when there is no gallery.
  virtual std::unique_ptr<QWidget> exportAnimationTransitionCreateGalleryFirstCellPrototype(
      QVExportAnimationTransitionController*) {
    return nullptr;
  }
  // The inset of a gallery cell's picture inside its rectangle.
  virtual double exportAnimationTransitionCellInset(QVExportAnimationTransitionController*) { return 12; }
  // The paths of the gallery's photos, in order.
  virtual std::vector<std::string> exportAnimationTransitionImagePaths(QVExportAnimationTransitionController*) {
    return {};
  }
  // Starts the thumbnail load of a path; `done` gets an empty image when it fails. Any thread.
  virtual void exportAnimationTransitionLoadThumbnail(QVExportAnimationTransitionController*, const std::string& path,
                                                      std::function<void(QImage)> done) {
    if (done) done(QImage());
  }
};

class QVExportAnimationTransitionController {
 public:
  using Completion = std::function<void(bool finished)>;

  // The controller for the pair of modes; none for a start mode outside 0-2.
  static std::unique_ptr<QVExportAnimationTransitionController> transitionControllerWithTransition(
      QVExportTransition transition);

  QVExportAnimationTransitionController();
  virtual ~QVExportAnimationTransitionController();

  // The transparent view laid over the window's content while the transition runs.
  QVView* view();
  QVSolvaneWindow* window();
  virtual bool isAnimating() const { return false; }

  bool cancelling() const { return cancelling_; }
  QVExportTransition currentTransition() const { return currentTransition_; }
  QVExportContainerAnimatable* startVC() const { return startVC_; }
  QVExportContainerAnimatable* endVC() const { return endVC_; }
  void setStartVC(QVExportContainerAnimatable* vc) { startVC_ = vc; }
  void setEndVC(QVExportContainerAnimatable* vc) { endVC_ = vc; }
  QVExportAnimationTransitionControllerDelegate* delegate() const { return delegate_; }
  void setDelegate(QVExportAnimationTransitionControllerDelegate* delegate) { delegate_ = delegate; }

  // Start and end screen, in that order; empty unless both are set.
  std::vector<QVExportContainerAnimatable*> allVCs() const;
  QVExportContainerAnimatable* openVC() const { return vcWithMode(0); }
  QVExportContainerAnimatable* singleVC() const { return vcWithMode(1); }
  QVExportContainerAnimatable* multiVC() const { return vcWithMode(2); }

  virtual void willBeginTransitionToMode(int64_t mode) {}
  void makeTransition(QVExportTransition transition, Completion completion = nullptr);
  virtual void didFinishTransitionToMode(int64_t mode) {}
  void cancelTransition(Completion completion = nullptr);

  // Puts the view into the container, filling it (QVEmbedInContainer), shown on top of its siblings.
  static void embedView(QWidget* container, QWidget* view);
  // Runs the layouts waiting in the event queue, and nothing else: a paint waiting there belongs to
  // the next display frame, not to the start of a transition.
  static void layOutPendingViews();

  // The sprites of the transition, in the window of the controller's view (else the start screen's).
  QVTransitionSprites* sprites();

  // A timed animation that reports under an identifier: when it stops, the completion stored for
  // that identifier runs once and is cleared; an animation without an identifier runs none.
  void storeCompletion(const std::string& identifier, Completion completion);
  void animationDidStop(const std::string& identifier, bool finished);
  bool hasStoredCompletion(const std::string& identifier) const { return stored_.count(identifier) != 0; }
  // Forgets every stored completion: the animations still running then report to nobody.
  void clearStoredCompletions() { stored_.clear(); }

 protected:
  // The subclass's animation: the completion runs when it ends (never in the base).
  virtual void actualTransitionToMode(int64_t mode, Completion completion) {}
  // Stops every animation of the transition and takes the sprites away.
  virtual void actualFinishTransitionWithMode(int64_t mode);
  virtual void actualCancel(QVExportTransition transition, Completion completion) {}
  virtual void actualFinishWithMode(int64_t mode) {}
  // Animates a sprite to `target`; its stop reports under `identifier` (none when empty).
  void animateSprite(QVTransitionSprites::SpriteId id, const QVTransitionSprite& target,
                     const std::string& identifier = {}, double duration = kQVStandardAnimationDuration);
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

 private:
  QVExportContainerAnimatable* vcWithMode(int64_t mode) const;

  bool cancelling_ = false;
  QVExportContainerAnimatable* startVC_ = nullptr;
  QVExportContainerAnimatable* endVC_ = nullptr;
  QVExportAnimationTransitionControllerDelegate* delegate_ = nullptr;
  QVExportTransition currentTransition_;
  QPointer<QVView> view_;
  std::unique_ptr<QVTransitionSprites> sprites_;
  std::map<std::string, Completion> stored_;
};

// Transitions that start in the single image towards the open screen or itself: nothing moves,
// so they complete at once.
class QVSingleAnimationTransitionController : public QVExportAnimationTransitionController {
 protected:
  void actualTransitionToMode(int64_t mode, Completion completion) override;
  void actualCancel(QVExportTransition transition, Completion completion) override;
};
