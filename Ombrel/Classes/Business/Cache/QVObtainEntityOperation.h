#pragma once
// Obtains one cache entity: reads its data from the entity store, or makes an empty entity of the
// class and stores it under the key. Runs on "QVCacheInternal.Queue"; the typed cache joins every
// request for one key to the operation registered under it and reads `entity()` in its callback.
// A cancelled operation sets no entity and calls no callbacks (its finished callback still runs).
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "Ombrel/Classes/Basic/QVPathOperation.h"
#include "Ombrel/Classes/Model/Entities/QVEntitiesStorage.h"
#include "Ombrel/Classes/Model/Entities/QVEntity.h"

class QVObtainEntityOperation : public QVPathOperation {
 public:
  static std::shared_ptr<QVObtainEntityOperation> initWithPath(std::string path, std::string key, QVEntityClassRef cls,
                                                               QVEntitiesStorage* storage = nullptr);
  QVObtainEntityOperation(std::string path, std::string key, QVEntityClassRef cls, QVEntitiesStorage* storage);

  // Whether the store held data under the key when the operation was made.
  bool loadFromFile() const { return loadFromFile_; }
  const std::string& entityKey() const { return entityKey_; }
  QVEntityClassRef entityClass() const { return entityClass_; }
  QVEntityRef entity() const;

  // An empty entity of the class for the source path.
  QVEntityRef createEntity() const;

  void main() override;

 private:
  QVEntitiesStorage& storage_;
  const std::string entityKey_;
  const QVEntityClassRef entityClass_;
  const bool loadFromFile_;
  mutable std::mutex entityMutex_;
  QVEntityRef entity_;
};
