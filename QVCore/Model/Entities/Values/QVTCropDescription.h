#pragma once
// How an image is cropped: the crop rectangle in image pixels, a rotation, an aspect-ratio
// constraint, the kind of guides drawn over the crop and the image size the rectangle refers to.
// The processor keeps one per document and stores it in every history state under
// "CropDescription"; the dictionary keys keep their historical spelling ("Widht").
#include <cfloat>
#include <cstdint>
#include <memory>

#include "QVBase/Geometry.h"
#include "QVPlatform/Value.h"

// Posted with the crop tool's settings object when the aspect ratio, rotation or guides change.
inline constexpr const char* kQVCropDescParamDidChangeNotification = "QVCropDescParamDidChangeNotification";

class QVTCropDescription {
 public:
  // Aspect-ratio constraints besides a plain width : height ratio.
  static constexpr CGSize kFreeAspectRatio{0, 0};
  static constexpr CGSize kSquareAspectRatio{1, 1};
  // The image's own ratio (width / height) and the image's ratio turned by 90 degrees.
  static constexpr CGSize kImageAspectRatio{FLT_MAX, FLT_MAX};
  static constexpr CGSize kImageRotatedAspectRatio{-FLT_MAX, -FLT_MAX};
  // No side of a constrained crop is made smaller than this, in pixels.
  static constexpr double kMinimumSide = 50;

  QVTCropDescription() = default;
  // Reads the dictionary form. Fields whose keys are missing, or whose values are no finite
  // numbers, keep their initial values; nothing is validated and nothing is posted.
  explicit QVTCropDescription(const qv::Value& dictionary);
  QVTCropDescription(const QVTCropDescription&) = delete;
  QVTCropDescription& operator=(const QVTCropDescription&) = delete;

  static std::shared_ptr<QVTCropDescription> initWithDictionary(const qv::Value& dictionary);
  // The whole image uncropped: crop (0, 0, size), no rotation, a free ratio.
  static std::shared_ptr<QVTCropDescription> descriptionForImageSize(CGSize size);

  qv::Value cropDescriptionDictionary() const;

  // The same crop for another image size: x and width scale with the widths, y and height with
  // the heights. Rotation and ratio carry over; guides do not. When either size has a zero side
  // the crop rectangle is kept as it is.
  std::shared_ptr<QVTCropDescription> convertToImageSize(CGSize size) const;
  // Copies image size, ratio (through its setter), crop, rotation and guides; not the settings.
  std::shared_ptr<QVTCropDescription> copy() const;

  // Image coordinates into the rotated crop's own frame; identity for an identity crop.
  CGAffineTransform appropriateAffineTransform() const;

  // Conforms the crop rectangle to the aspect ratio, keeping its centre to whole pixels.
  void validateCropRectWithActualAspectRatio();
  // Grows the crop rectangle to at least the given size (keeping the ratio) and returns it.
  CGRect adjustCropRectForMinSize(CGSize minSize);

  static bool cropRatioIsEqualToRatio(CGSize a, CGSize b) { return cropRatioIsEqualToRatio(a, b, false); }
  static bool cropRatioIsEqualToRatio(CGSize a, CGSize b, bool respectOrientation);

  CGRect cropRect() const { return cropRect_; }
  void setCropRect(CGRect r) { cropRect_ = r; }
  double rotation() const { return rotation_; }
  void setRotation(double rotation);
  CGSize aspectRatio() const { return aspectRatio_; }
  void setAspectRatio(CGSize ratio);
  CGSize imageSize() const { return imageSize_; }
  void setImageSize(CGSize size) { imageSize_ = size; }
  uint64_t guidesType() const { return guidesType_; }
  void setGuidesType(uint64_t type);
  bool isAdjustingRotation() const { return isAdjustingRotation_; }
  void setIsAdjustingRotation(bool v) { isAdjustingRotation_ = v; }
  // The crop tool's settings object, held weakly; only used as the object of the change notification.
  std::weak_ptr<void> cropModeSettings() const { return cropModeSettings_; }
  void setCropModeSettings(std::weak_ptr<void> settings) { cropModeSettings_ = std::move(settings); }

  // The crop covers the whole image without rotation.
  bool isIdentity() const { return cropRect_.size == imageSize_ && rotation_ == 0; }
  // Equal rotation and crop rectangle; nothing else is compared.
  bool isEqual(const QVTCropDescription& other) const {
    return rotation_ == other.rotation_ && cropRect_ == other.cropRect_;
  }
  friend bool operator==(const QVTCropDescription& a, const QVTCropDescription& b) { return a.isEqual(b); }

 private:
  void postParamDidChange() const;

  CGRect cropRect_ = CGRectZero;
  double rotation_ = 0;
  CGSize aspectRatio_ = kFreeAspectRatio;
  CGSize imageSize_ = CGSizeZero;
  uint64_t guidesType_ = 0;
  bool isAdjustingRotation_ = false;
  std::weak_ptr<void> cropModeSettings_;
};
