#pragma once
// Where the application keeps its files on Linux. Every folder comes from here, so one variable,
// SOLVANE_HOME, can move all of them under one folder (tests set it for every process):
//
//   place                        normal                           with SOLVANE_HOME=H
//   user Application Support     $XDG_DATA_HOME (~/.local/share)  H/data
//   the application's folder     <Application Support>/Solvane    H/data/Solvane
//   shared app-group container   $XDG_DATA_HOME/Solvane/Group     H/data/Solvane/Group
//   caches                       $XDG_CACHE_HOME/Solvane          H/cache/Solvane
//   user defaults                $XDG_CONFIG_HOME/Solvane         H/config/Solvane
//   temporary                    $TMPDIR (/tmp)                   H/tmp
//   resources ("the bundle")     see Bundle.h
#include <optional>
#include <string>

#include "QVPlatform/Error.h"

namespace qv {

namespace places {

// The user's Application Support folder (the root that holds one folder per application).
std::string userApplicationSupportDirectory();
// The application's own folder in it ("<Application Support>/Solvane").
std::string applicationSupportDirectory();
// The folder shared by the application and its extension.
std::string groupContainerDirectory();
// The user's caches folder for this application.
std::string cachesDirectory();
// The folder that holds one "<domain>.plist" per user-defaults domain.
std::string userDefaultsDirectory();
// The temporary folder (created when missing).
std::string temporaryDirectory();

}  // namespace places

// The standard folders a caller can ask the file manager for.
enum class SearchPathDirectory { ApplicationSupport, Caches };
enum class SearchPathDomain { User };

// The file-manager addition: the standard folder with `appendPathComponent` (a relative path,
// may be empty) appended, created with every missing parent. Returns the path, or an empty
// string with *error filled (domain "NSCocoaErrorDomain", the system's message) when it cannot
// be created.
std::string findOrCreateDirectory(SearchPathDirectory directory, SearchPathDomain domain,
                                  const std::string& appendPathComponent, Error* error);

// Creates a folder with its parents; true when it exists afterwards.
bool createDirectory(const std::string& path, Error* error = nullptr);

// Writes the bytes to a fresh temporary file beside `path`, then renames it over `path`, so readers
// see either the old or the new content, never a part (rova::codecs::writeFileSafely: never through
// a link, every error checked, the replaced file's permissions kept, nothing left on failure).
// Creates missing parent folders.
bool writeFileAtomically(const std::string& path, const void* bytes, size_t length, Error* error = nullptr);
bool writeFileAtomically(const std::string& path, const std::string& content, Error* error = nullptr);

// The bytes of a file, or of every file below a folder (links are not followed); nullopt when
// the path cannot be read (*error filled).
std::optional<uint64_t> sizeForContentsAtPath(const std::string& path, Error* error = nullptr);

// The largest file readFileBytes reads: property lists, presets, state and archive files are far
// smaller; anything bigger is refused before it takes memory.
inline constexpr uint64_t kMaxReadFileBytes = uint64_t(1) << 30;

// The whole file, or nullopt when it cannot be read (*error filled): only a regular file (a FIFO
// or a device is refused, never waited on) of at most `maxBytes`.
std::optional<Bytes> readFileBytes(const std::string& path, Error* error = nullptr,
                                   uint64_t maxBytes = kMaxReadFileBytes);

}  // namespace qv
