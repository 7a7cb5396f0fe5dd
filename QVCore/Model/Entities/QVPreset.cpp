#include "QVCore/Model/Entities/QVPreset.h"

#include <glib.h>

#include <filesystem>
#include <functional>
#include <mutex>
#include <system_error>

#include "QVCore/Categories/NSFileManager+ContainerDirectory.h"
#include "QVCore/Model/Entities/QVPresetConstants.h"
#include "QVCore/Model/Entities/QVPresetGroup.h"
#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/OwnFiles.h"
#include "QVPlatform/PropertyList.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kContentsFolder = "Contents";
constexpr const char* kResourcesFolder = "resources";
constexpr const char* kResourcesPrefix = "/resources/";
constexpr const char* kThumbnailSuffix = "_tumb.jpeg";
constexpr const char* kThumbnailKeySuffix = "_tumb";
constexpr double kThumbnailSize = 200;

qv::Error presetError(int64_t code, const std::string& description) {
  return qv::Error(kQVPresetErrorDomain, code, description);
}

qv::Error fileError(const std::error_code& ec, const std::string& what) {
  return qv::Error("NSCocoaErrorDomain", ec.value(), what + ": " + ec.message());
}

// Lower case after canonical decomposition, so "é" and "e" + combining accent compare equal.
std::string foldedForComparison(const std::string& text, bool decompose) {
  if (!g_utf8_validate(text.data(), gssize(text.size()), nullptr)) return text;
  gchar* normal = decompose ? g_utf8_normalize(text.data(), gssize(text.size()), G_NORMALIZE_NFD)
                            : g_strndup(text.data(), text.size());
  if (!normal) return text;
  gchar* lower = g_utf8_strdown(normal, -1);
  std::string result = lower ? lower : normal;
  g_free(lower);
  g_free(normal);
  return result;
}

// A name that stays inside the folder it is joined to.
bool isPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

bool isDirectory(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

bool existsAt(const std::string& path) { return qv::entryAt(path).isTaken(); }

// A resource path stored in a bundle, made absolute; empty for a value that would lead out of it.
std::string bundleResourcePath(const std::string& contents, const std::string& stored) {
  for (const auto& part : fs::path(stored)) {
    if (part == "..") return {};
  }
  return qv::appendingPathComponent(contents, stored);
}

// The JPEG thumbnail of an image resource beside it; its file name, or empty when none was made.
std::string writeThumbnail(const std::string& imagePath) {
  if (!QVImageUtils::canOpenImageAtURL(imagePath)) return {};
  CGImageRef image = QVImageUtils::thumbnailJPEGFromImageAtPath(imagePath, kThumbnailSize);
  if (!image) return {};
  const std::string thumbnailPath = qv::deletingPathExtension(imagePath) + kThumbnailSuffix;
  auto destination = CGImageDestinationCreateWithURL(thumbnailPath, kUTTypeJPEG, 1);
  if (!destination) return {};
  CGImageDestinationAddImage(destination, image);
  if (!CGImageDestinationFinalize(destination)) return {};
  return qv::lastPathComponent(thumbnailPath);
}

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

QVPreset::QVPreset(const qv::Value& dictionary) {
  if (const qv::Value* v = dictionary.find(kQVPresetIdentifierKey); v && v->isString()) identifier_ = *v->string();
  const qv::Value* uuid = dictionary.find(kQVPresetUUIDKey);
  uuid_ = uuid && uuid->isString() && !uuid->string()->empty() ? *uuid->string() : qv::stringWithUUID();
  const qv::Value* group = dictionary.find(kQVPresetGroupIdentifierKey);
  groupIdentifier_ =
      group && group->isString() && !group->string()->empty() ? *group->string() : kQVUserPresetGroupIdentifier;
  if (const qv::Value* v = dictionary.find(kQVPresetPriorityKey); v && (v->isInteger() || v->isReal()))
    priority_ = uint8_t(uint64_t(v->asInt(0)) & 0xFF);
  amount_ = 1.0f;
  layersInfo_ = qv::Dictionary{};
  if (const qv::Value* v = dictionary.find(kQVPresetCachedResourcesKey); v && v->isDictionary())
    layersInfo_.set(kQVPresetCachedResourcesKey, *v);
  if (const qv::Value* v = dictionary.find(kQVPresetAdjustmentLayersKey); v && v->isArray())
    layersInfo_.set(kQVPresetAdjustmentLayersKey, *v);
}

std::shared_ptr<QVPreset> QVPreset::initWithDic(const qv::Value& dictionary) {
  if (!dictionary.isDictionary()) return nullptr;
  return std::make_shared<QVPreset>(dictionary);
}

namespace {
std::mutex favoriteLookupMutex;
std::function<bool(const std::string&)>& favoriteLookup() {
  static std::function<bool(const std::string&)> lookup;
  return lookup;
}
bool isFavoriteUUID(const std::string& uuid) {
  std::function<bool(const std::string&)> lookup;
  {
    std::lock_guard<std::mutex> lock(favoriteLookupMutex);
    lookup = favoriteLookup();
  }
  return lookup && lookup(uuid);
}
}  // namespace

void QVPreset::setFavoriteLookup(std::function<bool(const std::string&)> lookup) {
  std::lock_guard<std::mutex> lock(favoriteLookupMutex);
  favoriteLookup() = std::move(lookup);
}

std::shared_ptr<QVPreset> QVPreset::initWithPath(const std::string& path) {
  qv::Value dictionary = presetDicFromPath(path);
  if (dictionary.isNull()) return nullptr;
  auto preset = std::make_shared<QVPreset>(dictionary);
  preset->identifier_ = qv::lastPathComponent(path);
  preset->isFavorite_ = isFavoriteUUID(preset->uuid_);
  return preset;
}

qv::Value QVPreset::presetDicFromPath(const std::string& path) {
  if (path.empty()) return {};
  const bool bundle = isDirectory(path);
  const std::string plist = bundle ? qv::appendingPathComponent(path, std::string(kContentsFolder) + "/preset." +
                                                                          QVPresetConstants::presetFileExtension())
                                   : path;
  qv::Value dictionary = qv::PropertyList::readFile(plist, nullptr);
  if (!dictionary.isDictionary()) return {};
  if (bundle) {
    const qv::Value* stored = dictionary.find(kQVPresetCachedResourcesKey);
    if (stored && stored->isDictionary()) {
      const std::string contents = qv::appendingPathComponent(path, kContentsFolder);
      qv::Dictionary resolved;
      for (const auto& [key, value] : *stored->dictionary()) {
        std::string absolute = value.isString() ? bundleResourcePath(contents, *value.string()) : std::string();
        if (absolute.empty()) {
          QVLogWarning("Preset resource %s of %s is left out: %s", key.c_str(), path.c_str(),
                       value.description().c_str());
          continue;
        }
        resolved[key] = absolute;
      }
      if (!resolved.empty()) dictionary.set(kQVPresetCachedResourcesKey, std::move(resolved));
    }
  }
  return dictionary;
}

qv::Value QVPreset::serialize() const {
  qv::Value dictionary = qv::Dictionary{};
  if (const qv::Dictionary* content = layersInfo_.dictionary()) {
    for (const auto& [key, value] : *content) dictionary.set(key, value);
  }
  if (!identifier_.empty()) dictionary.set(kQVPresetIdentifierKey, identifier_);
  if (!uuid_.empty()) dictionary.set(kQVPresetUUIDKey, uuid_);
  if (!groupIdentifier_.empty()) dictionary.set(kQVPresetGroupIdentifierKey, groupIdentifier_);
  dictionary.set(kQVPresetPriorityKey, int64_t(priority_));
  return dictionary;
}

bool QVPreset::isEqualTo(const QVPreset* other) const {
  if (!other) return false;
  if (foldedForComparison(uuid_, false) == foldedForComparison(other->uuid_, false)) return true;
  return foldedForComparison(identifier_, true) == foldedForComparison(other->identifier_, true);
}

bool QVPreset::isAssociatedWithName(const std::string& name) const {
  return foldedForComparison(this->name(), false) == foldedForComparison(name, false);
}

void QVPreset::generateNewUUID() { uuid_ = qv::stringWithUUID(); }

std::string QVPreset::name() const { return qv::deletingPathExtension(identifier_); }

std::string QVPreset::pathForIdentifier(const std::string& identifier) const {
  if (!isPlainFileName(identifier)) return {};
  auto group = QVPresetGroup::groupWithId(groupIdentifier_);
  if (!group || group->path().empty()) return {};
  return qv::appendingPathComponent(group->path(), identifier);
}

std::string QVPreset::path() const { return pathForIdentifier(identifier_); }

bool QVPreset::isInContainersGroup() const {
  auto group = QVPresetGroup::groupWithId(groupIdentifier_);
  return group && group->isInContainers();
}

void QVPreset::updateIdentifierWithName(const std::string& name) {
  identifier_ = qv::appendingPathExtension(name, QVPresetConstants::presetFileExtension());
}

bool QVPreset::save(qv::Error* error) {
  return layersInfo_.contains(kQVPresetCachedResourcesKey) ? saveAsBundle(error) : saveAsFile(error);
}

bool QVPreset::saveAtFolder(const std::string& folder, qv::Error* error) {
  if (folder.empty() || !isPlainFileName(identifier_)) {
    qv::setError(error, presetError(QVPresetErrorCodeNoLocation, "The preset has no place to be saved"));
    return false;
  }
  return saveAsFileAtPath(qv::appendingPathComponent(folder, identifier_), error);
}

bool QVPreset::saveAsFileAtPath(const std::string& path, qv::Error* error) {
  if (path.empty()) {
    qv::setError(error, presetError(QVPresetErrorCodeNoLocation, "The preset has no place to be saved"));
    return false;
  }
  qv::Value dictionary = serialize();
  if (dictionary.size() == 0) {
    qv::setError(error, presetError(QVPresetErrorCodeSerialization, "Failed to serialize a preset"));
    return false;
  }
  return qv::PropertyList::writeFile(path, dictionary, qv::PropertyListFormat::XML, error);
}

bool QVPreset::saveAsBundle(qv::Error* error) {
  qv::Value dictionary = serialize();
  if (dictionary.size() == 0) {
    qv::setError(error, presetError(QVPresetErrorCodeSerialization, "Failed to serialize a preset"));
    return false;
  }
  const std::string bundlePath = path();
  if (bundlePath.empty()) {
    qv::setError(error, presetError(QVPresetErrorCodeNoLocation, "The preset has no place to be saved"));
    return false;
  }
  // The new bundle is built beside the old one: the resources may be read from the old bundle
  // itself, and a failure must leave it untouched.
  const std::string parent = qv::deletingLastPathComponent(bundlePath);
  const std::string staging =
      qv::appendingPathComponent(parent, "." + qv::lastPathComponent(bundlePath) + ".saving-" + qv::stringWithUUID());
  auto fail = [&](const std::error_code& ec, const std::string& what) {
    qv::setError(error, fileError(ec, what));
    std::error_code ignored;
    fs::remove_all(staging, ignored);
    return false;
  };
  std::error_code ec;
  const std::string contents = qv::appendingPathComponent(staging, kContentsFolder);
  if (!fs::create_directory(staging, ec) || ec)
    return fail(ec ? ec : std::make_error_code(std::errc::file_exists), staging);
  if (!fs::create_directory(contents, ec) || ec) return fail(ec, contents);

  const qv::Bundle& app = qv::Bundle::appBundle();
  qv::Value info = qv::PropertyList::readFile(app.pathForResource("Info", "plist", "PresetBundleInfo"), nullptr);
  if (!info.isDictionary()) info = qv::Dictionary{};
  for (const char* key : {"CFBundleShortVersionString", "CFBundleVersion"}) {
    const qv::Value& value = app.objectForInfoDictionaryKey(key);
    if (!value.isNull()) info.set(key, value);
  }
  qv::PropertyList::writeFile(qv::appendingPathComponent(contents, "Info.plist"), info);

  const std::string pkgInfo = app.pathForResource("PkgInfo", "", "DocumentBundleInfo");
  fs::copy_file(pkgInfo, qv::appendingPathComponent(contents, "PkgInfo"), ec);
  if (ec) return fail(ec, "PkgInfo " + pkgInfo);
  const std::string resources = qv::appendingPathComponent(contents, kResourcesFolder);
  if (!fs::create_directory(resources, ec) || ec) return fail(ec, resources);

  qv::Dictionary copied;
  if (const qv::Value* stored = layersInfo_.find(kQVPresetCachedResourcesKey); stored && stored->dictionary()) {
    for (const auto& [key, value] : *stored->dictionary()) {
      if (!value.isString() || endsWith(*value.string(), kThumbnailSuffix)) continue;
      const std::string fileName = qv::lastPathComponent(*value.string());
      const std::string target = qv::appendingPathComponent(resources, fileName);
      std::error_code copyError;
      if (!isPlainFileName(fileName) || !fs::copy_file(*value.string(), target, copyError) || copyError) {
        QV_LOG_FAILURE("[NSFileManager copyItemAtPath:" + *value.string() + " toPath:" + target + "] " +
                       copyError.message());
        continue;
      }
      copied[key] = std::string(kResourcesPrefix) + fileName;
      const std::string thumbnail = writeThumbnail(target);
      if (!thumbnail.empty()) copied[key + kThumbnailKeySuffix] = std::string(kResourcesPrefix) + thumbnail;
    }
  }
  dictionary.set(kQVPresetCachedResourcesKey, std::move(copied));
  const std::string presetFile =
      qv::appendingPathComponent(contents, "preset." + QVPresetConstants::presetFileExtension());
  if (!qv::PropertyList::writeFile(presetFile, dictionary, qv::PropertyListFormat::XML, error)) {
    std::error_code ignored;
    fs::remove_all(staging, ignored);
    return false;
  }

  // Swap: the old bundle (or file) moves aside, the new one takes its place, the old one goes.
  const std::string old = staging + ".old";
  const bool hadOld = existsAt(bundlePath);
  if (hadOld) {
    fs::rename(bundlePath, old, ec);
    if (ec) return fail(ec, bundlePath);
  }
  fs::rename(staging, bundlePath, ec);
  if (ec) {
    std::error_code ignored;
    if (hadOld) fs::rename(old, bundlePath, ignored);
    return fail(ec, bundlePath);
  }
  if (hadOld) fs::remove_all(old, ec);
  return true;
}

bool QVPreset::updateName(const std::string& name, qv::Error* error) {
  const std::string oldPath = path();
  const std::string oldIdentifier = identifier_;
  if (!name.empty()) {
    const std::string newIdentifier = qv::appendingPathExtension(name, QVPresetConstants::presetFileExtension());
    const std::string newPath = pathForIdentifier(newIdentifier);
    if (!newPath.empty() && newPath != oldPath && existsAt(newPath)) {
      qv::setError(error, presetError(QVPresetErrorCodeNameTaken, "A preset with this name already exists"));
      return false;
    }
    updateIdentifierWithName(name);
  }
  if (!save(error)) {
    identifier_ = oldIdentifier;
    return false;
  }
  if (!name.empty() && path() != oldPath && !oldPath.empty()) return removePresetAtPath(oldPath, error);
  return true;
}

bool QVPreset::removePresetAtPath(const std::string& path, qv::Error* error) {
  if (path.empty() || !existsAt(path)) {
    qv::setError(error, presetError(QVPresetErrorCodeNotFound, "The preset is being deleted does not exist"));
    return false;
  }
  std::error_code ec;
  fs::remove_all(path, ec);
  if (ec) {
    qv::setError(error, fileError(ec, path));
    return false;
  }
  return true;
}
