#pragma once
// What the gallery and the quick preview ask of the application core, the menus and the panels:
// thumbnails (loaded and enhanced), cancelling them, deleting paths from the source list, plug-in
// mode, the import/export menu switch, whether a file panel is up, and an image's pixel size. The
// facade's unless a test set another.
//
// Completions of the image calls may run on any thread. Everything else on the main thread.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QVBase/Geometry.h"
#include "QVPlatform/ImageIO/NSImage.h"

class QVGalleryServices {
 public:
  using ImageCompletion = std::function<void(const std::string& path, NSImageRef image)>;
  using ProcessingCompletion =
      std::function<void(const std::string& path, NSImageRef image, NSImageRef processedImage)>;

  virtual ~QVGalleryServices() = default;
  virtual void loadImageAtPath(const std::string& path, int64_t imageType, ImageCompletion completion) = 0;
  virtual void processImageAtPath(const std::string& path, int64_t imageType, int64_t priority,
                                  ProcessingCompletion completion) = 0;
  virtual void cancelLoadingImageAtPath(const std::string& path, int64_t imageType) = 0;
  virtual void cancelProcessingImageAtPath(const std::string& path, int64_t imageType) = 0;
  // The source list drops the paths ("QVAppDidDeleteSourceItem" follows).
  virtual void deleteImagesWithPaths(const std::vector<std::string>& paths) = 0;
  virtual bool isPluginMode() = 0;
  virtual bool isImportExportMenuEnabled() = 0;
  // An open or a save panel of the application is on screen.
  virtual bool isFilePanelShown() = 0;
  // The pixel size of the file's image, zero when it cannot be read.
  virtual CGSize imageSizeForPath(const std::string& path) = 0;

  static std::shared_ptr<QVGalleryServices> shared();
  // nullptr goes back to the facade's.
  static void setShared(std::shared_ptr<QVGalleryServices> services);
};
