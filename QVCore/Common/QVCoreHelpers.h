#pragma once
// Small checks the application runs on image files before it opens them, and the engine tag of a
// layer type.
#include <cstdint>
#include <string>
#include <vector>

class QVCoreHelpers {
 public:
  // True when the image is at least 50 pixels wide and at least 50 pixels high.
  static bool validateMinSizeForImagePath(const std::string& path);
  // True when every path has exactly the pixel size of the first one (an empty list is false,
  // one path is true).
  static bool validateSizeForImagePaths(const std::vector<std::string>& paths);
  // The engine layer tag of a layer type: the code as decimal text ("3" for an image layer).
  static std::string layerTagForLayerType(uint64_t type) { return std::to_string(type); }
};
