#pragma once
// The units the application's caches hold: one cache object (the encoded bytes of an image
// rendition of a source file, or a list of faces) with a version and a cost, archived as a binary
// property list {"Version": 1, "<ClassName>DataKey": cache object}.
//
// Entities are shared between threads once they are in a cache, so they are filled before they
// are shared and never changed afterwards: an update makes a new entity (`copyWithCacheObject`).
// The one lazy part, the decoded image of an image entity, is made under the entity's lock.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "QVPlatform/ImageIO/NSImage.h"
#include "QVPlatform/Value.h"

class QVEntity;
using QVEntityRef = std::shared_ptr<QVEntity>;

// What an entity class is to the caches: its name (which names the rendition and forms the cache
// key) and how to make an empty instance of it.
struct QVEntityClass {
  std::string name;
  std::function<QVEntityRef()> make;
  // The archive of a version other than this one decodes to no entity.
  static constexpr int64_t currentVersion = 1;
};
using QVEntityClassRef = const QVEntityClass*;

// What a cache is asked to hold: a property-list value (data, an array of faces) or an image.
struct QVCacheObject {
  qv::Value value;
  NSImageRef image;
};

class QVEntity : public std::enable_shared_from_this<QVEntity> {
 public:
  virtual ~QVEntity() = default;

  virtual QVEntityClassRef entityClass() const = 0;
  std::string className() const { return entityClass()->name; }
  // What the entity weighs against the memory cache's bounds.
  virtual uint64_t cost() const = 0;

  // An entity of the class decoded from archived data; nullptr for data that is no archive of this
  // class's current version.
  static QVEntityRef initWithData(QVEntityClassRef cls, const qv::Bytes& data);
  // The archived form (binary property list).
  qv::Bytes entityData() const;
  bool writeToFile(const std::string& path) const;

  // Reads the archive dictionary; false when its "Version" is not the current one.
  virtual bool initWithCoder(const qv::Value& archive);
  virtual void encodeWithCoder(qv::Value& archive) const;

  // Suffix of an entity file for additional parameters: none for every class.
  static std::optional<std::string> entityPathSuffixForAdditionalParameters(const qv::Value&) { return std::nullopt; }
};

// An entity that wraps one cache object of the classes it accepts.
class QVStorableEntity : public QVEntity {
 public:
  // An empty entity of the class for a source path (the path is not kept).
  static QVEntityRef initWithPath(QVEntityClassRef cls, const std::string& path);

  // True when the entity accepts the object (never for a null value).
  virtual bool validateCacheObject(const qv::Value& object) const { return false; }
  // Sets an accepted object; anything else is ignored and the previous object stays.
  virtual void setCacheObject(const QVCacheObject& object);
  const qv::Value& cacheObject() const { return cacheObject_; }

  std::string dataKey() const { return className() + "DataKey"; }

  bool initWithCoder(const qv::Value& archive) override;
  void encodeWithCoder(qv::Value& archive) const override;

  // A new entity of the same class holding the same object.
  QVEntityRef copy() const;
  // A new entity of the same class filled with the object, the way an update replaces an entity
  // other threads may be reading.
  QVEntityRef copyWithCacheObject(const QVCacheObject& object) const;

 protected:
  qv::Value cacheObject_;
};

// Entities that hold an image; readers ask for this before they take one.
class QVImageEntityContainable {
 public:
  virtual ~QVImageEntityContainable() = default;
  virtual NSImageRef image() const = 0;
};

class QVImageEntity : public QVStorableEntity, public QVImageEntityContainable {
 public:
  bool validateCacheObject(const qv::Value& object) const override { return object.isData(); }
  // An image is kept as its TIFF data, and as the image itself.
  void setCacheObject(const QVCacheObject& object) override;
  // The held image; decoded from the data on first use.
  NSImageRef image() const override;
  void setImage(NSImageRef image);
  // The memory the entity takes: the encoded image and the decoded one it keeps beside it (the image
  // held, or for one not decoded yet the encoded length: an uncompressed TIFF decodes to about its
  // own size). 0 without an encoded image.
  uint64_t cost() const override;

 private:
  mutable std::mutex imageMutex_;
  mutable NSImageRef image_;
};

class QVFaceEntity : public QVStorableEntity {
 public:
  static const QVEntityClass& cls();
  QVEntityClassRef entityClass() const override { return &cls(); }
  bool validateCacheObject(const qv::Value& object) const override { return object.isArray(); }
  const qv::Value& faces() const { return cacheObject_; }
  void setFaces(qv::Value faces) { setCacheObject({std::move(faces), nullptr}); }
  // Faces never count against the memory cache's bounds.
  uint64_t cost() const override { return 0; }
};

// The renditions: each class name names what its entities hold.
#define QV_IMAGE_ENTITY_CLASS(Name)                                  \
  class Name : public QVImageEntity {                                \
   public:                                                           \
    static const QVEntityClass& cls();                               \
    QVEntityClassRef entityClass() const override { return &cls(); } \
  };
QV_IMAGE_ENTITY_CLASS(QVImageThumbEntity)          // source thumbnail
QV_IMAGE_ENTITY_CLASS(QVImagePreviewEntity)        // source preview
QV_IMAGE_ENTITY_CLASS(QVImagePreviewLensedEntity)  // lens-corrected source preview
QV_IMAGE_ENTITY_CLASS(QVImageOriginalEntity)       // source at full size
QV_IMAGE_ENTITY_CLASS(QVBlurredThumbEntity)        // blurred thumbnail
QV_IMAGE_ENTITY_CLASS(QVProcessedThumbEntity)      // processed thumbnail
QV_IMAGE_ENTITY_CLASS(QVProcessedPreviewEntity)    // processed preview
QV_IMAGE_ENTITY_CLASS(QVProcessedImageEntity)      // processed image at full size
#undef QV_IMAGE_ENTITY_CLASS
