#include "Ombrel/Classes/Application/Transitions/QVOpenAnimationTransitionController.h"

void QVOpenAnimationTransitionController::actualTransitionToMode(int64_t mode, Completion completion) {
  // The open screen's own motion is not drawn yet: the end screen takes its place at once.
  if (completion) completion(true);
}
