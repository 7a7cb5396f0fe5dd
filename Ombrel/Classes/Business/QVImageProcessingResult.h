#pragma once
// What the facade hands the screens for one processed image: its path, the source as loaded and
// the enhanced image.
#include <string>

#include "QVPlatform/ImageIO/NSImage.h"

class QVImageProcessingResult {
 public:
  const std::string& path() const { return path_; }
  void setPath(std::string path) { path_ = std::move(path); }
  const NSImageRef& image() const { return image_; }
  void setImage(NSImageRef image) { image_ = std::move(image); }
  const NSImageRef& processedImage() const { return processedImage_; }
  void setProcessedImage(NSImageRef image) { processedImage_ = std::move(image); }

 private:
  std::string path_;
  NSImageRef image_;
  NSImageRef processedImage_;
};
