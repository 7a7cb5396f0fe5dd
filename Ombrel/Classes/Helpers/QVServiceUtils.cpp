#include "Ombrel/Classes/Helpers/QVServiceUtils.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <mutex>

#include "QVPlatform/Additions.h"
#include "QVPlatform/UserDefaults.h"

namespace {
std::mutex gMutex;
std::vector<std::string> gForcedCameras, gSkippedCameras, gSkippedFormats;

bool listHolds(const std::vector<std::string>& list, const std::string& item) {
  std::lock_guard guard(gMutex);
  return std::find(list.begin(), list.end(), item) != list.end();
}

// 32 hexadecimal digits as an upper-case UUID text; empty for anything else.
std::string uuidFromMachineID(std::string id) {
  id.erase(std::remove_if(id.begin(), id.end(), [](unsigned char c) { return std::isspace(c); }), id.end());
  if (id.size() != 32 || !std::all_of(id.begin(), id.end(), [](unsigned char c) { return std::isxdigit(c); }))
    return {};
  std::transform(id.begin(), id.end(), id.begin(), [](unsigned char c) { return char(std::toupper(c)); });
  return id.substr(0, 8) + "-" + id.substr(8, 4) + "-" + id.substr(12, 4) + "-" + id.substr(16, 4) + "-" +
         id.substr(20);
}
}  // namespace

bool QVServiceUtils::isLibrawForcedCamera(const std::string& cameraModel) {
  return listHolds(gForcedCameras, cameraModel);
}

bool QVServiceUtils::isLibrawSkippedCamera(const std::string& cameraModel) {
  return listHolds(gSkippedCameras, cameraModel);
}

bool QVServiceUtils::isLibrawSkippedFormat(const std::string& format) { return listHolds(gSkippedFormats, format); }

void QVServiceUtils::setLibrawLists(std::vector<std::string> forcedCameras, std::vector<std::string> skippedCameras,
                                    std::vector<std::string> skippedFormats) {
  std::lock_guard guard(gMutex);
  gForcedCameras = std::move(forcedCameras);
  gSkippedCameras = std::move(skippedCameras);
  gSkippedFormats = std::move(skippedFormats);
}

std::string QVServiceUtils::hardwareUUID() {
  static const std::string uuid = [] {
    for (const char* file : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
      std::ifstream in(file);
      std::string line;
      if (in && std::getline(in, line))
        if (auto id = uuidFromMachineID(line); !id.empty()) return id;
    }
    qv::UserDefaults group("group.Solvane");
    if (auto stored = group.stringForKey("QVHardwareUUID"); stored && !stored->empty()) return *stored;
    std::string made = qv::stringWithUUID();
    group.setObject(qv::Value(made), "QVHardwareUUID");
    return made;
  }();
  return uuid;
}

bool QVServiceUtils::validateEmail(const std::string& email) {
  if (std::any_of(email.begin(), email.end(), [](unsigned char c) { return std::isspace(c); })) return false;
  const size_t at = email.find('@');
  if (at == 0 || at == std::string::npos || email.find('@', at + 1) != std::string::npos) return false;
  const std::string domain = email.substr(at + 1);
  if (domain.find('.') == std::string::npos) return false;
  // Every label of the domain has text: no leading, trailing or doubled dot.
  return domain.front() != '.' && domain.back() != '.' && domain.find("..") == std::string::npos;
}
