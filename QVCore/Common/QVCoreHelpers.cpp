#include "QVCore/Common/QVCoreHelpers.h"

#include "QVCore/Utils/QVImageUtils.h"

namespace {
constexpr double kMinImageSide = 50;
}

bool QVCoreHelpers::validateMinSizeForImagePath(const std::string& path) {
  const CGSize size = QVImageUtils::imageSizeForPath(path);
  return size.width >= kMinImageSide && size.height >= kMinImageSide;
}

bool QVCoreHelpers::validateSizeForImagePaths(const std::vector<std::string>& paths) {
  if (paths.empty()) return false;
  const CGSize first = QVImageUtils::imageSizeForPath(paths.front());
  for (size_t i = 1; i < paths.size(); ++i) {
    if (!(QVImageUtils::imageSizeForPath(paths[i]) == first)) return false;
  }
  return true;
}
