#include "Ombrel/Classes/Application/Services/QVAppLink.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "QVPlatform/Log.h"

// Until the facade is linked in, the application layer keeps the few answers it needs here: no
// image work runs, so there is nothing to wait for at quit and nothing to count.
namespace QVAppLink {
namespace {

struct State {
  std::mutex mutex;
  bool pluginMode = false;
  bool lensCorrection = true;
  bool colorTemperature = false;
  int64_t loads = 0, exports = 0;
};

State& state() {
  static State s;
  return s;
}

}  // namespace

bool startEngine() { return true; }

void start() { QVLog(1, "application core started"); }

void configureWithArguments(const std::vector<std::string>& arguments) {
  std::lock_guard lock(state().mutex);
  state().pluginMode = std::find(arguments.begin(), arguments.end(), "-QVPluginMode") != arguments.end();
}

bool isPluginMode() {
  std::lock_guard lock(state().mutex);
  return state().pluginMode;
}

std::vector<std::string> pluginPhotoCollection() { return {}; }
bool isProcessingImages() { return false; }
bool exporting() { return false; }

bool autoLensCorrectionEnabled() {
  std::lock_guard lock(state().mutex);
  return state().lensCorrection;
}

void setAutoLensCorrectionEnabled(bool enabled) {
  std::lock_guard lock(state().mutex);
  state().lensCorrection = enabled;
}

bool autoColorTemperatureEnabled() {
  std::lock_guard lock(state().mutex);
  return state().colorTemperature;
}

void setAutoColorTemperatureEnabled(bool enabled) {
  std::lock_guard lock(state().mutex);
  state().colorTemperature = enabled;
}

bool cancelImageOperationsAndWaitUntilDone(double) { return true; }

void loadThumbnailAtPath(const std::string&, std::function<void(NSImageRef)> completion) {
  if (completion) completion(nullptr);
}

double boostAmountForImagePath(const std::string&) { return 1.0; }

int64_t imageLoadCount() {
  std::lock_guard lock(state().mutex);
  return state().loads;
}

void setImageLoadCount(int64_t count) {
  std::lock_guard lock(state().mutex);
  state().loads = count;
}

int64_t imageExportCount() {
  std::lock_guard lock(state().mutex);
  return state().exports;
}

void setImageExportCount(int64_t count) {
  std::lock_guard lock(state().mutex);
  state().exports = count;
}

void trackEventsOfType(uint64_t type, const std::vector<qv::Dictionary>& infos) {
  QVLog(1, "%zu events of type %llu", infos.size(), static_cast<unsigned long long>(type));
}

}  // namespace QVAppLink
