#pragma once
// Small pure helpers of the application core shared by the task pipeline and the facade.
#include <cstdint>
#include <optional>
#include <string>

#include "QVBase/Geometry.h"

class QVSolvaneHelpers {
 public:
  // The box an image type renders into: 0 thumbnail 198 x 132, 1 preview 2000 x 2000, any other
  // type the zero size (full resolution).
  static CGSize sizeFromImageType(int64_t type);
  // "<md5 of the path>_<type>": the notification object of a processed image and the cache key of
  // a task without batch preset. No key without a path.
  static std::optional<std::string> imageKeyAtPath(const std::optional<std::string>& path, uint64_t typeId);
};
