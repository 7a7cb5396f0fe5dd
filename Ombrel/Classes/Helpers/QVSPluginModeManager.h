#pragma once
// Plug-in mode: the launcher starts the application with "-QVLightroomPluginOwner" and
// "-QVPluginMode" among its arguments, and the host application's images take the place of opened
// files. This is the least the application core asks of it: whether the run is in plug-in mode and
// the host's photo collection. Thread-safe.
#include <mutex>
#include <string>
#include <vector>

class QVSPluginModeManager {
 public:
  static QVSPluginModeManager& shared();

  // Plug-in mode when the arguments hold "-QVPluginMode".
  void configureWithArguments(const std::vector<std::string>& arguments);
  bool isPluginMode() const;
  void setPluginMode(bool pluginMode);
  std::vector<std::string> photoCollection() const;
  void setPhotoCollection(std::vector<std::string> paths);

 private:
  mutable std::mutex mutex_;
  bool pluginMode_ = false;
  std::vector<std::string> photoCollection_;
};
