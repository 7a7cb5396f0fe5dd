#pragma once
// Records and error codes shared by the zip archive service and its delegates.
#include <cstdint>

// The archive's global information record: number of entries and length of its comment.
struct SSZipGlobalInfo {
  uint64_t numberEntry = 0;
  uint64_t sizeComment = 0;
};

// One entry's information record, as the archive's central directory describes it.
struct SSZipFileInfo {
  uint64_t version = 0;  // version made by (upper byte: the system that made the entry)
  uint64_t versionNeeded = 0;
  uint64_t flag = 0;  // general-purpose flags (bit 0: encrypted)
  uint64_t compressionMethod = 0;
  uint64_t dosDate = 0;  // MS-DOS date and time
  uint64_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint64_t sizeFilename = 0;
  uint64_t sizeFileExtra = 0;
  uint64_t sizeFileComment = 0;
  uint64_t diskNumStart = 0;
  uint64_t internalFa = 0;
  uint64_t externalFa = 0;  // external attributes (upper 16 bits: POSIX mode)
};

inline constexpr const char* SSZipArchiveErrorDomain = "SSZipArchiveErrorDomain";

enum SSZipArchiveErrorCode : int64_t {
  SSZipArchiveErrorCodeFailedOpenZipFile = -1,
  SSZipArchiveErrorCodeFailedOpenFileInZip = -2,
  SSZipArchiveErrorCodeFileInfoNotLoadable = -3,
  SSZipArchiveErrorCodeFileContentNotReadable = -4,
  SSZipArchiveErrorCodeFailedToWriteFile = -5,
  SSZipArchiveErrorCodeInvalidArguments = -6,
  // An entry (or a symbolic link's target) would land outside the destination and was refused.
  SSZipArchiveErrorCodeUnsafeEntry = -7,
  // The archive expands to more entries or bytes than one unzip may write.
  SSZipArchiveErrorCodeExpansionLimit = -8,
};
