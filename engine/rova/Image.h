#pragma once
// An engine image: an image source (decoded pixels plus metadata) behind a shared handle.
#include <memory>
#include <mutex>

#include "rova/ImageData.h"
#include "rova/ImageMetadata.h"

namespace rova {

// The decoded picture. A file with transparent parts gives data with an alpha plane (see
// _ImageData::alpha()); an opaque one gives none.
class ImageSource {
 public:
  // decodedScale: the decoded pixels' size over the file's full size (1 for a full decode, 0.25 for
  // a quarter-size preview). originalSize defaults to the data's size divided by the scale.
  ImageSource(ImageDataRGBfPtr data, ImageMetadata metadata, double decodedScale = 1.0, Size originalSize = {});

  const ImageDataRGBfPtr& data() const { return data_; }
  const ImageMetadata& metadata() const { return metadata_; }
  ImageMetadata& metadata() { return metadata_; }
  int width() const { return size_.width; }
  int height() const { return size_.height; }

  // Hands the decoded pixels over to a render that makes its result in their buffer (a picture
  // rendered once, at its own size, needs no copy of itself): data() is nullptr from then on, so
  // nothing reads the changed pixels as the picture's; the sizes stay.
  ImageDataRGBfPtr giveUpData() { return std::move(data_); }
  double decodedScale() const { return scale_; }
  Size originalSize() const { return original_; }
  bool isReducedSize() const { return scale_ < 1.0; }

 private:
  ImageDataRGBfPtr data_;
  Size size_;  // the decoded pixels' size, kept when they are given up
  ImageMetadata metadata_;
  double scale_ = 1.0;
  Size original_;
};

class Image {
 public:
  explicit Image(std::shared_ptr<ImageSource> source);
  static std::shared_ptr<Image> make(ImageDataRGBfPtr data, ImageMetadata metadata = {});

  const std::shared_ptr<ImageSource>& source() const { return source_; }
  int width() const { return source_ ? source_->width() : 0; }
  int height() const { return source_ ? source_->height() : 0; }
  Size size() const { return {width(), height()}; }
  const ImageMetadata& metadata() const;
  const OrvantaExifData& exif() const { return metadata().exif; }
  ImageDataColorProfileType colorProfileType() const;

  // Pixels of a region (top-left origin; the zero region means the whole image) at an output size
  // (zero means the region's own size). When the result would be the whole image at its own size and
  // share is true, the source's own buffer is returned (read it, never write it); otherwise a new
  // buffer. nullptr when the region misses the image or the size is not acceptable.
  ImageDataRGBfPtr imageData(Size size = {}, RectRoi roi = {}, bool share = true) const;

 private:
  std::shared_ptr<ImageSource> source_;
};

using ImagePtr = std::shared_ptr<Image>;

}  // namespace rova
