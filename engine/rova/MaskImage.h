#pragma once
// A float mask (values 0..1, one per pixel) the size of the canvas.
#include <memory>
#include <vector>

#include "rova/ImageData.h"

namespace rova {

class MaskImage {
 public:
  // An all-zero mask; an invalid size gives a mask without data (isValid() false).
  MaskImage(int width, int height);
  // A mask over the given values (width * height of them; missing values are 0, extra ones ignored).
  MaskImage(const float* values, size_t count, int width, int height);
  explicit MaskImage(ImageDataFPtr data);

  static std::shared_ptr<MaskImage> make(int width, int height) { return std::make_shared<MaskImage>(width, height); }

  bool isValid() const { return data_ != nullptr; }
  int width() const { return data_ ? data_->width() : 0; }
  int height() const { return data_ ? data_->height() : 0; }
  Size size() const { return {width(), height()}; }
  const ImageDataFPtr& data() const { return data_; }
  float* values() { return data_ ? data_->data() : nullptr; }
  const float* values() const { return data_ ? data_->data() : nullptr; }

  // A deep copy.
  std::shared_ptr<MaskImage> copy() const;
  // Adds the other mask pixel by pixel, limited to 0..1, over the common area; false for
  // an invalid mask.
  bool unionWithMask(const MaskImage& other);
  // Number of pixels whose value is exactly 0; isEmpty() when every pixel is 0.
  size_t zeroCount() const;
  bool isEmpty() const { return zeroCount() == size_t(width()) * size_t(height()); }
  void fill(float value);
  // The mask as a density (percent, scales the values) and a feather (Gaussian blur radius in
  // pixels, edges replicated) make it; a copy even when the setting changes nothing. Out-of-range
  // values are limited to 0..100 and to no feather.
  std::shared_ptr<MaskImage> withDensityAndFeather(double density, double feather) const;
  static bool isNeutralSetting(double density, double feather) { return !(density < 100) && !(feather > 0); }

 private:
  ImageDataFPtr data_;
};

using MaskImagePtr = std::shared_ptr<MaskImage>;

}  // namespace rova
