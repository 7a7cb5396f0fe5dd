#pragma once
// The entity store: entity data kept on disk for the length of one run. "EntitiesStorage.data"
// holds the records back to back; the map (key → [offset, length]) finds them and is written to
// "EntitiesStorage.map" (an XML property list) only when asked for. A key written again points to
// its newest record; older bytes stay as dead space until the whole store is cleaned.
//
// Crash safety: a record enters the map only after all its bytes were appended; an append that
// fails part-way is cut off again, so the file never ends in a torn record the map could be made
// to point at. Before the map file is written the data file is flushed to disk, and the map file
// itself is replaced atomically, so a saved map never describes bytes that are not there. A map
// file that cannot be read, or entries that are not two numbers inside the data file, are refused:
// those keys read as not stored.
//
// Every map and file access runs on one serial queue. The reads and the write block their caller
// until the queue has done the work (call them off the store's queue's own blocks); the cleans
// return at once and run in the order asked for.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "QVPlatform/Dispatch.h"
#include "QVPlatform/Value.h"

class QVEntitiesStorage {
 public:
  struct Location {
    uint64_t offset = 0;
    uint64_t length = 0;
  };

  // The store in the files manager's "Entities" folder.
  static QVEntitiesStorage& shared();
  // A store in a folder of its own; an empty folder means the files manager's.
  explicit QVEntitiesStorage(std::string directory = {});
  // Lets the blocks queued so far (cleans, an asynchronous map save) run first.
  ~QVEntitiesStorage();

  bool isEntityDataStoredForKey(const std::string& key);
  // The record, or nullopt when the key is not stored or its record cannot be read whole.
  std::optional<qv::Bytes> readEntityDataForKey(const std::string& key);
  // True when the whole record was appended and the key now points to it. Empty data is refused.
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

 private:
  std::string directory();
  // On the queue: loads the map on first use.
  std::map<std::string, Location>& map();
  void saveMapOnQueue();

  std::string directory_;
  std::shared_ptr<qv::DispatchQueue> operationQueue_;
  std::optional<std::map<std::string, Location>> storageMap_;
  bool mapHasChanges_ = false;
};
