#pragma once
// Merging an HDR bracket in the engine's linear float space, and the exposure tools the bracket
// detection needs.
//
// Merge (`make_HDR`): every file is read in the working space (linear light), its exposure
// relative to the middle file is taken from EXIF (exposure time x ISO / f-number^2, else the
// exposure bias) or, when the files do not tell, estimated from the pixels the exposures share;
// optionally the files are aligned to the middle one (median-threshold bitmaps, whole-pixel
// shifts); each pixel's radiance is the weighted mean of value / exposure over the files, weights
// favouring well exposed values and dropping clipped ones, so highlights come from the darker
// files and shadows from the brighter ones. Ghost reduction keeps, where a file disagrees with the
// reference file, only files that agree with it. The result is scaled like the middle exposure
// (values above 1 are kept); the middle exposure's own pixels come back too.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "rova/Image.h"
#include "rova/ImageData.h"
#include "rova/RectRoi.h"

namespace rova {

struct HDRSettings {
  bool alignment = false;
  bool ghostReduction = false;
  int32_t ghostRefImageIdx = 0;  // index in the order the paths are given
  int32_t ghostAmount = 0;       // 0..100: how small a disagreement counts as a ghost
  bool reserved = false;         // no meaning; always false
  bool colorDenoise = true;
  bool chromaticAberrationReduction = false;
  bool singleImageToneMapping = true;
};

enum class HDRMergingPhaseName : int {
  kReading = 0,
  kAligning = 1,
  kDeghosting = 2,
  kMerging = 3,
  kPostProcessing = 4,
  kDone = 5,
};

struct HDRMergeResult {
  ImagePtr image;                           // nullptr when the merge failed
  ImageDataRGBfPtr middleBracketData;       // the file at index count / 2, as read
  std::vector<float> exposures;             // relative exposure of each file (middle = 1), given order
  std::vector<std::pair<int, int>> shifts;  // alignment shift (x, y) of each file, given order
};

// Size 0 x 0 reads at full size; another size is a fit box for every file. Fails (no image) for
// no paths, an unreadable file or files of different sizes.
HDRMergeResult make_HDR(const std::vector<std::string>& paths, const HDRSettings& settings, Size size,
                        const std::function<void(HDRMergingPhaseName)>& progress);

// Merge of data already read (the work of make_HDR after reading); `exposures` may be empty
// (estimated then) or hold one relative exposure per image.
HDRMergeResult mergeHDR(const std::vector<ImageDataRGBfPtr>& images, std::vector<float> exposures,
                        const HDRSettings& settings, const std::function<void(HDRMergingPhaseName)>& progress);

// Exposure of a file in stops, brighter files higher: log2(t x ISO/100 / N^2) from EXIF, else the
// exposure bias, else NaN.
float exposureStopsOfFile(const std::string& path);

// The paths in ascending EV order (darkest exposure first) with each one's EV. Files whose EXIF
// does not tell get the log2 mean brightness of a small thumbnail (NaN when unreadable).
void getSortedPathsAndEVsFromPaths(const std::vector<const char*>& paths, std::vector<std::string>& sortedPaths,
                                   std::vector<float>& evs);

// Matches the exposure of two A, R, G, B float buffers of w x h pixels in place: both are scaled so
// their mean luminance over the pixels that neither has clipped equals their common mean.
void autoExposureAdjustARGB(float* x, float* y, int w, int h);

namespace legacy {
// Edge mask of an A, R, G, B float buffer: in each pixel of dst, alpha 1 and R = G = B = the
// gradient magnitude of the luminance (Sobel, after a blur of `radius` pixels), passed through a
// soft threshold that keeps gradients above `threshold` / 100 and scaled so a full-range step
// gives 1.
void RDFX_MakeEdgesMaskARGBFFFF(const float* src, float* dst, int w, int h, float radius, float threshold);
}  // namespace legacy

}  // namespace rova
