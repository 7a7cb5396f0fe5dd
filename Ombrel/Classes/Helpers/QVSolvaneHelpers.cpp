#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"

#include "QVPlatform/Additions.h"

CGSize QVSolvaneHelpers::sizeFromImageType(int64_t type) {
  switch (type) {
    case 0:
      return CGSizeMake(198, 132);
    case 1:
      return CGSizeMake(2000, 2000);
    default:
      return CGSizeMake(0, 0);
  }
}

std::optional<std::string> QVSolvaneHelpers::imageKeyAtPath(const std::optional<std::string>& path, uint64_t typeId) {
  if (!path) return std::nullopt;
  return qv::md5(*path) + "_" + std::to_string(typeId);
}
