#pragma once
// The addresses of the application's web service: statistics, event uploads and the feedback
// form. Every address carries the fixed attributes "os" = "mac", "locale" = the user's language
// code and "version" = "2.0".
//
// The service's address (scheme and host, "https" and "api.solvane.com" by default) is
// configuration: the environment variable SOLVANE_WEB_SERVICE ("<scheme>://<host>[:port]"), read
// once, or `setServiceAddress`. Tests point it at a loopback server.
#include <cstdint>
#include <optional>
#include <string>

#include "Ombrel/Classes/Business/NetworkManager/QVURLSerializer.h"

class QVSolvaneURL : public QVURLSerializer {
 public:
  using QVURLSerializer::QVURLSerializer;

  qv::Dictionary staticAttributesDic() const override;

  static std::string URLWithPath(const std::string& path) { return URLWithPath(path, {}); }
  static std::string URLWithPath(const std::string& path, const qv::Dictionary& attributes) {
    return URLWithPath(path, attributes, false);
  }
  static std::string URLWithPath(const std::string& path, const qv::Dictionary& attributes,
                                 bool ingoreStaticAttributes);
  // The path under "views".
  static std::string viewURLWithPath(const std::string& path) { return viewURLWithPath(path, {}); }
  static std::string viewURLWithPath(const std::string& path, const qv::Dictionary& attributes);
  // "views/feedback".
  static std::string feedback();
  // "stats/<errors | pc-info | upload | download>" for event types 0 to 3 (another type: "stats").
  static std::string statsForEventType(uint64_t type);

  // The service's scheme and host (host may carry a port). Empty arguments restore the configured
  // default.
  static void setServiceAddress(const std::string& protocolName, const std::string& hostName);
  static std::string serviceProtocol();
  static std::string serviceHost();
};

class QVMultiversionedHelpers {
 public:
  // The user's language code ("de" for de_DE.UTF-8) from LC_ALL, LC_MESSAGES or LANG; "en" for the
  // C and POSIX locales or none.
  static std::string localeLanguageCode();
};
