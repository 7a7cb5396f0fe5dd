#include "Ombrel/Classes/Business/ExportManager/QVSharingServices.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <thread>

#include "QVPlatform/Log.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/Places.h"

extern char** environ;

namespace {

std::mutex gPortsMutex;
std::shared_ptr<QVExportDialogPresenter> gDialogPresenter;
std::shared_ptr<QVDesktopLauncher> gLauncher;

std::vector<std::string> splitColonList(const std::string& list) {
  std::vector<std::string> parts;
  std::stringstream stream(list);
  std::string part;
  while (std::getline(stream, part, ':'))
    if (!part.empty()) parts.push_back(part);
  return parts;
}

// The "Exec" line split into arguments: double quotes group, a backslash inside them escapes the
// next character.
std::vector<std::string> splitExecLine(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '\\' && i + 1 < line.size()) {
        word += line[++i];
      } else if (c == '"') {
        quoted = false;
      } else {
        word += c;
      }
    } else if (c == '"') {
      quoted = inWord = true;
    } else if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

}  // namespace

// ---- The process launcher ----

bool QVProcessDesktopLauncher::start(const std::vector<std::string>& arguments,
                                     std::function<void(int status, double seconds)> ended) {
  if (arguments.empty()) return false;
  std::vector<char*> argv;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (failed) {
    QVLogWarning("cannot start %s: %s", arguments[0].c_str(), std::strerror(failed));
    return false;
  }
  // Desktop programs outlive the call; the child is reaped whenever it ends.
  const auto started = std::chrono::steady_clock::now();
  std::thread([pid, started, ended = std::move(ended)] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (ended) ended(status, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  }).detach();
  return true;
}

bool QVProcessDesktopLauncher::launch(const std::vector<std::string>& arguments) { return start(arguments, nullptr); }

void QVProcessDesktopLauncher::launchWatched(const std::vector<std::string>& arguments, std::function<void()> failed) {
  const std::string program = arguments.empty() ? std::string() : arguments[0];
  const bool started = start(arguments, [failed, program](int status, double seconds) {
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (ok || seconds > kFailureWindowSeconds || !failed) return;
    QVLogWarning("%s could not open what it was given (status %d)", program.c_str(),
                 WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    qv::MainExecutor::shared().async(failed);
  });
  if (!started && failed) failed();
}

// ---- Ports ----

void QVSharingServices::setDialogPresenter(std::shared_ptr<QVExportDialogPresenter> presenter) {
  std::lock_guard lock(gPortsMutex);
  gDialogPresenter = std::move(presenter);
}

std::shared_ptr<QVExportDialogPresenter> QVSharingServices::dialogPresenter() {
  std::lock_guard lock(gPortsMutex);
  return gDialogPresenter;
}

void QVSharingServices::setLauncher(std::shared_ptr<QVDesktopLauncher> launcher) {
  std::lock_guard lock(gPortsMutex);
  gLauncher = std::move(launcher);
}

std::shared_ptr<QVDesktopLauncher> QVSharingServices::launcher() {
  std::lock_guard lock(gPortsMutex);
  if (!gLauncher) gLauncher = std::make_shared<QVProcessDesktopLauncher>();
  return gLauncher;
}

bool QVSharingServices::isExportTypeAvailable(uint64_t exportType) {
  return exportType == 0 || exportType == 2 || exportType == 5;
}

// ---- Mail and URLs ----

std::vector<std::string> QVSharingServices::xdgEmailArguments(const QVMailMessage& message) {
  std::vector<std::string> args = {"--utf8"};
  if (!message.subject.empty()) args.insert(args.end(), {"--subject", message.subject});
  if (!message.body.empty()) args.insert(args.end(), {"--body", message.body});
  for (const auto& file : message.attachments) args.insert(args.end(), {"--attach", file});
  args.insert(args.end(), message.recipients.begin(), message.recipients.end());
  return args;
}

namespace {

constexpr uint64_t kMaximumDesktopEntryBytes = uint64_t(1) << 20;

// Launches the command, watched when the caller wants to hear of a failure; true when it started
// (as far as is known at once).
bool launchCommand(const std::vector<std::string>& command, std::function<void()> failed) {
  if (!failed) return QVSharingServices::launcher()->launch(command);
  // A failure to start is told during the call, a later one from the main loop.
  auto inCall = std::make_shared<bool>(true);
  auto failedAtOnce = std::make_shared<bool>(false);
  QVSharingServices::launcher()->launchWatched(command, [failed, inCall, failedAtOnce] {
    if (*inCall) *failedAtOnce = true;
    failed();
  });
  *inCall = false;
  return !*failedAtOnce;
}

}  // namespace

bool QVSharingServices::composeMail(const QVMailMessage& message, std::function<void()> failed) {
  std::vector<std::string> command = {"xdg-email"};
  const auto args = xdgEmailArguments(message);
  command.insert(command.end(), args.begin(), args.end());
  return launchCommand(command, std::move(failed));
}

bool QVSharingServices::openURL(const std::string& url, std::function<void()> failed) {
  if (url.empty()) return false;
  return launchCommand({"xdg-open", url}, std::move(failed));
}

// ---- Desktop entries ----

std::string QVSharingServices::desktopEntryPath(const std::string& applicationID) {
  if (applicationID.empty() || applicationID.find('/') != std::string::npos) return {};
  std::vector<std::string> folders = {qv::places::userApplicationSupportDirectory()};
  const char* dataDirs = std::getenv("XDG_DATA_DIRS");
  const auto system = splitColonList(dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share");
  folders.insert(folders.end(), system.begin(), system.end());
  std::error_code ec;
  for (const auto& folder : folders) {
    const auto entry = std::filesystem::path(folder) / "applications" / (applicationID + ".desktop");
    if (std::filesystem::is_regular_file(entry, ec)) return entry.string();
  }
  return {};
}

std::vector<std::string> QVSharingServices::commandForDesktopEntry(const std::string& entryPath,
                                                                   const std::vector<std::string>& files) {
  // A desktop entry is a few kilobytes; a FIFO or a device at its name is never waited on.
  const std::optional<qv::Bytes> bytes = qv::readFileBytes(entryPath, nullptr, kMaximumDesktopEntryBytes);
  if (!bytes) return {};
  std::istringstream in(std::string(bytes->begin(), bytes->end()));
  std::string line, exec;
  bool inMainGroup = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      inMainGroup = line == "[Desktop Entry]";
      continue;
    }
    if (!inMainGroup) continue;
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals), value = line.substr(equals + 1);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    while (!value.empty() && value.front() == ' ') value.erase(value.begin());
    // A hidden entry stands for a deleted one.
    if (key == "Hidden" && value == "true") return {};
    if (key == "Exec") exec = value;
  }
  std::vector<std::string> command;
  bool tookFiles = false;
  for (const auto& word : splitExecLine(exec)) {
    if (word == "%f" || word == "%u") {
      if (!files.empty()) command.push_back(files.front());
      tookFiles = true;
    } else if (word == "%F" || word == "%U") {
      command.insert(command.end(), files.begin(), files.end());
      tookFiles = true;
    } else {
      std::string expanded;
      for (size_t i = 0; i < word.size(); ++i) {
        if (word[i] != '%' || i + 1 >= word.size()) {
          expanded += word[i];
        } else if (word[++i] == '%') {
          expanded += '%';
        }  // any other field code is dropped
      }
      if (!expanded.empty()) command.push_back(std::move(expanded));
    }
  }
  if (command.empty()) return {};
  if (!tookFiles) command.insert(command.end(), files.begin(), files.end());
  return command;
}

bool QVSharingServices::openFilesWithApplication(const std::string& applicationID,
                                                 const std::vector<std::string>& files) {
  const std::string entry = desktopEntryPath(applicationID);
  if (entry.empty()) return false;
  const auto command = commandForDesktopEntry(entry, files);
  return !command.empty() && launcher()->launch(command);
}
