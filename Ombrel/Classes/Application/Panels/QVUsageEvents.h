#pragma once
// Usage events: what images users load and export, recorded with the event tracker (type 2 image
// loads, type 3 image exports), numbered by the running counters of the per-image settings. Sample
// images shipped with the application are never counted.
//
// Event information keys: "QVImageSizeKey" ("<width>,<height>" in pixels), "QVImageExtensionKey"
// (lower case), "QVImageCountKey" (images of the batch sharing size and extension), "QVCountKey"
// (the running count), "QVImageSliderValueKey" (the strength at export), "QVImageExportTypeKey".
//
// Any thread.
#include <cstdint>
#include <string>
#include <vector>

#include "QVPlatform/Value.h"

class QVUsageEvents {
 public:
  static void trackEventImageLoadWithPaths(const std::vector<std::string>& paths);
  static void trackEventImageExportWithPaths(const std::vector<std::string>& paths, uint64_t exportType);

  // Size and extension of one image.
  static qv::Dictionary imageInfoDicFromPath(const std::string& path);
  // Drops the paths inside the bundle's "Samples" folder.
  static std::vector<std::string> filterTrackablePaths(const std::vector<std::string>& paths);
  // One dictionary per group of equal size and extension, in the groups' key order.
  static std::vector<qv::Dictionary> imageLoadInfoDicsFromPaths(const std::vector<std::string>& paths, int64_t count);
  // One dictionary per trackable path, in order.
  static std::vector<qv::Dictionary> imageExportInfoDicsFromPaths(const std::vector<std::string>& paths, int64_t count,
                                                                  uint64_t type);
};
