#pragma once
// The core framework's uses of the zip archive service: unzipping preset packs, and packing a
// document folder into one archive file in place and unpacking it again.
#include <optional>
#include <string>

class QVZipArchiveHelper {
 public:
  // Unzips with overwrite on and no password; a failure is logged. Symbolic links in the archive
  // are refused (and the unzip fails) unless `links` allows them.
  static bool unzipFileAtPath(const std::string& path, const std::string& destination, bool links = true);
  // Replaces the folder at the path by a zip archive of its contents under the same path. The
  // folder is only given up once the archive is in place; on any failure it stays as it was.
  static bool zipDocumentAtURL(const std::string& url);
  // Unzips the archive into a new folder (named with a new UUID) in the temporary folder;
  // nullopt when unzipping failed.
  static std::optional<std::string> unzipDocumentAtURL(const std::string& url);
};
