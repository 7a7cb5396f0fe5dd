#pragma once
// Starts the engine once per process (log folder, resources, camera-profile places and the code of
// the hosting application) and offers a few engine services. Class methods only, no state.
#include <cstdint>
#include <optional>
#include <string>

#include "rova/Rova.h"

class QVRovaService {
 public:
  // Builds the start-up context and starts the engine. Without a path the resources inside the
  // main bundle are used. Returns the engine's answer.
  static bool rovaInitWithResourcePath(const std::optional<std::string>& resourcePath);
  static bool rovaInit() { return rovaInitWithResourcePath(std::nullopt); }
  // The context rovaInitWithResourcePath hands the engine (exposed so it can be checked without
  // starting the engine). Creates the log folder.
  static rova::SRovaContext startUpContext(const std::optional<std::string>& resourcePath);
  // The engine's code of the hosting application: "HalvenaHDR2018" 0, "Velorin2018" 1, "Velorin" 3,
  // "Solvane" 2, tested as substrings in that order; 1 for any other name.
  static int applicationContextForApplicationName(const std::string& applicationName);

  // The engine's tint mapping between engine units and percents, unchanged.
  static double percentsTint(double tint, bool forward);

  // Converts a legacy "rovaimagedata" file into a "rovacompressedimagedata" file named by a new
  // UUID in the same folder; returns the new file's name (not its path), or nullopt with nothing
  // written. The input file stays.
  static std::optional<std::string> compressRovaimagedataAtPath(const std::string& path);

  // 1 "ROVALensCorrectionEffect", 2 "ROVATextureOverlayEffect", 3 "ROVARawDevelopCommonEffectID",
  // any other code "".
  static std::string effectIdForEffectType(uint64_t effectType);
};
