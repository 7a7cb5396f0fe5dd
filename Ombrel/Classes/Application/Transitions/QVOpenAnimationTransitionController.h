#pragma once
// Out of the open screen into the single image or the gallery.
//
// Main thread only.
#include "Ombrel/Classes/Application/Transitions/QVExportAnimationTransitionController.h"

class QVOpenAnimationTransitionController : public QVExportAnimationTransitionController {
 protected:
  void actualTransitionToMode(int64_t mode, Completion completion) override;
};
