#pragma once
// Small pure helpers of the application core shared by the task pipeline and the facade.
#include <cstdint>
#include <optional>
#include <string>

#include "QVBase/Geometry.h"
#include "QVPlatform/MainExecutor.h"

// Runs the block at once when called on the main thread, else queues it on the main thread. An
// empty block does nothing.
void QVDispatchOnMainThread(qv::Block block);

class QVSolvaneHelpers {
 public:
  // The box an image type renders into, in pixels: 0 thumbnail 198 x 132 times the display scale,
  // 1 preview 2000 x 2000, any other type the zero size (full resolution).
  static CGSize sizeFromImageType(int64_t type);
  // The device pixel ratio thumbnails are made for (1 until the application sets its screens'):
  // a thumbnail of 198 pixels shown on a 2x screen would be enlarged and blurred.
  static void setDisplayScale(double scale);
  static double displayScale();
  // "<md5 of the path>_<type>": the notification object of a processed image and the cache key of
  // a task without batch preset. No key without a path.
  static std::optional<std::string> imageKeyAtPath(const std::optional<std::string>& path, uint64_t typeId);
  // The folder of cached images: "QVImagesCache" in the application's own caches folder.
  static std::string imageCacheDirectory();
  // Removes the image cache folder with everything in it; failures are ignored.
  static void cleanTempDirectory();
};
