#include "QVCore/Archive/SSZipArchive.h"

#include <fcntl.h>
#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <utility>

#include "QVCore/Archive/NSData+SSZipArchive.h"
#include "QVCore/Archive/ZipEntryStreams.h"
#include "QVPlatform/Log.h"
#include "rova/codecs/SafeFile.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPOSIXErrorDomain = "NSPOSIXErrorDomain";
constexpr size_t kUnzipChunk = 4096;
constexpr size_t kZipChunk = 16384;

std::mutex gLimitsMutex;
SSZipExpansionLimits gLimits;

qv::Error zipError(int64_t code, const std::string& description) {
  return qv::Error(SSZipArchiveErrorDomain, code, description);
}

// "failed to open zip file", with why (no such file, a folder, a FIFO, ...) as the failure reason.
qv::Error openError(const std::string& why) {
  qv::Error e = zipError(SSZipArchiveErrorCodeFailedOpenZipFile, "failed to open zip file");
  if (!why.empty() && why != e.description) e.userInfo["NSLocalizedFailureReason"] = why;
  return e;
}

qv::Error limitError() {
  return zipError(SSZipArchiveErrorCodeExpansionLimit, "archive expands beyond the allowed number of entries or bytes");
}

SSZipGlobalInfo globalInfoFrom(const unz_global_info64& g) { return {g.number_entry, g.size_comment}; }

SSZipFileInfo fileInfoFrom(const unz_file_info64& i) {
  SSZipFileInfo f;
  f.version = i.version;
  f.versionNeeded = i.version_needed;
  f.flag = i.flag;
  f.compressionMethod = i.compression_method;
  f.dosDate = i.dosDate;
  f.crc = i.crc;
  f.compressedSize = i.compressed_size;
  f.uncompressedSize = i.uncompressed_size;
  f.sizeFilename = i.size_filename;
  f.sizeFileExtra = i.size_file_extra;
  f.sizeFileComment = i.size_file_comment;
  f.diskNumStart = i.disk_num_start;
  f.internalFa = i.internal_fa;
  f.externalFa = i.external_fa;
  return f;
}

bool isValidUTF8(const unsigned char* s, size_t n) {
  size_t i = 0;
  while (i < n) {
    unsigned char c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len = 0;
    uint32_t cp = 0;
    if ((c & 0xe0) == 0xc0)
      len = 2, cp = c & 0x1f;
    else if ((c & 0xf0) == 0xe0)
      len = 3, cp = c & 0x0f;
    else if ((c & 0xf8) == 0xf0)
      len = 4, cp = c & 0x07;
    else
      return false;
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      if ((s[i + k] & 0xc0) != 0x80) return false;
      cp = cp << 6 | (s[i + k] & 0x3f);
    }
    static const uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < minimum[len] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return false;
    i += len;
  }
  return true;
}

// ---- where entries may land ----

fs::path resolvedPath(const fs::path& p) {
  std::error_code ec;
  fs::path absolute = fs::absolute(p, ec);
  if (ec) absolute = p;
  fs::path r = fs::weakly_canonical(absolute, ec);
  return ec ? absolute.lexically_normal() : r;
}

bool isWithin(const fs::path& p, const fs::path& root) {
  fs::path rel = p.lexically_relative(root);
  return !rel.empty() && *rel.begin() != "..";
}

// A stored name may only name something below the destination: not absolute, no ".." step.
bool isSafeEntryName(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.find('\0') != std::string::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    if (end - start == 2 && name.compare(start, 2, "..") == 0) return false;
    start = end + 1;
  }
  return true;
}

bool lexists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool isSymbolicLink(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Sets a modification date without following a symbolic link.
bool setModificationDate(const std::string& path, qv::Date date) {
  double t = date.unixTime();
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = time_t(std::floor(t));
  times[1].tv_nsec = long((t - std::floor(t)) * 1e9);
  return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

std::string lowercase(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string lastComponent(const std::string& path) {
  fs::path p = fs::path(path).lexically_normal();
  if (p.filename().empty()) p = p.parent_path();
  return p.filename().string();
}

// What one unzip (with its nested archives) has written so far.
struct UnzipBudget {
  SSZipExpansionLimits limits;
  bool allowLinks = true;  // whether symbolic links may be made
  int depth = 0;      // of nested archives
  uint64_t entries = 0;
  uint64_t bytes = 0;
  uint64_t archiveBytes = 0;  // the compressed sizes of the archives read
  uint64_t refused = 0;
  bool limitHit = false;
  // What this unzip made, removed again when it fails; the links are checked once more at the end.
  std::vector<std::string> files, links, folders;
};

// Whether `bytes` written from `compressed` bytes stay within the ratio (small outputs always do).
bool withinRatio(const SSZipExpansionLimits& limits, uint64_t bytes, uint64_t compressed) {
  if (bytes <= limits.ratioFloor) return true;
  return compressed > 0 && bytes / compressed < limits.maxRatio;
}

// Records the folders `create_directories` is about to make for `container`.
void recordMissingFolders(const fs::path& container, UnzipBudget& budget) {
  std::vector<std::string> missing;
  for (fs::path p = container; !p.empty() && !lexists(p.string()); p = p.parent_path()) {
    missing.push_back(p.string());
    if (p == p.parent_path()) break;
  }
  budget.folders.insert(budget.folders.end(), missing.rbegin(), missing.rend());
}

// Removes what a failed unzip made: files and links first, then the folders, deepest first.
void removeWhatWasMade(UnzipBudget& budget) {
  std::error_code ignored;
  for (const auto& file : budget.files) ::unlink(file.c_str());
  for (const auto& link : budget.links) ::unlink(link.c_str());
  for (auto it = budget.folders.rbegin(); it != budget.folders.rend(); ++it) fs::remove_all(*it, ignored);
}

// The archive's reader, for a regular file only: minizip opens with fopen, which waits forever on a
// FIFO and fails late on a folder. nullptr with the reason otherwise.
unzFile openArchive(const std::string& path, std::string* why) {
  rova::codecs::ReadableFile file;
  if (!file.open(path, why, true)) return nullptr;
  unzFile zip = unzOpen64(path.c_str());
  if (!zip && why) *why = "failed to open zip file";
  return zip;
}

bool unzipArchive(const std::string& path, const std::string& destination, bool preserveAttributes, bool overwrite,
                  int64_t nestedZipLevel, const std::string& password, qv::Error* errorOut,
                  SSZipArchiveDelegate* delegate, const SSZipArchiveProgressHandler& progressHandler,
                  const SSZipArchiveCompletionHandler& completionHandler, UnzipBudget& budget) {
  std::optional<qv::Error> error;
  auto finish = [&](bool ok) {
    if (error) qv::setError(errorOut, *error);
    if (completionHandler) completionHandler(path, ok, error ? &*error : nullptr);
    return ok;
  };
  if (path.empty() || destination.empty()) {
    error = zipError(SSZipArchiveErrorCodeInvalidArguments, "received invalid argument(s)");
    return finish(false);
  }
  std::string why;
  unzFile zip = openArchive(path, &why);
  std::error_code ec;
  if (!zip) {
    if (why != "failed to open zip file" || !sszip::isEmptyArchive(path)) {
      error = openError(why);
      return finish(false);
    }
    // An archive without entries unzips nothing and succeeds.
    const uint64_t size = fs::file_size(path, ec);
    if (delegate) {
      delegate->zipArchiveWillUnzipArchiveAtPath(path, {});
      delegate->zipArchiveProgressEvent(0, size);
      delegate->zipArchiveDidUnzipArchiveAtPath(path, {}, destination);
      delegate->zipArchiveProgressEvent(size, size);
    }
    return finish(true);
  }
  uint64_t fileSize = fs::file_size(path, ec);
  if (ec) fileSize = 0;
  budget.archiveBytes += fileSize;
  const bool topLevel = budget.depth == 0;
  unz_global_info64 global{};
  unzGetGlobalInfo64(zip, &global);
  const SSZipGlobalInfo globalInfo = globalInfoFrom(global);
  if (global.number_entry > budget.limits.maxEntries - std::min(budget.entries, budget.limits.maxEntries)) {
    budget.limitHit = true;
    error = limitError();
    unzClose(zip);
    return finish(false);
  }
  int ret = unzGoToFirstFile(zip);
  if (ret != UNZ_OK && ret != UNZ_END_OF_LIST_OF_FILE) {
    error = zipError(SSZipArchiveErrorCodeFailedOpenFileInZip, "failed to open first file in zip file");
    unzClose(zip);
    return finish(false);
  }
  if (delegate) {
    delegate->zipArchiveWillUnzipArchiveAtPath(path, globalInfo);
    delegate->zipArchiveProgressEvent(0, fileSize);
  }

  const fs::path root = resolvedPath(destination);
  const uint64_t refusedBefore = budget.refused;
  bool success = true;
  bool canceled = false;
  int64_t index = 0;
  uint64_t compressedSum = 0;
  std::vector<std::pair<std::string, qv::Date>> dates;  // folder dates that writing their contents changes
  std::vector<uint8_t> buffer(kUnzipChunk);
  {
    sszip::EntryReader reader(zip, path);
    auto nextEntry = [&] {
      reader.close();
      ret = unzGoToNextFile(zip);
      ++index;
    };
    while (ret == UNZ_OK && success) {
      unz_file_info64 info{};
      if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
        error = zipError(SSZipArchiveErrorCodeFileInfoNotLoadable, "failed to retrieve info for file");
        success = false;
        break;
      }
      std::vector<char> rawName(info.size_filename + 1, '\0');
      std::vector<uint8_t> extra(info.size_file_extra);
      if (unzGetCurrentFileInfo64(zip, &info, rawName.data(), uLong(rawName.size()), extra.data(), uLong(extra.size()),
                                  nullptr, 0) != UNZ_OK) {
        error = zipError(SSZipArchiveErrorCodeFileInfoNotLoadable, "failed to retrieve info for file");
        success = false;
        break;
      }
      if (reader.open(info, extra, password) != sszip::EntryReader::OpenResult::Ok) {
        error = zipError(SSZipArchiveErrorCodeFailedOpenFileInZip, "failed to open file in zip file");
        success = false;
        break;
      }
      compressedSum += info.compressed_size;
      const SSZipFileInfo fileInfo = fileInfoFrom(info);
      const int64_t total = int64_t(global.number_entry);
      if (delegate) {
        std::optional<bool> should = delegate->zipArchiveShouldUnzipFileAtIndex(index, total, path, fileInfo);
        if (should && !*should) {
          success = false;
          canceled = true;
          break;
        }
        delegate->zipArchiveWillUnzipFileAtIndex(index, total, path, fileInfo);
        delegate->zipArchiveProgressEvent(compressedSum, fileSize);
      }
      if (++budget.entries > budget.limits.maxEntries) {
        budget.limitHit = true;
        error = limitError();
        success = false;
        break;
      }

      const size_t nameLength = info.size_filename;
      std::string name = SSZipArchive::filenameStringWithCString(rawName.data(), nameLength);
      if (name.empty()) name = std::to_string(index);
      const bool isDirectory = nameLength > 0 && (rawName[nameLength - 1] == '/' || rawName[nameLength - 1] == '\\');
      if (name.find_first_of("/\\") != std::string::npos) std::replace(name.begin(), name.end(), '\\', '/');
      if (name.rfind("__MACOSX/", 0) == 0) {
        nextEntry();
        continue;
      }
      std::string relative = name;
      while (relative.size() > 1 && relative.back() == '/') relative.pop_back();
      const fs::path fullPath = fs::path(destination) / relative;
      const std::string full = fullPath.string();
      const fs::path container = isDirectory ? fullPath : fullPath.parent_path();
      if (!isSafeEntryName(relative) || !isWithin(resolvedPath(container), root)) {
        QVLogError("[SSZipArchive] Refused entry outside the destination: %s", name.c_str());
        ++budget.refused;
        nextEntry();
        continue;
      }
      const qv::Date date = SSZipArchive::dateWithMSDOSFormat(uint32_t(info.dosDate));

      const bool containerExisted = fs::exists(container, ec);
      recordMissingFolders(container, budget);
      fs::create_directories(container, ec);
      if (ec) {
        if (ec.value() == ENOSPC) {
          error = qv::Error(kPOSIXErrorDomain, ENOSPC);
          success = false;
          break;
        }
        QVLogError("[SSZipArchive] Error: %s", ec.message().c_str());
      } else if (preserveAttributes && !containerExisted) {
        setModificationDate(container.string(), date);
      }

      if (!isDirectory && !overwrite && lexists(full)) {  // leave what is there alone
        nextEntry();
        continue;
      }
      const bool isSymlink = (info.version >> 8) == 3 && ((info.external_fa >> 28) & 0xf) == 0xA;
      if (!isDirectory && !isSymlink && info.uncompressed_size > budget.limits.maxEntryBytes) {
        QVLogError("[SSZipArchive] Refused entry of %llu bytes: %s", (unsigned long long)info.uncompressed_size,
                   name.c_str());
        budget.limitHit = true;
        error = limitError();
        success = false;
        break;
      }
      if (isSymlink && !isDirectory && !budget.allowLinks) {
        QVLogError("[SSZipArchive] Refused symbolic link where none are allowed: %s", name.c_str());
        ++budget.refused;
        nextEntry();
        continue;
      }
      bool nestedExpanded = false;
      bool entryIntact = true;
      bool refused = false;
      if (isSymlink && !isDirectory) {
        std::string target;
        for (;;) {
          int64_t n = reader.read(buffer.data(), buffer.size());
          if (n < 0) {
            error = zipError(SSZipArchiveErrorCodeFileContentNotReadable, "failed to read contents of file entry");
            success = false;
            break;
          }
          if (n == 0) break;
          target.append(reinterpret_cast<const char*>(buffer.data()), size_t(n));
          if (target.size() > 4 * kUnzipChunk) break;  // longer than any path the system takes
        }
        if (!success) break;
        const fs::path linkFolder = resolvedPath(fullPath.parent_path());
        const fs::path targetPath(target);
        if (target.empty() || target.find('\0') != std::string::npos ||
            !isWithin(resolvedPath(targetPath.is_absolute() ? targetPath : linkFolder / targetPath), root)) {
          QVLogError("[SSZipArchive] Refused symbolic link leaving the destination: %s -> %s", name.c_str(),
                     target.c_str());
          ++budget.refused;
          refused = true;
        } else {
          if (overwrite && lexists(full)) {
            fs::remove_all(fullPath, ec);
            if (ec) {
              error = qv::Error(SSZipArchiveErrorDomain, ec.value(),
                                "Failed to delete existing symbolic link at \"" + full + "\"");
              QVLogError("[SSZipArchive] %s", error->description.c_str());
              success = false;
            }
          }
          if (success) budget.links.push_back(full);
          if (success && ::symlink(target.c_str(), full.c_str()) != 0) {
            int e = errno;
            error = qv::Error(kPOSIXErrorDomain, e,
                              "Failed to create symbolic link at \"" + full + "\" to \"" + target +
                                  "\" - symlink() error code: " + std::to_string(e));
            QVLogError("[SSZipArchive] %s", error->description.c_str());
            success = false;
          }
        }
      } else if (!isDirectory) {
        int64_t n = reader.read(buffer.data(), buffer.size());
        if (n < 0) {
          error = zipError(SSZipArchiveErrorCodeFileContentNotReadable, "failed to read contents of file entry");
          success = false;
          break;
        }
        // Never write through a link: an existing one is replaced by the file.
        if (isSymbolicLink(full)) ::unlink(full.c_str());
        budget.files.push_back(full);
        int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
          int e = errno;
          error = e == ENOSPC ? qv::Error(kPOSIXErrorDomain, ENOSPC)
                              : qv::Error(kPOSIXErrorDomain, e,
                                          "Failed to open \"" + full + "\" for writing: " + std::strerror(e));
          if (e != ENOSPC) QVLogError("[SSZipArchive] %s", error->description.c_str());
          success = false;
        } else {
          uint64_t entryBytes = 0;
          while (n > 0) {
            budget.bytes += uint64_t(n);
            entryBytes += uint64_t(n);
            if (budget.bytes > budget.limits.maxBytes || entryBytes > budget.limits.maxEntryBytes ||
                !withinRatio(budget.limits, entryBytes, info.compressed_size) ||
                !withinRatio(budget.limits, budget.bytes, budget.archiveBytes)) {
              budget.limitHit = true;
              error = limitError();
              success = false;
              ::unlink(full.c_str());
              break;
            }
            if (::write(fd, buffer.data(), size_t(n)) != n) {
              error = zipError(SSZipArchiveErrorCodeFailedToWriteFile, "Failed to write file (check your free space)");
              QVLogError("[SSZipArchive] %s", error->description.c_str());
              success = false;
              break;
            }
            n = reader.read(buffer.data(), buffer.size());
          }
          if (success && n < 0) {
            error = zipError(SSZipArchiveErrorCodeFileContentNotReadable, "failed to read contents of file entry");
            success = false;
          }
          if (::close(fd) != 0 && success) {
            error = zipError(SSZipArchiveErrorCodeFailedToWriteFile, "Failed to write file (check your free space)");
            success = false;
          }
        }
        if (success && nestedZipLevel > 0 && lowercase(fullPath.extension().string()) == ".zip") {
          entryIntact = reader.close();  // the nested archive is complete on disk; check it first
        }
        if (success && entryIntact && nestedZipLevel > 0 && lowercase(fullPath.extension().string()) == ".zip") {
          ++budget.depth;
          bool nested = unzipArchive(full, fullPath.parent_path().string(), preserveAttributes, overwrite,
                                     nestedZipLevel - 1, password, nullptr, nullptr, {}, {}, budget);
          --budget.depth;
          if (nested) {
            fs::remove(fullPath, ec);
            nestedExpanded = true;
          } else if (budget.limitHit) {
            error = limitError();
            success = false;
          }
        }
      }
      if (preserveAttributes && success && !refused && !nestedExpanded) {
        if (info.dosDate != 0 && !setModificationDate(full, date))
          QVLogError("[SSZipArchive] Failed to set attributes - whilst setting modification date");
        if (!isSymlink) {
          // Only the permission bits: no set-id or sticky bits from an archive, and a folder
          // always stays usable by its owner.
          mode_t mode = mode_t((info.external_fa >> 16) & 0777) | 0600 | (isDirectory ? 0700 : 0);
          if (::chmod(full.c_str(), mode) != 0)
            QVLogError("[SSZipArchive] Failed to set attributes - whilst setting permissions");
        }
        dates.emplace_back(full, date);
      }
      if (!reader.close() || !entryIntact) {
        error = zipError(SSZipArchiveErrorCodeFileInfoNotLoadable, "crc check failed for file");
        success = false;
        break;
      }
      if (!success) break;
      ret = unzGoToNextFile(zip);
      if (!refused) {
        if (delegate && !delegate->zipArchiveDidUnzipFileAtIndex(index, total, path, fileInfo))
          delegate->zipArchiveDidUnzipFileAtIndexTotalFilesArchivePathUnzippedFilePath(index, total, path, full);
        if (progressHandler) progressHandler(name, fileInfo, index, total);
      }
      ++index;
    }
    reader.close();
  }
  if (success && ret != UNZ_OK && ret != UNZ_END_OF_LIST_OF_FILE) {
    error = zipError(SSZipArchiveErrorCodeFileInfoNotLoadable, "failed to retrieve info for file");
    success = false;
  }
  unzClose(zip);

  if (preserveAttributes && success) {
    for (const auto& [itemPath, date] : dates) {
      if (!setModificationDate(itemPath, date)) {
        const int e = errno;
        QVLogError("[SSZipArchive] Set attributes failed for directory: %s.", itemPath.c_str());
        QVLogError("[SSZipArchive] Error setting directory file modification date attribute: %s", std::strerror(e));
      }
    }
  }
  if (success && topLevel) {
    // A link checked when it was made can lead elsewhere once later entries exist (a link through
    // a folder link made after it): each one is checked again with the whole archive out.
    for (const auto& link : budget.links)
      if (!isWithin(resolvedPath(link), root)) {
        QVLogError("[SSZipArchive] Refused symbolic link leaving the destination once unzipped: %s", link.c_str());
        ++budget.refused;
      }
  }
  if (success && budget.refused > refusedBefore) {
    error = zipError(SSZipArchiveErrorCodeUnsafeEntry, "refused entries that would land outside the destination");
    success = false;
  }
  if (!success && topLevel && !canceled) removeWhatWasMade(budget);
  if (success && delegate) delegate->zipArchiveDidUnzipArchiveAtPath(path, globalInfo, destination);
  if (!canceled && delegate) delegate->zipArchiveProgressEvent(fileSize, fileSize);
  return finish(success);
}

// An entry's date and external attributes from a file's status.
zip_fileinfo fileInfoForStatus(const struct stat* st) {
  zip_fileinfo zi{};
  if (st) {
    zi.dosDate = SSZipArchive::msdosFormatWithDate(
        qv::Date::fromUnixTime(double(st->st_mtim.tv_sec) + st->st_mtim.tv_nsec / 1e9));
    zi.external_fa = uLong((0x8000u + (st->st_mode & 07777)) << 16);
  } else {
    zi.dosDate = SSZipArchive::msdosFormatWithDate(qv::Date::now());
  }
  return zi;
}

}  // namespace

// ---- unzipping ----

bool SSZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination) {
  return unzipFileAtPath(path, destination, true, true, std::nullopt, nullptr, nullptr);
}

bool SSZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination,
                                   SSZipArchiveDelegate* delegate) {
  return unzipFileAtPath(path, destination, true, true, std::nullopt, nullptr, delegate);
}

bool SSZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                   const Password& password, qv::Error* error) {
  return unzipFileAtPath(path, destination, true, overwrite, password, error, nullptr);
}

bool SSZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                   const Password& password, qv::Error* error, SSZipArchiveDelegate* delegate) {
  return unzipFileAtPath(path, destination, true, overwrite, password, error, delegate);
}

bool SSZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                   const Password& password, SSZipArchiveProgressHandler progressHandler,
                                   SSZipArchiveCompletionHandler completionHandler) {
  return unzipFileAtPath(path, destination, true, overwrite, password, nullptr, nullptr, std::move(progressHandler),
                         std::move(completionHandler));
}

bool SSZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination,
                                   SSZipArchiveProgressHandler progressHandler,
                                   SSZipArchiveCompletionHandler completionHandler) {
  return unzipFileAtPath(path, destination, true, true, std::nullopt, nullptr, nullptr, std::move(progressHandler),
                         std::move(completionHandler));
}

bool SSZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination, bool preserveAttributes,
                                   bool overwrite, const Password& password, qv::Error* error,
                                   SSZipArchiveDelegate* delegate) {
  return unzipFileAtPath(path, destination, preserveAttributes, overwrite, password, error, delegate, nullptr, nullptr);
}

bool SSZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination, bool preserveAttributes,
                                   bool overwrite, const Password& password, qv::Error* error,
                                   SSZipArchiveDelegate* delegate, SSZipArchiveProgressHandler progressHandler,
                                   SSZipArchiveCompletionHandler completionHandler) {
  return unzipFileAtPath(path, destination, preserveAttributes, overwrite, 0, password, error, delegate,
                         std::move(progressHandler), std::move(completionHandler));
}

bool SSZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination, bool preserveAttributes,
                                   bool overwrite, int64_t nestedZipLevel, const Password& password, qv::Error* error,
                                   SSZipArchiveDelegate* delegate, SSZipArchiveProgressHandler progressHandler,
                                   SSZipArchiveCompletionHandler completionHandler) {
  UnzipBudget budget;
  budget.limits = expansionLimits();
  return unzipArchive(path, destination, preserveAttributes, overwrite, nestedZipLevel, password.value_or(""), error,
                      delegate, progressHandler, completionHandler, budget);
}

bool SSZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                   const Password& password, qv::Error* error, bool links) {
  UnzipBudget budget;
  budget.limits = expansionLimits();
  budget.allowLinks = links;
  return unzipArchive(path, destination, true, overwrite, 0, password.value_or(""), error, nullptr, {}, {}, budget);
}

SSZipExpansionLimits SSZipArchive::expansionLimits() {
  std::lock_guard<std::mutex> lock(gLimitsMutex);
  return gLimits;
}

void SSZipArchive::setExpansionLimits(SSZipExpansionLimits limits) {
  std::lock_guard<std::mutex> lock(gLimitsMutex);
  gLimits = limits;
}

// ---- checking ----

bool SSZipArchive::isFilePasswordProtectedAtPath(const std::string& path) {
  unzFile zip = openArchive(path, nullptr);
  if (!zip) return false;
  bool result = false;
  int ret = unzGoToFirstFile(zip);
  while (ret == UNZ_OK) {
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) break;
    if (info.flag & 1) {
      result = true;
      break;
    }
    if (unzOpenCurrentFile(zip) != UNZ_OK) break;
    unzCloseCurrentFile(zip);
    ret = unzGoToNextFile(zip);
  }
  unzClose(zip);
  return result;
}

bool SSZipArchive::isPasswordValidForArchiveAtPath(const std::string& path, const std::string& password,
                                                   qv::Error* error) {
  if (error) *error = qv::Error();
  std::string why;
  unzFile zip = openArchive(path, &why);
  if (!zip) {
    if (why == "failed to open zip file" && sszip::isEmptyArchive(path)) return true;
    qv::setError(error, openError(why));
    return false;
  }
  sszip::EntryReader reader(zip, path);
  auto check = [&]() -> bool {
    int ret = unzGoToFirstFile(zip);
    if (ret == UNZ_END_OF_LIST_OF_FILE) return true;
    while (ret == UNZ_OK) {
      unz_file_info64 info{};
      std::vector<uint8_t> extra;
      if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK) {
        extra.resize(info.size_file_extra);
        if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, extra.data(), uLong(extra.size()), nullptr, 0) != UNZ_OK)
          ret = UNZ_BADZIPFILE;
      } else {
        ret = UNZ_BADZIPFILE;
      }
      if (ret != UNZ_OK) {
        qv::setError(error, zipError(SSZipArchiveErrorCodeFileInfoNotLoadable, "failed to retrieve info for file"));
        return false;
      }
      auto opened = reader.open(info, extra, password);
      if (opened == sszip::EntryReader::OpenResult::Failed)
        qv::setError(error,
                     zipError(SSZipArchiveErrorCodeFailedOpenFileInZip, "failed to open first file in zip file"));
      if (opened != sszip::EntryReader::OpenResult::Ok) return false;
      if (info.flag & 1) {
        // The first encrypted entry decides. The stored password check is only one or two
        // bytes, so the whole entry is read and its checksum (or authentication code) must
        // match as well: a wrong password never passes by chance.
        std::vector<uint8_t> buffer(kUnzipChunk);
        int64_t n = 0;
        while ((n = reader.read(buffer.data(), buffer.size())) > 0) {
        }
        if (n == 0) return reader.close();
        if (n != sszip::EntryReader::kDataError)
          qv::setError(error,
                       zipError(SSZipArchiveErrorCodeFileContentNotReadable, "failed to read contents of file entry"));
        return false;
      }
      reader.close();
      ret = unzGoToNextFile(zip);
    }
    return true;
  };
  bool result = check();
  reader.close();
  unzClose(zip);
  return result;
}

// ---- building ----

bool SSZipArchive::createZipFileAtPath(const std::string& path, const std::vector<std::string>& paths) {
  return createZipFileAtPath(path, paths, std::nullopt);
}

bool SSZipArchive::createZipFileAtPath(const std::string& path, const std::vector<std::string>& paths,
                                       const Password& password) {
  SSZipArchive archive(path);
  if (!archive.open()) return false;
  bool success = true;
  for (const std::string& file : paths) success = archive.writeFile(file, password) && success;
  return archive.close() && success;
}

bool SSZipArchive::createZipFileAtPath(const std::string& path, const std::string& directoryPath) {
  return createZipFileAtPath(path, directoryPath, false, std::nullopt);
}

bool SSZipArchive::createZipFileAtPath(const std::string& path, const std::string& directoryPath,
                                       bool keepParentDirectory) {
  return createZipFileAtPath(path, directoryPath, keepParentDirectory, std::nullopt);
}

bool SSZipArchive::createZipFileAtPath(const std::string& path, const std::string& directoryPath,
                                       const Password& password) {
  return createZipFileAtPath(path, directoryPath, false, password);
}

bool SSZipArchive::createZipFileAtPath(const std::string& path, const std::string& directoryPath,
                                       bool keepParentDirectory, const Password& password) {
  return createZipFileAtPath(path, directoryPath, keepParentDirectory, password, nullptr);
}

bool SSZipArchive::createZipFileAtPath(const std::string& path, const std::string& directoryPath,
                                       bool keepParentDirectory, const Password& password,
                                       SSZipArchiveCreateProgressHandler progressHandler) {
  return createZipFileAtPath(path, directoryPath, keepParentDirectory, -1, password, true, std::move(progressHandler));
}

bool SSZipArchive::createZipFileAtPath(const std::string& path, const std::string& directoryPath,
                                       bool keepParentDirectory, int compressionLevel, const Password& password,
                                       bool aes, SSZipArchiveCreateProgressHandler progressHandler) {
  SSZipArchive archive(path);
  if (!archive.open()) return false;
  bool success = true;
  std::vector<std::string> items;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(directoryPath, ec), end; !ec && it != end; it.increment(ec))
    items.push_back(it->path().lexically_relative(directoryPath).generic_string());
  if (ec) success = false;
  std::sort(items.begin(), items.end());
  const fs::path archivePath = resolvedPath(path);
  const std::string parentName = lastComponent(directoryPath);
  for (size_t i = 0; i < items.size(); ++i) {
    const fs::path full = fs::path(directoryPath) / items[i];
    const std::string entryName = keepParentDirectory ? parentName + "/" + items[i] : items[i];
    if (fs::is_directory(full, ec)) {
      if (fs::is_empty(full, ec))  // a folder with contents needs no entry of its own
        success = archive.writeFolderAtPath(full.string(), entryName, password) && success;
    } else if (resolvedPath(full) != archivePath) {  // never the archive being written
      success = archive.writeFileAtPath(full.string(), entryName, compressionLevel, password, aes) && success;
    }
    if (progressHandler) progressHandler(i + 1, items.size());
  }
  return archive.close() && success;
}

// ---- the archive writer ----

SSZipArchive::SSZipArchive(std::string path) : path_(std::move(path)) {}

SSZipArchive::~SSZipArchive() {
  if (zip_) close();
}

bool SSZipArchive::open() {
  if (zip_) return false;
  zip_ = zipOpen64(path_.c_str(), APPEND_STATUS_CREATE);
  wroteAes_ = false;
  return zip_ != nullptr;
}

bool SSZipArchive::close() {
  if (!zip_) return false;
  bool ok = zipClose(static_cast<zipFile>(zip_), nullptr) == ZIP_OK;
  zip_ = nullptr;
  if (ok && wroteAes_) ok = sszip::markAesEntries(path_);
  return ok;
}

bool SSZipArchive::writeFolderAtPath(const std::string& path, const std::string& folderName, const Password& password) {
  if (!zip_) return false;
  struct stat st;
  zip_fileinfo zi = fileInfoForStatus(::stat(path.c_str(), &st) == 0 ? &st : nullptr);
  sszip::EntryWriter writer(static_cast<zipFile>(zip_));
  bool ok = writer.open(folderName + "/", zi, 0, password, false, 0);
  return writer.close() && ok;
}

bool SSZipArchive::writeFile(const std::string& path, const Password& password) {
  return writeFileAtPath(path, std::nullopt, password);
}

bool SSZipArchive::writeFileAtPath(const std::string& path, const std::optional<std::string>& fileName,
                                   const Password& password) {
  return writeFileAtPath(path, fileName, -1, password, true);
}

bool SSZipArchive::writeFileAtPath(const std::string& path, const std::optional<std::string>& fileName,
                                   int compressionLevel, const Password& password, bool aes) {
  if (!zip_) return false;
  // Non-blocking, so that a named pipe cannot stall the archive; only regular files are added.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  uint32_t crc = 0;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (password && !aes && !sszip::crcOfFile(fd, crc))) {
    ::close(fd);
    return false;
  }
  const std::string name = fileName ? *fileName : lastComponent(path);
  sszip::EntryWriter writer(static_cast<zipFile>(zip_));
  if (!writer.open(name, fileInfoForStatus(&st), compressionLevel, password, aes, crc)) {
    ::close(fd);
    return false;
  }
  wroteAes_ = wroteAes_ || writer.wroteAes();
  bool ok = true;
  std::vector<uint8_t> buffer(kZipChunk);
  for (;;) {
    ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;  // a read error is a failed entry, not a shorter one
      break;
    }
    if (!writer.write(buffer.data(), size_t(n))) {
      ok = false;
      break;
    }
  }
  ok = writer.close() && ok;
  ::close(fd);
  return ok;
}

bool SSZipArchive::writeData(const qv::Bytes& data, const std::string& filename, const Password& password) {
  return writeData(data, filename, -1, password, true);
}

bool SSZipArchive::writeData(const qv::Bytes& data, const std::string& filename, int compressionLevel,
                             const Password& password, bool aes) {
  if (!zip_) return false;
  zip_fileinfo zi = fileInfoForStatus(nullptr);
  uint32_t crc = uint32_t(crc32(0, data.data(), uInt(data.size())));
  sszip::EntryWriter writer(static_cast<zipFile>(zip_));
  if (!writer.open(filename, zi, compressionLevel, password, aes, crc)) return false;
  wroteAes_ = wroteAes_ || writer.wroteAes();
  bool ok = data.empty() || writer.write(data.data(), data.size());
  return writer.close() && ok;
}

// ---- conversions ----

qv::Date SSZipArchive::dateWithMSDOSFormat(uint32_t d) {
  std::tm tm{};
  tm.tm_year = int((d >> 25) + 1980) - 1900;
  tm.tm_mon = int((d >> 21) & 0xf) - 1;
  tm.tm_mday = int((d >> 16) & 0x1f);
  tm.tm_hour = int((d >> 11) & 0x1f);
  tm.tm_min = int((d >> 5) & 0x3f);
  tm.tm_sec = int(d & 0x1f) * 2;
  tm.tm_isdst = -1;
  return qv::Date::fromUnixTime(double(std::mktime(&tm)));
}

uint32_t SSZipArchive::msdosFormatWithDate(qv::Date date) {
  time_t t = time_t(std::floor(date.unixTime()));
  std::tm tm{};
  localtime_r(&t, &tm);
  int year = tm.tm_year + 1900;
  if (year < 1980) return (1u << 21) | (1u << 16);
  year = std::min(year, 2107);
  return uint32_t(year - 1980) << 25 | uint32_t(tm.tm_mon + 1) << 21 | uint32_t(tm.tm_mday) << 16 |
         uint32_t(tm.tm_hour) << 11 | uint32_t(tm.tm_min) << 5 | uint32_t(tm.tm_sec / 2);
}

std::string SSZipArchive::filenameStringWithCString(const char* bytes, size_t size) {
  const auto* raw = reinterpret_cast<const unsigned char*>(bytes);
  if (isValidUTF8(raw, size)) return std::string(bytes, size);
  // No encoding is guessed: a name that is not UTF-8 is shown as its bytes.
  return NSData_SSZipArchive::hexString(qv::Bytes(raw, raw + size));
}
