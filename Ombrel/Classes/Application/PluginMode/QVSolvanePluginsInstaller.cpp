#include "Ombrel/Classes/Application/PluginMode/QVSolvanePluginsInstaller.h"

#include <QCoreApplication>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "QVPlatform/Log.h"
#include "QVPlatform/Places.h"

namespace fs = std::filesystem;

std::shared_ptr<QVSolvanePluginsInstaller> QVSolvanePluginsInstaller::sharedInstaller() {
  static auto shared =
      std::make_shared<QVSolvanePluginsInstaller>(qv::places::userApplicationSupportDirectory(), defaultLauncherPath());
  return shared;
}

QVSolvanePluginsInstaller::QVSolvanePluginsInstaller(std::string dataFolder, std::string launcherPath)
    : dataFolder_(std::move(dataFolder)),
      launcherPath_(std::move(launcherPath)),
      queue_(qv::DispatchQueue::makeSerial("app.solvane.PluginsInstaller")) {}

QVSolvanePluginsInstaller::~QVSolvanePluginsInstaller() { waitUntilIdle(); }

std::string QVSolvanePluginsInstaller::launcherPathBesideProgram(const std::string& programFolder) {
  return (fs::path(programFolder) / "SolvaneBriskoBridge").string();
}

std::string QVSolvanePluginsInstaller::defaultLauncherPath() {
  const QString folder = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
  return launcherPathBesideProgram(folder.toStdString());
}

void QVSolvanePluginsInstaller::setLaunchInfo(const QVPluginLaunchInfo& info) {
  std::lock_guard guard(mutex_);
  launchInfo_ = info;
}

QVPluginLaunchInfo QVSolvanePluginsInstaller::launchInfo() const {
  std::lock_guard guard(mutex_);
  return launchInfo_;
}

std::string QVSolvanePluginsInstaller::photoshopLightroomPluginSubpath() const {
  return "Adobe/Lightroom/External Editor Presets/" + launchInfo().pluginAppName + ".lrtemplate";
}

std::string QVSolvanePluginsInstaller::photoshopLightroomPluginPath() const {
  if (dataFolder_.empty()) {
    QVLogError("Could not find Application Support directory");
    return {};
  }
  return (fs::path(dataFolder_) / photoshopLightroomPluginSubpath()).string();
}

std::string QVSolvanePluginsInstaller::photoshopPluginPath() const {
  if (dataFolder_.empty()) return {};
  return (fs::path(dataFolder_) / QVApplicationSupportFolderSubpath() / "Plug-ins" / "Photoshop" /
          (launchInfo().pluginAppName + ".json"))
      .string();
}

std::string QVSolvanePluginsInstaller::templatePath(int64_t type) const {
  return type == kQVPluginTypePhotoshop ? photoshopPluginPath() : photoshopLightroomPluginPath();
}

// The launcher and what the host passes it: "-QVWait" so the host waits for the result; the host
// adds its own image and save arguments after them.
std::string QVSolvanePluginsInstaller::templateText(int64_t type) const {
  const QVPluginLaunchInfo info = launchInfo();
  nlohmann::json json = {
      {"host", type == kQVPluginTypePhotoshop ? "Photoshop" : "Lightroom"},
      {"applicationName", info.applicationName},
      {"pluginName", info.pluginAppName},
      {"applicationUUID", info.applicationUUID},
      {"launcher", launcherPath_},
      {"arguments", nlohmann::json::array({"-QVWait"})},
  };
  if (type == kQVPluginTypePhotoshop) json["arguments"].push_back("-QVPhotoshopPluginOwner");
  return json.dump(2) + "\n";
}

uint64_t QVSolvanePluginsInstaller::addObserver(Observer observer) {
  std::lock_guard guard(mutex_);
  observers_[nextToken_] = std::move(observer);
  return nextToken_++;
}

void QVSolvanePluginsInstaller::removeObserver(uint64_t token) {
  std::lock_guard guard(mutex_);
  observers_.erase(token);
}

void QVSolvanePluginsInstaller::set(std::atomic<bool>& property, bool value, const char* keyPath, bool always) {
  if (property.exchange(value) == value && !always) return;
  std::map<uint64_t, Observer> observers;
  {
    std::lock_guard guard(mutex_);
    observers = observers_;
  }
  for (auto& [token, observer] : observers) observer(keyPath);
}

void QVSolvanePluginsInstaller::validate(int64_t type) {
  const std::string path = templatePath(type);
  std::error_code ec;
  const bool installed = !path.empty() && fs::is_regular_file(path, ec);
  if (type == kQVPluginTypePhotoshop) {
    set(psInstalled_, installed, "photoshopPluginInstalled", true);
  } else {
    set(lrInstalled_, installed, "lightroomPluginInstalled", true);
  }
}

void QVSolvanePluginsInstaller::install(int64_t type) {
  const bool photoshop = type == kQVPluginTypePhotoshop;
  std::atomic<bool>& executing = photoshop ? psExecuting_ : lrExecuting_;
  const char* executingKey = photoshop ? "photoshopInstallationExecuting" : "lightroomInstallationExecuting";
  set(executing, true, executingKey);
  const std::string path = templatePath(type);
  std::error_code ec;
  if (path.empty()) {
    QVLogError("plug-in installer: no data folder to install into");
  } else if (fs::is_regular_file(path, ec)) {
    if (!fs::remove(path, ec)) QVLogError("plug-in installer: %s not removed: %s", path.c_str(), ec.message().c_str());
  } else {
    // Written beside the target and renamed into place, so a template is never half there.
    const fs::path target(path);
    fs::create_directories(target.parent_path(), ec);
    const fs::path temporary = target.string() + ".part";
    {
      std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
      out << templateText(type);
      out.close();
      if (!out) fs::remove(temporary, ec);
    }
    if (fs::exists(temporary, ec)) fs::rename(temporary, target, ec);
    if (ec || !fs::is_regular_file(target)) {
      fs::remove(temporary, ec);
      QVLogError("plug-in installer: %s could not be written", path.c_str());
    }
  }
  validate(type);
  set(executing, false, executingKey);
}

void QVSolvanePluginsInstaller::checkAndUpdatePluginsAsync() {
  queue_->async([this] {
    validate(kQVPluginTypePhotoshop);
    validate(kQVPluginTypeLightroom);
  });
}

void QVSolvanePluginsInstaller::validateLightroomInstallStatusAsync() {
  queue_->async([this] { validate(kQVPluginTypeLightroom); });
}

void QVSolvanePluginsInstaller::validatePhotoshopInstallStatusAsync() {
  queue_->async([this] { validate(kQVPluginTypePhotoshop); });
}

void QVSolvanePluginsInstaller::installPhotoshopPlugin() {
  queue_->async([this] { install(kQVPluginTypePhotoshop); });
}

void QVSolvanePluginsInstaller::installLightroomPlugin() {
  queue_->async([this] { install(kQVPluginTypeLightroom); });
}

void QVSolvanePluginsInstaller::waitUntilIdle() {
  queue_->sync([] {});
}
