// The plug-in screens' rules: elements per number of host images, placement, host titles, and the
// begin state as the only one that starts an export.
#include <gtest/gtest.h>

#include "Ombrel/Classes/Application/PluginMode/QVPluginScreenRules.h"

namespace {

using namespace QVPluginScreenRules;

TEST(QVPluginScreenRules, ElementsAndPlacementForOneAndTwoImages) {
  const CGSize bounds = CGSizeMake(1200, 800);
  EXPECT_EQ(overlayElementsForPathsCount(1), kQVPluginElementButton | kQVPluginElementSlider);
  EXPECT_EQ(overlayElementsForPathsCount(2), kQVPluginElementSlider);
  EXPECT_EQ(overlayElementsForPathsCount(0), kQVPluginElementSlider);
  // The button's top-left corner at (W - 134, H - 55) from the top left.
  const CGRect button = buttonFrame(bounds);
  EXPECT_EQ(button.origin.x, 1200 - 134);
  EXPECT_EQ(bounds.height - button.origin.y - button.size.height, 800 - 55);
  const CGSize slider = CGSizeMake(44, 44);
  const CGRect beside = sliderFrame(bounds, slider, overlayElementsForPathsCount(1));
  EXPECT_EQ(beside.origin.x + beside.size.width, button.origin.x - 11);
  EXPECT_EQ(beside.origin.y, 11);
  const CGRect alone = sliderFrame(bounds, slider, overlayElementsForPathsCount(2));
  EXPECT_EQ(alone.origin.x + alone.size.width, 1200 - 11);
  EXPECT_EQ(alone.origin.y, 11);
}

TEST(QVPluginScreenRules, HostTitlesAndTheBeginStateOnly) {
  EXPECT_EQ(hostTitle(0), "SAVING COPY TO LIGHTROOM");
  EXPECT_EQ(hostTitle(1), "SAVING TO PHOTOSHOP");
  EXPECT_EQ(hostTitle(7), "Unknown");
  EXPECT_EQ(hostTitle(-1), "Unknown");
  EXPECT_TRUE(shouldStartExport(0, false));
  EXPECT_FALSE(shouldStartExport(1, false));
  EXPECT_FALSE(shouldStartExport(2, false));
  // Another plug-in screen already runs the export the same apply command started.
  EXPECT_FALSE(shouldStartExport(0, true));
}

}  // namespace
