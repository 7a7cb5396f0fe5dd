#pragma once
// Small file operations the preset and workspace code shares. Paths are file-system paths;
// nothing throws.
#include <string>
#include <vector>

namespace NSFileManagerAdditions {

// Removes the file or folder (with its contents) at the path when something is there; true when
// that succeeded, false when nothing was there or the removal failed. A symbolic link is removed
// itself, never what it points at.
bool removeIfExistsAtPath(const std::string& path);

// Creates the folder with any missing parents; true when it exists afterwards.
bool createDirectoryAtPath(const std::string& path);

// Every path below `path` (at any depth, in name order within each folder) whose extension is one
// of `allowedFileTypes` (exact, case-sensitive). A path that cannot be listed or lists nothing (a
// file, an empty or unreadable folder) is itself the result when its extension is allowed.
std::vector<std::string> filePathsInDirectory(const std::string& path,
                                              const std::vector<std::string>& allowedFileTypes);

// The full paths of the folder's entries, the least recently modified first (ties by name); empty
// when the folder cannot be listed.
std::vector<std::string> filesSortedByModDateFromDir(const std::string& path);

// The path of a file URL: a "file://" URL without its scheme and percent encoding; anything else
// is a path already and stays as it is.
std::string pathOfFileURL(const std::string& url);
// The text with every "%XX" (two hexadecimal digits) turned back into its byte.
std::string removingPercentEncoding(const std::string& text);

}  // namespace NSFileManagerAdditions
