#include "QVLightroomBridge/TestAppInvokerBridge/QVLauncher.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "QVLightroomBridge/TestAppInvokerBridge/QVAppBundle.h"
#include "QVLightroomBridge/TestAppInvokerBridge/QVDesktopEntry.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

bool holdsTargetedApp(const std::string& folder) {
  const auto bundle = QVAppBundle::open(folder);
  return bundle && QVSameBundleIdentifier(bundle->identifier, QVLauncher::targetedAppId());
}

// posix_spawn's attribute and file-action objects, released on every path.
struct SpawnSetup {
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_t actions;
  SpawnSetup() {
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_init(&actions);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

QVLauncher::QVLauncher(std::ostream& log) : log_(log) {}
QVLauncher::QVLauncher() : QVLauncher(std::cerr) {}

std::string QVLauncher::targetedAppId() { return "com.solvane.brisko"; }

std::optional<std::string> QVLauncher::targetedAppURL() {
  std::error_code ec;
  const fs::path self = fs::canonical("/proc/self/exe", ec);
  return targetedAppURLForLauncherIn(ec ? std::string() : self.parent_path().string());
}

std::optional<std::string> QVLauncher::targetedAppURLForLauncherIn(const std::string& launcherFolder) {
  if (const char* place = std::getenv(kBundleEnvironmentVariable)) {
    if (holdsTargetedApp(place)) return std::string(place);
    return std::nullopt;
  }
  if (!launcherFolder.empty()) {
    const fs::path folder(launcherFolder);
    for (const fs::path& candidate : {folder, (folder.parent_path() / "bin")}) {
      if (holdsTargetedApp(candidate.lexically_normal().string())) return candidate.lexically_normal().string();
    }
  }
  if (const auto entryPath = QVDesktopEntry::pathNamed(targetedAppId()); !entryPath.empty()) {
    if (const auto entry = QVDesktopEntry::read(entryPath)) {
      const std::string program = entry->program();
      if (!program.empty() && holdsTargetedApp(fs::path(program).parent_path().string())) {
        return fs::path(program).parent_path().string();
      }
    }
  }
  return std::nullopt;
}

bool QVLauncher::launchApplicationAtURL(const std::string& url, const std::vector<std::string>& arguments,
                                        bool waitUntilFinish, bool silent) {
  application_ = 0;
  std::string whyNot;
  const auto bundle = QVAppBundle::open(url, &whyNot);
  if (!bundle) {
    log_ << "Error: Could not launch application: " << whyNot << "\n";
    return false;
  }

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(bundle->executablePath.c_str()));
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  SpawnSetup setup;
  // The child starts with default signal handling and nothing blocked, whatever the host gave us.
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&setup.attributes, &all);
  posix_spawnattr_setsigmask(&setup.attributes, &none);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  if (!silent) {
    flags |= POSIX_SPAWN_SETSID;
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  posix_spawnattr_setflags(&setup.attributes, flags);

  pid_t pid = 0;
  const int error = posix_spawn(&pid, argv[0], &setup.actions, &setup.attributes, argv.data(), environ);
  if (error != 0) {
    log_ << "Error: Could not launch application: " << bundle->executablePath << ": " << std::strerror(error) << "\n";
    return false;
  }
  application_ = pid;
  if (waitUntilFinish) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  return true;
}
