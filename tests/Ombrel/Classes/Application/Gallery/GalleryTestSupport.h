#pragma once
// Fakes the gallery's tests share: services that hold every image answer for the test to release
// in any order, a data source over a plain list that loses paths when the source list deletes
// them, a delegate that records, and photos of one colour per path.
#include <QColor>
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Gallery/QVGalleryServices.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryViewController.h"
#include "Ombrel/Classes/Application/Gallery/QVQuickPreviewScreen.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVPlatform/ImageIO/CoreGraphics.h"
#include "QVPlatform/MainExecutor.h"

namespace gallery_test {

using Paths = std::vector<std::string>;

inline void settle(double seconds = 2) {
  for (int i = 0; i < int(seconds * 10); ++i) {
    qv::MainExecutor::shared().advance(0.1);
    QVAnimationDriver::shared().advance(0.1);
  }
  qv::MainExecutor::shared().runUntilIdle();
}

inline NSImageRef solidImage(QColor color, int w = 300, int h = 200) {
  auto data = std::make_shared<std::vector<uint8_t>>(size_t(w * h * 3));
  for (size_t i = 0; i < data->size(); i += 3) {
    (*data)[i] = uint8_t(color.red());
    (*data)[i + 1] = uint8_t(color.green());
    (*data)[i + 2] = uint8_t(color.blue());
  }
  return NSImage::imageWithCGImage(
      CGImageCreate(size_t(w), size_t(h), 8, 24, size_t(w) * 3, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone, data),
      CGSizeMake(w, h));
}

// Distinct colours: the thumbnail of path n and its enhanced thumbnail.
inline QColor originalColor(int n) { return QColor(10 + n * 11, 40, 200 - n * 7); }
inline QColor processedColor(int n) { return QColor(240 - n * 9, 180, 20 + n * 10); }
inline std::string pathFor(int n) { return "/photos/img" + std::to_string(n) + ".jpg"; }
inline int indexOf(const std::string& path) { return std::stoi(path.substr(std::strlen("/photos/img"))); }

class FakeServices : public QVGalleryServices {
 public:
  struct Load {
    std::string path;
    ImageCompletion completion;
  };
  struct Process {
    std::string path;
    int64_t type, priority;
    ProcessingCompletion completion;
  };
  void loadImageAtPath(const std::string& path, int64_t type, ImageCompletion completion) override {
    loadTypes.push_back(type);
    loads.push_back({path, std::move(completion)});
  }
  void processImageAtPath(const std::string& path, int64_t type, int64_t priority,
                          ProcessingCompletion completion) override {
    processes.push_back({path, type, priority, std::move(completion)});
  }
  void cancelLoadingImageAtPath(const std::string& path, int64_t) override { cancelledLoads.push_back(path); }
  void cancelProcessingImageAtPath(const std::string& path, int64_t) override { cancelledProcesses.push_back(path); }
  void deleteImagesWithPaths(const Paths& paths) override {
    deleted.push_back(paths);
    if (onDelete) onDelete(paths);
  }
  bool isPluginMode() override { return pluginMode; }
  bool isImportExportMenuEnabled() override { return menusEnabled; }
  bool isFilePanelShown() override { return panelShown; }
  CGSize imageSizeForPath(const std::string& path) override {
    auto it = sizes.find(path);
    return it == sizes.end() ? CGSizeMake(3000, 2000) : it->second;
  }

  std::vector<Load> loads;
  std::vector<int64_t> loadTypes;
  std::vector<Process> processes;
  Paths cancelledLoads, cancelledProcesses;
  std::vector<Paths> deleted;
  std::function<void(const Paths&)> onDelete;
  std::map<std::string, CGSize> sizes;
  bool pluginMode = false, menusEnabled = true, panelShown = false;
};

class FakeDatasource : public QVGalleryControllerDatasource {
 public:
  std::optional<Paths> imagesPaths() override { return paths; }
  QVExportImageDatasource* exportPathStorage() override { return storage; }
  Paths paths;
  QVExportImageDatasource* storage = nullptr;
};

class RecordingDelegate : public QVGalleryControllerDelegate {
 public:
  bool answersDidLeaveASingleImage() const override { return answers; }
  void galleryViewControllerDidLeaveASingleImageWithPath(QVGalleryViewController*, const std::string& path,
                                                         std::function<void()> completion) override {
    lonePaths.push_back(path);
    block = std::move(completion);
  }
  void removeAllItemsInGalleryController(QVGalleryViewController*) override { ++removeAll; }
  void clickStartOverInGalleryController(QVGalleryViewController*) override { ++startOverClicks; }
  bool answers = true;
  Paths lonePaths;
  std::function<void()> block;
  int removeAll = 0, startOverClicks = 0;
};

// A screen that counts what the preview asks of it.
struct ScreenLog {
  std::vector<std::string> shown;
  int made = 0, cancelled = 0;
};

class CountingScreen : public QVQuickPreviewScreen {
 public:
  explicit CountingScreen(ScreenLog* log) : log_(log), view_(new QWidget()) { ++log_->made; }
  ~CountingScreen() override {
    if (view_ && !view_->parentWidget()) delete view_.data();
  }
  QWidget* view() override { return view_; }
  void showProcessedImageWithPath(const std::string& path) override { log_->shown.push_back(path); }
  void cancelStateTransition() override { ++log_->cancelled; }

 private:
  ScreenLog* log_;
  QPointer<QWidget> view_;
};

}  // namespace gallery_test
