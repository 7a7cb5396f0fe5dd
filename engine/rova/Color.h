#pragma once
// Colour spaces and transforms of the engine (lcms2 underneath).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rova/ImageData.h"

namespace rova {

// A colour space the engine can describe: its profile type and an ICC profile of it.
class ColorSpace {
 public:
  ColorSpace(ImageDataColorProfileType type, std::vector<uint8_t> icc, std::string name, bool linear);
  ImageDataColorProfileType type() const { return type_; }
  const std::vector<uint8_t>& iccData() const { return icc_; }
  const std::string& name() const { return name_; }
  bool isLinear() const { return linear_; }

 private:
  ImageDataColorProfileType type_;
  std::vector<uint8_t> icc_;
  std::string name_;
  bool linear_;
};
using ColorSpacePtr = std::shared_ptr<const ColorSpace>;

// The colour space of a profile type (made once, shared); nullptr for kColorProfileUnknown and for
// values outside the enumeration.
ColorSpacePtr createColorSpace(ImageDataColorProfileType type);
ColorSpacePtr createColorSpace(int type);
// A colour space over an embedded ICC profile (RGB or grey); nullptr when lcms2 refuses it.
ColorSpacePtr createColorSpaceFromICC(const uint8_t* icc, size_t size);

// Data type codes of colorTransformIpp.
inline constexpr int kColorDataTypeRGBFloat = 2;

// Converts width x height pixels of interleaved float RGB from one profile type to another (src and
// dst may be the same buffer). Values outside 0..1 pass through unclamped where the math allows.
// False for an unknown type, a data type other than kColorDataTypeRGBFloat or an empty size.
bool colorTransformIpp(const float* src, float* dst, ImageDataColorProfileType srcType,
                       ImageDataColorProfileType dstType, int dataType, Size size);
// Converts float RGB pixels from an arbitrary ICC profile into a profile type (in place allowed).
bool colorTransformFromICC(const float* src, float* dst, size_t pixelCount, const std::vector<uint8_t>& icc,
                           ImageDataColorProfileType dstType);
// Converts float RGB pixels between two colour spaces over their ICC profiles (relative colorimetric,
// in place allowed, run in parallel chunks). False when either profile is not an RGB profile that
// lcms2 takes; `dst` is then untouched.
bool colorTransformBetween(const float* src, float* dst, size_t pixelCount, const ColorSpace& from,
                           const ColorSpace& to);
// Whether two colour spaces are the same profile (the same engine type, or the same ICC bytes).
bool isSameColorSpace(const ColorSpace& a, const ColorSpace& b);
// The same for whole buffers: a new buffer in the target type (a shared copy when already there).
ImageDataRGBfPtr convertColorProfile(const ImageDataRGBfPtr& src, ImageDataColorProfileType dstType);
// Converts in place and retags the buffer.
bool convertColorProfileInPlace(ImageDataRGBf& data, ImageDataColorProfileType dstType);

// sRGB tone curve helpers (exact, for tests and fast paths).
float srgbToLinear(float v);
float linearToSrgb(float v);

}  // namespace rova
