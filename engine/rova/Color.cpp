#include "rova/Color.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <mutex>

#include "rova/Parallel.h"

namespace rova {

namespace {

cmsHPROFILE makeMatrixProfile(const cmsCIExyY& white, const cmsCIExyYTRIPLE& primaries, double gamma,
                              const char* description) {
  cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  if (p) {
    cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(mlu, "en", "US", description);
    cmsWriteTag(p, cmsSigProfileDescriptionTag, mlu);
    cmsMLUfree(mlu);
  }
  return p;
}

const cmsCIExyY kD65{0.3127, 0.3290, 1.0};
const cmsCIExyY kD50{0.3457, 0.3585, 1.0};
const cmsCIExyYTRIPLE kRec709{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
const cmsCIExyYTRIPLE kAdobe{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
const cmsCIExyYTRIPLE kProPhoto{{0.7347, 0.2653, 1.0}, {0.1596, 0.8404, 1.0}, {0.0366, 0.0001, 1.0}};

// A new lcms profile for one of our types (the caller closes it); nullptr for an unknown type.
cmsHPROFILE openProfile(ImageDataColorProfileType type) {
  switch (type) {
    case kColorProfileSRGB:
    case kColorProfileGeneric:
    case kColorProfileGray: {
      cmsHPROFILE p = cmsCreate_sRGBProfile();
      if (p) {
        cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
        cmsMLUsetASCII(mlu, "en", "US", "sRGB IEC61966-2.1");
        cmsWriteTag(p, cmsSigProfileDescriptionTag, mlu);
        cmsMLUfree(mlu);
      }
      return p;
    }
    case kColorProfileNative:
    case kColorProfileWorking:
      return makeMatrixProfile(kD65, kRec709, 1.0, "Linear Rec. 709 RGB");
    case kColorProfileAdobeRGB:
      return makeMatrixProfile(kD65, kAdobe, 563.0 / 256.0, "Adobe RGB (1998)");
    case kColorProfileProPhoto:
      return makeMatrixProfile(kD50, kProPhoto, 1.8, "ProPhoto RGB");
    default:
      return nullptr;
  }
}

std::vector<uint8_t> profileBytes(cmsHPROFILE p) {
  cmsUInt32Number n = 0;
  if (!cmsSaveProfileToMem(p, nullptr, &n) || n == 0) return {};
  std::vector<uint8_t> out(n);
  if (!cmsSaveProfileToMem(p, out.data(), &n)) return {};
  return out;
}

std::mutex gMutex;
std::map<int, ColorSpacePtr> gSpaces;
// Transforms live for the process; they are deleted at exit so leak checkers see a clean end.
struct TransformCache {
  std::map<std::pair<int, int>, cmsHTRANSFORM> map;
  ~TransformCache() {
    for (auto& [key, t] : map)
      if (t) cmsDeleteTransform(t);
  }
};
TransformCache gTransformCache;
std::map<std::pair<int, int>, cmsHTRANSFORM>& gTransforms = gTransformCache.map;

// Float transforms are thread-safe without the cache; made once per pair and kept for the process.
cmsHTRANSFORM transformFor(ImageDataColorProfileType src, ImageDataColorProfileType dst) {
  std::lock_guard lock(gMutex);
  auto key = std::make_pair(int(src), int(dst));
  if (auto it = gTransforms.find(key); it != gTransforms.end()) return it->second;
  cmsHPROFILE a = openProfile(src), b = openProfile(dst);
  cmsHTRANSFORM t = nullptr;
  if (a && b)
    t = cmsCreateTransformTHR(nullptr, a, TYPE_RGB_FLT, b, TYPE_RGB_FLT, INTENT_RELATIVE_COLORIMETRIC,
                              cmsFLAGS_NOCACHE | cmsFLAGS_NOOPTIMIZE);
  if (a) cmsCloseProfile(a);
  if (b) cmsCloseProfile(b);
  gTransforms[key] = t;
  return t;
}

// Runs a transform over interleaved float RGB in parallel chunks.
void runTransform(cmsHTRANSFORM t, const float* src, float* dst, size_t pixels) {
  constexpr size_t kChunk = 16384;
  const int64_t chunks = int64_t((pixels + kChunk - 1) / kChunk);
  parallelFor(chunks, 1, [&](int64_t c0, int64_t c1) {
    for (int64_t c = c0; c < c1; ++c) {
      size_t start = size_t(c) * kChunk, n = std::min(kChunk, pixels - start);
      cmsDoTransform(t, src + start * 3, dst + start * 3, cmsUInt32Number(n));
    }
  });
}

bool sameSpace(ImageDataColorProfileType a, ImageDataColorProfileType b) {
  auto canon = [](ImageDataColorProfileType t) {
    if (t == kColorProfileGeneric || t == kColorProfileGray) return kColorProfileSRGB;
    if (t == kColorProfileWorking) return kColorProfileNative;
    return t;
  };
  return canon(a) == canon(b);
}

}  // namespace

ColorSpace::ColorSpace(ImageDataColorProfileType type, std::vector<uint8_t> icc, std::string name, bool linear)
    : type_(type), icc_(std::move(icc)), name_(std::move(name)), linear_(linear) {}

ColorSpacePtr createColorSpace(ImageDataColorProfileType type) {
  if (!isValidColorProfileType(type)) return nullptr;
  {
    std::lock_guard lock(gMutex);
    if (auto it = gSpaces.find(type); it != gSpaces.end()) return it->second;
  }
  cmsHPROFILE p = openProfile(type);
  if (!p) return nullptr;
  char name[256] = {};
  cmsGetProfileInfoASCII(p, cmsInfoDescription, "en", "US", name, sizeof name);
  auto cs = std::make_shared<const ColorSpace>(type, profileBytes(p), name,
                                               type == kColorProfileNative || type == kColorProfileWorking);
  cmsCloseProfile(p);
  std::lock_guard lock(gMutex);
  return gSpaces.emplace(type, cs).first->second;
}

ColorSpacePtr createColorSpace(int type) {
  return isValidColorProfileType(type) ? createColorSpace(ImageDataColorProfileType(type)) : nullptr;
}

ColorSpacePtr createColorSpaceFromICC(const uint8_t* icc, size_t size) {
  if (!icc || size < 128) return nullptr;
  cmsHPROFILE p = cmsOpenProfileFromMem(icc, cmsUInt32Number(size));
  if (!p) return nullptr;
  auto space = cmsGetColorSpace(p);
  char name[256] = {};
  cmsGetProfileInfoASCII(p, cmsInfoDescription, "en", "US", name, sizeof name);
  cmsCloseProfile(p);
  if (space != cmsSigRgbData && space != cmsSigGrayData) return nullptr;
  return std::make_shared<const ColorSpace>(kColorProfileUnknown, std::vector<uint8_t>(icc, icc + size), name, false);
}

bool colorTransformIpp(const float* src, float* dst, ImageDataColorProfileType srcType,
                       ImageDataColorProfileType dstType, int dataType, Size size) {
  if (!src || !dst || dataType != kColorDataTypeRGBFloat || size.isEmpty()) return false;
  if (!isValidColorProfileType(srcType) || !isValidColorProfileType(dstType)) return false;
  const size_t pixels = size_t(size.width) * size_t(size.height);
  if (sameSpace(srcType, dstType)) {
    if (src != dst) std::copy_n(src, pixels * 3, dst);
    return true;
  }
  cmsHTRANSFORM t = transformFor(srcType, dstType);
  if (!t) return false;
  runTransform(t, src, dst, pixels);
  return true;
}

bool colorTransformFromICC(const float* src, float* dst, size_t pixelCount, const std::vector<uint8_t>& icc,
                           ImageDataColorProfileType dstType) {
  if (!src || !dst || icc.empty()) return false;
  cmsHPROFILE in = cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
  if (!in) return false;
  cmsHPROFILE out = openProfile(dstType);
  cmsHTRANSFORM t = nullptr;
  if (out && cmsGetColorSpace(in) == cmsSigRgbData)
    t = cmsCreateTransformTHR(nullptr, in, TYPE_RGB_FLT, out, TYPE_RGB_FLT, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
  cmsCloseProfile(in);
  if (out) cmsCloseProfile(out);
  if (!t) return false;
  runTransform(t, src, dst, pixelCount);
  cmsDeleteTransform(t);
  return true;
}

bool colorTransformBetween(const float* src, float* dst, size_t pixelCount, const ColorSpace& from,
                           const ColorSpace& to) {
  if (!src || !dst) return false;
  if (isSameColorSpace(from, to)) {
    if (src != dst) std::copy_n(src, pixelCount * 3, dst);
    return true;
  }
  const auto& a = from.iccData();
  const auto& b = to.iccData();
  if (a.empty() || b.empty()) return false;
  cmsHPROFILE in = cmsOpenProfileFromMem(a.data(), cmsUInt32Number(a.size()));
  cmsHPROFILE out = cmsOpenProfileFromMem(b.data(), cmsUInt32Number(b.size()));
  cmsHTRANSFORM t = nullptr;
  if (in && out && cmsGetColorSpace(in) == cmsSigRgbData && cmsGetColorSpace(out) == cmsSigRgbData)
    t = cmsCreateTransformTHR(nullptr, in, TYPE_RGB_FLT, out, TYPE_RGB_FLT, INTENT_RELATIVE_COLORIMETRIC,
                              cmsFLAGS_NOCACHE | cmsFLAGS_NOOPTIMIZE);
  if (in) cmsCloseProfile(in);
  if (out) cmsCloseProfile(out);
  if (!t) return false;
  runTransform(t, src, dst, pixelCount);
  cmsDeleteTransform(t);
  return true;
}

bool isSameColorSpace(const ColorSpace& a, const ColorSpace& b) {
  if (a.type() != kColorProfileUnknown && b.type() != kColorProfileUnknown) return sameSpace(a.type(), b.type());
  return a.iccData() == b.iccData();
}

ImageDataRGBfPtr convertColorProfile(const ImageDataRGBfPtr& src, ImageDataColorProfileType dstType) {
  if (!src || !isValidColorProfileType(dstType)) return nullptr;
  if (src->colorProfileType() == dstType) return src;
  auto out = ImageDataRGBf::createUninitialized(src->width(), src->height(), dstType);
  if (!out) return nullptr;
  if (!colorTransformIpp(src->floats(), out->floats(), src->colorProfileType(), dstType, kColorDataTypeRGBFloat,
                         {src->width(), src->height()}))
    return nullptr;
  return out;
}

bool convertColorProfileInPlace(ImageDataRGBf& data, ImageDataColorProfileType dstType) {
  if (data.colorProfileType() == dstType) return true;
  if (!colorTransformIpp(data.floats(), data.floats(), data.colorProfileType(), dstType, kColorDataTypeRGBFloat,
                         {data.width(), data.height()}))
    return false;
  data.setColorProfileType(dstType);
  return true;
}

float srgbToLinear(float v) {
  float a = std::fabs(v);
  float r = a <= 0.04045f ? a / 12.92f : std::pow((a + 0.055f) / 1.055f, 2.4f);
  return std::copysign(r, v);
}

float linearToSrgb(float v) {
  float a = std::fabs(v);
  float r = a <= 0.0031308f ? a * 12.92f : 1.055f * std::pow(a, 1.f / 2.4f) - 0.055f;
  return std::copysign(r, v);
}

}  // namespace rova
