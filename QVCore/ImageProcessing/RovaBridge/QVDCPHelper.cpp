#include "QVCore/ImageProcessing/RovaBridge/QVDCPHelper.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUserFolderName = "CameraProfiles";
constexpr const char* kDefaultsFileName = "defaultDCPs.plist";

std::mutex gUserCacheMutex;
std::optional<qv::Array> gUserCache;

// The shared container; like the system's, it exists once asked for.
std::string containerDirectory() {
  std::string path = qv::places::groupContainerDirectory();
  qv::createDirectory(path);
  return path;
}

// Entry names of a folder, sorted so the order does not depend on the file system; nothing (and
// the system's message) when it cannot be listed.
std::optional<std::vector<std::string>> listFolder(const std::string& folder, std::string* error) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) {
    if (error) *error = ec.message();
    return std::nullopt;
  }
  std::vector<std::string> names;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool hasDcpExtension(const std::string& name) {
  std::string ext = qv::pathExtension(name);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ext == "dcp";
}

qv::Value entry(const std::string& path, const std::string& name) {
  return qv::Dictionary{{kQVDCPPathKey, qv::Value(path)}, {kQVDCPNameKey, qv::Value(name)}};
}

}  // namespace

std::string QVDCPHelper::systemApplicationSupportDirectory() {
  if (const char* home = std::getenv("SOLVANE_HOME"); home && *home) return std::string(home) + "/system";
  std::string dirs;
  if (const char* xdg = std::getenv("XDG_DATA_DIRS"); xdg && *xdg) dirs = xdg;
  std::string first = dirs.substr(0, dirs.find(':'));
  return first.empty() ? "/usr/local/share" : first;
}

std::optional<std::string> QVDCPHelper::systemDCPsPath() {
  std::string path = systemApplicationSupportDirectory() + "/Adobe/CameraRaw/CameraProfiles";
  std::error_code ec;
  if (!fs::exists(path, ec)) return std::nullopt;
  return path;
}

std::optional<std::string> QVDCPHelper::userDCPsPath() {
  const std::string container = containerDirectory();
  std::string error;
  if (!listFolder(container, &error)) {
    QV_LOG_FAILURE(
        "Zel18 group container isn't accessible (![[NSFileManager defaultManager] "
        "contentsOfDirectoryAtPath:" +
        container + " error:" + error + "])");
    return std::nullopt;
  }
  const std::string path = qv::appendingPathComponent(container, kUserFolderName);
  std::error_code ec;
  if (fs::exists(path, ec)) return path;
  if (!fs::create_directory(path, ec)) {
    QV_LOG_FAILURE("![[NSFileManager defaultManager] createDirectoryAtPath:" + path +
                   " withIntermediateDirectories:NO attributes:nil error:" + ec.message() + "]");
    return std::nullopt;
  }
  return path;
}

std::string QVDCPHelper::defaultDCPsPath() {
  return qv::appendingPathComponent(containerDirectory(), kDefaultsFileName);
}

std::optional<std::string> QVDCPHelper::canonizeCameraName(const std::string& make, const std::string& model) {
  if (qv::isEmpty(make)) return std::nullopt;
  return QVImageUtils::canonizeDcpName(make + model);
}

std::string QVDCPHelper::dcpNameWithPrefix(const std::string& prefix, const std::string& fileName) {
  const size_t p = fileName.rfind(prefix);
  if (p == std::string::npos) return fileName;
  std::string tail = fileName.substr(p);
  return tail.substr(0, tail.size() >= 4 ? tail.size() - 4 : 0);
}

std::optional<qv::Array> QVDCPHelper::getSystemDCPsForCameraName(const std::string& make, const std::string& model) {
  auto camera = canonizeCameraName(make, model);
  auto root = systemDCPsPath();
  if (!camera || !root) return std::nullopt;
  qv::Array found;
  auto logListing = [](const std::string& folder, const std::string& error) {
    QV_LOG_FAILURE("[[NSFileManager defaultManager] contentsOfDirectoryAtPath:" + folder + " error:" + error + "]");
  };

  const std::string standardFolder = *root + "/Adobe Standard";
  std::string error;
  if (auto files = listFolder(standardFolder, &error)) {
    const std::string standardTag = *camera + QVImageUtils::canonizeDcpName("Adobe Standard");
    const std::string defaultTag = *camera + QVImageUtils::canonizeDcpName("Camera Default");
    for (const auto& file : *files) {
      if (!hasDcpExtension(file)) continue;
      const std::string canonical = QVImageUtils::canonizeDcpName(file);
      const std::string path = standardFolder + "/" + file;
      if (canonical.find(standardTag) != std::string::npos) {
        found.push_back(entry(path, dcpNameWithPrefix("Adobe Standard", file)));
      } else if (canonical.find(defaultTag) != std::string::npos) {
        found.push_back(entry(path, dcpNameWithPrefix("Camera Default", file)));
      }
    }
  } else {
    logListing(standardFolder, error);
  }

  const std::string camerasFolder = *root + "/Camera";
  if (auto folders = listFolder(camerasFolder, &error)) {
    for (const auto& folder : *folders) {
      if (QVImageUtils::canonizeDcpName(folder) != *camera) continue;
      const std::string cameraFolder = camerasFolder + "/" + folder;
      if (auto files = listFolder(cameraFolder, &error)) {
        for (const auto& file : *files)
          if (hasDcpExtension(file))
            found.push_back(entry(cameraFolder + "/" + file, dcpNameWithPrefix("Camera", file)));
      } else {
        logListing(cameraFolder, error);
      }
      break;  // only the first folder of that camera
    }
  } else {
    logListing(camerasFolder, error);
  }
  return found;
}

qv::Array QVDCPHelper::getUserDCPs() {
  qv::Array found;
  auto folder = userDCPsPath();
  if (!folder) return found;
  std::string error;
  auto files = listFolder(*folder, &error);
  if (!files) {
    QV_LOG_FAILURE("![[NSFileManager defaultManager] contentsOfDirectoryAtPath:" + *folder + " error:" + error + "]");
    return found;
  }
  for (const auto& file : *files)
    if (hasDcpExtension(file)) found.push_back(entry(*folder + "/" + file, qv::deletingPathExtension(file)));
  return found;
}

qv::Array QVDCPHelper::userDCPs() {
  std::lock_guard lock(gUserCacheMutex);
  if (!gUserCache) gUserCache = getUserDCPs();
  return *gUserCache;
}

void QVDCPHelper::reloadUserDCPs() {
  std::lock_guard lock(gUserCacheMutex);
  gUserCache.reset();
}

std::optional<std::string> QVDCPHelper::copyDcpAtPath(const std::string& sourcePath, const std::string& name) {
  auto folder = userDCPsPath();
  if (!folder) return std::nullopt;
  const std::string destination = qv::appendingPathExtension(qv::appendingPathComponent(*folder, name), "dcp");
  std::error_code ec;
  if (fs::exists(destination, ec) && !fs::remove(destination, ec)) {
    QV_LOG_FAILURE("![[NSFileManager defaultManager] removeItemAtPath:" + destination + " error:" + ec.message() + "]");
    return std::nullopt;
  }
  if (!fs::copy_file(sourcePath, destination, ec)) {
    QV_LOG_FAILURE("![[NSFileManager defaultManager] copyItemAtPath:" + sourcePath + " toPath:" + destination +
                   " error:" + ec.message() + "]");
    return std::nullopt;
  }
  reloadUserDCPs();
  return destination;
}

void QVDCPHelper::setAsDefaultDcpInfo(const qv::Value& description, const std::string& make, const std::string& model) {
  auto camera = canonizeCameraName(make, model);
  if (description.isNull() || !camera) return;
  qv::Value defaults = qv::PropertyList::readFile(defaultDCPsPath(), nullptr);
  if (!defaults.isDictionary()) defaults = qv::Dictionary{};
  defaults.set(*camera, description);
  qv::PropertyList::writeFile(defaultDCPsPath(), defaults);  // a failed write is not reported
}

qv::Value QVDCPHelper::getDefaultDcpInfoForCameraName(const std::string& make, const std::string& model) {
  auto camera = canonizeCameraName(make, model);
  if (!camera) return {};
  qv::Value defaults = qv::PropertyList::readFile(defaultDCPsPath(), nullptr);
  return defaults[*camera];
}
