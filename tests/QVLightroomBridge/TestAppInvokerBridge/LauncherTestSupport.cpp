#include "LauncherTestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <QApplication>

#include "QVLightroomBridge/TestAppInvokerBridge/QVAppBundle.h"
#include "common/OffscreenQtEnvironment.h"

namespace fs = std::filesystem;

namespace {

// The alert's tests need an application: one, on the offscreen platform, before any test runs.
[[maybe_unused]] auto* environment =
    ::testing::AddGlobalTestEnvironment(new solvane::test::OffscreenQtEnvironment<>("launcher_tests"));

void setOrUnset(const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

namespace launcher_test {

ScopedEnvironment::ScopedEnvironment(const std::map<std::string, std::optional<std::string>>& values) {
  for (const auto& [name, value] : values) {
    const char* old = std::getenv(name.c_str());
    saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    setOrUnset(name, value);
  }
}

ScopedEnvironment::~ScopedEnvironment() {
  for (const auto& [name, value] : saved_) setOrUnset(name, value);
}

std::map<std::string, std::optional<std::string>> closedWorld(const fs::path& root) {
  fs::create_directories(root / "data-home");
  fs::create_directories(root / "data-dirs");
  return {{"SOLVANE_BRISKO_BUNDLE", std::nullopt},
          {"XDG_DATA_HOME", (root / "data-home").string()},
          {"XDG_DATA_DIRS", (root / "data-dirs").string()}};
}

void writeManifest(const fs::path& folder, const std::string& identifier, const std::string& executable) {
  fs::create_directories(folder);
  std::ofstream(folder / QVAppBundle::kManifestName)
      << "{\"identifier\": \"" << identifier << "\", \"executable\": \"" << executable << "\"}\n";
}

FakeApplication::FakeApplication(const fs::path& folder) : record_(folder / "record"), gate_(folder / "gate") {
  fs::create_directories(folder);
  ::mkfifo(gate_.c_str(), 0600);
  // The test holds the gate's one writing end (never handed to a child): the fake's read waits
  // until it is closed.
  gateFd_ = ::open(gate_.c_str(), O_RDWR | O_CLOEXEC);
}

FakeApplication::~FakeApplication() { release(); }

std::string FakeApplication::program() { return SOLVANE_LAUNCHER_FAKE_APPLICATION; }

std::map<std::string, std::optional<std::string>> FakeApplication::environment(bool gated) const {
  return {{"FAKE_APP_RECORD", record_.string()},
          {"FAKE_APP_GATE", gated ? std::optional<std::string>(gate_.string()) : std::nullopt}};
}

bool FakeApplication::waitForRecord() const {
  return eventually([&] { return fs::exists(record_) && fs::exists(record_.string() + ".session"); });
}

std::vector<std::string> FakeApplication::arguments() const {
  std::vector<std::string> lines;
  std::stringstream in(readFile(record_));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

pid_t FakeApplication::pid() const {
  std::stringstream in(readFile(record_.string() + ".session"));
  pid_t pid = 0;
  in >> pid;
  return pid;
}

pid_t FakeApplication::sessionId() const {
  std::stringstream in(readFile(record_.string() + ".session"));
  pid_t pid = 0, session = 0;
  in >> pid >> session;
  return session;
}

bool FakeApplication::ended() const { return fs::exists(record_.string() + ".ended"); }

void FakeApplication::release() {
  if (gateFd_ >= 0) ::close(gateFd_);
  gateFd_ = -1;
}

std::optional<int> waitForChild(pid_t pid) {
  std::optional<int> result;
  eventually([&] {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) != pid) return false;
    result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
  });
  return result;
}

bool eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace launcher_test
