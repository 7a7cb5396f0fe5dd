#include "QVPlatform/OwnFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qv {

Entry entryAt(const std::string& path) {
  Entry entry;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    entry.error = errno;
    entry.kind = errno == ENOENT || errno == ENOTDIR ? EntryKind::Missing : EntryKind::Unknown;
    return entry;
  }
  entry.kind = S_ISREG(st.st_mode)   ? EntryKind::Regular
               : S_ISDIR(st.st_mode) ? EntryKind::Folder
               : S_ISLNK(st.st_mode) ? EntryKind::Link
                                     : EntryKind::Other;
  entry.device = st.st_dev;
  entry.inode = st.st_ino;
  entry.mode = st.st_mode;
  entry.size = uint64_t(st.st_size);
  return entry;
}

int openOwnFile(const std::string& path, int flags, std::string* why, mode_t mode) {
  auto refuse = [&](int code, const std::string& reason) {
    if (why) *why = reason + ": " + path;
    errno = code;
    return -1;
  };
  const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode);
  if (fd < 0) {
    const int e = errno;
    // O_NOFOLLOW reports a link at the name as ELOOP; O_NONBLOCK a FIFO with no reader as ENXIO.
    return refuse(e, e == ELOOP    ? "a link, not a file"
                     : e == ENXIO  ? "not a regular file"
                     : e == EISDIR ? "a folder, not a file"
                                   : std::string(std::strerror(e)));
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const bool folder = S_ISDIR(st.st_mode);
    ::close(fd);
    return refuse(folder ? EISDIR : EINVAL, folder ? "a folder, not a file" : "not a regular file");
  }
  const int status = ::fcntl(fd, F_GETFL);
  if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  return fd;
}

}  // namespace qv
