#pragma once
// From the gallery back to the open screen (start over): the gallery's grid (and the rest of what it
// publishes, the export button) fades, its background
// shrinks into the open screen's panel taking the theme colour, and the open screen fades in. The
// three steps chain through stored completions chosen by the identifier of the animation that
// stopped.
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
};
