#pragma once
// Installs the hosts' plug-ins. On this system a host's plug-in is one template file under the
// user's data folder that names the installed launcher (SolvaneBriskoBridge) and its arguments:
//   Lightroom (type 2): "<data>/Adobe/Lightroom/External Editor Presets/<plug-in name>.lrtemplate"
//   Photoshop (type 1): "<data>/Solvane/Plug-ins/Photoshop/<plug-in name>.json"
// "Installed" means a regular file is at the template's name (a link there is never followed and
// never counts). Installing a host that is installed uninstalls it (the screen's button reads
// "Uninstall" then): only that regular file is removed. A template is written to a fresh
// exclusive temporary file and moved into place only while its name is free; a link, folder or
// other thing at its name is left alone and the host stays not installed. A write that fails
// leaves the host not installed. A plug-in name that is not a plain file name gives no path.
//
// The work runs on the installer's own serial queue (a worker thread) behind four observable
// properties ("photoshopPluginInstalled", "photoshopInstallationExecuting",
// "lightroomPluginInstalled", "lightroomInstallationExecuting"); each change, and each check's
// answer even when unchanged, is announced to the observers with its key path, on the worker
// thread. The properties may be read from any thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "Ombrel/Classes/Application/PluginMode/QVPluginLaunchInfo.h"
#include "QVPlatform/Dispatch.h"

inline constexpr int64_t kQVPluginTypePhotoshop = 1;
inline constexpr int64_t kQVPluginTypeLightroom = 2;

class QVSolvanePluginsInstaller {
 public:
  using Observer = std::function<void(const std::string& keyPath)>;

  // The application's installer: the user's data folder and the launcher beside the program.
  static std::shared_ptr<QVSolvanePluginsInstaller> sharedInstaller();
  QVSolvanePluginsInstaller(std::string dataFolder, std::string launcherPath);
  ~QVSolvanePluginsInstaller();

  void setLaunchInfo(const QVPluginLaunchInfo& info);
  QVPluginLaunchInfo launchInfo() const;

  // The application's own folder under the data folder.
  static std::string QVApplicationSupportFolderSubpath() { return "Solvane"; }
  std::string photoshopLightroomPluginSubpath() const;
  // The Lightroom template; empty (logged) without a data folder.
  std::string photoshopLightroomPluginPath() const;
  std::string photoshopPluginPath() const;
  // The installed launcher the templates name: SolvaneBriskoBridge beside the running program
  // (installed and in the build tree alike: the build puts the launcher beside the program).
  static std::string defaultLauncherPath();
  static std::string launcherPathBesideProgram(const std::string& programFolder);
  const std::string& launcherPath() const { return launcherPath_; }

  bool isPhotoshopPluginInstalled() const { return psInstalled_; }
  bool isPhotoshopInstallationExecuting() const { return psExecuting_; }
  bool isLightroomPluginInstalled() const { return lrInstalled_; }
  bool isLightroomInstallationExecuting() const { return lrExecuting_; }

  uint64_t addObserver(Observer observer);
  void removeObserver(uint64_t token);

  // Each queued on the worker thread.
  void checkAndUpdatePluginsAsync();
  void validateLightroomInstallStatusAsync();
  void validatePhotoshopInstallStatusAsync();
  void installPhotoshopPlugin();
  void installLightroomPlugin();
  // Blocks until the queued work is done (tests).
  void waitUntilIdle();

 private:
  std::string templatePath(int64_t type) const;
  std::string templateText(int64_t type) const;
  void validate(int64_t type);
  void install(int64_t type);
  // Announces a change; `always` also an unchanged value (a check's answer, which the screen waits
  // for before it enables its buttons).
  void set(std::atomic<bool>& property, bool value, const char* keyPath, bool always = false);

  std::string dataFolder_, launcherPath_;
  mutable std::mutex mutex_;
  QVPluginLaunchInfo launchInfo_;
  std::map<uint64_t, Observer> observers_;
  uint64_t nextToken_ = 1;
  std::atomic<bool> psInstalled_{false}, psExecuting_{false}, lrInstalled_{false}, lrExecuting_{false};
  std::shared_ptr<qv::DispatchQueue> queue_;
};
