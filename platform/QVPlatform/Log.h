#pragma once
// The logger: levelled lines into a log file (by default "Logs/Log.log" in the app-group
// container) and, for errors, also to stderr.
//
// Configuration: the bundle resource "QVLoggerConfig.plist" when present, a dictionary with
//   "Level"      "error" | "warning" | "info" | "debug" (or 0...3); the most verbose level logged
//   "TraceMask"  integer; which QVLog(mask, ...) trace categories are logged (default: all)
//   "Enabled"    boolean (default YES)
// Without it: level info, all trace categories, enabled.
//
// The log file is one of the program's own: never written through a link or into a FIFO at its
// name, and bounded (two files of at most kDefaultMaximumBytes each, see setMaximumBytes).
//
// Thread-safe: any thread may log; each line is written whole.
#include <cstdarg>
#include <cstdint>
#include <mutex>
#include <string>

namespace qv {

enum class LogLevel : int { Error = 0, Warning = 1, Info = 2, Debug = 3 };

class QVLogger {
 public:
  static QVLogger& shared();

  // Reads a configuration property list (see above); false when it cannot be read.
  bool setConfigPath(const std::string& path);
  // Where lines go; the folder is created on the first line.
  void setOutputPath(const std::string& path);
  std::string outputPath() const;
  void setEnabled(bool enabled);
  bool isEnabled() const;
  void setLevel(LogLevel level);
  LogLevel level() const;
  void setTraceMask(uint64_t mask);
  // Copies error lines to stderr (default YES).
  void setErrorsToStderr(bool on);
  // The most a log file grows to: past it, the file becomes "<name>.1" (replacing the one before)
  // and a new one is begun, when the log is opened and while lines are written. A file found far
  // past it keeps only its newest lines (the bound's worth) as "<name>.1".
  static constexpr uint64_t kDefaultMaximumBytes = uint64_t(8) << 20;
  void setMaximumBytes(uint64_t bytes);

  bool shouldLogLevel(LogLevel level) const;
  bool shouldLogTrace(uint64_t mask) const;

  // One line: "<time> <E|W|I|D> <message>".
  void log(LogLevel level, const std::string& message);
  void logf(LogLevel level, const char* file, int line, const char* function, const char* format, ...)
      __attribute__((format(printf, 6, 7)));
  void logv(LogLevel level, const char* file, int line, const char* function, const char* format, va_list args);
  // A trace line of a category mask (the levels 1, 2, 8, 16, 64, 256... of the callers).
  void tracef(uint64_t mask, const char* file, int line, const char* function, const char* format, ...)
      __attribute__((format(printf, 6, 7)));
  // The failure line "<file name>:<line> <function>: <call>" at error level.
  void logFailure(const char* file, int line, const char* function, const std::string& callText);

 private:
  QVLogger();
  void writeLine(LogLevel level, const std::string& text);
  // With the mutex held.
  void openOutput();
  void rotateOutput();
  static void keepNewestLines(const std::string& path, uint64_t bytes);
  // How far past its bound a rotated log may be before its older file is cut to the bound.
  static constexpr uint64_t kRotationSlack = uint64_t(64) << 10;

  mutable std::mutex mutex_;
  std::string outputPath_;
  FILE* file_ = nullptr;
  uint64_t outputBytes_ = 0;
  uint64_t maximumBytes_ = kDefaultMaximumBytes;
  bool openRefused_ = false;
  bool enabled_ = true;
  bool errorsToStderr_ = true;
  LogLevel level_ = LogLevel::Info;
  uint64_t traceMask_ = ~uint64_t(0);
};

// The file name of a source path (what the failure prefix shows).
const char* logFileName(const char* path);

}  // namespace qv

#define QVLogError(...) ::qv::QVLogger::shared().logf(::qv::LogLevel::Error, __FILE__, __LINE__, __func__, __VA_ARGS__)
#define QVLogWarning(...) \
  ::qv::QVLogger::shared().logf(::qv::LogLevel::Warning, __FILE__, __LINE__, __func__, __VA_ARGS__)
#define QVLogInfo(...) ::qv::QVLogger::shared().logf(::qv::LogLevel::Info, __FILE__, __LINE__, __func__, __VA_ARGS__)
#define QVLogDebug(...) ::qv::QVLogger::shared().logf(::qv::LogLevel::Debug, __FILE__, __LINE__, __func__, __VA_ARGS__)
// A trace line of a category: QVLog(64, "Singleton created %s", name).
#define QVLog(mask, ...) ::qv::QVLogger::shared().tracef((mask), __FILE__, __LINE__, __func__, __VA_ARGS__)
// A failed call: QV_LOG_FAILURE("[NSData dataWithContentsOfFile:" + path + "] == nil") logs
// "Loader.cpp:42 load: [NSData dataWithContentsOfFile:/x] == nil".
#define QV_LOG_FAILURE(callText) ::qv::QVLogger::shared().logFailure(__FILE__, __LINE__, __func__, (callText))
