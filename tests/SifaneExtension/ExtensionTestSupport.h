#pragma once
// Fakes for the extension's tests: a facade that records every call and lets the test answer the
// renders, a view that records what the controller asks of it, a source list that keeps paths in
// memory, and a small photo made in memory.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/MainWindow/QVExportImageDatasource.h"
#include "Ombrel/Classes/Application/SingleImage/QVSingleImageFacade.h"
#include "QVPlatform/ImageIO/CoreGraphics.h"
#include "QVPlatform/ImageIO/NSImage.h"
#include "QVPlatform/MainExecutor.h"
#include "SifaneExtension/PhotoEditing/QVPhotoEditingFacade.h"
#include "SifaneExtension/PhotoEditing/QVPhotoEditingView.h"

namespace extension_test {

// A photo of one flat colour, 8 bits RGB.
NSImageRef flatImage(size_t width, size_t height, uint8_t r, uint8_t g, uint8_t b);
// The red, green and blue of the pixel.
std::vector<int> pixel(const NSImageRef& image, size_t x, size_t y);

class FakeFacade : public QVPhotoEditingFacade {
 public:
  std::vector<std::string> log;
  bool largeEnough = true;
  // The reason validateImageAtPath gives; none: the photo decodes.
  std::optional<std::string> unreadable;
  // When set, terminate really ends the process (the small-photo test runs in a child).
  bool exitOnTerminate = false;
  // The pending full-size render: the test answers it.
  ProcessingCompletion pendingRender;
  std::string renderedPath;
  int64_t renderedType = -1;
  std::optional<std::string> writeFailure;
  std::vector<std::string> writtenPaths;
  NSImageRef writtenImage;
  std::vector<double> boostAmounts;

  bool startEngine() override { return note("startEngine"), true; }
  void setUpServices() override { note("setUpServices"); }
  void setAppLaunched() override { note("event 1 1"); }
  void trackEvent(uint64_t type, int64_t code) override {
    note("event " + std::to_string(type) + " " + std::to_string(code));
  }
  void fireAppLaunchAction() override { note("launch action"); }
  std::optional<std::string> validateImageAtPath(const std::string&) override { return unreadable; }
  bool validateSizeForPath(const std::string&) override { return largeEnough; }
  void showAlertLessThanMinimumSize(const std::string&) override { note("alert less than minimum size"); }
  void terminate(int status) override {
    note("terminate " + std::to_string(status));
    if (exitOnTerminate) {
      std::fflush(nullptr);
      std::_Exit(status);
    }
  }
  void trackEventImageLoadWithPaths(const std::vector<std::string>& paths) override { note("load " + paths.at(0)); }
  void trackEventImageExportWithPaths(const std::vector<std::string>& paths, uint64_t type) override {
    note("export " + paths.at(0) + " " + std::to_string(type));
  }
  void processImageAtPath(const std::string& path, int64_t type, ProcessingCompletion completion) override {
    note("process " + path);
    renderedPath = path;
    renderedType = type;
    pendingRender = std::move(completion);
  }
  void applyBoostAmount(double amount, NSImageRef, NSImageRef processed, const std::string&,
                        ImageCompletion completion) override {
    note("boost");
    boostAmounts.push_back(amount);
    completion(processed);
  }
  std::optional<std::string> writeTIFF(const NSImageRef& image, const std::string&, const std::string& path) override {
    note("write");
    writtenPaths.push_back(path);
    writtenImage = image;
    return writeFailure;
  }
  void cancelProcessingAndClean() override { note("clean"); }

 private:
  // Also to stderr in a child process: its test reads it there.
  void note(std::string line) {
    if (exitOnTerminate) std::fprintf(stderr, "[facade] %s\n", line.c_str());
    log.push_back(std::move(line));
  }
};

class FakeView : public QVPhotoEditingView {
 public:
  std::vector<std::string> log;
  std::function<void()> pendingExportEnd;
  double amount = 1.0;
  double boostAmount() override { return amount; }
  void setContainerHidden(bool hidden) override { log.push_back(hidden ? "hide container" : "show container"); }
  void showImageController(const std::string& path) override { log.push_back("show " + path); }
  void updateWithExportState(uint64_t state) override { log.push_back("state " + std::to_string(state)); }
  void completeExportAnimation(std::function<void()> completion) override {
    log.push_back("complete export animation");
    pendingExportEnd = std::move(completion);
  }
  // The screen calls it when the preview fails; the test does.
  std::function<void()> previewFailed;
  void setPreviewFailureHandler(std::function<void()> handler) override { previewFailed = std::move(handler); }
};

class MemorySourceList : public QVExportImageSourceList {
 public:
  std::vector<std::string> list;
  std::vector<std::string> imagesPaths() const override { return list; }
  void setImagesPaths(const std::vector<std::string>& paths, bool) override { list = paths; }
  void addImageWithPaths(const std::vector<std::string>& paths) override {
    list.insert(list.end(), paths.begin(), paths.end());
  }
  std::vector<std::string> validatedFilenames(const std::vector<std::string>& paths) const override { return paths; }
};

// The application core as the single-image screen sees it: nothing cached unless the test says so,
// renders answered by the test.
class FakeScreenFacade : public QVSingleImageFacade {
 public:
  NSImageRef processed, original;
  ProcessedCompletion observation;
  std::vector<std::string> processRequests;
  NSImageRef processedImageAtPath(const std::string&, int64_t) override { return processed; }
  NSImageRef originalImageAtPath(const std::string&, int64_t) override { return original; }
  NSImageRef lensedPreviewAtPath(const std::string&) override { return nullptr; }
  bool autoLensCorrectionEnabled() override { return false; }
  double boostAmountForImagePath(const std::string&) override { return 1.0; }
  void updateAmount(double, const std::string&) override {}
  void loadBlurredImageAtPath(const std::string& path, ImageCompletion completion) override {
    completion(path, flatImage(30, 20, 40, 40, 40));
  }
  void processImageAtPath(const std::string& path, int64_t, int64_t) override { processRequests.push_back(path); }
  void startImageProcessingObservation(const std::string&, int64_t, ProcessedCompletion completion) override {
    observation = std::move(completion);
  }
  void stopImageProcessingObservation() override { observation = nullptr; }
  void cleanAt(const std::string&, const std::vector<uint64_t>&) override {}
  CGSize imageSizeForPath(const std::string&) override { return CGSizeMake(6000, 4000); }
};

// Runs the main executor (manual clock) until idle, moving its clock on so delayed blocks run.
void pumpMain(double seconds = 0.5);
// Moves both manual clocks, the animations' and the main executor's, in frames of 1/60 s.
void runFrames(double seconds);

}  // namespace extension_test
