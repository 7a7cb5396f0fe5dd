#pragma once
// Finds the installed application and starts it. No Qt.
//
// Lookup of the application by its identifier (`targetedAppURL`), first that answers:
//  1. $SOLVANE_BRISKO_BUNDLE, a folder holding the manifest; when set it is the only place looked at
//     (tests point it at a manifest of their own, or at an empty folder for "not installed").
//  2. The launcher's own install prefix: its own folder, then "../bin" beside it.
//  3. The desktop entry named after the identifier in the XDG data folders: the folder of the
//     program its "Exec" starts.
// A place counts only when its manifest names the identifier (compared without regard to case).
//
// Launching (`launchApplicationAtURL`) uses posix_spawn. A normal launch starts the program in a
// session of its own with its standard streams on /dev/null, so it outlives the launcher and never
// holds a pipe of the host open; a silent launch starts the executable as a plain child that
// shares the launcher's streams. Waiting is waitpid, for either kind.
#include <sys/types.h>

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

class QVLauncher {
 public:
  static constexpr const char* kBundleEnvironmentVariable = "SOLVANE_BRISKO_BUNDLE";

  // Failures are written to `log` (standard error by default).
  explicit QVLauncher(std::ostream& log);
  QVLauncher();

  static std::string targetedAppId();  // "com.solvane.brisko"
  // The folder of the installed application, nullopt when none is found.
  static std::optional<std::string> targetedAppURL();
  // The same lookup as if the launcher were installed in `launcherFolder`.
  static std::optional<std::string> targetedAppURLForLauncherIn(const std::string& launcherFolder);

  // Starts the executable of the bundle at `url` with the arguments (the executable's path becomes
  // the program name). With `waitUntilFinish`, returns once it has ended. False, with a line on the
  // log and no wait, when the bundle has no manifest or the program cannot be started.
  bool launchApplicationAtURL(const std::string& url, const std::vector<std::string>& arguments, bool waitUntilFinish,
                              bool silent);

  // The process of the last successful launch (0 before one, or after a failed one).
  pid_t application() const { return application_; }

 private:
  std::ostream& log_;
  pid_t application_ = 0;
};
