#pragma once
// What the export options' tests share: the user's hand on the quality slider.
#include "QVAppKit/QVSliderView.h"
#include "tests/platform/QVAppKit/MouseTestSupport.h"

namespace export_options_test {

// Drags the slider's knob to a value as the user does: press on the knob, move, release.
inline void dragSliderTo(QVSliderView* slider, double value) {
  slider->layoutSubtreeIfNeeded();
  auto at = [slider](double v) {
    return slider->qtPointFromPoint(CGPointMake(slider->locationForValue(v), CGRectGetMidY(slider->barRect())));
  };
  mouse_test::press(slider, at(slider->value()));
  mouse_test::drag(slider, at(value));
  mouse_test::release(slider, at(value));
}

}  // namespace export_options_test
