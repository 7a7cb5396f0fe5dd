#pragma once
// What the open screen asks of the application core and of the panels: image checks, the blurred
// placeholder of a photo, the choose-files panel and the launch flag of the event tracker. The
// facade and the panels unless a test set another.
//
// Main thread only; `loadBlurredImageAtPath` may answer on any thread.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QVPlatform/ImageIO/NSImage.h"

class QVOpenScreenServices {
 public:
  virtual ~QVOpenScreenServices() = default;
  // Readable and not of an excluded type.
  virtual bool validateImageAtPath(const std::string& path) = 0;
  virtual void loadBlurredImageAtPath(const std::string& path, std::function<void(NSImageRef image)> completion) = 0;
  // The choose-files panel (several files); the handler gets the paths, or none when cancelled.
  virtual void showChooseFilesPanel(std::function<void(const std::optional<std::vector<std::string>>&)> handler) = 0;
  virtual void setAppLaunched() = 0;

  static std::shared_ptr<QVOpenScreenServices> shared();
  // nullptr goes back to the facade's.
  static void setShared(std::shared_ptr<QVOpenScreenServices> services);
};
