#include "Ombrel/Classes/Business/ErrorTracker/QVAppEventStorage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>

#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/OwnFiles.h"
#include "QVPlatform/Places.h"

namespace {

// The tail's mark is looked for in this many bytes at the end of the file.
constexpr uint64_t kTailWindow = 16;

// Moves all `length` bytes at `offset` with pread or pwrite, going on after short transfers and
// interruptions; false when the file ends or fails first.
template <class Byte, class Transfer>
bool transferAll(int fd, Byte* bytes, size_t length, off_t offset, Transfer transfer) {
  while (length > 0) {
    const ssize_t n = transfer(fd, bytes, length, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    length -= size_t(n);
    offset += n;
  }
  return true;
}

bool writeAll(int fd, const void* bytes, size_t length, off_t offset) {
  return transferAll(fd, static_cast<const uint8_t*>(bytes), length, offset, ::pwrite);
}

bool readAll(int fd, void* bytes, size_t length, off_t offset) {
  return transferAll(fd, static_cast<uint8_t*>(bytes), length, offset, ::pread);
}

std::optional<uint64_t> parseDecimal(const std::string& text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    value = value * 10 + uint64_t(c - '0');
  }
  return value;
}

}  // namespace

QVAppEventStorage::QVAppEventStorage(std::string path, bool removePreviousLog) : path_(std::move(path)) {
  std::lock_guard lock(storageQueue_);
  if (removePreviousLog) deleteLogFile();
  createLogFile();
  readMetadata();
}

void QVAppEventStorage::createLogFile() {
  qv::createDirectory(qv::deletingLastPathComponent(path_));
  std::string why;
  const int fd = qv::openOwnFile(path_, O_WRONLY | O_CREAT, &why);
  if (fd < 0) {
    QV_LOG_FAILURE("open(" + path_ + ", O_CREAT) < 0: " + why);
    return;
  }
  ::close(fd);
}

void QVAppEventStorage::deleteLogFile() { ::unlink(path_.c_str()); }

std::string QVAppEventStorage::metadataSection(const std::vector<uint64_t>& offsets) {
  std::string text;
  for (size_t i = 0; i < offsets.size(); ++i) {
    if (i) text += ",";
    text += std::to_string(offsets[i]);
  }
  return text + "{" + std::to_string(text.size()) + "}";
}

// The mark is the last "{...}" of the file, and the file must end with its "}". (Taking the first
// braces of the window instead would find bytes of the last record whenever the offsets text is
// short, and throw the whole log away.) The offsets must rise, stay inside the file and end where
// the offsets text begins; anything else is a damaged tail.
void QVAppEventStorage::readMetadata() {
  eventMap_.clear();
  currentMetadataOffset_ = 0;
  const int fd = qv::openOwnFile(path_, O_RDONLY);
  if (fd < 0) return;
  struct stat info {};
  if (fstat(fd, &info) != 0 || info.st_size == 0) {
    ::close(fd);
    return;
  }
  const uint64_t size = uint64_t(info.st_size);
  // A log kept within its bound is never this long: what is there is not one of ours, and its
  // records would all be read into memory. It counts as empty and is written over.
  if (size > 2 * maximumBytes_ + (uint64_t(1) << 20)) {
    ::close(fd);
    QVLogWarning("Event log %s is %llu bytes, past its bound; it counts as empty", path_.c_str(),
                 (unsigned long long)size);
    return;
  }
  const uint64_t window = std::min(size, kTailWindow);
  std::string tail(window, '\0');
  std::vector<uint64_t> offsets;
  uint64_t textStart = 0;
  bool valid = false;
  if (readAll(fd, tail.data(), window, off_t(size - window)) && tail.back() == '}') {
    const size_t open = tail.rfind('{');
    const std::optional<uint64_t> length =
        open == std::string::npos ? std::nullopt : parseDecimal(tail.substr(open + 1, tail.size() - open - 2));
    const uint64_t markLength = window - open;
    if (length && *length <= size - markLength) {
      textStart = size - markLength - *length;
      std::string text(*length, '\0');
      valid = readAll(fd, text.data(), text.size(), off_t(textStart)) || text.empty();
      uint64_t previous = 0;
      size_t from = 0;
      while (valid && !text.empty()) {
        const size_t comma = std::min(text.find(',', from), text.size());
        const std::optional<uint64_t> offset = parseDecimal(text.substr(from, comma - from));
        valid = offset && *offset > previous && *offset <= textStart;
        if (!valid) break;
        offsets.push_back(*offset);
        previous = *offset;
        if (comma == text.size()) break;
        from = comma + 1;
      }
      valid = valid && (offsets.empty() ? textStart == 0 : offsets.back() == textStart);
    }
  }
  ::close(fd);
  if (!valid) {
    QVLogWarning("Event log %s has no readable tail; it counts as empty", path_.c_str());
    return;
  }
  eventMap_ = std::move(offsets);
  currentMetadataOffset_ = textStart;
}

void QVAppEventStorage::rotateIfNeeded(uint64_t adding) {
  // The file after the write: the records, the new ones and a tail one offset longer.
  const uint64_t after = currentMetadataOffset_ + adding + metadataSection(eventMap_).size() + 24;
  if (currentMetadataOffset_ == 0 || after <= maximumBytes_) return;
  const std::string older = path_ + ".1";
  if (::rename(path_.c_str(), older.c_str()) != 0) {
    QV_LOG_FAILURE("rename(" + path_ + ", " + older + ") failed");
    return;
  }
  createLogFile();
  eventMap_.clear();
  currentMetadataOffset_ = 0;
}

void QVAppEventStorage::setMaximumBytes(uint64_t bytes) {
  std::lock_guard lock(storageQueue_);
  maximumBytes_ = bytes;
}

bool QVAppEventStorage::writeEventsAndMetadata(const std::vector<qv::Bytes>& records) {
  uint64_t adding = 0;
  for (const auto& record : records) adding += record.size();
  rotateIfNeeded(adding);
  std::vector<uint64_t> offsets = eventMap_;
  qv::Bytes bytes;
  bytes.reserve(adding);
  uint64_t end = currentMetadataOffset_;
  for (const auto& record : records) {
    bytes.insert(bytes.end(), record.begin(), record.end());
    end += record.size();
    offsets.push_back(end);
  }
  const std::string metadata = metadataSection(offsets);
  // Records and tail go out in one write over the old tail, so the file is without a valid tail
  // for as short a time as possible.
  bytes.insert(bytes.end(), metadata.begin(), metadata.end());
  std::string why;
  const int fd = qv::openOwnFile(path_, O_WRONLY | O_CREAT, &why);
  if (fd < 0) {
    QV_LOG_FAILURE("open(" + path_ + ", O_WRONLY) < 0: " + why);
    return false;
  }
  const bool written = writeAll(fd, bytes.data(), bytes.size(), off_t(currentMetadataOffset_)) &&
                       ::ftruncate(fd, off_t(currentMetadataOffset_ + bytes.size())) == 0;
  ::close(fd);
  if (!written) {
    QV_LOG_FAILURE("pwrite(" + path_ + ") failed");
    // What is on disk now is unknown; read it again so the next save sees the truth.
    readMetadata();
    return false;
  }
  eventMap_ = std::move(offsets);
  currentMetadataOffset_ = end;
  return true;
}

bool QVAppEventStorage::saveEventData(const qv::Bytes& data) {
  if (data.empty()) return false;
  std::lock_guard lock(storageQueue_);
  return writeEventsAndMetadata({data});
}

bool QVAppEventStorage::saveEvents(const std::vector<QVAppEvent>& events) {
  std::vector<qv::Bytes> records;
  records.reserve(events.size());
  for (const auto& event : events)
    if (auto data = event.archivedData(); !data.empty()) records.push_back(std::move(data));
  if (records.empty()) return true;
  std::lock_guard lock(storageQueue_);
  return writeEventsAndMetadata(records);
}

bool QVAppEventStorage::saveEvent(const QVAppEvent& event) { return saveEventData(event.archivedData()); }

std::vector<qv::Bytes> QVAppEventStorage::readRecordsLocked(size_t count) {
  std::vector<qv::Bytes> records;
  const int fd = qv::openOwnFile(path_, O_RDONLY);
  if (fd < 0) return records;
  uint64_t start = 0;
  for (size_t i = 0; i < std::min(count, eventMap_.size()); ++i) {
    const uint64_t end = eventMap_[i];
    qv::Bytes record(end - start);
    if (readAll(fd, record.data(), record.size(), off_t(start)))
      records.push_back(std::move(record));
    else
      records.emplace_back();
    start = end;
  }
  ::close(fd);
  return records;
}

std::vector<qv::Bytes> QVAppEventStorage::readAllEventData() {
  std::lock_guard lock(storageQueue_);
  return readRecordsLocked(eventMap_.size());
}

std::vector<std::shared_ptr<QVAppEvent>> QVAppEventStorage::readAllEvents() {
  std::vector<std::shared_ptr<QVAppEvent>> events;
  for (const qv::Bytes& data : readAllEventData()) {
    if (auto event = QVAppEvent::initWithData(data)) events.push_back(std::move(event));
  }
  return events;
}

void QVAppEventStorage::clean() {
  std::lock_guard lock(storageQueue_);
  deleteLogFile();
  createLogFile();
  currentMetadataOffset_ = 0;
  eventMap_.clear();
}

bool QVAppEventStorage::removeFirstEvents(size_t count) {
  std::lock_guard lock(storageQueue_);
  if (count >= eventMap_.size()) {
    deleteLogFile();
    createLogFile();
    currentMetadataOffset_ = 0;
    eventMap_.clear();
    return true;
  }
  if (count == 0) return true;
  const std::vector<qv::Bytes> records = readRecordsLocked(eventMap_.size());
  qv::Bytes bytes;
  std::vector<uint64_t> offsets;
  for (size_t i = count; i < records.size(); ++i) {
    bytes.insert(bytes.end(), records[i].begin(), records[i].end());
    offsets.push_back(bytes.size());
  }
  const uint64_t end = bytes.size();
  const std::string metadata = metadataSection(offsets);
  bytes.insert(bytes.end(), metadata.begin(), metadata.end());
  // A new file renamed over the old one: a failure leaves the old log whole (its records go
  // again, which is better than losing the ones kept).
  if (!qv::writeFileAtomically(path_, bytes.data(), bytes.size())) {
    QV_LOG_FAILURE("writeFileAtomically(" + path_ + ") == NO");
    return false;
  }
  eventMap_ = std::move(offsets);
  currentMetadataOffset_ = end;
  return true;
}

std::vector<uint64_t> QVAppEventStorage::eventMap() const {
  std::lock_guard lock(storageQueue_);
  return eventMap_;
}

uint64_t QVAppEventStorage::currentMetadataOffset() const {
  std::lock_guard lock(storageQueue_);
  return currentMetadataOffset_;
}
