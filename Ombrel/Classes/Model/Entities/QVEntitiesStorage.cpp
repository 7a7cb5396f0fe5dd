#include "Ombrel/Classes/Model/Entities/QVEntitiesStorage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

#include "Ombrel/Classes/Basic/QVSingleton.h"
#include "Ombrel/Classes/Model/Entities/QVFilesManager.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/OwnFiles.h"
#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"
#include "rova/codecs/SafeFile.h"

namespace {

// A file descriptor closed when it goes out of scope.
struct FileHandle {
  int fd = -1;
  explicit FileHandle(int descriptor) : fd(descriptor) {}
  ~FileHandle() {
    if (fd >= 0) ::close(fd);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
};

bool writeAll(int fd, const uint8_t* bytes, size_t length) {
  while (length > 0) {
    ssize_t written = ::write(fd, bytes, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    length -= size_t(written);
  }
  return true;
}

bool readAll(int fd, uint64_t offset, uint8_t* bytes, size_t length) {
  while (length > 0) {
    ssize_t got = ::pread(fd, bytes, length, off_t(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    offset += uint64_t(got);
    length -= size_t(got);
  }
  return true;
}

size_t hashOf(const qv::Bytes& data) {
  return std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

// The size of an open file, or -1.
int64_t fileSize(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 ? int64_t(info.st_size) : -1;
}

}  // namespace

QVEntitiesStorage& QVEntitiesStorage::shared() { return qvSingleton<QVEntitiesStorage>("QVEntitiesStorage"); }

QVEntitiesStorage::QVEntitiesStorage(std::string directory) : QVEntitiesStorage(std::move(directory), Limits{}) {}

QVEntitiesStorage::QVEntitiesStorage(std::string directory, Limits limits)
    : directory_(std::move(directory)),
      limits_(limits),
      operationQueue_(qv::DispatchQueue::makeSerial("Entities storage operation queue")) {}

QVEntitiesStorage::~QVEntitiesStorage() { waitUntilIdle(); }

std::string QVEntitiesStorage::directory() {
  if (!directory_.empty()) {
    qv::createDirectory(directory_);
    return directory_;
  }
  return QVFilesManager::sharedManager().entitiesDirectoryPath();
}

std::string QVEntitiesStorage::storageMapPath() {
  return qv::appendingPathComponent(directory(), "EntitiesStorage.map");
}

std::string QVEntitiesStorage::storageDataPath() {
  std::string path = qv::appendingPathComponent(directory(), "EntitiesStorage.data");
  FileHandle handle(qv::openOwnFile(path, O_WRONLY | O_CREAT));
  return path;
}

std::map<std::string, QVEntitiesStorage::Location>& QVEntitiesStorage::map() {
  if (storageMap_) return *storageMap_;
  storageMap_.emplace();
  qv::Error error;
  qv::Value stored = qv::PropertyList::readFile(storageMapPath(), &error);
  const qv::Dictionary* entries = stored.dictionary();
  if (!entries) return *storageMap_;
  for (const auto& [key, value] : *entries) {
    // Entries that are not two non-negative integers are refused; their keys read as not stored.
    const qv::Array* pair = value.array();
    if (!pair || pair->size() != 2 || !(*pair)[0].isInteger() || !(*pair)[1].isInteger()) continue;
    int64_t offset = (*pair)[0].asInt(), length = (*pair)[1].asInt();
    if (offset < 0 || length <= 0) continue;
    // Two keys of one offset share its record only when they agree on its length.
    auto record = records_.find(uint64_t(offset));
    if (record != records_.end() && record->second.length != uint64_t(length)) continue;
    pointKey(key, Location{uint64_t(offset), uint64_t(length)}, std::nullopt);
  }
  return *storageMap_;
}

void QVEntitiesStorage::pointKey(const std::string& key, Location location, std::optional<size_t> hash) {
  auto& entries = *storageMap_;
  auto it = entries.find(key);
  if (it != entries.end() && it->second.offset == location.offset && it->second.length == location.length) {
    touch(key);
    return;
  }
  forgetKey(key);
  entries[key] = location;
  Record& record = records_[location.offset];
  if (record.keys++ == 0) {
    record.length = location.length;
    record.hash = hash;
    liveBytes_ += location.length;
    if (hash) recordsByHash_.emplace(*hash, location.offset);
  }
  touch(key);
}

void QVEntitiesStorage::forgetKey(const std::string& key) {
  auto& entries = *storageMap_;
  auto it = entries.find(key);
  if (it == entries.end()) return;
  const uint64_t offset = it->second.offset;
  entries.erase(it);
  if (auto use = lastUse_.find(key); use != lastUse_.end()) {
    keysByUse_.erase(use->second);
    lastUse_.erase(use);
  }
  auto record = records_.find(offset);
  if (record == records_.end() || --record->second.keys > 0) return;
  // No key points to the record any more: its bytes are dead space.
  liveBytes_ -= record->second.length;
  if (const auto& hash = record->second.hash) {
    auto [first, last] = recordsByHash_.equal_range(*hash);
    for (auto at = first; at != last; ++at)
      if (at->second == offset) {
        recordsByHash_.erase(at);
        break;
      }
  }
  records_.erase(record);
}

void QVEntitiesStorage::forgetKeysOverlapping(uint64_t start, uint64_t end) {
  // Only when the file was cut or replaced under the store do records lie past its end.
  auto after = records_.lower_bound(start);
  const bool overlaps = after != records_.end() || (after != records_.begin() &&
                                                    std::prev(after)->first + std::prev(after)->second.length > start);
  if (!overlaps) return;
  std::vector<std::string> keys;
  for (const auto& [key, location] : map())
    if (location.offset < end && location.offset + location.length > start) keys.push_back(key);
  for (const auto& key : keys) forgetKey(key);
}

void QVEntitiesStorage::forgetAllKeys() {
  map().clear();
  records_.clear();
  recordsByHash_.clear();
  lastUse_.clear();
  keysByUse_.clear();
  liveBytes_ = 0;
}

void QVEntitiesStorage::touch(const std::string& key) {
  auto [use, added] = lastUse_.try_emplace(key, 0);
  if (!added) keysByUse_.erase(use->second);
  use->second = ++useClock_;
  keysByUse_[use->second] = key;
}

bool QVEntitiesStorage::isEntityDataStoredForKey(const std::string& key) {
  bool stored = false;
  operationQueue_->sync([&] { stored = map().count(key) != 0; });
  return stored;
}

std::optional<qv::Bytes> QVEntitiesStorage::readEntityDataForKey(const std::string& key) {
  std::optional<qv::Bytes> result;
  operationQueue_->sync([&] {
    auto it = map().find(key);
    if (it == map().end()) return;
    const Location location = it->second;
    FileHandle handle(qv::openOwnFile(storageDataPath(), O_RDONLY));
    if (handle.fd < 0) return;
    struct stat info {};
    // A record that runs past the end of the file (the file was cut or replaced) reads as nothing.
    if (::fstat(handle.fd, &info) != 0 || location.offset + location.length > uint64_t(info.st_size)) return;
    qv::Bytes data(location.length);
    if (!readAll(handle.fd, location.offset, data.data(), data.size())) return;
    result = std::move(data);
    touch(key);
  });
  return result;
}

std::optional<QVEntitiesStorage::Location> QVEntitiesStorage::liveRecordWithBytes(const qv::Bytes& data, size_t hash) {
  auto [first, last] = recordsByHash_.equal_range(hash);
  if (first == last) return std::nullopt;
  FileHandle handle(qv::openOwnFile(storageDataPath(), O_RDONLY));
  if (handle.fd < 0) return std::nullopt;
  const int64_t size = fileSize(handle.fd);
  qv::Bytes stored;
  for (auto it = first; it != last; ++it) {
    const Location location{it->second, records_.at(it->second).length};
    if (location.length != data.size() || int64_t(location.offset + location.length) > size) continue;
    // Equal hashes are only a hint: the bytes on disk are compared.
    stored.resize(location.length);
    if (readAll(handle.fd, location.offset, stored.data(), stored.size()) && stored == data) return location;
  }
  return std::nullopt;
}

bool QVEntitiesStorage::diskHasRoomFor(uint64_t length) {
  struct statvfs disk {};
  if (::statvfs(directory().c_str(), &disk) != 0) return true;  // unknown: the write itself will tell
  const uint64_t available = uint64_t(disk.f_bavail) * uint64_t(disk.f_frsize);
  if (available >= length && available - length >= limits_.diskReserve) return true;
  if (!refusingForRoom_)
    QVLogError("Entities storage: %llu MB free on the disk of %s; records are no longer kept (%llu MB stay free)",
               (unsigned long long)(available / 1'000'000), directory().c_str(),
               (unsigned long long)(limits_.diskReserve / 1'000'000));
  refusingForRoom_ = true;
  return false;
}

void QVEntitiesStorage::boundLiveBytes(const std::string& keep) {
  while (liveBytes_ > limits_.liveLimit && !keysByUse_.empty()) {
    const std::string oldest = keysByUse_.begin()->second;
    if (oldest == keep) {
      // Only the newest key is left to forget: it stays while it is the one being written.
      if (keysByUse_.size() == 1) return;
      touch(keep);
      continue;
    }
    forgetKey(oldest);
  }
}

void QVEntitiesStorage::compactIfNeeded() {
  const std::string path = storageDataPath();
  FileHandle source(qv::openOwnFile(path, O_RDONLY));
  if (source.fd < 0) return;
  const int64_t size = fileSize(source.fd);
  if (size < 0) return;
  const uint64_t dead = uint64_t(size) > liveBytes_ ? uint64_t(size) - liveBytes_ : 0;
  if (dead < std::max(limits_.compactionMinimum, liveBytes_)) return;

  // Records the file no longer holds whole (it was cut under the store) cannot be copied: forgotten.
  std::vector<std::string> unreadable;
  for (const auto& [key, location] : map())
    if (location.offset + location.length > uint64_t(size)) unreadable.push_back(key);
  for (const auto& key : unreadable) forgetKey(key);

  // The live records go to a new file through the safe writer (a fresh temporary name created
  // exclusively, synced, renamed over the data file); the saved map describes the old offsets, so
  // it goes first. A failure leaves the old data file whole, and the map in memory, still true of
  // it, is saved again.
  std::map<uint64_t, uint64_t> moved;  // old offset → new offset
  std::error_code error;
  std::filesystem::remove(storageMapPath(), error);
  std::string why;
  const bool compacted = rova::codecs::writeFileSafely(
      path,
      [&](FILE* target, std::string* failure) {
        std::vector<uint8_t> buffer;
        uint64_t written = 0;
        for (const auto& [offset, record] : records_) {
          buffer.resize(record.length);
          if (!readAll(source.fd, offset, buffer.data(), buffer.size()) ||
              std::fwrite(buffer.data(), 1, buffer.size(), target) != buffer.size()) {
            *failure = std::strerror(errno ? errno : EIO);
            return false;
          }
          moved[offset] = written;
          written += record.length;
        }
        return true;
      },
      &why, rova::codecs::SafeWriteOptions{.newFileMode = 0644});
  if (!compacted) {
    QVLogError("Entities storage: compaction given up: %s", why.c_str());
    mapHasChanges_ = true;
    return;
  }
  for (auto& [key, location] : map()) location.offset = moved.at(location.offset);
  std::map<uint64_t, Record> records;
  recordsByHash_.clear();
  for (auto& [offset, record] : records_) {
    const uint64_t now = moved.at(offset);
    if (record.hash) recordsByHash_.emplace(*record.hash, now);
    records[now] = std::move(record);
  }
  records_ = std::move(records);
  mapHasChanges_ = true;
  QVLog(256, "Entities storage compacted: %lld bytes to %llu", (long long)size, (unsigned long long)liveBytes_);
}

bool QVEntitiesStorage::writeEntityData(const qv::Bytes& data, const std::string& key) {
  if (key.empty() || data.empty()) return false;
  bool written = false;
  operationQueue_->sync([&] {
    map();
    const size_t hash = hashOf(data);
    if (auto same = liveRecordWithBytes(data, hash)) {
      pointKey(key, *same, hash);
      mapHasChanges_ = true;
      written = true;
      return;
    }
    if (!diskHasRoomFor(data.size())) return;
    std::string why;
    FileHandle handle(qv::openOwnFile(storageDataPath(), O_WRONLY | O_CREAT, &why));
    if (handle.fd < 0) {
      QVLogError("Entities storage: %s", why.c_str());
      return;
    }
    off_t start = ::lseek(handle.fd, 0, SEEK_END);
    if (start < 0) return;
    bool whole = writeAll(handle.fd, data.data(), data.size());
    off_t end = ::lseek(handle.fd, 0, SEEK_CUR);
    if (!whole || end <= start || uint64_t(end - start) != data.size()) {
      // Cut a torn record off, so the file keeps ending at a record boundary.
      if (end > start && ::ftruncate(handle.fd, start) != 0) QVLogError("Error: %s", std::strerror(errno));
      return;
    }
    forgetKeysOverlapping(uint64_t(start), uint64_t(end));
    pointKey(key, Location{uint64_t(start), uint64_t(end - start)}, hash);
    mapHasChanges_ = true;
    refusingForRoom_ = false;
    written = true;
    boundLiveBytes(key);
    compactIfNeeded();
  });
  return written;
}

void QVEntitiesStorage::saveMapAsync(bool async) {
  if (async)
    operationQueue_->async([this] { saveMapOnQueue(); });
  else
    operationQueue_->sync([this] { saveMapOnQueue(); });
}

void QVEntitiesStorage::saveMap() {
  operationQueue_->sync([this] { saveMapOnQueue(); });
}

void QVEntitiesStorage::saveMapOnQueue() {
  if (!mapHasChanges_) return;
  // The records must be on disk before a map that points at them.
  {
    FileHandle handle(qv::openOwnFile(storageDataPath(), O_WRONLY));
    if (handle.fd >= 0) ::fsync(handle.fd);
  }
  qv::Value file = qv::Dictionary{};
  for (const auto& [key, location] : map())
    file.set(key, qv::Array{qv::Value(location.offset), qv::Value(location.length)});
  qv::Error error;
  if (qv::PropertyList::writeFile(storageMapPath(), file, qv::PropertyListFormat::XML, &error))
    mapHasChanges_ = false;
  else
    QVLogError("Error: %s", error.description.c_str());
}

// A clean marks the map changed, so a map saved later never keeps keys whose records are gone
// (after a whole clean their offsets would point into the records of the new data file).
void QVEntitiesStorage::cleanMap() {
  operationQueue_->sync([this] {
    forgetAllKeys();
    mapHasChanges_ = true;
  });
}

void QVEntitiesStorage::cleanMapWithPath(const std::string& path) {
  operationQueue_->sync([this, &path] {
    const std::string prefix = qv::md5(path);
    std::vector<std::string> keys;
    for (const auto& entry : map())
      if (entry.first.starts_with(prefix)) keys.push_back(entry.first);
    for (const auto& key : keys) forgetKey(key);
    mapHasChanges_ = true;
  });
}

void QVEntitiesStorage::cleanupEntitiesStorage() {
  operationQueue_->async([this] {
    cleanMap();
    // A saved map would describe records that are gone; the map file goes with the data file.
    for (const char* name : {"EntitiesStorage.data", "EntitiesStorage.map"}) {
      std::error_code error;
      std::filesystem::remove(qv::appendingPathComponent(directory(), name), error);
      if (error) QVLogError("Error: %s", error.message().c_str());
    }
  });
}

void QVEntitiesStorage::cleanupEntitiesStorageWithPath(const std::string& path) {
  operationQueue_->async([this, path] { cleanMapWithPath(path); });
}

void QVEntitiesStorage::cleanupEntitiesStorageForKey(const std::string& key) {
  operationQueue_->async([this, key] {
    if (!map().count(key)) return;
    forgetKey(key);
    mapHasChanges_ = true;
  });
}

std::map<std::string, QVEntitiesStorage::Location> QVEntitiesStorage::storageMap() {
  std::map<std::string, Location> copy;
  operationQueue_->sync([&] { copy = map(); });
  return copy;
}

void QVEntitiesStorage::waitUntilIdle() {
  operationQueue_->sync([] {});
}

uint64_t QVEntitiesStorage::liveBytes() {
  uint64_t live = 0;
  operationQueue_->sync([&] {
    map();
    live = liveBytes_;
  });
  return live;
}

uint64_t QVEntitiesStorage::dataFileBytes() {
  uint64_t size = 0;
  operationQueue_->sync([&] {
    std::error_code error;
    const auto bytes =
        std::filesystem::file_size(qv::appendingPathComponent(directory(), "EntitiesStorage.data"), error);
    size = error ? 0 : uint64_t(bytes);
  });
  return size;
}
