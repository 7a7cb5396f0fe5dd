#pragma once
// One event log file: the stored forms of its records back to back, then the end offset of every
// record in decimal joined by ",", then "{N}" with N the length of that offsets text. The tail is
// ASCII and ends the file without a newline; an empty file holds no records. Two records of 412
// and 380 bytes end the file in "412,792{7}".
//
// A file whose tail cannot be read, or whose offsets do not describe the file, counts as empty:
// the next save starts it afresh from offset 0.
//
// Every file operation runs under the storage's own lock, so saves from the crash path, the main
// thread and the reachability queue never interleave within one file; each operation opens the
// file anew. Thread-safe.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Business/ErrorTracker/QVAppEvent.h"
#include "QVPlatform/Value.h"

class QVAppEventStorage {
 public:
  QVAppEventStorage(std::string path, bool removePreviousLog);
  const std::string& path() const { return path_; }

  // Appends the record; false when the file cannot be written.
  bool saveEvent(const QVAppEvent& event);
  // Appends one stored form as it is.
  bool saveEventData(const qv::Bytes& data);
  // Appends many records with one write of the tail (time linear in what is written).
  bool saveEvents(const std::vector<QVAppEvent>& events);

  // A log that would grow past this many bytes is rotated first: it becomes "<name>.1" (replacing
  // the former one) and a new log starts.
  static constexpr uint64_t kDefaultMaximumBytes = uint64_t(8) << 20;
  void setMaximumBytes(uint64_t bytes);
  // The records in the order they were saved; records that cannot be read are skipped.
  std::vector<std::shared_ptr<QVAppEvent>> readAllEvents();
  // The stored forms, one per record, in order.
  std::vector<qv::Bytes> readAllEventData();
  // Empties the log.
  void clean();
  // Drops the first `count` records (those an upload delivered) and keeps every record saved
  // after them.
  bool removeFirstEvents(size_t count);

  std::vector<uint64_t> eventMap() const;
  uint64_t currentMetadataOffset() const;

  // One upload at a time: beginSending is false when one already runs.
  bool beginSending() { return !sending_.exchange(true); }
  void endSending() { sending_ = false; }
  bool isSending() const { return sending_; }

  // The offsets text and mark for a list of end offsets ("412,792{7}").
  static std::string metadataSection(const std::vector<uint64_t>& offsets);

 private:
  void createLogFile();
  void deleteLogFile();
  void readMetadata();
  bool writeEventsAndMetadata(const std::vector<qv::Bytes>& records);
  void rotateIfNeeded(uint64_t adding);
  std::vector<qv::Bytes> readRecordsLocked(size_t count);

  std::string path_;
  mutable std::recursive_mutex storageQueue_;
  std::vector<uint64_t> eventMap_;
  uint64_t currentMetadataOffset_ = 0;
  uint64_t maximumBytes_ = kDefaultMaximumBytes;
  std::atomic<bool> sending_{false};
};
