#include "Ombrel/Classes/Business/ErrorTracker/QVCrashCapture.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <sstream>

#include "QVPlatform/Log.h"
#include "QVPlatform/OwnFiles.h"

namespace {

// The note format, one field per line:
//   QVCrashNote
//   code <decimal>
//   reason <text>
//   app <text> / os <text> / location <decimal> / session <text>
//   stack
//   <one call-stack line per line>
//   end
constexpr const char kHeader[] = "QVCrashNote\n";
constexpr size_t kTextSize = 1024;
constexpr int kMaxFrames = 64;

struct PreparedSignal {
  int number = 0;
  char reason[256] = {};
};

int gNoteFd = -1;
std::atomic<int64_t> gCrashCode{5};
std::atomic<bool> gCrashing{false};
std::atomic<bool> gInstalled{false};
char gEnvironment[kTextSize] = {};
PreparedSignal gSignals[5];
std::terminate_handler gPreviousTerminate = nullptr;
void* gAltStack = nullptr;

// Only async-signal-safe calls below.
void writeText(const char* text, size_t length) {
  while (length > 0) {
    const ssize_t n = ::write(gNoteFd, text, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text += n;
    length -= size_t(n);
  }
}

void writeText(const char* text) { writeText(text, strlen(text)); }

void writeNumber(int64_t value) {
  char digits[24];
  size_t n = 0;
  const bool negative = value < 0;
  uint64_t v = negative ? uint64_t(-value) : uint64_t(value);
  do {
    digits[n++] = char('0' + v % 10);
    v /= 10;
  } while (v && n < sizeof digits);
  if (negative) writeText("-", 1);
  while (n) writeText(&digits[--n], 1);
}

void writeNote(const char* reason, size_t reasonLength) {
  writeText(kHeader);
  writeText("code ");
  writeNumber(gCrashCode.load());
  writeText("\nreason ");
  writeText(reason, reasonLength);
  writeText("\n");
  writeText(gEnvironment);
  writeText("stack\n");
  void* frames[kMaxFrames];
  const int count = backtrace(frames, kMaxFrames);
  // The first frame is the writer itself.
  if (count > 1) backtrace_symbols_fd(frames + 1, count - 1, gNoteFd);
  writeText("end\n");
  fsync(gNoteFd);
}

void restoreDefaults() {
  for (const PreparedSignal& s : gSignals) {
    if (s.number) ::signal(s.number, SIG_DFL);
  }
}

void onSignal(int number) {
  if (!gCrashing.exchange(true)) {
    for (const PreparedSignal& s : gSignals) {
      if (s.number == number) writeNote(s.reason, strlen(s.reason));
    }
  }
  restoreDefaults();
  raise(number);
}

// Removes line breaks so the reason stays one line of the note.
std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\r', ' ');
  return text;
}

[[noreturn]] void onTerminate() {
  if (!gCrashing.exchange(true)) {
    std::string reason = "Exception Crash: ";
    if (std::exception_ptr current = std::current_exception()) {
      try {
        std::rethrow_exception(current);
      } catch (const std::exception& e) {
        reason += e.what();
      } catch (...) {
        reason += "unknown exception";
      }
    } else {
      reason += "terminate called without an active exception";
    }
    reason = oneLine(reason);
    writeNote(reason.data(), reason.size());
  }
  restoreDefaults();
  std::set_terminate(gPreviousTerminate);
  std::abort();
}

std::string signalShortName(int number) {
  const char* abbreviation = sigabbrev_np(number);
  std::string name = abbreviation ? abbreviation : std::to_string(number);
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
  return name;
}

}  // namespace

const std::vector<int>& QVCrashCapture::signals() {
  static const std::vector<int> list = {SIGABRT, SIGILL, SIGSEGV, SIGFPE, SIGBUS};
  return list;
}

std::string QVCrashCapture::signalReason(int number) {
  const char* description = sigdescr_np(number);
  return "Kernel Crash: " + std::string(description ? description : "Unknown signal") +
         ", Signal: " + signalShortName(number);
}

void QVCrashCapture::setCrashCode(int64_t code) { gCrashCode = code; }

bool QVCrashCapture::isInstalled() { return gInstalled; }

bool QVCrashCapture::install(const std::string& notePath, const std::string& appVersion, const std::string& OSVersion,
                             uint64_t locationType, const std::string& sessionID) {
  uninstall();
  // Never through a link at the note's name, never waiting on a FIFO there.
  const int fd = qv::openOwnFile(notePath, O_WRONLY | O_CREAT | O_APPEND);
  if (fd < 0) return false;
  gNoteFd = fd;
  std::snprintf(gEnvironment, sizeof gEnvironment, "app %s\nos %s\nlocation %llu\nsession %s\n",
                oneLine(appVersion).c_str(), oneLine(OSVersion).c_str(), static_cast<unsigned long long>(locationType),
                oneLine(sessionID).c_str());
  // backtrace() loads its unwinder on first use, which allocates: do that now, not in a crash.
  void* warm[4];
  backtrace(warm, 4);
  if (!gAltStack) {
    const size_t size = std::max<size_t>(SIGSTKSZ, 64 * 1024);
    gAltStack = std::malloc(size);
    stack_t stack{};
    stack.ss_sp = gAltStack;
    stack.ss_size = size;
    sigaltstack(&stack, nullptr);
  }
  size_t i = 0;
  for (int number : signals()) {
    gSignals[i].number = number;
    std::snprintf(gSignals[i].reason, sizeof gSignals[i].reason, "%s", signalReason(number).c_str());
    ++i;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_ONSTACK;
    sigaction(number, &action, nullptr);
  }
  gCrashing = false;
  gPreviousTerminate = std::set_terminate(onTerminate);
  gInstalled = true;
  return true;
}

void QVCrashCapture::uninstall() {
  if (!gInstalled.exchange(false)) return;
  restoreDefaults();
  std::set_terminate(gPreviousTerminate);
  gPreviousTerminate = nullptr;
  if (gNoteFd >= 0) ::close(gNoteFd);
  gNoteFd = -1;
}

std::vector<QVCrashNote> QVCrashCapture::takeCrashNotes(const std::string& notePath, size_t maximum) {
  std::deque<QVCrashNote> notes;
  auto keep = [&](const QVCrashNote& note) {
    if (maximum == 0) return;
    if (notes.size() == maximum) notes.pop_front();
    notes.push_back(note);
  };
  // Only a regular file at the name is read and emptied (a link, a FIFO or a device there is
  // left alone), and at most its last kMaximumNoteBytes: the newest notes.
  std::string why;
  const int fd = qv::openOwnFile(notePath, O_RDWR, &why);
  if (fd < 0) {
    if (errno != ENOENT) QVLogWarning("Crash notes not read: %s", why.c_str());
    return {};
  }
  struct stat info {};
  const uint64_t size = ::fstat(fd, &info) == 0 ? uint64_t(info.st_size) : 0;
  const uint64_t start = size > kMaximumNoteBytes ? size - kMaximumNoteBytes : 0;
  std::string text(size_t(size - start), '\0');
  size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::pread(fd, text.data() + got, text.size() - got, off_t(start + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += size_t(n);
  }
  text.resize(got);
  std::istringstream file(text);
  std::string line;
  QVCrashNote note;
  bool inNote = false, inStack = false;
  auto value = [&line](const char* key) { return line.substr(strlen(key) + 1); };
  while (std::getline(file, line)) {
    if (line + "\n" == kHeader) {
      note = QVCrashNote();
      inNote = true;
      inStack = false;
    } else if (!inNote) {
      continue;
    } else if (inStack) {
      if (line == "end") {
        keep(note);
        inNote = inStack = false;
      } else {
        note.callStack.push_back(line);
      }
    } else if (line == "stack") {
      inStack = true;
    } else if (line.rfind("code ", 0) == 0) {
      note.code = std::strtoll(value("code").c_str(), nullptr, 10);
    } else if (line.rfind("reason ", 0) == 0) {
      note.reason = value("reason");
    } else if (line.rfind("app ", 0) == 0) {
      note.appVersion = value("app");
    } else if (line.rfind("os ", 0) == 0) {
      note.OSVersion = value("os");
    } else if (line.rfind("location ", 0) == 0) {
      note.locationType = std::strtoull(value("location").c_str(), nullptr, 10);
    } else if (line.rfind("session ", 0) == 0) {
      note.sessionID = value("session");
    }
  }
  // A note cut short by the dying process still tells what happened.
  if (inNote && !note.reason.empty()) keep(note);
  // Emptied, not removed: a process that installed the handlers keeps writing to the same file.
  if (::ftruncate(fd, 0) != 0) QVLogWarning("Crash notes not emptied: %s: %s", notePath.c_str(), std::strerror(errno));
  ::close(fd);
  return {std::make_move_iterator(notes.begin()), std::make_move_iterator(notes.end())};
}
