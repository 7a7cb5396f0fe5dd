#pragma once
// Catches fatal signals (SIGABRT, SIGILL, SIGSEGV, SIGFPE, SIGBUS) and uncaught C++ exceptions
// (through std::terminate) and leaves a crash note before the process dies.
//
// A crashing process can do very little safely: the handlers run on an alternate signal stack
// (a stack overflow still gets one), and write with plain write() calls into a file opened when
// the handlers were installed, from texts prepared then; they allocate nothing and take no lock.
// After writing they put back the default actions and send the same signal again, so the
// process ends as it would have without them (an uncaught exception ends in SIGABRT).
//
// The note becomes an event record when the event tracker next sets up its logs
// (`takeCrashNotes`). Process-wide; install and uninstall from one thread at a time.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct QVCrashNote {
  int64_t code = 0;
  std::string reason;
  std::vector<std::string> callStack;
  std::string appVersion;
  std::string OSVersion;
  uint64_t locationType = 0;
  std::string sessionID;
};

class QVCrashCapture {
 public:
  // The signals caught, in the order their handlers are installed.
  static const std::vector<int>& signals();

  // Installs the handlers, writing notes to `notePath`, with the run's environment fields.
  // False when the note file cannot be opened (nothing is installed then).
  static bool install(const std::string& notePath, const std::string& appVersion, const std::string& OSVersion,
                      uint64_t locationType, const std::string& sessionID);
  // Puts back the default signal actions and the previous terminate handler.
  static void uninstall();
  static bool isInstalled();

  // The crash code a crash now would carry (3 once the application has launched, 5 before).
  static void setCrashCode(int64_t code);

  // "Kernel Crash: <description>, Signal: <SHORT NAME>" of a signal.
  static std::string signalReason(int signal);
  // Reads the notes in a file (in one pass) and empties it; only the newest `maximum` are kept, and
  // of a longer file only its last kMaximumNoteBytes are read. Anything but a regular file at the
  // name (a link, a FIFO) is neither read nor emptied.
  static constexpr size_t kMaximumCrashNotes = 100;
  static constexpr uint64_t kMaximumNoteBytes = uint64_t(1) << 20;
  static std::vector<QVCrashNote> takeCrashNotes(const std::string& notePath, size_t maximum = kMaximumCrashNotes);
};
