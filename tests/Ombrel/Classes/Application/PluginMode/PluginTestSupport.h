#pragma once
// Fakes for the plug-in controller's collaborators: a facade whose completions the test runs, a
// writer over the real export writer that can be told to fail, and recorders for the host
// notifications, the alerts and the quit.
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/PluginMode/QVPluginController.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/ImageIO/QVShareManager.h"
#include "QVPlatform/MainExecutor.h"
#include "tools/dng/DngWriter.h"

namespace plugin_test {

// A flat 8-bit RGB image of one grey value.
inline NSImageRef greyImage(uint8_t value, size_t width = 32, size_t height = 24) {
  auto pixels = std::make_shared<std::vector<uint8_t>>(width * height * 3, value);
  return NSImage::imageWithCGImage(
      CGImageCreate(width, height, 8, 24, width * 3, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone, pixels));
}

// Writes a small image file of that type.
inline void writeImageFile(const std::filesystem::path& path, const std::string& type, uint8_t value = 90) {
  auto destination = CGImageDestinationCreateWithURL(path.string(), type, 1);
  CGImageDestinationAddImage(destination, greyImage(value)->CGImage(), qv::Value());
  CGImageDestinationFinalize(destination);
}

// A small camera RAW (a DNG of a flat grey picture).
inline bool writeCameraRaw(const std::filesystem::path& path) {
  const int w = 32, h = 24;
  std::vector<float> rgb(size_t(w) * h * 3, 0.18f);
  return solvane::dng::writeBayerDng(path.string(), w, h, rgb.data(), solvane::dng::SensorSpec{});
}

// A file's bytes ("" when it cannot be read).
inline std::string contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// The first pixel's first component of an image file (-1 when unreadable).
inline int firstComponent(const std::filesystem::path& path) {
  auto source = CGImageSourceCreateWithURL(path.string());
  if (!source) return -1;
  auto image = CGImageSourceCreateImageAtIndex(source, 0);
  return image ? image->bytes[0] : -1;
}

inline std::string fileType(const std::filesystem::path& path) {
  auto source = CGImageSourceCreateWithURL(path.string());
  return source ? CGImageSourceGetType(source) : std::string();
}

class FakeFacade : public QVPluginController::Facade {
 public:
  std::vector<std::string> calls;
  std::vector<std::pair<std::string, Processed>> pending;
  std::shared_ptr<QVPluginController::Facade> blender;  // the blend of the application when set
  bool exporting = false;

  void setExporting(bool value) override {
    exporting = value;
    calls.push_back(value ? "exporting on" : "exporting off");
  }
  void processFullSizeImageAtPath(const std::string& path, Processed completion) override {
    pending.emplace_back(path, std::move(completion));
  }
  void applyBoostAmount(NSImageRef source, NSImageRef processed, const std::string& path, Blended completion) override {
    if (blender) return blender->applyBoostAmount(std::move(source), std::move(processed), path, completion);
    completion(std::move(processed));
  }
  void cancelProcessing() override { calls.push_back("cancel"); }
  void cancelProcessingAndClean() override { calls.push_back("cancel and clean"); }
  void trackExport(const std::vector<std::string>& paths, uint64_t type) override {
    calls.push_back("track " + std::to_string(paths.size()) + " type " + std::to_string(type));
  }
  void imageWasSaved() override { calls.push_back("saved"); }

  // Answers the request for `path` (source grey 40, processed grey 200, or none).
  void complete(const std::string& path, bool processed = true) {
    completeWith(path, processed ? greyImage(200) : nullptr);
  }
  // Answers it with this processed image.
  void completeWith(const std::string& path, NSImageRef processed) {
    for (auto it = pending.begin(); it != pending.end(); ++it) {
      if (it->first != path) continue;
      auto completion = std::move(it->second);
      pending.erase(it);
      completion(greyImage(40), std::move(processed));
      return;
    }
    ADD_FAILURE() << "no request for " << path;
  }
};

// The real export writer, failing on purpose for the paths in `failing`.
class TestWriter : public QVPluginController::ImageWriter {
 public:
  std::set<std::string> failing;
  std::vector<std::pair<std::string, std::string>> written;  // path, type
  std::vector<bool> replaced;                                // each write's `replace`
  std::function<void(const std::string& path)> beforeWrite;  // runs first when set
  bool write(const CGImageRef& image, const std::string& path, const std::string& type, const qv::Value& properties,
             bool replace, std::string* error) override {
    replaced.push_back(replace);
    if (beforeWrite) beforeWrite(path);
    if (failing.count(path)) {
      if (error) *error = "refused by the test";
      return false;
    }
    const bool ok = QVShareManager::shared().saveImage(image, path, type, properties, error, replace);
    if (ok) written.emplace_back(path, type);
    return ok;
  }
};

class RecordingNotifier : public QVHostNotifier {
 public:
  std::vector<std::string> posted;                // the names
  std::vector<std::vector<std::string>> details;  // each post's texts
  std::vector<std::vector<std::string>> paths;    // and its paths
  using QVHostNotifier::post;
  void post(const std::string& name, const std::vector<std::string>& texts,
            const std::vector<std::string>& exact) override {
    posted.push_back(name);
    details.push_back(texts);
    paths.push_back(exact);
  }
  void clear() {
    posted.clear();
    details.clear();
    paths.clear();
  }
  // The paths of the posts of that name.
  std::vector<std::vector<std::string>> pathsOf(const std::string& name) const {
    std::vector<std::vector<std::string>> out;
    for (size_t i = 0; i < posted.size(); ++i)
      if (posted[i] == name) out.push_back(paths[i]);
    return out;
  }
  // The details of the posts of that name.
  std::vector<std::vector<std::string>> of(const std::string& name) const {
    std::vector<std::vector<std::string>> out;
    for (size_t i = 0; i < posted.size(); ++i)
      if (posted[i] == name) out.push_back(details[i]);
    return out;
  }
  // The names without the per-result posts.
  std::vector<std::string> endings() const {
    std::vector<std::string> out;
    for (const auto& name : posted)
      if (name != kQVHostResultSaved && name != kQVHostResultFailed) out.push_back(name);
    return out;
  }
};

class RecordingAlerts : public QVPluginController::Alerts {
 public:
  int shown = 0;
  std::vector<std::string> reasons;
  void showImageCannotBeSaved(const std::string& reason) override {
    ++shown;
    reasons.push_back(reason);
  }
};

class RecordingTerminator : public QVPluginController::Terminator {
 public:
  std::vector<double> times;  // main-executor clock at each quit
  std::vector<int> statuses;  // and its exit status
  void terminate(int status) override {
    times.push_back(qv::MainExecutor::shared().now());
    statuses.push_back(status);
  }
};

class RecordingUpdater : public QVExportProgressUpdatable {
 public:
  std::vector<std::string> calls;
  void onExportStarted(QVExportManagable&) override { calls.push_back("started"); }
  void updateProgress(uint64_t part, uint64_t count) override {
    calls.push_back(std::to_string(part) + "/" + std::to_string(count));
  }
};

}  // namespace plugin_test
