#include "rova/Image.h"

#include <cmath>

namespace rova {

ImageSource::ImageSource(ImageDataRGBfPtr data, ImageMetadata metadata, double decodedScale, Size originalSize)
    : data_(std::move(data)),
      size_(data_ ? Size{data_->width(), data_->height()} : Size{}),
      metadata_(std::move(metadata)),
      scale_(decodedScale > 0 ? decodedScale : 1.0),
      original_(originalSize) {
  if (original_.isZero() && data_)
    original_ = {int(std::lround(data_->width() / scale_)), int(std::lround(data_->height() / scale_))};
}

Image::Image(std::shared_ptr<ImageSource> source) : source_(std::move(source)) {}

std::shared_ptr<Image> Image::make(ImageDataRGBfPtr data, ImageMetadata metadata) {
  if (!data) return nullptr;
  return std::make_shared<Image>(std::make_shared<ImageSource>(std::move(data), std::move(metadata)));
}

const ImageMetadata& Image::metadata() const {
  static const ImageMetadata empty;
  return source_ ? source_->metadata() : empty;
}

ImageDataColorProfileType Image::colorProfileType() const {
  return source_ && source_->data() ? source_->data()->colorProfileType() : kColorProfileUnknown;
}

ImageDataRGBfPtr Image::imageData(Size size, RectRoi roi, bool share) const {
  if (!source_ || !source_->data()) return nullptr;
  const auto& data = source_->data();
  RectRoi whole{0, 0, data->width(), data->height()};
  RectRoi r = roi.isZero() ? whole : roi.intersection(whole);
  if (r.isEmpty()) return nullptr;
  Size out = size.isZero() ? Size{r.width, r.height} : size;
  if (out.isEmpty()) return nullptr;
  if (r == whole && out.width == r.width && out.height == r.height) return share ? data : data->copy();
  if (out.width == r.width && out.height == r.height) return data->copy(r);
  if (r == whole) return resize(*data, out.width, out.height, true);
  auto region = data->copy(r);
  return region ? resize(*region, out.width, out.height, true) : nullptr;
}

}  // namespace rova
