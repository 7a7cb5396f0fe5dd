#pragma once
// Internal: the one analysis of a picture that the automatic enhancement's layers share. It is made
// once per picture on the context's analysis image and decides the corrections in the order the
// layers apply them, each measured on the picture with the previous ones applied: the illuminant
// (colour layer), then the veil and levels and the exposure (tone layer), then what the finishing
// layers (vibrance, local contrast) are needed for. The layers stay separate and editable: each reads
// its own part.
//
// Every correction is the measured need minus that measurement's own scatter on good photos: inside
// the dead zone nothing moves, past twice the dead zone the full inverse is applied, and in between
// it grows continuously (see `beyondDeadZone`). How each measure is made, and why, is written up in
// docs/ENHANCEMENT.md.
#include <array>
#include <memory>

#include "rova/Image.h"
#include "rova/effects/EffectParametersContext.h"

namespace rova::enhance_analysis {

// What is left of a need x once the dead zone d is taken off: 0 up to d, x itself past 2d, linear
// in between (continuous, so a picture near the edge of the zone gets a small correction).
double beyondDeadZone(double x, double deadZone);
// The same with the full inverse reached at `fullFrom` (> deadZone) instead of twice the dead zone.
double beyondDeadZone(double x, double deadZone, double fullFrom);

// One illuminant estimate: the colour of the light, linear RGB (any scale).
using Illuminant = std::array<double, 3>;

// Angle in degrees between two colours seen as vectors (the usual measure of an illuminant's error).
double angularErrorDegrees(const Illuminant& a, const Illuminant& b);

struct IlluminantEstimate {
  Illuminant greyEdge{1, 1, 1}, shadesOfGrey{1, 1, 1}, brightPixels{1, 1, 1};
  Illuminant greyPixels{1, 1, 1};     // the mean colour of the greyest pixels by their log contrast
  double greyPixelIndex = 1;          // their mean grey index (0: the same log contrast in every channel)
  double greyPixelBeyond = 0;         // the pixels near their colour: mean offset along its hue (as candidateBeyond)
  double greyPixelTrust = 0;          // 0..1: how far they replace the other three in the consensus
  Illuminant consensus{1, 1, 1};      // in log chromaticity, halfway between grey edge and the median of the three
  Illuminant unconstrained{1, 1, 1};  // the consensus before the pull towards plausible lights
  double spreadDegrees = 0;           // largest angle between two of the three estimates
  double clippedShare = 0;            // share of pixels with a channel at white (left out of grey edge)
  double candidateShare = 1;          // share of the lit pixels near the consensus's colour (grey once corrected)
  double candidateCore = 0;           // of those, the share in the inner half of the angle
  double candidateBeyond = 0;  // their mean offset from the light along its hue (log chromaticity; > 0: beyond it)
  double offLocusDegrees = 0;  // the consensus's angle off the locus of plausible lights (log chromaticity)
};

// The estimators on linear light, near-black pixels left out:
//  - grey edge (first order, Minkowski norm 12, clipped pixels left out): the average reflectance
//    difference is achromatic;
//  - shades of grey (norm 6): the norm-6 mean of each channel;
//  - bright pixels: the mean of the brightest 2 % of the pixels, clipped ones included;
//  - grey pixels: the mean colour of the pixels whose log contrast is most alike in the three
//    channels; it replaces the consensus of the other three as far as those pixels are grey and sit
//    amid the pixels near their colour.
// The consensus keeps only a little of any magenta part off the locus of plausible lights.
IlluminantEstimate estimateIlluminant(const ImageDataRGBf& image);

// The tone correction, one curve applied alike to R, G and B. Levels and the mid-tone lift work on
// display values (the sRGB encoding); the exposure is a linear gain with a soft highlight shoulder.
struct ToneCurve {
  // Levels: display value `fromBlack` goes to `toBlack`, `fromWhite` to `toWhite`, linearly between
  // (and beyond, with values past toWhite rolled off softly towards white when the white moved).
  double fromBlack = 0, toBlack = 0, fromWhite = 1, toWhite = 1;
  // When over 0, the display values take fromWhite only to this, and a linear gain then takes it on
  // to toWhite: the white end's stretch undoes a darkened picture's exposure.
  double gainFromWhite = 0;
  double midBoost = 0;       // lift of the mid-tones in display values (0 and 1 stay)
  double exposureGain = 1;   // linear gain, <= 1 (darkening)
  double shoulderWhite = 1;  // with exposureGain < 1, where linear white lands
  double headroomTop = 1;    // the picture's top over white (a RAW development's headroom), rolled off
  // Always on top: display values past kCeilingStart approach kCeiling and never reach white, so
  // the overshoot of an earlier sharpening or a bright float value does not clip.
  static constexpr double kCeilingStart = 0.985, kCeiling = 0.995;
  // And at the bottom a toe, under display value 2 kToe.
  static constexpr double kToe = 0.004, kFloor = 0.0025;
  // No levels, lift, exposure or roll-off: only the ceiling and the toe would act.
  bool isIdentity() const {
    return fromBlack == toBlack && fromWhite == toWhite && midBoost == 0 && exposureGain == 1 && headroomTop <= 1;
  }
  // A linear channel value through the curve (Amount 100).
  double apply(double linear) const;
};

struct Analysis {
  IlluminantEstimate illuminant;
  double castDegrees = 0;                   // of the consensus from neutral
  // Neutralise the consensus fully (a cool daylight keeps some of its blue); grey keeps its luminance.
  std::array<float, 3> fullGains{1, 1, 1};
  double lightPlausibility = 0;  // 0..1: the estimate is a light, not the colour of a scene with nothing neutral
  double colourSureness = 0;     // share of the full correction the estimate supports (also spread, clipping)
  double colourStrength = 0;     // share of the full correction an ordinary colour layer applies
  // The colour of a grey after the colour layer (unit luminance): the light's tint it leaves as the
  // picture's mood, as far as the estimate is taken for a light.
  std::array<float, 3> moodLight{1, 1, 1};
  ToneCurve tone;
  // Finishing needs, 0..1 (0: the layer leaves the picture alone).
  double vibranceNeed = 0, shadowNeed = 0, highlightNeed = 0, sharpenNeed = 0;
  // Edge steepness: the mean one-pixel step over the mean two-pixel step across edges of the
  // analysis image (1 for a hard edge, 1/2 for a soft ramp).
  double sharpness = 1;
  double colourfulness = 0;  // Hasler and Suesstrunk's M of the corrected picture (0..~100)
  // What the exposure was decided from, after the colour and the levels: the median linear
  // luminance, the share of pixels clipped, and those against the ones in the stop under white.
  double medianLuminance = 0, clippedShare = 0, pileUp = 0;
  double colourClipped = 0;  // share of the clipped pixels with a channel still under white
  double paleCut = 0;        // share of the clipped pixels that are pale tints cut by the clip
  double headroom = 0;       // 0..1: how far the picture's unused headroom says it was darkened
};

// Edge steepness of an image (see Analysis::sharpness).
double sharpnessOf(const ImageDataRGBf& image);

// The analysis of an analysis image; `exposureBiasEV` brightens the measurement first (a RAW
// development that runs before the layers).
Analysis analyse(const ImageDataRGBf& image, double exposureBiasEV = 0);

// The analysis of the context's picture, made once and kept in the context.
std::shared_ptr<const Analysis> shared(const EffectParametersContextPtr& context, double exposureBiasEV = 0);

// Gains that apply a share of the full correction (in log chromaticity), luminance of grey kept.
std::array<float, 3> partialGains(const std::array<float, 3>& fullGains, double share);

}  // namespace rova::enhance_analysis
