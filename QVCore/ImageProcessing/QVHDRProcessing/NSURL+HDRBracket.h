#pragma once
// Whether two image files belong to one HDR bracket, their exposure values, orderings and a
// process-wide metadata cache (path to the first image's property dictionary).
//
// The pairwise test: different extensions (case-sensitive) are never a bracket; files with EXIF
// are judged by their metadata (equal size, orientation, program and focal length, some exposure
// setting different) and taken within the receiver's exposure time plus 15 s after the receiver
// (a file taken earlier always passes); files without are judged by the edges of their 640-pixel
// thumbnails after matching their exposure.
#include <string>
#include <vector>

#include "QVPlatform/ImageIO/CoreGraphics.h"
#include "QVPlatform/Value.h"

namespace NSURLHDRBracket {

bool isBracketWithURL(const std::string& path, const std::string& other);
bool isBracketByEdgesWithURL(const std::string& path, const std::string& other);
// The first image's property dictionary (cached by path); a null value when unreadable (nothing
// is cached then).
qv::Value metadata(const std::string& path);
void clearMetadataCache();

// 2 log2(f-number) - log2(exposure time), in single precision from the EXIF values.
double evValue(const std::string& path);
// The EXIF exposure bias (0 when missing).
double biasValue(const std::string& path);
// -1, 0 or 1: the exposure biases (missing counts as 0).
int compareByExpWithURL(const std::string& path, const std::string& other);
// -1, 0 or 1: the date stamps; equal when either has none.
int compareByDatestampWithURL(const std::string& path, const std::string& other);
// Bias, ISO and EV all equal.
bool isEqualExposure(const std::string& path, const std::string& other);
// Flag on: biases and ISO equal; off: ISO and EV equal.
bool isEqualExposure(const std::string& path, const std::string& other, bool isEVsCorrect);

// The content test of two thumbnails: equal sizes, and the edge maps (after matching exposure)
// differ by less than trunc(H x W x 0.1) in either direction.
bool isImageSimilarByEdgesTo(const CGImageRef& a, const CGImageRef& b);
bool imageHasEqualSizeTo(const CGImageRef& a, const CGImageRef& b);
// A thumbnail of at most 640 pixels a side; nullptr when the file cannot be read.
CGImageRef createThumb(const std::string& path);
// The image's pixels as A, R, G, B floats (sRGB-encoded, alpha premultiplied), W x H x 4 values.
std::vector<float> argbDataForImage(const CGImageRef& image);
std::vector<float> edgesDataForData(const float* data, int width, int height);
// Matches the exposure of both buffers (in place) and sums the difference of their edge maps.
float edgeDiffForImgData(float* data, float* compareData, int width, int height);

}  // namespace NSURLHDRBracket
