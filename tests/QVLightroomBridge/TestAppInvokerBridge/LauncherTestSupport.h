#pragma once
// Shared pieces of the launcher's tests: environment variables set for one test, manifests, and
// the fake application's record and gate.
#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace launcher_test {

// Sets (or, with nullopt, removes) environment variables and puts them back when it goes.
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(const std::map<std::string, std::optional<std::string>>& values);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

// Environment with no way to find an installed application and no desktop entries: the lookup
// override removed, the XDG data folders pointing into `root` (made empty).
std::map<std::string, std::optional<std::string>> closedWorld(const std::filesystem::path& root);

// Writes "<folder>/Solvane.manifest.json"; makes the folder.
void writeManifest(const std::filesystem::path& folder, const std::string& identifier, const std::string& executable);

// The fake application's files for one test: its record, and a FIFO it waits on until released.
class FakeApplication {
 public:
  explicit FakeApplication(const std::filesystem::path& folder);
  ~FakeApplication();  // releases it if still held

  static std::string program();  // the fake's executable
  // FAKE_APP_RECORD and FAKE_APP_GATE for the environment (the gate left out when not `gated`).
  std::map<std::string, std::optional<std::string>> environment(bool gated = true) const;

  // Waits (up to a minute) until it has written its record; false when it never did.
  bool waitForRecord() const;
  std::vector<std::string> arguments() const;  // one a line, as it recorded them
  pid_t pid() const;                           // from its session record
  pid_t sessionId() const;
  bool ended() const;
  // Closes the gate, letting the fake end.
  void release();

 private:
  std::filesystem::path record_, gate_;
  int gateFd_ = -1;
};

// Polls a child until it ends (up to a minute); its exit status, or nullopt while it still runs.
std::optional<int> waitForChild(pid_t pid);
// Polls `done` up to a minute.
bool eventually(const std::function<bool()>& done);

}  // namespace launcher_test
