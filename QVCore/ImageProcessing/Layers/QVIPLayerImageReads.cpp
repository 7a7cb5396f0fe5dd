#include "QVCore/ImageProcessing/Layers/QVIPLayerImageReads.h"

#include "QVCore/ImageProcessing/RovaBridge/QVImageReader.h"
#include "rova/reader/ImageReader.h"

void QVIPLayerImageReads::setCanceled(bool canceled) {
  if (canceled_.exchange(canceled) == canceled) return;
  if (!canceled) return;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& flag : running_) flag->store(true);
}

rova::ImagePtr QVIPLayerImageReads::read(const std::string& path, bool fastRawPreview, std::string* error) {
  auto flag = std::make_shared<std::atomic<bool>>(false);
  rova::Size box;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (canceled_.load()) {
      if (error) *error = "cancelled";
      return nullptr;
    }
    running_.push_back(flag);
    box = fitSize_;
  }
  rova::ImagePtr image = rova::ImageReader::instance().read(
      path, box, QVImageReader::readFlags(QVImageReader::isApplyRawDevelop(), fastRawPreview), flag, error);
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase(running_, flag);
  if (flag->load()) {
    if (error) *error = "cancelled";
    return nullptr;
  }
  return image;
}
