#pragma once
// What is at a name, and the program's own files (logs, notes, stores, settings).
//
// entryAt looks at a name without following a link: callers that must never touch what is not
// theirs (an installer's template, an extension's output, an export's target, a file about to be
// replaced) ask it whether the name is free, a regular file, a folder, a link or anything else, and
// which file it is.
//
// openOwnFile opens a file the program keeps for itself for writing or appending: never through a
// link at its name, never waiting on a FIFO, and only when what is there is a regular file. A link,
// a FIFO, a device or a folder at the name is left as it is and refused with the reason.
#include <sys/types.h>

#include <cstdint>
#include <string>

namespace qv {

enum class EntryKind {
  Missing,  // nothing has the name
  Regular,  // a regular file
  Folder,   // a folder
  Link,     // a symbolic link, dangling or not (never followed)
  Other,    // a FIFO, a socket, a device
  Unknown,  // the name cannot be looked at (errno in `error`)
};

struct Entry {
  EntryKind kind = EntryKind::Missing;
  dev_t device = 0;
  ino_t inode = 0;
  mode_t mode = 0;
  uint64_t size = 0;
  int error = 0;

  bool isRegular() const { return kind == EntryKind::Regular; }
  // Something has the name (also a dangling link); false when it cannot be told.
  bool isTaken() const { return kind != EntryKind::Missing && kind != EntryKind::Unknown; }
  // A regular file without any write permission: made read-only by its owner.
  bool isReadOnlyFile() const { return isRegular() && (mode & 0222) == 0; }
  // The same file as `other` (both found).
  bool isSameFile(const Entry& other) const {
    return isTaken() && other.isTaken() && device == other.device && inode == other.inode;
  }
};

// What is at `path`, the last name never followed.
Entry entryAt(const std::string& path);

// Opens an own file: `flags` is O_RDONLY, O_WRONLY or O_RDWR with O_CREAT, O_APPEND or O_TRUNC as
// needed (O_NOFOLLOW, O_NONBLOCK while opening and O_CLOEXEC are added). A descriptor in blocking
// mode, or -1 with errno set and the reason in `why` (ELOOP for a link, ENXIO for a FIFO without a
// reader, EINVAL for anything that is not a regular file).
int openOwnFile(const std::string& path, int flags, std::string* why = nullptr, mode_t mode = 0644);

}  // namespace qv
