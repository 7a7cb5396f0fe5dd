#pragma once
// Between the single image and the gallery, both ways. Going to the gallery the picture of the full
// single view shrinks into the place of the gallery's first cell while it fades out over a cell
// prototype showing the same photo; going back it grows from the cell the gallery left. The motion
// is four edge insets of the single picture (leading, trailing, top, bottom) running from the
// cell's insets to zero or back. Groups that overlap (a cancel while the way to the gallery runs)
// are counted: only the last one to end reports.
//
// Main thread only.
#include <memory>

#include "Ombrel/Classes/Application/Transitions/QVExportAnimationTransitionController.h"

class QVSingleMultiAnimationTransitionController : public QVExportAnimationTransitionController {
 public:
  struct EdgeInsets {
    double top = 0, left = 0, bottom = 0, right = 0;
    bool operator==(const EdgeInsets&) const = default;
  };
  // The insets of a cell (bottom-left space) in a container; right-to-left exchanges left and right.
  static EdgeInsets edgeInsetsForCellRect(CGRect cellRect, CGSize container, bool rightToLeft);

  ~QVSingleMultiAnimationTransitionController() override;
  bool isAnimating() const override { return animCount_ > 0; }
  int64_t animCount() const { return animCount_; }
  CGRect cellRect() const { return cellRect_; }
  // The cell prototype's sprite (0 without one) and the cover over the gallery going back to one
  // photo (0 otherwise).
  QVTransitionSprites::SpriteId prototypeSprite() const { return smallSprite_; }
  QVTransitionSprites::SpriteId coverSprite() const { return coverSprite_; }
  // The constants of the four edges now (leading, trailing as left, right of a left-to-right
  // interface) and the full view's alpha.
  EdgeInsets constants() const { return constants_; }
  double fullAlpha() const { return fullAlpha_; }
  bool rightToLeft() const;

  void willBeginTransitionToMode(int64_t mode) override;
  void didFinishTransitionToMode(int64_t mode) override;

 protected:
  void actualTransitionToMode(int64_t mode, Completion completion) override;
  void actualCancel(QVExportTransition transition, Completion completion) override;
  void actualFinishTransitionWithMode(int64_t mode) override;

 private:
  void prepareForTransition();
  EdgeInsets insets() const;
  void apply();
  void animateTransition(EdgeInsets toConstants, double toAlpha, Completion completion);

  std::unique_ptr<QWidget> singleSmallView_;
  QPointer<QWidget> multiView_;
  QVTransitionSprites::SpriteId fullSprite_ = 0;
  QVTransitionSprites::SpriteId smallSprite_ = 0;
  QVTransitionSprites::SpriteId coverSprite_ = 0;
  CGRect fullRect_ = CGRectZero;
  CGRect cellRect_ = CGRectZero;
  EdgeInsets constants_;
  double fullAlpha_ = 1;
  int64_t animCount_ = 0;
  QVAnimationDriver::AnimationId group_ = 0;
};
