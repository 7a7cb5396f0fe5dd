#include "Ombrel/Classes/Model/Entities/QVEntity.h"

#include "QVPlatform/Log.h"
#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"

namespace {
const char* const kVersionKey = "Version";
}

QVEntityRef QVEntity::initWithData(QVEntityClassRef cls, const qv::Bytes& data) {
  if (!cls || data.empty()) return nullptr;
  qv::Error error;
  qv::Value archive = qv::PropertyList::read(data, &error);
  if (!archive.isDictionary()) return nullptr;
  QVEntityRef entity = cls->make();
  if (!entity || !entity->initWithCoder(archive)) return nullptr;
  return entity;
}

qv::Bytes QVEntity::entityData() const {
  qv::Value archive = qv::Dictionary{};
  encodeWithCoder(archive);
  return qv::PropertyList::toBinary(archive).value_or(qv::Bytes{});
}

bool QVEntity::writeToFile(const std::string& path) const {
  qv::Bytes data = entityData();
  return !data.empty() && qv::writeFileAtomically(path, data.data(), data.size());
}

bool QVEntity::initWithCoder(const qv::Value& archive) {
  const qv::Value* version = archive.find(kVersionKey);
  return version && version->isInteger() && version->asInt() == QVEntityClass::currentVersion;
}

void QVEntity::encodeWithCoder(qv::Value& archive) const { archive.set(kVersionKey, QVEntityClass::currentVersion); }

QVEntityRef QVStorableEntity::initWithPath(QVEntityClassRef cls, const std::string& path) {
  if (path.empty()) QVLogDebug("An entity of %s made without a source path", cls ? cls->name.c_str() : "no class");
  return cls ? cls->make() : nullptr;
}

void QVStorableEntity::setCacheObject(const QVCacheObject& object) {
  if (validateCacheObject(object.value)) cacheObject_ = object.value;
}

bool QVStorableEntity::initWithCoder(const qv::Value& archive) {
  if (!QVEntity::initWithCoder(archive)) return false;
  if (const qv::Value* object = archive.find(dataKey())) setCacheObject({*object, nullptr});
  return true;
}

void QVStorableEntity::encodeWithCoder(qv::Value& archive) const {
  QVEntity::encodeWithCoder(archive);
  if (validateCacheObject(cacheObject_)) archive.set(dataKey(), cacheObject_);
}

QVEntityRef QVStorableEntity::copy() const {
  auto entity = std::dynamic_pointer_cast<QVStorableEntity>(entityClass()->make());
  if (entity) entity->cacheObject_ = cacheObject_;
  return entity;
}

QVEntityRef QVStorableEntity::copyWithCacheObject(const QVCacheObject& object) const {
  auto entity = std::dynamic_pointer_cast<QVStorableEntity>(entityClass()->make());
  if (!entity) return nullptr;
  entity->cacheObject_ = cacheObject_;
  entity->setCacheObject(object);
  return entity;
}

void QVImageEntity::setCacheObject(const QVCacheObject& object) {
  if (!object.image) return QVStorableEntity::setCacheObject(object);
  qv::Bytes tiff = object.image->TIFFRepresentation();
  if (tiff.empty()) return;
  cacheObject_ = qv::Value(std::move(tiff));
  setImage(object.image);
}

uint64_t QVImageEntity::cost() const {
  const uint64_t encoded = cacheObject_.size();
  if (encoded == 0) return 0;
  std::lock_guard guard(imageMutex_);
  const uint64_t decoded = image_ ? image_->heldBytes() : 0;
  return encoded + (decoded ? decoded : encoded);
}

NSImageRef QVImageEntity::image() const {
  std::lock_guard guard(imageMutex_);
  if (!image_ && cacheObject_.size() != 0)
    if (const qv::Bytes* data = cacheObject_.data()) image_ = NSImage::imageWithData(*data);
  return image_;
}

void QVImageEntity::setImage(NSImageRef image) {
  std::lock_guard guard(imageMutex_);
  image_ = std::move(image);
}

// Class records are never destroyed: cache workers still finishing at exit may read them after static
// destruction has begun.
#define QV_ENTITY_CLASS_INFO(Name)                                                               \
  const QVEntityClass& Name::cls() {                                                             \
    static const auto* info = new QVEntityClass{#Name, [] { return std::make_shared<Name>(); }}; \
    return *info;                                                                                \
  }
QV_ENTITY_CLASS_INFO(QVFaceEntity)
QV_ENTITY_CLASS_INFO(QVImageThumbEntity)
QV_ENTITY_CLASS_INFO(QVImagePreviewEntity)
QV_ENTITY_CLASS_INFO(QVImagePreviewLensedEntity)
QV_ENTITY_CLASS_INFO(QVImageOriginalEntity)
QV_ENTITY_CLASS_INFO(QVBlurredThumbEntity)
QV_ENTITY_CLASS_INFO(QVProcessedThumbEntity)
QV_ENTITY_CLASS_INFO(QVProcessedPreviewEntity)
QV_ENTITY_CLASS_INFO(QVProcessedImageEntity)
#undef QV_ENTITY_CLASS_INFO
