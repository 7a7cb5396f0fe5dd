#include "Ombrel/Classes/Application/PluginMode/QVSolvanePluginsInstaller.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "QVPlatform/Log.h"
#include "QVPlatform/OwnFiles.h"
#include "QVPlatform/Places.h"
#include "rova/codecs/SafeFile.h"

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

namespace {

// A plug-in's name becomes a file name: one that would leave its folder names no file.
bool usableFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

// What is at a template's name, never followed through a link: 1 a regular file (our template),
// 0 nothing, -1 anything else (a link, a folder, a FIFO: not ours, never touched).
int templateKind(const std::string& path) {
  const qv::Entry entry = qv::entryAt(path);
  return entry.kind == qv::EntryKind::Missing ? 0 : entry.isRegular() ? 1 : -1;
}

}  // namespace

std::string QVSolvanePluginsInstaller::photoshopLightroomPluginSubpath() const {
  return "Adobe/Lightroom/External Editor Presets/" + launchInfo().pluginAppName + ".lrtemplate";
}

std::string QVSolvanePluginsInstaller::photoshopLightroomPluginPath() const {
  if (dataFolder_.empty()) {
    QVLogError("Could not find Application Support directory");
    return {};
  }
  if (!usableFileName(launchInfo().pluginAppName)) return {};
  return (fs::path(dataFolder_) / photoshopLightroomPluginSubpath()).string();
}

std::string QVSolvanePluginsInstaller::photoshopPluginPath() const {
  if (dataFolder_.empty() || !usableFileName(launchInfo().pluginAppName)) return {};
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
  const bool installed = !path.empty() && templateKind(path) == 1;
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
  const int kind = path.empty() ? -1 : templateKind(path);
  if (path.empty()) {
    QVLogError("plug-in installer: no data folder or no plug-in name to install under");
  } else if (kind == 1) {
    // Uninstalling removes our regular file and nothing else.
    if (::unlink(path.c_str()) != 0)
      QVLogError("plug-in installer: %s not removed: %s", path.c_str(), std::strerror(errno));
  } else if (kind == -1) {
    QVLogError(
        "plug-in installer: %s is not installed: something that is not a plain file (a link, a folder) is at "
        "its name, and it is left alone",
        path.c_str());
  } else {
    // Written to a fresh temporary file beside the target (exclusive, never through a link) and
    // moved into place only while the name is free: a template is never half there, and nothing
    // that appeared at its name meanwhile is replaced.
    rova::codecs::SafeWriteOptions options;
    options.createFolder = true;
    options.replace = false;
    const std::string text = templateText(type);
    std::string why;
    if (!rova::codecs::writeFileSafely(path, text.data(), text.size(), &why, options)) {
      QVLogError("plug-in installer: %s", why.c_str());
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
