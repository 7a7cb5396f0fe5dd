#include "Ombrel/Classes/Model/Entities/QVEntitiesStorage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "Ombrel/Classes/Basic/QVSingleton.h"
#include "Ombrel/Classes/Model/Entities/QVFilesManager.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"

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

}  // namespace

QVEntitiesStorage& QVEntitiesStorage::shared() { return qvSingleton<QVEntitiesStorage>("QVEntitiesStorage"); }

QVEntitiesStorage::QVEntitiesStorage(std::string directory)
    : directory_(std::move(directory)),
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
  FileHandle handle(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
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
    (*storageMap_)[key] = Location{uint64_t(offset), uint64_t(length)};
  }
  return *storageMap_;
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
    FileHandle handle(::open(storageDataPath().c_str(), O_RDONLY | O_CLOEXEC));
    if (handle.fd < 0) return;
    struct stat info {};
    // A record that runs past the end of the file (the file was cut or replaced) reads as nothing.
    if (::fstat(handle.fd, &info) != 0 || location.offset + location.length > uint64_t(info.st_size)) return;
    qv::Bytes data(location.length);
    if (readAll(handle.fd, location.offset, data.data(), data.size())) result = std::move(data);
  });
  return result;
}

bool QVEntitiesStorage::writeEntityData(const qv::Bytes& data, const std::string& key) {
  if (key.empty()) return false;
  bool written = false;
  operationQueue_->sync([&] {
    FileHandle handle(::open(storageDataPath().c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    if (handle.fd < 0) return;
    off_t start = ::lseek(handle.fd, 0, SEEK_END);
    if (start < 0) return;
    bool whole = writeAll(handle.fd, data.data(), data.size());
    off_t end = ::lseek(handle.fd, 0, SEEK_CUR);
    if (!whole || end <= start || uint64_t(end - start) != data.size()) {
      // Cut a torn record off, so the file keeps ending at a record boundary.
      if (end > start && ::ftruncate(handle.fd, start) != 0) QVLogError("Error: %s", std::strerror(errno));
      return;
    }
    map()[key] = Location{uint64_t(start), uint64_t(end - start)};
    mapHasChanges_ = true;
    written = true;
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
    FileHandle handle(::open(storageDataPath().c_str(), O_WRONLY | O_CLOEXEC));
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
    map().clear();
    mapHasChanges_ = true;
  });
}

void QVEntitiesStorage::cleanMapWithPath(const std::string& path) {
  operationQueue_->sync([this, &path] {
    const std::string prefix = qv::md5(path);
    auto& entries = map();
    for (auto it = entries.begin(); it != entries.end();)
      it = it->first.starts_with(prefix) ? entries.erase(it) : std::next(it);
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
    if (map().erase(key)) mapHasChanges_ = true;
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
