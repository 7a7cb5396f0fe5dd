#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <system_error>

#include "QVPlatform/Additions.h"
#include "QVPlatform/Places.h"

void QVDispatchOnMainThread(qv::Block block) {
  if (!block) return;
  auto& main = qv::MainExecutor::shared();
  if (main.isMainThread())
    block();
  else
    main.async(std::move(block));
}

namespace {
std::atomic<double> gDisplayScale{1.0};
}

void QVSolvaneHelpers::setDisplayScale(double scale) { gDisplayScale = std::clamp(scale, 1.0, 4.0); }
double QVSolvaneHelpers::displayScale() { return gDisplayScale; }

CGSize QVSolvaneHelpers::sizeFromImageType(int64_t type) {
  switch (type) {
    case 0:
      return CGSizeMake(198 * displayScale(), 132 * displayScale());
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

std::string QVSolvaneHelpers::imageCacheDirectory() {
  return (std::filesystem::path(qv::places::cachesDirectory()) / "QVImagesCache").string();
}

void QVSolvaneHelpers::cleanTempDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(imageCacheDirectory(), ignored);
}
