#pragma once
// Engine start-up.
#include <string>

namespace rova {

struct CameraProfilesPaths {
  std::string profilesListFile;    // the resource list of known camera profiles
  std::string userProfilesFolder;  // the user's camera-profile folder
  std::string resourceProfilesFolder;
};

struct SRovaContext {
  std::string logPath;
  std::string resourcePath;
  CameraProfilesPaths cameraProfilesPaths;
  int applicationContext = 1;  // which application hosts the engine
};

// Starts the engine; the last context given wins. Returns false when the context is unusable
// (an empty resource path is allowed: the engine then runs without resources).
bool rovaInit(const SRovaContext& context);
bool isRovaInitialized();
// The context of the last rovaInit (a default one before).
SRovaContext rovaContext();

bool fileExists(const std::string& path);

}  // namespace rova
