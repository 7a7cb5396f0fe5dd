#include "QVCore/Model/Entities/Values/QVTCropDescription.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "QVPlatform/NotificationCenter.h"

namespace {

constexpr const char* kAspectRatioWidthKey = "aspectRatioWidht";
constexpr const char* kAspectRatioHeightKey = "aspectRatioHeight";
constexpr const char* kImageSizeWidthKey = "imageSizeWidht";
constexpr const char* kImageSizeHeightKey = "imageSizeHeight";
constexpr const char* kRotationKey = "rotation";
constexpr const char* kCropRectXKey = "cropRectX";
constexpr const char* kCropRectYKey = "cropRectY";
constexpr const char* kCropRectWidthKey = "cropRectWidht";
constexpr const char* kCropRectHeightKey = "cropRectHeight";
constexpr const char* kGuidesTypeKey = "guidesType";

// A stored float: present, a number (not a boolean) and finite in single precision.
std::optional<double> readFloat(const qv::Value& dictionary, const char* key) {
  const qv::Value* v = dictionary.find(key);
  if (!v || !(v->isInteger() || v->isReal())) return std::nullopt;
  float f = static_cast<float>(v->asDouble());
  if (!std::isfinite(f)) return std::nullopt;
  return static_cast<double>(f);
}

std::optional<uint64_t> readUnsigned(const qv::Value& dictionary, const char* key) {
  const qv::Value* v = dictionary.find(key);
  if (!v) return std::nullopt;
  if (v->isInteger()) {
    if (v->asInt() < 0) return std::nullopt;
    return static_cast<uint64_t>(v->asInt());
  }
  if (v->isReal()) {
    double d = v->asDouble();
    if (!std::isfinite(d) || d < 0 || d >= 1.8446744073709552e19) return std::nullopt;
    return static_cast<uint64_t>(d);
  }
  return std::nullopt;
}

}  // namespace

QVTCropDescription::QVTCropDescription(const qv::Value& dictionary) {
  auto arW = readFloat(dictionary, kAspectRatioWidthKey), arH = readFloat(dictionary, kAspectRatioHeightKey);
  if (arW && arH) aspectRatio_ = {*arW, *arH};
  auto isW = readFloat(dictionary, kImageSizeWidthKey), isH = readFloat(dictionary, kImageSizeHeightKey);
  if (isW && isH) imageSize_ = {*isW, *isH};
  if (auto r = readFloat(dictionary, kRotationKey)) rotation_ = *r;
  if (auto x = readFloat(dictionary, kCropRectXKey)) {
    cropRect_ = {
        {*x, readFloat(dictionary, kCropRectYKey).value_or(0)},
        {readFloat(dictionary, kCropRectWidthKey).value_or(0), readFloat(dictionary, kCropRectHeightKey).value_or(0)}};
  }
  if (auto g = readUnsigned(dictionary, kGuidesTypeKey)) guidesType_ = *g;
}

std::shared_ptr<QVTCropDescription> QVTCropDescription::initWithDictionary(const qv::Value& dictionary) {
  return std::make_shared<QVTCropDescription>(dictionary);
}

std::shared_ptr<QVTCropDescription> QVTCropDescription::descriptionForImageSize(CGSize size) {
  auto d = std::make_shared<QVTCropDescription>();
  d->imageSize_ = size;
  d->cropRect_ = {CGPointZero, size};
  return d;
}

qv::Value QVTCropDescription::cropDescriptionDictionary() const {
  auto f = [](double v) { return qv::Value(static_cast<float>(v)); };
  qv::Value d;
  d.set(kAspectRatioWidthKey, f(aspectRatio_.width));
  d.set(kAspectRatioHeightKey, f(aspectRatio_.height));
  d.set(kImageSizeWidthKey, f(imageSize_.width));
  d.set(kImageSizeHeightKey, f(imageSize_.height));
  d.set(kRotationKey, f(rotation_));
  d.set(kCropRectXKey, f(cropRect_.origin.x));
  d.set(kCropRectYKey, f(cropRect_.origin.y));
  d.set(kCropRectWidthKey, f(cropRect_.size.width));
  d.set(kCropRectHeightKey, f(cropRect_.size.height));
  d.set(kGuidesTypeKey, guidesType_);
  return d;
}

std::shared_ptr<QVTCropDescription> QVTCropDescription::convertToImageSize(CGSize size) const {
  auto d = descriptionForImageSize(size);
  CGRect r = cropRect_;
  // Without both sizes there is no scale; the crop is kept rather than turned into inf or NaN.
  if (!CGSizeIsEmpty(imageSize_) && !CGSizeIsEmpty(size)) {
    const double sx = size.width / imageSize_.width, sy = size.height / imageSize_.height;
    r = {{r.origin.x * sx, r.origin.y * sy}, {r.size.width * sx, r.size.height * sy}};
  }
  d->setCropRect(r);
  d->setRotation(rotation_);
  d->setAspectRatio(aspectRatio_);
  return d;
}

std::shared_ptr<QVTCropDescription> QVTCropDescription::copy() const {
  auto d = std::make_shared<QVTCropDescription>();
  d->setImageSize(imageSize_);
  d->setAspectRatio(aspectRatio_);
  d->setCropRect(cropRect_);
  d->setRotation(rotation_);
  d->setGuidesType(guidesType_);
  return d;
}

CGAffineTransform QVTCropDescription::appropriateAffineTransform() const {
  if (isIdentity()) return CGAffineTransformIdentity;
  const CGRect& r = cropRect_;
  const double w = r.size.width, h = r.size.height;
  CGAffineTransform t = CGAffineTransformMakeTranslation(-r.origin.x - w / 2, -r.origin.y - h / 2);
  t = CGAffineTransformConcat(t, CGAffineTransformMakeRotation(-rotation_));
  return CGAffineTransformConcat(t, CGAffineTransformMakeTranslation(w / 2, h / 2));
}

namespace {

// The crop rectangle conformed to the ratio, or nothing when the geometry is degenerate (a zero
// side of the crop, a zero or negative ratio, or a zero image side the ratio needs): dividing by
// it would give inf or NaN, so the crop is left as it is.
std::optional<CGRect> conformedCropRect(CGRect crop, CGSize ratio, CGSize image) {
  const double w = crop.size.width, h = crop.size.height;
  if (!(w > 0 && h > 0)) return std::nullopt;
  double nw, nh;
  if (ratio == QVTCropDescription::kSquareAspectRatio) {
    nw = nh = std::min(w, h);
  } else {
    const double r = w / h;
    double v;
    if (ratio == QVTCropDescription::kImageAspectRatio) {
      v = image.width / image.height;
    } else if (ratio == QVTCropDescription::kImageRotatedAspectRatio) {
      v = image.height / image.width;
    } else {
      v = static_cast<float>(ratio.width) / static_cast<float>(ratio.height);
    }
    if (!std::isfinite(v) || !(v > 0)) return std::nullopt;
    const double minSide = QVTCropDescription::kMinimumSide;
    if (v < r) {
      nh = std::max(h, minSide);
      nw = v * nh;
      if (nw < minSide) {
        if (!(image.height > 0)) return std::nullopt;
        nw = minSide;
        nh = std::min(image.height, minSide / v);
      }
    } else {
      nw = std::max(w, minSide);
      nh = nw / v;
      if (nh < minSide) {
        if (!(image.width > 0)) return std::nullopt;
        nw = std::min(image.width, minSide * v);
        nh = minSide;
      }
    }
  }
  return CGRect{{crop.origin.x + std::floor((w - nw) * 0.5), crop.origin.y + std::floor((h - nh) * 0.5)}, {nw, nh}};
}

}  // namespace

void QVTCropDescription::validateCropRectWithActualAspectRatio() {
  if (aspectRatio_ == kFreeAspectRatio || aspectRatio_ == cropRect_.size) return;
  if (auto r = conformedCropRect(cropRect_, aspectRatio_, imageSize_)) setCropRect(*r);
}

void QVTCropDescription::setAspectRatio(CGSize ratio) {
  if (ratio == aspectRatio_) return;
  aspectRatio_ = ratio;
  if (ratio != kFreeAspectRatio) {
    // Once the crop conforms, its size stands for the ratio, so validating the same rectangle
    // again changes nothing. A crop that could not be conformed (no size yet, as while copying)
    // keeps the ratio as given.
    if (aspectRatio_ == cropRect_.size) {
    } else if (auto r = conformedCropRect(cropRect_, aspectRatio_, imageSize_)) {
      setCropRect(*r);
      aspectRatio_ = cropRect_.size;
    }
  }
  postParamDidChange();
}

CGRect QVTCropDescription::adjustCropRectForMinSize(CGSize minSize) {
  CGRect r = cropRect_;
  const bool ratioSet = aspectRatio_ != kFreeAspectRatio;
  if (minSize.width > r.size.width) {
    const double old = r.size.width;
    r.size.width = minSize.width;
    if (ratioSet && old > 0) r.size.height *= minSize.width / old;
    setCropRect(r);
    validateCropRectWithActualAspectRatio();
    r = cropRect_;
  }
  if (minSize.height > r.size.height) {
    const double old = r.size.height;
    if (ratioSet && old > 0) r.size.width *= minSize.height / old;
    r.size.height = minSize.height;
    setCropRect(r);
    validateCropRectWithActualAspectRatio();
    r = cropRect_;
  }
  return r;
}

bool QVTCropDescription::cropRatioIsEqualToRatio(CGSize a, CGSize b, bool respectOrientation) {
  auto special = [](CGSize s) {
    return s == kFreeAspectRatio || s == kImageAspectRatio || s == kImageRotatedAspectRatio;
  };
  if (special(a) || special(b)) return a == b;
  auto normalised = [respectOrientation](CGSize s) -> std::optional<CGSize> {
    const double by = respectOrientation ? s.width : std::max(std::fabs(s.width), std::fabs(s.height));
    if (by == 0 || !std::isfinite(by)) return std::nullopt;
    return CGSize{s.width / by, s.height / by};
  };
  auto na = normalised(a), nb = normalised(b);
  // A ratio with a zero side has no proportions to compare: only identical sizes are equal.
  if (!na || !nb) return a == b;
  constexpr double kTolerance = 0.00001;
  if (na->width == nb->height) {
    return std::fabs(na->height - nb->width) < kTolerance && std::fabs(na->width - nb->height) < kTolerance;
  }
  return std::fabs(na->width - nb->width) < kTolerance && std::fabs(na->height - nb->height) < kTolerance;
}

void QVTCropDescription::setRotation(double rotation) {
  if (rotation == rotation_) return;
  rotation_ = rotation;
  postParamDidChange();
}

void QVTCropDescription::setGuidesType(uint64_t type) {
  if (type == guidesType_) return;
  guidesType_ = type;
  postParamDidChange();
}

void QVTCropDescription::postParamDidChange() const {
  qv::NotificationCenter::defaultCenter().post(kQVCropDescParamDidChangeNotification, cropModeSettings_.lock());
}
