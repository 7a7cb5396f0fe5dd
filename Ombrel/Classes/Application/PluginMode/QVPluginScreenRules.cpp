#include "Ombrel/Classes/Application/PluginMode/QVPluginScreenRules.h"

#include "Ombrel/Classes/Helpers/QVSPluginModeManager.h"

namespace QVPluginScreenRules {

uint64_t overlayElementsForPathsCount(size_t count) {
  return count == 1 ? (kQVPluginElementButton | kQVPluginElementSlider) : kQVPluginElementSlider;
}

std::string hostTitle(int32_t owner) {
  switch (owner) {
    case kQVPluginOwnerLightroom:
      return "SAVING COPY TO LIGHTROOM";
    case kQVPluginOwnerPhotoshop:
      return "SAVING TO PHOTOSHOP";
    default:
      return "Unknown";
  }
}

CGRect buttonFrame(CGSize bounds) {
  return CGRectMake(bounds.width - kGap - kButtonWidth, kGap, kButtonWidth, kButtonHeight);
}

CGRect sliderFrame(CGSize bounds, CGSize sliderSize, uint64_t elements) {
  const double trailing =
      (elements & kQVPluginElementButton) ? buttonFrame(bounds).origin.x - kGap : bounds.width - kGap;
  return CGRectMake(trailing - sliderSize.width, kGap, sliderSize.width, sliderSize.height);
}

}  // namespace QVPluginScreenRules
