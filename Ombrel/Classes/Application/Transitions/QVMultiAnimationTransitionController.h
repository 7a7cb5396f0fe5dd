#pragma once
// From the gallery back to the open screen (start over): the gallery's grid (and the rest of what it
// publishes, the export button) fades, its background
// shrinks into the open screen's panel taking the theme colour, and the open screen fades in. The
// three steps chain through stored completions chosen by the identifier of the animation that
// stopped.
//
// A cancel stops the steps where they are and shows the gallery again: the gallery is still in the
// window, under the motion, and the window keeps the gallery's shape until the last step.
//
// Main thread only.
#include "Ombrel/Classes/Application/Transitions/QVExportAnimationTransitionController.h"

inline constexpr const char* kQVCollectionFadeAnimationKey = "kQVCollectionFadeAnimationKey";
inline constexpr const char* kQVGallerySizeAnimationKey = "kQVGallerySizeAnimationKey";
inline constexpr const char* kQVOpenButtonFadeInAnimationKey = "kQVOpenButtonFadeInAnimationKey";

class QVMultiAnimationTransitionController : public QVExportAnimationTransitionController {
 protected:
  void actualTransitionToMode(int64_t mode, Completion completion) override;
  void actualFinishTransitionWithMode(int64_t mode) override;
  // Stops where it is and puts the gallery back as it was; reports once, at once. The interrupted
  // transition never reports.
  void actualCancel(QVExportTransition transition, Completion completion) override;

 private:
  // The frame after the window took its new shape, when the transition reports.
  QVAnimationDriver::AnimationId endFrame_ = 0;
};
