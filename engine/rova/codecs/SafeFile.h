#pragma once
// Reading and writing a user's file safely.
//
// Writing: a file is either wholly replaced or left as it was.
// The bytes go to a fresh temporary file in the target's folder, created exclusively and never
// through a link (an unnamed O_TMPFILE where the file system has it, so even a killed process
// leaves nothing behind; otherwise O_CREAT|O_EXCL|O_NOFOLLOW under a random name). It is flushed,
// synced and closed with every error checked, given the permissions (and, when allowed, the owner)
// of the file it replaces, and renamed over the target. On every failure the temporary file is
// removed and the target is untouched. A link at the target's name is replaced, never followed.
// The temporary file is named relative to the target's folder (".<name>.<random>.tmp", shorter
// when the name is near the limit), so any path the system takes as a target can be written.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace rova::codecs {

struct SafeWriteOptions {
  // Permissions of a new file before the umask (an existing target keeps its own).
  mode_t newFileMode = 0666;
  // Create the target's folder (and its parents) when missing; otherwise a missing folder is an error.
  bool createFolder = false;
  // fsync the file (and the folder after the rename). Only caches the system may lose may skip it.
  bool sync = true;
  // Write to an unnamed temporary file (O_TMPFILE) where the file system has it. Off, the named
  // exclusive file is used everywhere (what file systems without O_TMPFILE get; tests cover both).
  bool unnamedTemporary = true;
  // Replace a file already at the target's name. Off, the file is moved into place only while the
  // name is free (an exclusive rename), and a file that appeared there meanwhile is an error
  // (errno EEXIST): two writers never silently overwrite each other.
  bool replace = true;
};

// Whether `path` can be written: its folder exists, is a folder and is writable, and the name is
// free or holds a regular file (or a link, which is replaced). False with the reason otherwise.
// Callers check this before lengthy work so that an unwritable output is known at once.
bool checkWritable(const std::string& path, std::string* error, bool createFolder = false);

// Writes through `write`, which gets the temporary file opened for writing and returns false (with a
// reason) to abandon the write. True once the file is in place under `path`.
bool writeFileSafely(const std::string& path, const std::function<bool(FILE*, std::string* error)>& write,
                     std::string* error, const SafeWriteOptions& options = {});
// The same for bytes already in memory.
bool writeFileSafely(const std::string& path, const void* data, size_t size, std::string* error,
                     const SafeWriteOptions& options = {});

// Moves `from` to `to` (both in one folder) only while `to` is free: nothing there (a file, a link,
// a FIFO) is ever replaced (errno EEXIST then). The two-file commits use it: each file is written
// whole to its temporary first, and the renames come last.
bool moveWithoutReplacing(const std::string& from, const std::string& to, std::string* error);

// Reading: a file is opened once, without blocking (a FIFO or a device never hangs the reader),
// and accepted only when it is a regular file. The reasons given: "no such file", "a folder, not a
// file", "not a regular file", "empty file", "permission denied", "larger than N bytes".
class ReadableFile {
 public:
  ReadableFile() = default;
  ~ReadableFile();
  ReadableFile(const ReadableFile&) = delete;
  ReadableFile& operator=(const ReadableFile&) = delete;
  // False with "<reason>: <path>" when the path is not a readable, non-empty regular file.
  bool open(const std::string& path, std::string* error, bool allowEmpty = false);
  uint64_t size() const { return uint64_t(stat_.st_size); }
  int descriptor() const { return fd_; }
  // Reads `length` bytes at `offset` in full; false (with the reason) on a read error or when the
  // file has become shorter since it was opened.
  bool readAt(uint64_t offset, void* into, size_t length, std::string* error) const;

 private:
  int fd_ = -1;
  struct stat stat_ {};
  std::string path_;
};

// The whole of a regular file, refused above `maxBytes` before anything is read.
bool readFileSafely(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& out, std::string* error,
                    bool allowEmpty = true);

}  // namespace rova::codecs
