#pragma once
// What the photo-editing controller asks of the application core and the process, as an
// interface: the real one (QVPhotoEditingAppFacade) goes to the facade in its extension setting,
// the event tracker, the alerts and the export writer; tests give a fake. Completions may arrive on
// any thread; the controller brings them to the main thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QVPlatform/ImageIO/NSImage.h"

class QVPhotoEditingFacade {
 public:
  using ProcessingCompletion =
      std::function<void(const std::string& path, NSImageRef image, NSImageRef processedImage)>;
  using ImageCompletion = std::function<void(NSImageRef image)>;

  virtual ~QVPhotoEditingFacade() = default;

  // ---- Start-up ----
  // The engine, once per process, before any view exists.
  virtual bool startEngine() = 0;
  // The extension setting of the facade, analytics, the logger and the event tracker.
  virtual void setUpServices() = 0;
  virtual void setAppLaunched() = 0;
  virtual void trackEvent(uint64_t type, int64_t code) = 0;
  virtual void fireAppLaunchAction() = 0;

  // ---- The photo ----
  // None when the engine's reader can open the photo; else why it cannot (not an image, empty,
  // damaged, a type the enhancement does not take).
  virtual std::optional<std::string> validateImageAtPath(const std::string& path) = 0;
  // At least 800 x 600 in either orientation.
  virtual bool validateSizeForPath(const std::string& path) = 0;
  // The too-small alert naming the photo.
  virtual void showAlertLessThanMinimumSize(const std::string& path) = 0;
  // Ends the process with the status (does not return in the real facade).
  virtual void terminate(int status) = 0;
  virtual void trackEventImageLoadWithPaths(const std::vector<std::string>& paths) = 0;
  virtual void trackEventImageExportWithPaths(const std::vector<std::string>& paths, uint64_t exportType) = 0;

  // ---- Rendering ----
  virtual void processImageAtPath(const std::string& path, int64_t imageType, ProcessingCompletion completion) = 0;
  // The strength applied: the source at 0 or below, the processed image at 1 or above, else the
  // processed image blended over the source at that opacity, 8 bits per channel.
  virtual void applyBoostAmount(double amount, NSImageRef originalImage, NSImageRef processedImage,
                                const std::string& path, ImageCompletion completion) = 0;
  // Writes the image as TIFF, whole or not at all, and only while the name is free (a file already
  // there is never replaced); none on success, else the reason.
  virtual std::optional<std::string> writeTIFF(const NSImageRef& image, const std::string& sourcePath,
                                               const std::string& path) = 0;
  // Cancels all processing and empties the caches, the entity store and the per-image settings.
  virtual void cancelProcessingAndClean() = 0;
};
