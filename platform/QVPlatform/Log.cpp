#include "QVPlatform/Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

#include "QVPlatform/Bundle.h"
#include "QVPlatform/OwnFiles.h"
#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"
#include "rova/codecs/SafeFile.h"

namespace qv {

namespace {

const char kLevelLetters[] = {'E', 'W', 'I', 'D'};

std::string vformat(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  char small[512];
  int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return format;
  if (size_t(n) < sizeof small) return std::string(small, size_t(n));
  std::vector<char> big(size_t(n) + 1);
  std::vsnprintf(big.data(), big.size(), format, args);
  return std::string(big.data(), size_t(n));
}

std::string timestamp() {
  timeval tv;
  gettimeofday(&tv, nullptr);
  tm t;
  localtime_r(&tv.tv_sec, &t);
  char buf[40];
  size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &t);
  std::snprintf(buf + n, sizeof buf - n, ".%03d", int(tv.tv_usec / 1000));
  return buf;
}

std::string prefix(const char* file, int line, const char* function) {
  return std::string(logFileName(file)) + ":" + std::to_string(line) + " " + (function ? function : "") + ": ";
}

}  // namespace

const char* logFileName(const char* path) {
  if (!path) return "";
  const char* slash = std::strrchr(path, '/');
  return slash ? slash + 1 : path;
}

QVLogger& QVLogger::shared() {
  static QVLogger* logger = new QVLogger();  // never destroyed: threads may log during exit
  return *logger;
}

QVLogger::QVLogger() {
  outputPath_ = (std::filesystem::path(places::groupContainerDirectory()) / "Logs" / "Log.log").string();
  std::string config = Bundle::mainBundle().pathForResource("QVLoggerConfig", "plist");
  if (!config.empty()) setConfigPath(config);
}

bool QVLogger::setConfigPath(const std::string& path) {
  Value config = PropertyList::readFile(path, nullptr);
  if (!config.isDictionary()) return false;
  std::lock_guard lock(mutex_);
  if (const Value* level = config.find("Level")) {
    if (level->isString()) {
      const std::string& s = *level->string();
      if (s == "error")
        level_ = LogLevel::Error;
      else if (s == "warning")
        level_ = LogLevel::Warning;
      else if (s == "info")
        level_ = LogLevel::Info;
      else if (s == "debug")
        level_ = LogLevel::Debug;
    } else if (level->isNumber()) {
      level_ = LogLevel(std::clamp<int64_t>(level->asInt(), 0, 3));
    }
  }
  if (const Value* mask = config.find("TraceMask")) traceMask_ = uint64_t(mask->asInt(-1));
  if (const Value* enabled = config.find("Enabled")) enabled_ = enabled->asBool(true);
  return true;
}

void QVLogger::setOutputPath(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (path == outputPath_) return;
  if (file_) std::fclose(file_);
  file_ = nullptr;
  openRefused_ = false;
  outputPath_ = path;
}

std::string QVLogger::outputPath() const {
  std::lock_guard lock(mutex_);
  return outputPath_;
}

void QVLogger::setEnabled(bool enabled) {
  std::lock_guard lock(mutex_);
  enabled_ = enabled;
}

bool QVLogger::isEnabled() const {
  std::lock_guard lock(mutex_);
  return enabled_;
}

void QVLogger::setLevel(LogLevel level) {
  std::lock_guard lock(mutex_);
  level_ = level;
}

LogLevel QVLogger::level() const {
  std::lock_guard lock(mutex_);
  return level_;
}

void QVLogger::setTraceMask(uint64_t mask) {
  std::lock_guard lock(mutex_);
  traceMask_ = mask;
}

void QVLogger::setErrorsToStderr(bool on) {
  std::lock_guard lock(mutex_);
  errorsToStderr_ = on;
}

bool QVLogger::shouldLogLevel(LogLevel level) const {
  std::lock_guard lock(mutex_);
  return enabled_ && int(level) <= int(level_);
}

bool QVLogger::shouldLogTrace(uint64_t mask) const {
  std::lock_guard lock(mutex_);
  return enabled_ && int(LogLevel::Info) <= int(level_) && (traceMask_ & mask) != 0;
}

void QVLogger::writeLine(LogLevel level, const std::string& text) {
  std::string line = timestamp() + " " + kLevelLetters[int(level)] + " " + text + "\n";
  std::lock_guard lock(mutex_);
  if (!enabled_) return;
  if (level == LogLevel::Error && errorsToStderr_) std::fputs(line.c_str(), stderr);
  if (!file_ && !outputPath_.empty() && !openRefused_) openOutput();
  if (file_) {
    std::fputs(line.c_str(), file_);
    std::fflush(file_);
    outputBytes_ += line.size();
    if (outputBytes_ > maximumBytes_) rotateOutput();
  }
}

void QVLogger::openOutput() {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(outputPath_).parent_path(), ec);
  std::string why;
  const int fd = openOwnFile(outputPath_, O_WRONLY | O_CREAT | O_APPEND, &why);
  if (fd < 0) {
    // A link, a FIFO or a folder at the log's name is not ours to write through: no log then,
    // said once.
    openRefused_ = true;
    std::fprintf(stderr, "The log is not written: %s\n", why.c_str());
    return;
  }
  struct stat info {};
  outputBytes_ = ::fstat(fd, &info) == 0 ? uint64_t(info.st_size) : 0;
  file_ = ::fdopen(fd, "a");
  if (!file_) {
    ::close(fd);
    return;
  }
  // A log left longer by an earlier run (or one that bounded it no longer) is put aside first.
  if (outputBytes_ > maximumBytes_) rotateOutput();
}

// The log keeps at most two files of its bound: the current one and, as "<name>.1", the one
// before it, which a rotation replaces. Should the rename fail, the log starts again empty rather
// than grow.
void QVLogger::rotateOutput() {
  std::fclose(file_);
  file_ = nullptr;
  const uint64_t rotated = outputBytes_;
  outputBytes_ = 0;
  const std::string older = outputPath_ + ".1";
  const bool moved = ::rename(outputPath_.c_str(), older.c_str()) == 0;
  // A log far past the bound (left by a version that never bounded it) keeps only its newest lines.
  if (moved && rotated > maximumBytes_ + kRotationSlack) keepNewestLines(older, maximumBytes_);
  const int fd = openOwnFile(outputPath_, O_WRONLY | O_CREAT | O_APPEND | (moved ? 0 : O_TRUNC));
  if (fd < 0) {
    openRefused_ = true;
    return;
  }
  file_ = ::fdopen(fd, "a");
  if (!file_) ::close(fd);
}

// The last `bytes` of the file (from the first whole line in them) are written in its place.
void QVLogger::keepNewestLines(const std::string& path, uint64_t bytes) {
  rova::codecs::ReadableFile file;
  if (!file.open(path, nullptr, true) || file.size() <= bytes) return;
  std::string tail(size_t(bytes), '\0');
  if (!file.readAt(file.size() - bytes, tail.data(), tail.size(), nullptr)) return;
  const size_t lineStart = tail.find('\n');
  if (lineStart != std::string::npos) tail.erase(0, lineStart + 1);
  rova::codecs::writeFileSafely(path, tail.data(), tail.size(), nullptr, {.sync = false});
}

void QVLogger::setMaximumBytes(uint64_t bytes) {
  std::lock_guard lock(mutex_);
  maximumBytes_ = std::max<uint64_t>(bytes, 1);
}

void QVLogger::log(LogLevel level, const std::string& message) {
  if (shouldLogLevel(level)) writeLine(level, message);
}

void QVLogger::logv(LogLevel level, const char* file, int line, const char* function, const char* format,
                    va_list args) {
  if (!shouldLogLevel(level)) return;
  writeLine(level, prefix(file, line, function) + vformat(format, args));
}

void QVLogger::logf(LogLevel level, const char* file, int line, const char* function, const char* format, ...) {
  va_list args;
  va_start(args, format);
  logv(level, file, line, function, format, args);
  va_end(args);
}

void QVLogger::tracef(uint64_t mask, const char* file, int line, const char* function, const char* format, ...) {
  if (!shouldLogTrace(mask)) return;
  va_list args;
  va_start(args, format);
  std::string text = prefix(file, line, function) + "[" + std::to_string(mask) + "] " + vformat(format, args);
  va_end(args);
  writeLine(LogLevel::Info, text);
}

void QVLogger::logFailure(const char* file, int line, const char* function, const std::string& callText) {
  if (!shouldLogLevel(LogLevel::Error)) return;
  writeLine(LogLevel::Error, prefix(file, line, function) + callText);
}

}  // namespace qv
