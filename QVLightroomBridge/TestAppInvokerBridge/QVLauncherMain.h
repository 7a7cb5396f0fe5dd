#pragma once
// What the launcher does with its command line, without Qt and without starting anything itself:
// the launch, the alert and the lookup are handed in, so tests run it headless.
//
//   SolvaneBriskoBridge [-QVVersion] [-QVWait] [-QVExportPresets] [-QVAppBundlePath <folder>] [argument...]
//
// Flags are compared exactly. "-QVVersion" prints "1.0.11" (no line end) and starts nothing. When
// every argument is an existing file, the application is started once per file. Otherwise the
// application (the "-QVAppBundlePath" folder, else the installed one) is checked and started with
// the arguments minus "-QVWait" and "-QVAppBundlePath <folder>", plus "-QVLightroomPluginOwner" and
// "-QVPluginMode" last. The status is 0 on every path; failures go to the error stream.
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

struct QVLauncherFlags {
  bool wait = false;                         // "-QVWait"
  bool silent = false;                       // "-QVExportPresets"
  bool version = false;                      // "-QVVersion"
  std::optional<std::string> appBundlePath;  // the value after the last "-QVAppBundlePath" that has one
};

struct QVLauncherServices {
  // Starts the application of a bundle folder; false when it could not (the launch says why).
  std::function<bool(const std::string& bundlePath, const std::vector<std::string>& arguments, bool wait, bool silent)>
      launch;
  // Shows the alert and returns once the user has closed it.
  std::function<void(const std::string& title, const std::string& message)> alert;
  // The installed application's folder, nullopt when none.
  std::function<std::optional<std::string>()> targetedAppURL;
  std::ostream* out = nullptr;  // the version text
  std::ostream* err = nullptr;  // failures
};

namespace QVLauncherCommandLine {
inline constexpr const char* kVersion = "1.0.11";
inline constexpr const char* kApplicationName = "Solvane Brisko";
// `arguments` are those after the program path.
QVLauncherFlags scanFlags(const std::vector<std::string>& arguments);
// The application's arguments: all but "-QVWait" and "-QVAppBundlePath" with its value, in order,
// then "-QVLightroomPluginOwner" and "-QVPluginMode".
std::vector<std::string> applicationArguments(const std::vector<std::string>& arguments);
// At least one argument, and each an existing file that is not a folder.
bool isFileList(const std::vector<std::string>& arguments);
}  // namespace QVLauncherCommandLine

// The launcher's whole run; `arguments` are those after the program path. Always 0.
int QVLauncherMain(const std::vector<std::string>& arguments, const QVLauncherServices& services);
