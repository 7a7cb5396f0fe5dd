#include "rova/Rova.h"

#include <filesystem>
#include <mutex>

namespace rova {

namespace {
std::mutex gMutex;
SRovaContext gContext;
bool gInitialized = false;
}  // namespace

bool rovaInit(const SRovaContext& context) {
  std::lock_guard lock(gMutex);
  gContext = context;
  gInitialized = true;
  if (!context.logPath.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(context.logPath, ec);
  }
  return true;
}

bool isRovaInitialized() {
  std::lock_guard lock(gMutex);
  return gInitialized;
}

SRovaContext rovaContext() {
  std::lock_guard lock(gMutex);
  return gContext;
}

bool fileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

}  // namespace rova
