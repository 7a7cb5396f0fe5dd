#pragma once
// What the main window controller asks of the application core, as an interface: the real one
// goes to the facade; tests install a fake with `setShared`.
//
// Main thread only.
#include <memory>
#include <string>
#include <vector>

#include "QVBase/Geometry.h"

class QVSingleImageFacade;

// The plug-in run as the main window sees it (the host application's photos).
class QVWindowPluginController {
 public:
  virtual ~QVWindowPluginController() = default;
  virtual void cancelPlugin() {}
  virtual void installPlugins() {}
};

class QVWindowControllerServices {
 public:
  virtual ~QVWindowControllerServices() = default;
  // Queues enhancement of every path at the image type (1: preview).
  virtual void processImagesAtPaths(const std::vector<std::string>& paths, int64_t imageType);
  // Every open photo exported since it last changed.
  virtual bool exported();
  virtual void setPhotosExported(const std::vector<std::string>& paths, bool exported);
  // An export runs (any screen's, the quick preview's too).
  virtual bool isExporting();
  // Cancels all image work and empties the caches (with `longTerm` the disk store too).
  virtual void cancelProcessingAndClean(bool longTerm);
  virtual void trackEventImageLoadWithPaths(const std::vector<std::string>& paths);
  virtual void trackSampleImageOpened();
  virtual bool isPluginMode();
  // Pixel size of the image file, zero when unreadable.
  virtual CGSize imageSizeForPath(const std::string& path);
  // The files of the shipped sample photos.
  virtual std::vector<std::string> samplePaths();
  // A random index below `count` (count > 0).
  virtual size_t randomIndex(size_t count);
  virtual std::shared_ptr<QVSingleImageFacade> singleImageFacade();
  virtual std::unique_ptr<QVWindowPluginController> makePluginController();

  // The facade's unless one was set (nullptr goes back to it).
  static std::shared_ptr<QVWindowControllerServices> shared();
  static void setShared(std::shared_ptr<QVWindowControllerServices> services);
};
