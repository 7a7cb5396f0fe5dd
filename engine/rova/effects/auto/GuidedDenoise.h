#pragma once
// Internal: noise reduction's filtering of a whole picture, in bands of rows on all cores.
#include <atomic>

#include "rova/ImageData.h"

namespace rova::auto_support {

// Radii of the two guided filters (the luminance as its own guide, then the colour differences guided
// by the smoothed luminance) and the rows a filtered pixel depends on above and below it: each filter
// is two box filters deep.
inline constexpr int kDenoiseLumaRadius = 2, kDenoiseChromaRadius = 4;
inline constexpr int kDenoiseReach = 2 * (kDenoiseLumaRadius + kDenoiseChromaRadius);

// Smooths the noise of `buffer` (linear light) in place: in square-root values (noise of roughly even
// size from shadows to highlights), the luminance is smoothed where it is flat (a guided filter with
// eps (2 sigma)^2), the colour differences wider along the edges of the smoothed luminance (eps
// (1.2 sigma)^2); `amount` (0..1) mixes the filtered values in, the luminance's at 0.8 of it (some
// grain stays: a picture with none looks painted).
//
// The filters run row by row through rings of a few rows (their box sums worked out once for every
// product they need), so a worker's whole state is a few megabytes it reuses band after band; no
// full-size intermediate is made. Returns early, leaving a partly filtered buffer, when
// *interrupted becomes true.
void guidedDenoise(ImageDataRGBf& buffer, float sigma, float amount, const std::atomic<bool>* interrupted);

}  // namespace rova::auto_support
