#include "rova/codecs/SafeFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <filesystem>

namespace rova::codecs {

namespace {

std::string folderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string randomSuffix() {
  uint64_t r = 0;
  if (getrandom(&r, sizeof r, GRND_NONBLOCK) != ssize_t(sizeof r)) {
    static std::atomic<uint64_t> counter{0};
    r = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^ (uint64_t(getpid()) << 32) ^
        counter.fetch_add(0x9E3779B97F4A7C15ull);
  }
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(r));
  return buf;
}

// A hidden name in the target's folder that no other writer picks: ".<name>.<random>.tmp", the
// name cut so the whole stays within NAME_MAX (255) with room for the dots and the suffix. It is
// used relative to the folder, so a target path near PATH_MAX still has one.
std::string temporaryName(const std::string& base) {
  std::string kept = base.substr(0, 200);
  // Never cut inside a UTF-8 character.
  while (!kept.empty() && kept.size() < base.size() && (static_cast<unsigned char>(base[kept.size()]) & 0xC0) == 0x80)
    kept.pop_back();
  return "." + kept + "." + randomSuffix() + ".tmp";
}

// Moves `from` to `to` in one folder without replacing anything there: renameat2's no-replace
// flag, or, where the file system lacks it, a hard link (which never replaces) and an unlink.
int renameNoReplace(int dir, const char* from, const char* to) {
  if (::renameat2(dir, from, dir, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
  if (::linkat(dir, from, dir, to, 0) != 0) return -1;
  ::unlinkat(dir, from, 0);
  return 0;
}

bool procFdUsable() {
  static const bool usable = ::access("/proc/self/fd", X_OK) == 0;
  return usable;
}

// Keeps errno for callers that turn it into an error code.
bool failWith(std::string* error, const std::string& path, const std::string& why) {
  const int saved = errno;
  if (error) *error = "cannot write " + path + ": " + why;
  errno = saved;
  return false;
}

bool failRead(std::string* error, const std::string& path, const std::string& why) {
  const int saved = errno;
  if (error) *error = why + ": " + path;
  errno = saved;
  return false;
}

}  // namespace

bool checkWritable(const std::string& path, std::string* error, bool createFolder) {
  if (path.empty() || path.back() == '/') return failWith(error, path, "no file name");
  const std::string folder = folderOf(path);
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) {
    if (errno == ENOENT && createFolder) {
      std::error_code ec;
      std::filesystem::create_directories(folder, ec);
      if (ec) return failWith(error, path, "cannot create the folder " + folder + ": " + ec.message());
      if (::stat(folder.c_str(), &st) != 0) return failWith(error, path, "cannot create the folder " + folder);
    } else {
      return failWith(error, path, errno == ENOENT ? "the folder " + folder + " does not exist" : std::strerror(errno));
    }
  }
  if (!S_ISDIR(st.st_mode)) return failWith(error, path, folder + " is not a folder");
  if (::access(folder.c_str(), W_OK | X_OK) != 0)
    return failWith(error, path, "the folder " + folder + " is not writable (" + std::strerror(errno) + ")");
  if (::lstat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return failWith(error, path, "a folder has that name");
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return failWith(error, path, "not a regular file");
  } else if (errno != ENOENT) {
    return failWith(error, path, std::strerror(errno));
  }
  return true;
}

bool writeFileSafely(const std::string& path, const std::function<bool(FILE*, std::string*)>& write, std::string* error,
                     const SafeWriteOptions& options) {
  if (!checkWritable(path, error, options.createFolder)) return false;
  const std::string folder = folderOf(path), base = baseNameOf(path);

  struct stat target {};
  const bool replacing = ::lstat(path.c_str(), &target) == 0 && S_ISREG(target.st_mode);
  // A new file gets the caller's mode (less the umask) at creation; a replaced file gets the old
  // file's mode once written, so the temporary file is private until then.
  const mode_t createMode = replacing ? 0600 : options.newFileMode;

  // Every name below is relative to the folder, which is opened once.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return failWith(error, path, std::strerror(errno));
  struct DirCloser {
    int fd;
    ~DirCloser() { ::close(fd); }
  } dirCloser{dir};

  std::string tempName;  // empty while the file has no name (O_TMPFILE)
  int fd = -1;
  if (options.unnamedTemporary && procFdUsable()) fd = ::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, createMode);
  for (int attempt = 0; fd < 0 && attempt < 64; ++attempt) {
    tempName = temporaryName(base);
    fd = ::openat(dir, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, createMode);
    if (fd < 0 && errno != EEXIST) return failWith(error, path, std::strerror(errno));
  }
  if (fd < 0) return failWith(error, path, "no free temporary name");

  FILE* file = ::fdopen(fd, "wb");
  auto abandon = [&](const std::string& why) {
    if (file)
      std::fclose(file);
    else
      ::close(fd);
    if (!tempName.empty()) ::unlinkat(dir, tempName.c_str(), 0);
    return failWith(error, path, why);
  };
  if (!file) return abandon(std::strerror(errno));

  std::string why;
  bool written = false;
  try {
    written = write(file, &why);
  } catch (const std::exception& e) {
    why = e.what();
  } catch (...) {
    why = "unexpected failure";
  }
  if (!written) return abandon(why.empty() ? "the writer failed" : why);
  if (std::fflush(file) != 0 || std::ferror(file)) return abandon(std::strerror(errno ? errno : EIO));
  if (options.sync && ::fsync(fd) != 0) return abandon(std::strerror(errno));
  if (replacing) {
    // The owner first: changing it may clear set-id bits that the mode then restores.
    if (::fchown(fd, target.st_uid, target.st_gid) != 0) { /* only root may give files away */
    }
    if (::fchmod(fd, target.st_mode & 07777) != 0) return abandon(std::strerror(errno));
  }
  if (tempName.empty()) {
    // Give the unnamed file a name beside the target; a name is taken exclusively (linkat never
    // replaces), and only for the moment before the rename.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; tempName.empty() && attempt < 64; ++attempt) {
      std::string name = temporaryName(base);
      if (::linkat(AT_FDCWD, self.c_str(), dir, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        tempName = std::move(name);
      else if (errno != EEXIST)
        return abandon(std::strerror(errno));
    }
    if (tempName.empty()) return abandon("no free temporary name");
  }
  const int closed = std::fclose(file);
  file = nullptr;
  fd = -1;
  if (closed != 0) {
    const int e = errno;
    ::unlinkat(dir, tempName.c_str(), 0);
    return failWith(error, path, std::strerror(e));
  }
  const int moved = options.replace ? ::renameat(dir, tempName.c_str(), dir, base.c_str())
                                    : renameNoReplace(dir, tempName.c_str(), base.c_str());
  if (moved != 0) {
    const int e = errno;
    ::unlinkat(dir, tempName.c_str(), 0);
    errno = e;
    return failWith(error, path, e == EEXIST ? "a file with that name exists already" : std::strerror(e));
  }
  if (options.sync) ::fsync(dir);
  return true;
}

bool writeFileSafely(const std::string& path, const void* data, size_t size, std::string* error,
                     const SafeWriteOptions& options) {
  return writeFileSafely(
      path,
      [&](FILE* f, std::string* why) {
        if (size > 0 && std::fwrite(data, 1, size, f) != size) {
          *why = std::strerror(errno ? errno : EIO);
          return false;
        }
        return true;
      },
      error, options);
}

bool moveWithoutReplacing(const std::string& from, const std::string& to, std::string* error) {
  if (renameNoReplace(AT_FDCWD, from.c_str(), to.c_str()) == 0) return true;
  return failWith(error, to, errno == EEXIST ? "a file with that name exists already" : std::strerror(errno));
}

ReadableFile::~ReadableFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool ReadableFile::open(const std::string& path, std::string* error, bool allowEmpty) {
  if (fd_ >= 0) ::close(fd_);
  path_ = path;
  // O_NONBLOCK: opening a FIFO with no writer would otherwise wait for one forever.
  fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd_ < 0) {
    const int e = errno;
    return failRead(error, path,
                    e == ENOENT   ? "no such file"
                    : e == EACCES ? "permission denied"
                    : e == EISDIR ? "a folder, not a file"
                                  : std::string("cannot open file (") + std::strerror(e) + ")");
  }
  auto refuse = [&](const char* why) {
    ::close(fd_);
    fd_ = -1;
    errno = EINVAL;
    return failRead(error, path, why);
  };
  if (::fstat(fd_, &stat_) != 0) return refuse("cannot open file");
  if (S_ISDIR(stat_.st_mode)) return refuse("a folder, not a file");
  if (!S_ISREG(stat_.st_mode)) return refuse("not a regular file");
  if (stat_.st_size <= 0 && !allowEmpty) return refuse("empty file");
  // Back to blocking reads now that it is known to be a plain file.
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
  return true;
}

bool ReadableFile::readAt(uint64_t offset, void* into, size_t length, std::string* error) const {
  auto* p = static_cast<uint8_t*>(into);
  size_t got = 0;
  while (got < length) {
    const ssize_t r = ::pread(fd_, p + got, length - got, off_t(offset + got));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return failRead(error, path_, std::string("read error (") + std::strerror(errno) + ")");
    if (r == 0) {
      errno = EIO;
      return failRead(error, path_, "the file became shorter while it was read");
    }
    got += size_t(r);
  }
  return true;
}

bool readFileSafely(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& out, std::string* error,
                    bool allowEmpty) {
  ReadableFile file;
  if (!file.open(path, error, allowEmpty)) return false;
  if (file.size() > maxBytes) {
    errno = EFBIG;
    return failRead(error, path, "larger than " + std::to_string(maxBytes) + " bytes");
  }
  try {
    out.resize(size_t(file.size()));
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return failRead(error, path, "out of memory");
  }
  return file.readAt(0, out.data(), out.size(), error);
}

}  // namespace rova::codecs
