#pragma once
// One event record of the event tracker: its type, the caller's information, an optional call
// stack, and where and in which run it happened.
//
// Stored form (what the event log files hold): a binary property list whose top-level dictionary
// holds the fields under "QVTypeKey", "QVInfoKey", "QVCallstackKey" (only with a call stack),
// "QVAppVersionKey", "QVOSVersionKey", "QVAppLocationTypeKey" and "QVAppSessionIDKey".
// Upload form: `serializeDic()`.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QVPlatform/Value.h"

enum QVAppEventType : uint64_t {
  QVAppEventTypeError = 0,
  QVAppEventTypeInfo = 1,
  QVAppEventTypeImageLoad = 2,
  QVAppEventTypeImageExport = 3,
};

// Keys of an event's information.
inline constexpr const char* kQVCodeName = "QVCodeName";
inline constexpr const char* kQVReasonName = "QVReasonName";
inline constexpr const char* kQVImageExtensionKey = "QVImageExtensionKey";
inline constexpr const char* kQVImageSizeKey = "QVImageSizeKey";
inline constexpr const char* kQVCountKey = "QVCountKey";
inline constexpr const char* kQVImageCountKey = "QVImageCountKey";
inline constexpr const char* kQVImageExportTypeKey = "QVImageExportTypeKey";
inline constexpr const char* kQVImageSliderValueKey = "QVImageSliderValueKey";

// Where and in which run events happen. The application facade installs its own answers
// (`setEnvironmentProvider`); without them: the bundle's version, the system's version, location
// 0 and one session identifier per process.
struct QVAppEventEnvironment {
  std::string appVersion;
  std::string OSVersion;
  uint64_t locationType = 0;
  std::string sessionID;

  static QVAppEventEnvironment current();
  static void setEnvironmentProvider(std::function<QVAppEventEnvironment()> provider);
  // The defaults described above.
  static QVAppEventEnvironment systemDefault();
};

class QVAppEvent {
 public:
  QVAppEvent() = default;
  // A record of this run (the environment's fields filled in).
  static std::shared_ptr<QVAppEvent> eventWithType(uint64_t type, qv::Dictionary info,
                                                   std::optional<std::vector<std::string>> callStack);
  // A record from its stored form; nullptr when the data cannot be opened.
  static std::shared_ptr<QVAppEvent> initWithData(const qv::Bytes& data);

  qv::Bytes archivedData() const;
  qv::Dictionary serializeDic() const;

  uint64_t type = 0;
  qv::Dictionary info;
  std::optional<std::vector<std::string>> callStack;
  std::string appVersion;
  std::string OSVersion;
  uint64_t locationType = 0;
  std::string sessionID;
};
