#include "Ombrel/Classes/Business/ErrorTracker/QVAppEvent.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <mutex>

#include "QVPlatform/Additions.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/PropertyList.h"

namespace {

constexpr const char* kTypeKey = "QVTypeKey";
constexpr const char* kInfoKey = "QVInfoKey";
constexpr const char* kCallstackKey = "QVCallstackKey";
constexpr const char* kAppVersionKey = "QVAppVersionKey";
constexpr const char* kOSVersionKey = "QVOSVersionKey";
constexpr const char* kLocationTypeKey = "QVAppLocationTypeKey";
constexpr const char* kSessionIDKey = "QVAppSessionIDKey";

// How many call-stack lines an upload carries.
constexpr size_t kUploadedCallStackLines = 10;

std::mutex& providerMutex() {
  static std::mutex m;
  return m;
}

std::function<QVAppEventEnvironment()>& provider() {
  static std::function<QVAppEventEnvironment()> p;
  return p;
}

// The distribution's version ("12" of Debian 12), else the kernel's release.
std::string systemVersion() {
  std::ifstream release("/etc/os-release");
  std::string line;
  while (std::getline(release, line)) {
    if (line.rfind("VERSION_ID=", 0) == 0) {
      std::string value = line.substr(11);
      value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
      if (!value.empty()) return value;
    }
  }
  utsname name{};
  return uname(&name) == 0 ? name.release : "";
}

void copyIfPresent(const qv::Dictionary& from, const char* key, qv::Dictionary& to, const char* as) {
  auto it = from.find(key);
  if (it != from.end()) to[as] = it->second;
}

}  // namespace

QVAppEventEnvironment QVAppEventEnvironment::systemDefault() {
  static const QVAppEventEnvironment defaults = [] {
    QVAppEventEnvironment e;
    e.appVersion = qv::Bundle::mainBundle().objectForInfoDictionaryKey("CFBundleShortVersionString").asString("2.0");
    e.OSVersion = systemVersion();
    e.locationType = 0;
    std::string session = qv::stringWithUUID();
    session.erase(std::remove(session.begin(), session.end(), '-'), session.end());
    std::transform(session.begin(), session.end(), session.begin(), [](unsigned char c) { return std::tolower(c); });
    e.sessionID = session;
    return e;
  }();
  return defaults;
}

QVAppEventEnvironment QVAppEventEnvironment::current() {
  std::function<QVAppEventEnvironment()> p;
  {
    std::lock_guard lock(providerMutex());
    p = provider();
  }
  return p ? p() : systemDefault();
}

void QVAppEventEnvironment::setEnvironmentProvider(std::function<QVAppEventEnvironment()> p) {
  std::lock_guard lock(providerMutex());
  provider() = std::move(p);
}

std::shared_ptr<QVAppEvent> QVAppEvent::eventWithType(uint64_t type, qv::Dictionary info,
                                                      std::optional<std::vector<std::string>> callStack) {
  const QVAppEventEnvironment environment = QVAppEventEnvironment::current();
  auto event = std::make_shared<QVAppEvent>();
  event->type = type;
  event->info = std::move(info);
  event->callStack = std::move(callStack);
  event->appVersion = environment.appVersion;
  event->OSVersion = environment.OSVersion;
  event->locationType = environment.locationType;
  event->sessionID = environment.sessionID;
  return event;
}

qv::Bytes QVAppEvent::archivedData() const {
  qv::Dictionary archive;
  archive[kTypeKey] = type;
  archive[kInfoKey] = info;
  if (callStack) {
    qv::Array lines(callStack->begin(), callStack->end());
    archive[kCallstackKey] = std::move(lines);
  }
  archive[kAppVersionKey] = appVersion;
  archive[kOSVersionKey] = OSVersion;
  archive[kLocationTypeKey] = locationType;
  archive[kSessionIDKey] = sessionID;
  return qv::PropertyList::toBinary(qv::Value(std::move(archive))).value_or(qv::Bytes());
}

std::shared_ptr<QVAppEvent> QVAppEvent::initWithData(const qv::Bytes& data) {
  if (data.empty()) return nullptr;
  qv::Error error;
  const qv::Value archive = qv::PropertyList::read(data, &error);
  const qv::Value* type = archive.find(kTypeKey);
  if (!archive.isDictionary() || !type || !type->isInteger()) return nullptr;
  auto event = std::make_shared<QVAppEvent>();
  event->type = uint64_t(type->asInt());
  if (const qv::Dictionary* info = archive[kInfoKey].dictionary()) event->info = *info;
  if (const qv::Array* lines = archive[kCallstackKey].array()) {
    event->callStack.emplace();
    for (const qv::Value& line : *lines) event->callStack->push_back(line.asString());
  }
  event->appVersion = archive[kAppVersionKey].asString();
  event->OSVersion = archive[kOSVersionKey].asString();
  event->locationType = uint64_t(archive[kLocationTypeKey].asInt());
  event->sessionID = archive[kSessionIDKey].asString();
  return event;
}

qv::Dictionary QVAppEvent::serializeDic() const {
  qv::Dictionary out;
  out["app_v"] = appVersion;
  out["os_v"] = OSVersion;
  out["location"] = locationType;
  out["num_start_app"] = sessionID;
  switch (type) {
    case QVAppEventTypeError:
    case QVAppEventTypeInfo:
      copyIfPresent(info, kQVCodeName, out, "code");
      copyIfPresent(info, kQVReasonName, out, "type");
      if (callStack && !callStack->empty()) {
        std::string text;
        const size_t count = std::min(callStack->size(), kUploadedCallStackLines);
        for (size_t i = 0; i < count; ++i) {
          if (i) text += "\n";
          text += (*callStack)[i];
        }
        out["callstack"] = text;
      }
      break;
    case QVAppEventTypeImageLoad:
    case QVAppEventTypeImageExport:
      copyIfPresent(info, kQVImageExtensionKey, out, "ext_img");
      copyIfPresent(info, kQVImageSizeKey, out, "res_img");
      copyIfPresent(info, kQVCountKey, out, "num");
      if (type == QVAppEventTypeImageLoad) {
        copyIfPresent(info, kQVImageCountKey, out, "count_img");
      } else {
        copyIfPresent(info, kQVImageExportTypeKey, out, "export_type");
        copyIfPresent(info, kQVImageSliderValueKey, out, "per_slider");
      }
      break;
    default:
      break;
  }
  return out;
}
