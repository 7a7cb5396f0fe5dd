#pragma once
// A preset: a named, stored set of adjustment layers (layer dictionaries, kept as they are and
// never looked into here) with the resource files (textures) the layers refer to. It is known by
// its file name (`identifier`, "NAME.vlp") inside its group's folder and by a UUID.
//
// On disk a preset is either one XML property list (the preset dictionary below), or, when it
// carries resources ("CachedResources" present, even empty), a bundle folder NAME.vlp:
//
//   NAME.vlp/Contents/Info.plist         from the bundle template "PresetBundleInfo/Info.plist"
//   NAME.vlp/Contents/PkgInfo            copy of the resource "DocumentBundleInfo/PkgInfo"
//   NAME.vlp/Contents/resources/<file>   every resource, and "<file stem>_tumb.jpeg" (at most 200
//                                        px) for each one that is an image
//   NAME.vlp/Contents/preset.vlp         the preset dictionary; "CachedResources" maps each key to
//                                        "/resources/<file>" and "<key>_tumb" to its thumbnail
//
// Preset dictionary: "kQVPresetIdentifierKey" (string), "uuid" (string), "group_identifier"
// (string), "priority" (number, the low 8 bits kept), "CachedResources" (dictionary key → path),
// "AdjustmentLayers" (array of layer dictionaries). A value of the wrong type reads as missing.
//
// Not thread-safe: a preset and its files are used from one thread at a time.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "QVCore/Model/Entities/QVPresetModelProtocol.h"
#include "QVPlatform/Error.h"
#include "QVPlatform/Value.h"

inline constexpr const char* kQVPresetIdentifierKey = "kQVPresetIdentifierKey";
inline constexpr const char* kQVPresetUUIDKey = "uuid";
inline constexpr const char* kQVPresetGroupIdentifierKey = "group_identifier";
inline constexpr const char* kQVPresetPriorityKey = "priority";
inline constexpr const char* kQVPresetCachedResourcesKey = "CachedResources";
inline constexpr const char* kQVPresetAdjustmentLayersKey = "AdjustmentLayers";
// The user's own group.
inline constexpr const char* kQVUserPresetGroupIdentifier = "Custom";

inline constexpr const char* kQVPresetErrorDomain = "Preset";
enum QVPresetErrorCode : int64_t {
  QVPresetErrorCodeSerialization = 1000,  // "Failed to serialize a preset"
  QVPresetErrorCodeNoLocation = 1001,     // the preset's group has no folder, or its name is no file name
  QVPresetErrorCodeNotFound = 1002,       // "The preset is being deleted does not exist"
  QVPresetErrorCodeNameTaken = 1003,      // a rename onto another preset's file
};

class QVPreset : public QVPresetModelProtocol {
 public:
  // A preset with no fields set (what the protocol factory hands out).
  QVPreset() = default;
  // Reads the preset dictionary (see above): the identifier only when present, a new UUID when
  // there is none, the group "Custom" when there is none, priority 0 when missing, amount 1.0,
  // and of the content only "CachedResources" and "AdjustmentLayers".
  explicit QVPreset(const qv::Value& dictionary);
  ~QVPreset() override = default;

  static std::shared_ptr<QVPreset> initWithDic(const qv::Value& dictionary);
  // A preset file or bundle: nullptr when no dictionary can be read there. The name on disk wins
  // over the stored identifier; `isFavorite` comes from the favourites.
  static std::shared_ptr<QVPreset> initWithPath(const std::string& path);
  // How initWithPath learns whether a UUID is a favourite. The favourites service installs it when
  // the library loads (the entity must not call up into the services); without one, no preset is
  // a favourite.
  static void setFavoriteLookup(std::function<bool(const std::string& presetUUID)> lookup);

  // The preset dictionary stored at a file or bundle path, with a bundle's resource paths made
  // absolute; a null value when there is none. Resource entries that are no text or that would
  // lead out of the bundle are dropped.
  static qv::Value presetDicFromPath(const std::string& path);

  // The layers' content plus identifier, uuid, group and priority; empty fields are left out.
  qv::Value serialize() const override;

  // Same uuid (ignoring case), else same identifier (ignoring case and Unicode composition).
  bool isEqualTo(const QVPreset* other) const;
  bool isAssociatedWithUUID(const std::string& uuid) const { return uuid_ == uuid; }
  // The name compared without regard to case.
  bool isAssociatedWithName(const std::string& name) const;
  void generateNewUUID();

  // Saves as a bundle when the content has "CachedResources", else as a single file.
  bool save(qv::Error* error);
  bool saveAsFile(qv::Error* error) { return saveAsFileAtPath(path(), error); }
  // Always the single-file form, at the folder joined with `identifier`.
  bool saveAtFolder(const std::string& folder, qv::Error* error);
  bool saveAsFileAtPath(const std::string& path, qv::Error* error);
  // Builds the bundle in a temporary folder beside `path` and swaps it in only when it is
  // complete, so a failure leaves the old preset as it was, and re-saving a bundle in place keeps
  // the resources it reads from itself.
  bool saveAsBundle(qv::Error* error);
  // Renames to NAME.vlp in the same group and saves; an empty name only saves. A name that is
  // another preset's file is refused (error 1003) and nothing changes. The old file goes once the
  // new one is written.
  bool updateName(const std::string& name, qv::Error* error);
  bool update(qv::Error* error) { return updateName({}, error); }
  bool remove(qv::Error* error) { return removePresetAtPath(path(), error); }
  // Removes the file or folder; error 1002 when nothing is there.
  static bool removePresetAtPath(const std::string& path, qv::Error* error);

  std::string identifier() const override { return identifier_; }
  void setIdentifier(std::string v) { identifier_ = std::move(v); }
  std::string uuid() const override { return uuid_; }
  void setUuid(std::string v) { uuid_ = std::move(v); }
  const std::string& groupIdentifier() const { return groupIdentifier_; }
  void setGroupIdentifier(std::string v) { groupIdentifier_ = std::move(v); }
  bool isFavorite() const { return isFavorite_; }
  void setIsFavorite(bool v) { isFavorite_ = v; }
  uint8_t priority() const { return priority_; }
  void setPriority(uint8_t v) { priority_ = v; }
  float amount() const { return amount_; }
  void setAmount(float v) { amount_ = v; }
  // At most "CachedResources" and "AdjustmentLayers".
  const qv::Value& layersInfo() const { return layersInfo_; }
  void setLayersInfo(qv::Value v) { layersInfo_ = std::move(v); }

  // `identifier` without its extension.
  std::string name() const;
  // The group's folder joined with `identifier`; empty when the group has no folder or the
  // identifier is no plain file name (so nothing is ever written outside the group's folder).
  std::string path() const;
  // The group lies in the presets folder of the shared container.
  bool isInContainersGroup() const;

 private:
  void updateIdentifierWithName(const std::string& name);
  std::string pathForIdentifier(const std::string& identifier) const;

  std::string identifier_;
  std::string uuid_;
  std::string groupIdentifier_;
  bool isFavorite_ = false;
  uint8_t priority_ = 0;
  float amount_ = 0;
  qv::Value layersInfo_;
};
