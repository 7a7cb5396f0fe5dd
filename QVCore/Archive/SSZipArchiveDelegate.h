#pragma once
// What an unzip tells its delegate. Every message is optional: the defaults below mean "does
// not respond", and the unzip behaves as if the message were not implemented.
#include <cstdint>
#include <optional>
#include <string>

#include "QVCore/Archive/SSZipCommon.h"

class SSZipArchiveDelegate {
 public:
  virtual ~SSZipArchiveDelegate() = default;

  virtual void zipArchiveWillUnzipArchiveAtPath(const std::string& path, const SSZipGlobalInfo& zipInfo) {}
  // nullopt (the default) does not answer; false cancels the whole unzip.
  virtual std::optional<bool> zipArchiveShouldUnzipFileAtIndex(int64_t fileIndex, int64_t totalFiles,
                                                               const std::string& archivePath,
                                                               const SSZipFileInfo& fileInfo) {
    return std::nullopt;
  }
  virtual void zipArchiveWillUnzipFileAtIndex(int64_t fileIndex, int64_t totalFiles, const std::string& archivePath,
                                              const SSZipFileInfo& fileInfo) {}
  // Return true when implemented; only when it returns false (the default) is the
  // unzipped-file-path form below sent instead.
  virtual bool zipArchiveDidUnzipFileAtIndex(int64_t fileIndex, int64_t totalFiles, const std::string& archivePath,
                                             const SSZipFileInfo& fileInfo) {
    return false;
  }
  virtual void zipArchiveDidUnzipFileAtIndexTotalFilesArchivePathUnzippedFilePath(int64_t fileIndex, int64_t totalFiles,
                                                                                  const std::string& archivePath,
                                                                                  const std::string& unzippedFilePath) {
  }
  virtual void zipArchiveProgressEvent(uint64_t loaded, uint64_t total) {}
  virtual void zipArchiveDidUnzipArchiveAtPath(const std::string& path, const SSZipGlobalInfo& zipInfo,
                                               const std::string& unzippedPath) {}
};
