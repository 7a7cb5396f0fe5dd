#pragma once
// Writing a user's file so that it is either wholly replaced or left as it was.
//
// The bytes go to a fresh temporary file in the target's folder, created exclusively and never
// through a link (an unnamed O_TMPFILE where the file system has it, so even a killed process
// leaves nothing behind; otherwise O_CREAT|O_EXCL|O_NOFOLLOW under a random name). It is flushed,
// synced and closed with every error checked, given the permissions (and, when allowed, the owner)
// of the file it replaces, and renamed over the target. On every failure the temporary file is
// removed and the target is untouched. A link at the target's name is replaced, never followed.
#include <sys/types.h>
#include <cstdio>
#include <functional>
#include <string>

namespace rova::codecs {

struct SafeWriteOptions {
  // Permissions of a new file before the umask (an existing target keeps its own).
  mode_t newFileMode = 0666;
  // Create the target's folder (and its parents) when missing; otherwise a missing folder is an error.
  bool createFolder = false;
  // fsync the file (and the folder after the rename). Only caches the system may lose may skip it.
  bool sync = true;
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

}  // namespace rova::codecs
