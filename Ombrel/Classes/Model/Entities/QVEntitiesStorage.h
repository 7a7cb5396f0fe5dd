#pragma once
// The entity store: entity data kept on disk for the length of one run. "EntitiesStorage.data"
// holds the records back to back; the map (key → [offset, length]) finds them and is written to
// "EntitiesStorage.map" (an XML property list) only when asked for. A key written again points to
// its newest record.
//
// Bounds: the store's disk use follows what is being worked on, not how many photos a session
// opened.
// - Identical bytes are kept once: a record written under a second key (or again under its own)
//   that equals a live record maps that key to the live record instead of appending.
// - The live records (those some key points to) add up to at most the live limit: past it the
//   keys least recently written or read are forgotten, oldest first (they read as not stored, and
//   the caches make their entities again).
// - Dead space (records no key points to any more) is given back: once it reaches the live bytes
//   (and at least the compaction minimum) the live records are copied, in their order, into a new
//   data file that replaces the old one, and the map follows them.
// - A record that would leave less than the disk reserve free on the disk is refused (logged once
//   until a write succeeds again): the store then keeps what it has, and callers carry on without.
//
// Crash safety: a record enters the map only after all its bytes were appended; an append that
// fails part-way is cut off again, so the file never ends in a torn record the map could be made
// to point at. Before the map file is written the data file is flushed to disk, and the map file
// itself is replaced atomically, so a saved map never describes bytes that are not there; a
// compaction removes a saved map, whose offsets it moved. A map file that cannot be read, or
// entries that are not two numbers inside the data file, are refused: those keys read as not
// stored.
//
// Every map and file access runs on one serial queue. The reads and the write block their caller
// until the queue has done the work (call them off the store's queue's own blocks); the cleans
// return at once and run in the order asked for.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "QVPlatform/Dispatch.h"
#include "QVPlatform/Value.h"

// Live records are kept to this many bytes (a compaction then copies at most this much, which the
// store's queue waits for).
inline constexpr uint64_t kQVEntitiesStorageLiveLimit = 512'000'000;
// Dead space below this is left alone: copying the live records for less is not worth it.
inline constexpr uint64_t kQVEntitiesStorageCompactionMinimum = 64'000'000;
// What the store leaves free on the disk whatever it is asked to write.
inline constexpr uint64_t kQVEntitiesStorageDiskReserve = 1'000'000'000;

class QVEntitiesStorage {
 public:
  struct Location {
    uint64_t offset = 0;
    uint64_t length = 0;
  };
  struct Limits {
    uint64_t liveLimit = kQVEntitiesStorageLiveLimit;
    uint64_t compactionMinimum = kQVEntitiesStorageCompactionMinimum;
    uint64_t diskReserve = kQVEntitiesStorageDiskReserve;
  };

  // The store in the files manager's "Entities" folder.
  static QVEntitiesStorage& shared();
  // A store in a folder of its own; an empty folder means the files manager's.
  explicit QVEntitiesStorage(std::string directory = {});
  QVEntitiesStorage(std::string directory, Limits limits);
  // Lets the blocks queued so far (cleans, an asynchronous map save) run first.
  ~QVEntitiesStorage();

  bool isEntityDataStoredForKey(const std::string& key);
  // The record, or nullopt when the key is not stored or its record cannot be read whole.
  std::optional<qv::Bytes> readEntityDataForKey(const std::string& key);
  // True when the key now points to the whole record (appended, or a live record with the same
  // bytes). Empty data is refused, and so is a record the disk has no room for.
  bool writeEntityData(const qv::Bytes& data, const std::string& key);

  void saveMapAsync(bool async);
  void saveMap();
  void cleanMap();
  // Forgets every key that begins with the MD5 text of the source path.
  void cleanMapWithPath(const std::string& path);

  // Queued: forgets every key and deletes the data file.
  void cleanupEntitiesStorage();
  // Queued: cleanMapWithPath.
  void cleanupEntitiesStorageWithPath(const std::string& path);
  // Queued: forgets the key.
  void cleanupEntitiesStorageForKey(const std::string& key);

  // A copy of the map, taken on the store's queue.
  std::map<std::string, Location> storageMap();
  std::string storageMapPath();
  // Creates an empty data file when none exists.
  std::string storageDataPath();
  // Waits until every block queued so far has run.
  void waitUntilIdle();

  // The bytes of the records some key points to, and the data file's size (live and dead).
  uint64_t liveBytes();
  uint64_t dataFileBytes();

 private:
  // A live record: its length, how many keys point to it, and the hash of its bytes (none for
  // records of a saved map, whose bytes were never seen).
  struct Record {
    uint64_t length = 0;
    uint64_t keys = 0;
    std::optional<size_t> hash;
  };

  std::string directory();
  // On the queue: loads the map on first use.
  std::map<std::string, Location>& map();
  void saveMapOnQueue();
  // On the queue. Every change of the map goes through these, so the records and the order of use
  // follow it.
  void pointKey(const std::string& key, Location location, std::optional<size_t> hash);
  void forgetKey(const std::string& key);
  void forgetAllKeys();
  // Forgets the keys of records the file no longer holds where they were (bytes [start, end) were
  // just written there).
  void forgetKeysOverlapping(uint64_t start, uint64_t end);
  void touch(const std::string& key);
  // The live record holding exactly these bytes, when there is one.
  std::optional<Location> liveRecordWithBytes(const qv::Bytes& data, size_t hash);
  bool diskHasRoomFor(uint64_t length);
  // Forgets the least recently used keys until the live records fit the live limit; `keep` stays.
  void boundLiveBytes(const std::string& keep);
  void compactIfNeeded();

  std::string directory_;
  const Limits limits_;
  std::shared_ptr<qv::DispatchQueue> operationQueue_;
  std::optional<std::map<std::string, Location>> storageMap_;
  bool mapHasChanges_ = false;
  // Live records by offset, and their offsets by hash.
  std::map<uint64_t, Record> records_;
  std::unordered_multimap<size_t, uint64_t> recordsByHash_;
  uint64_t liveBytes_ = 0;
  // Last use of each key (a running count), and the keys in that order.
  uint64_t useClock_ = 0;
  std::unordered_map<std::string, uint64_t> lastUse_;
  std::map<uint64_t, std::string> keysByUse_;
  // A refusal for want of disk room is logged once, until a write succeeds again.
  bool refusingForRoom_ = false;
};
