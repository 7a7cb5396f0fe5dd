#pragma once
// Support for tests of the facade and the source list: an alert presenter that records what would
// have been shown, image files of a chosen pixel size, the error events the shared tracker stored,
// and pumping the main executor while waiting for background work.
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Ombrel/Classes/Business/ErrorTracker/QVAppEventTracker.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/MainExecutor.h"

namespace solvane::test {

class RecordingAlerts : public QVSolvaneAlertsPresenter {
 public:
  void showAllertNotSupportExtension(const std::string& extension) override { record("not supported: " + extension); }
  void showAlertSourceNotAvailable(const std::vector<QVUnopenableFile>& files) override {
    record("source not available");
    std::lock_guard lock(mutex_);
    unopenable_.insert(unopenable_.end(), files.begin(), files.end());
  }
  void showAlertLessThanMinimumSize(const std::vector<QVUnopenableFile>& files) override {
    record("less than minimum size");
    std::lock_guard lock(mutex_);
    tooSmall_.insert(tooSmall_.end(), files.begin(), files.end());
  }
  std::vector<std::string> shown() {
    std::lock_guard lock(mutex_);
    return shown_;
  }
  // The files the source-not-available alerts named, in order.
  std::vector<QVUnopenableFile> unopenable() {
    std::lock_guard lock(mutex_);
    return unopenable_;
  }
  // The files the too-small alerts named, in order.
  std::vector<QVUnopenableFile> tooSmall() {
    std::lock_guard lock(mutex_);
    return tooSmall_;
  }

 private:
  void record(std::string text) {
    std::lock_guard lock(mutex_);
    shown_.push_back(std::move(text));
  }
  std::mutex mutex_;
  std::vector<std::string> shown_;
  std::vector<QVUnopenableFile> unopenable_;
  std::vector<QVUnopenableFile> tooSmall_;
};

// Installs a recording presenter for the life of the object.
struct AlertRecorder {
  std::shared_ptr<RecordingAlerts> alerts = std::make_shared<RecordingAlerts>();
  AlertRecorder() { QVSolvaneAlerts::setPresenter(alerts); }
  ~AlertRecorder() { QVSolvaneAlerts::setPresenter(nullptr); }
};

// Starts the facade once per test process (however many suites need it).
inline void startFacadeOnce() {
  static std::once_flag started;
  std::call_once(started, [] { QVApp::start(); });
}

// An image of that pixel size and type ("public.png", "public.jpeg"): grey, or a diagonal
// gradient (a JPEG of it has entropy-coded data all the way).
inline void writeImage(const std::filesystem::path& path, size_t width, size_t height, const char* type,
                       bool gradient = false) {
  auto pixels = std::make_shared<std::vector<uint8_t>>(width * height * 3, 128);
  for (size_t i = 0; gradient && i < pixels->size(); ++i)
    (*pixels)[i] = uint8_t((i / 3 % width + i / 3 / width) * 7 + i % 3 * 50);
  auto image = CGImageCreate(width, height, 8, 24, width * 3, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone, pixels);
  auto destination = CGImageDestinationCreateWithURL(path.string(), type, 1);
  CGImageDestinationAddImage(destination, image, qv::Value());
  CGImageDestinationFinalize(destination);
}
inline void writePNG(const std::filesystem::path& path, size_t width, size_t height) {
  writeImage(path, width, height, kUTTypePNG);
}

// The codes of the error events the shared tracker holds.
inline std::vector<int64_t> storedErrorCodes() {
  std::vector<int64_t> codes;
  auto storage = QVAppEventTracker::shared()->storageForType(QVAppEventTypeError);
  if (!storage) return codes;
  for (const auto& event : storage->readAllEvents()) codes.push_back(event->info.at(kQVCodeName).asInt());
  return codes;
}

// Runs the main executor until the condition holds or the time is up; answers the condition.
inline bool pumpMainUntil(const std::function<bool()>& condition, double seconds = 60) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    qv::MainExecutor::shared().runUntilIdle();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  qv::MainExecutor::shared().runUntilIdle();
  return true;
}

}  // namespace solvane::test
