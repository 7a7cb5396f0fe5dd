#pragma once
// Reads the engine configuration (the JSON resource "QVRovaConfig") and hands its "RovaFlags" to
// the process-wide switches of the image reader and the effects catalogue.
#include <string>

#include "QVPlatform/Error.h"

inline constexpr const char* kQVRovaConfigResourceName = "QVRovaConfig";
inline constexpr const char* kQVRovaConfigResourceType = "json";

class QVRovaProcessorConfigManager {
 public:
  // Reads the file and applies every known key of its "RovaFlags" dictionary (each read as a
  // boolean). Keys the file lacks leave their switch as it was; unknown keys are ignored. An
  // unreadable or unparsable file changes nothing (a parse error goes to *error when given).
  static void loadFromFile(const std::string& path, qv::Error* error = nullptr);
};
