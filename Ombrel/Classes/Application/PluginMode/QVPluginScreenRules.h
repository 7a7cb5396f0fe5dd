#pragma once
// The plug-in screens' rules without widgets: which controls the begin row shows for the number of
// host images, where they sit, the progress title for the host, and when the Done button (or the
// apply command) may start the export.
#include <cstdint>
#include <string>

#include "QVBase/Geometry.h"

// Bits of the begin row's elements.
inline constexpr uint64_t kQVPluginElementButton = 1;
inline constexpr uint64_t kQVPluginElementSlider = 2;

namespace QVPluginScreenRules {

inline constexpr double kGap = 11;
inline constexpr double kButtonWidth = 123;
inline constexpr double kButtonHeight = 44;

// Button and slider for exactly one image; the slider alone otherwise (apply then comes from the
// main window's command).
uint64_t overlayElementsForPathsCount(size_t count);
// "SAVING COPY TO LIGHTROOM" (0), "SAVING TO PHOTOSHOP" (1), "Unknown" for any other host.
std::string hostTitle(int32_t owner);
// Frames in the begin row's bounds (bottom-left origin): the button in the bottom-right corner,
// `kGap` in; the slider `kGap` above the bottom and `kGap` left of the button, or of the edge.
CGRect buttonFrame(CGSize bounds);
CGRect sliderFrame(CGSize bounds, CGSize sliderSize, uint64_t elements);
// Done and the apply command start an export only from the begin state (0), and only while no
// export runs: never a second run, neither on this panel nor on another plug-in screen that heard
// the same apply command (the gallery's panel and its quick preview's both listen).
inline bool shouldStartExport(uint64_t panelState, bool exportRunning) { return panelState == 0 && !exportRunning; }

}  // namespace QVPluginScreenRules
