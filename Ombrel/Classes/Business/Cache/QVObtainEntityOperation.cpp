#include "Ombrel/Classes/Business/Cache/QVObtainEntityOperation.h"

std::shared_ptr<QVObtainEntityOperation> QVObtainEntityOperation::initWithPath(std::string path, std::string key,
                                                                               QVEntityClassRef cls,
                                                                               QVEntitiesStorage* storage) {
  return std::make_shared<QVObtainEntityOperation>(std::move(path), std::move(key), cls, storage);
}

QVObtainEntityOperation::QVObtainEntityOperation(std::string path, std::string key, QVEntityClassRef cls,
                                                 QVEntitiesStorage* storage)
    : QVPathOperation(std::move(path)),
      storage_(storage ? *storage : QVEntitiesStorage::shared()),
      entityKey_(std::move(key)),
      entityClass_(cls),
      loadFromFile_(!entityKey_.empty() && storage_.isEntityDataStoredForKey(entityKey_)) {}

QVEntityRef QVObtainEntityOperation::entity() const {
  std::lock_guard guard(entityMutex_);
  return entity_;
}

QVEntityRef QVObtainEntityOperation::createEntity() const {
  return QVStorableEntity::initWithPath(entityClass_, sourcePath());
}

void QVObtainEntityOperation::main() {
  QVEntityRef obtained;
  if (!isCancelled() && !entityKey_.empty())
    if (auto data = storage_.readEntityDataForKey(entityKey_)) obtained = QVEntity::initWithData(entityClass_, *data);
  if (isCancelled()) return performFinishedCallback();
  if (!obtained) {
    // Data the class cannot decode is replaced by a new entity under the same key.
    obtained = createEntity();
    if (obtained && !entityKey_.empty()) storage_.writeEntityData(obtained->entityData(), entityKey_);
  }
  if (isCancelled()) return performFinishedCallback();
  {
    std::lock_guard guard(entityMutex_);
    entity_ = std::move(obtained);
  }
  QVPathOperation::main();
}
