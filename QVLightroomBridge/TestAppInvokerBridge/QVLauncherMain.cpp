#include "QVLightroomBridge/TestAppInvokerBridge/QVLauncherMain.h"

#include <filesystem>
#include <ostream>

#include "QVLightroomBridge/TestAppInvokerBridge/QVAppBundle.h"
#include "QVLightroomBridge/TestAppInvokerBridge/QVLauncher.h"

namespace {

constexpr const char* kWait = "-QVWait";
constexpr const char* kSilent = "-QVExportPresets";
constexpr const char* kVersionFlag = "-QVVersion";
constexpr const char* kAppBundlePath = "-QVAppBundlePath";
constexpr const char* kPluginOwner = "-QVLightroomPluginOwner";
constexpr const char* kPluginMode = "-QVPluginMode";

}  // namespace

namespace QVLauncherCommandLine {

QVLauncherFlags scanFlags(const std::vector<std::string>& arguments) {
  QVLauncherFlags flags;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == kWait) {
      flags.wait = true;
    } else if (argument == kSilent) {
      flags.silent = true;
    } else if (argument == kVersionFlag) {
      flags.version = true;
    } else if (argument == kAppBundlePath && i + 1 < arguments.size()) {
      flags.appBundlePath = arguments[++i];  // the value is not scanned as a flag
    }
  }
  return flags;
}

std::vector<std::string> applicationArguments(const std::vector<std::string>& arguments) {
  std::vector<std::string> result;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == kWait) continue;
    if (arguments[i] == kAppBundlePath) {
      ++i;  // its value goes too
      continue;
    }
    result.push_back(arguments[i]);
  }
  result.push_back(kPluginOwner);
  result.push_back(kPluginMode);
  return result;
}

bool isFileList(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return false;
  std::error_code ec;
  for (const auto& argument : arguments) {
    if (!std::filesystem::exists(argument, ec) || std::filesystem::is_directory(argument, ec)) return false;
  }
  return true;
}

}  // namespace QVLauncherCommandLine

int QVLauncherMain(const std::vector<std::string>& arguments, const QVLauncherServices& services) {
  using namespace QVLauncherCommandLine;
  std::ostream& err = *services.err;
  const QVLauncherFlags flags = scanFlags(arguments);

  if (flags.version) {
    *services.out << kVersion << std::flush;
    return 0;
  }

  if (isFileList(arguments)) {
    const auto url = services.targetedAppURL();
    if (!url) err << "Error: " << kApplicationName << " is not installed\n";
    for (size_t i = 0; i < arguments.size(); ++i) {
      if (!url) break;
      const bool last = i + 1 == arguments.size();
      services.launch(*url, {arguments[i], kPluginOwner, kPluginMode}, /*wait=*/!last, /*silent=*/false);
    }
    return 0;
  }

  const std::optional<std::string> url = flags.appBundlePath ? flags.appBundlePath : services.targetedAppURL();
  std::string whyNot = "no application with the identifier " + QVLauncher::targetedAppId() + " is installed";
  bool found = false;
  if (url) {
    if (const auto bundle = QVAppBundle::open(*url, &whyNot)) {
      found = QVSameBundleIdentifier(bundle->identifier, QVLauncher::targetedAppId());
      if (!found) whyNot = *url + " holds \"" + bundle->identifier + "\", not " + QVLauncher::targetedAppId();
    }
  }
  if (!found) {
    const std::string message = std::string("Could not find ") + kApplicationName + " on your computer.";
    err << "Error: " << message << " (" << whyNot << ")\n";
    if (!flags.silent) services.alert("Error", message);
    return 0;
  }

  services.launch(*url, applicationArguments(arguments), flags.wait, flags.silent);
  return 0;
}
