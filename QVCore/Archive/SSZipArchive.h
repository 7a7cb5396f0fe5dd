#pragma once
// The zip archive service: unzipping archives into folders, checking passwords, building
// archives from files and folders (class methods), and an archive writer that adds entries
// one by one (instances made with a path).
//
// Unzipping is defensive: an entry whose name is absolute, climbs with "..", or resolves
// outside the destination is refused, as is a symbolic link whose target leaves it; files are
// never written through an existing symbolic link; and one unzip (nested archives included)
// may write at most expansionLimits() entries and bytes. Refused entries are skipped and the
// unzip then ends with SSZipArchiveErrorCodeUnsafeEntry; whatever a failed unzip wrote is removed.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "QVCore/Archive/SSZipArchiveDelegate.h"
#include "QVCore/Archive/SSZipCommon.h"
#include "QVPlatform/Error.h"
#include "QVPlatform/Value.h"

// Entry name, its information record, its index and the number of entries.
using SSZipArchiveProgressHandler =
    std::function<void(const std::string& entry, const SSZipFileInfo& zipInfo, int64_t entryNumber, int64_t total)>;
// Archive path, success, and the error (nullptr when there is none).
using SSZipArchiveCompletionHandler =
    std::function<void(const std::string& path, bool succeeded, const qv::Error* error)>;
// 1-based item number and the number of items, while building from a folder.
using SSZipArchiveCreateProgressHandler = std::function<void(uint64_t entryNumber, uint64_t total)>;

// What one unzip (nested archives included) may write. Beyond `ratioFloor` bytes, an entry may
// not expand to more than `maxRatio` times its compressed size, nor the whole unzip to more than
// `maxRatio` times the archives' sizes.
struct SSZipExpansionLimits {
  uint64_t maxEntries = 100000;
  uint64_t maxBytes = uint64_t(4) << 30;
  uint64_t maxEntryBytes = uint64_t(2) << 30;
  uint64_t maxRatio = 100;
  uint64_t ratioFloor = uint64_t(64) << 20;
};

class SSZipArchive {
 public:
  using Password = std::optional<std::string>;  // nullopt: no password

  // ---- unzipping ----
  static bool unzipFileAtPath(const std::string& path, const std::string& destination);
  static bool unzipFileAtPath(const std::string& path, const std::string& destination, SSZipArchiveDelegate* delegate);
  static bool unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                              const Password& password, qv::Error* error);
  static bool unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                              const Password& password, qv::Error* error, SSZipArchiveDelegate* delegate);
  static bool unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                              const Password& password, SSZipArchiveProgressHandler progressHandler,
                              SSZipArchiveCompletionHandler completionHandler);
  static bool unzipFileAtPath(const std::string& path, const std::string& destination,
                              SSZipArchiveProgressHandler progressHandler,
                              SSZipArchiveCompletionHandler completionHandler);
  static bool unzipFileAtPath(const std::string& path, const std::string& destination, bool preserveAttributes,
                              bool overwrite, const Password& password, qv::Error* error,
                              SSZipArchiveDelegate* delegate);
  static bool unzipFileAtPath(const std::string& path, const std::string& destination, bool preserveAttributes,
                              bool overwrite, const Password& password, qv::Error* error,
                              SSZipArchiveDelegate* delegate, SSZipArchiveProgressHandler progressHandler,
                              SSZipArchiveCompletionHandler completionHandler);
  // The full form. Nested archives (".zip" entries) are expanded in place while
  // nestedZipLevel is above zero.
  static bool unzipFileAtPath(const std::string& path, const std::string& destination, bool preserveAttributes,
                              bool overwrite, int64_t nestedZipLevel, const Password& password, qv::Error* error,
                              SSZipArchiveDelegate* delegate, SSZipArchiveProgressHandler progressHandler,
                              SSZipArchiveCompletionHandler completionHandler);

  // The same, with symbolic links refused (`links` false) for callers that never need them. A
  // failed unzip leaves nothing it wrote behind; links are checked again once the whole archive is
  // out (a later entry can change where an earlier link leads).
  static bool unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                              const Password& password, qv::Error* error, bool links);

  // How much one unzip may write, nested archives included (process-wide).
  static SSZipExpansionLimits expansionLimits();
  static void setExpansionLimits(SSZipExpansionLimits limits);

  // ---- checking ----
  static bool isFilePasswordProtectedAtPath(const std::string& path);
  static bool isPasswordValidForArchiveAtPath(const std::string& path, const std::string& password, qv::Error* error);

  // ---- building ----
  static bool createZipFileAtPath(const std::string& path, const std::vector<std::string>& paths);
  static bool createZipFileAtPath(const std::string& path, const std::vector<std::string>& paths,
                                  const Password& password);
  static bool createZipFileAtPath(const std::string& path, const std::string& directoryPath);
  static bool createZipFileAtPath(const std::string& path, const std::string& directoryPath, bool keepParentDirectory);
  static bool createZipFileAtPath(const std::string& path, const std::string& directoryPath, const Password& password);
  // Keeps a text password from turning into keepParentDirectory.
  static bool createZipFileAtPath(const std::string& path, const std::string& directoryPath, const char* password) {
    return createZipFileAtPath(path, directoryPath, Password(password));
  }
  static bool createZipFileAtPath(const std::string& path, const std::string& directoryPath, bool keepParentDirectory,
                                  const Password& password);
  static bool createZipFileAtPath(const std::string& path, const std::string& directoryPath, bool keepParentDirectory,
                                  const Password& password, SSZipArchiveCreateProgressHandler progressHandler);
  static bool createZipFileAtPath(const std::string& path, const std::string& directoryPath, bool keepParentDirectory,
                                  int compressionLevel, const Password& password, bool aes,
                                  SSZipArchiveCreateProgressHandler progressHandler);

  // ---- the archive writer ----
  explicit SSZipArchive(std::string path);
  ~SSZipArchive();  // closes an archive left open
  SSZipArchive(const SSZipArchive&) = delete;
  SSZipArchive& operator=(const SSZipArchive&) = delete;

  const std::string& path() const { return path_; }
  bool open();   // creates the archive, replacing a file at the path
  bool close();  // writes the central directory; false when anything went wrong

  bool writeFolderAtPath(const std::string& path, const std::string& folderName, const Password& password);
  bool writeFile(const std::string& path, const Password& password);
  bool writeFileAtPath(const std::string& path, const std::optional<std::string>& fileName, const Password& password);
  // False when the file cannot be opened or read, or the entry cannot be written.
  bool writeFileAtPath(const std::string& path, const std::optional<std::string>& fileName, int compressionLevel,
                       const Password& password, bool aes);
  bool writeData(const qv::Bytes& data, const std::string& filename, const Password& password);
  bool writeData(const qv::Bytes& data, const std::string& filename, int compressionLevel, const Password& password,
                 bool aes);

  // ---- conversions ----
  // A date from the MS-DOS date-time form, in local time.
  static qv::Date dateWithMSDOSFormat(uint32_t msdosDateTime);
  // The MS-DOS date-time form of a date, in local time (years before 1980 give 1980).
  static uint32_t msdosFormatWithDate(qv::Date date);
  // An entry's stored name as text: UTF-8 when it is, otherwise upper-case hexadecimal.
  static std::string filenameStringWithCString(const char* bytes, size_t size);

 private:
  std::string path_;
  void* zip_ = nullptr;  // the open minizip writer, between open() and close()
  bool wroteAes_ = false;
};
