#include "Ombrel/Classes/Business/NetworkManager/QVSolvaneURL.h"

#include <cctype>
#include <cstdlib>
#include <mutex>

namespace {
constexpr const char* kDefaultProtocol = "https";
constexpr const char* kDefaultHost = "api.solvane.com";

struct ServiceAddress {
  std::string protocolName;
  std::string hostName;
};

ServiceAddress configuredAddress() {
  ServiceAddress address{kDefaultProtocol, kDefaultHost};
  const char* configured = std::getenv("SOLVANE_WEB_SERVICE");
  if (!configured || !*configured) return address;
  std::string text = configured;
  const auto scheme = text.find("://");
  if (scheme == std::string::npos || scheme == 0 || scheme + 3 >= text.size()) return address;
  std::string host = text.substr(scheme + 3);
  while (!host.empty() && host.back() == '/') host.pop_back();
  if (host.empty()) return address;
  return {text.substr(0, scheme), host};
}

std::mutex gAddressMutex;
ServiceAddress& address() {
  static ServiceAddress current = configuredAddress();
  return current;
}
}  // namespace

qv::Dictionary QVSolvaneURL::staticAttributesDic() const {
  qv::Dictionary attributes = QVURLSerializer::staticAttributesDic();
  attributes["os"] = "mac";
  attributes["locale"] = QVMultiversionedHelpers::localeLanguageCode();
  attributes["version"] = "2.0";
  return attributes;
}

std::string QVSolvaneURL::URLWithPath(const std::string& path, const qv::Dictionary& attributes,
                                      bool ingoreStaticAttributes) {
  QVSolvaneURL url(serviceProtocol(), serviceHost());
  url.setPath(path);
  url.setAttributes(attributes);
  return url.URLString(ingoreStaticAttributes).value_or(std::string());
}

std::string QVSolvaneURL::viewURLWithPath(const std::string& path, const qv::Dictionary& attributes) {
  return URLWithPath("views/" + path, attributes);
}

std::string QVSolvaneURL::feedback() { return viewURLWithPath("feedback"); }

std::string QVSolvaneURL::statsForEventType(uint64_t type) {
  static const char* const kComponents[] = {"errors", "pc-info", "upload", "download"};
  return URLWithPath(type < 4 ? std::string("stats/") + kComponents[type] : std::string("stats"));
}

void QVSolvaneURL::setServiceAddress(const std::string& protocolName, const std::string& hostName) {
  std::lock_guard guard(gAddressMutex);
  if (protocolName.empty() || hostName.empty())
    address() = configuredAddress();
  else
    address() = {protocolName, hostName};
}

std::string QVSolvaneURL::serviceProtocol() {
  std::lock_guard guard(gAddressMutex);
  return address().protocolName;
}

std::string QVSolvaneURL::serviceHost() {
  std::lock_guard guard(gAddressMutex);
  return address().hostName;
}

std::string QVMultiversionedHelpers::localeLanguageCode() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (!value || !*value) continue;
    std::string code;
    for (const char* c = value; *c && std::isalpha(static_cast<unsigned char>(*c)); ++c)
      code += char(std::tolower(static_cast<unsigned char>(*c)));
    if (code.empty() || code == "c" || code == "posix") return "en";
    return code;
  }
  return "en";
}
