// The history's texture cache: its own copies of the texture files that layers use, so a state
// can bring a texture back after its source was moved or deleted.
#include <filesystem>
#include <mutex>

#include "QVCore/ImageProcessing/History/QVHistoryManager.h"
#include "QVCore/ImageProcessing/History/QVHistorySupport.h"
#include "QVCore/ImageProcessing/RovaBridge/QVRovaService.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"

namespace fs = std::filesystem;

namespace {

std::mutex& compressorMutex() {
  static std::mutex m;
  return m;
}

QVHistoryManager::TextureCompressor& compressorSlot() {
  static QVHistoryManager::TextureCompressor compressor;
  return compressor;
}

QVHistoryManager::TextureCompressor textureCompressor() {
  std::lock_guard<std::mutex> lock(compressorMutex());
  if (compressorSlot()) return compressorSlot();
  return [](const std::string& path) { return QVRovaService::compressRovaimagedataAtPath(path); };
}

}  // namespace

void QVHistoryManager::setTextureCompressor(TextureCompressor compressor) {
  std::lock_guard<std::mutex> lock(compressorMutex());
  compressorSlot() = std::move(compressor);
}

std::optional<std::string> QVHistoryManager::cachedPathForTextureWithPath(const std::string& path) {
  const std::string resources = resourcesPath();
  if (qvhistory::isPathInside(path, resources)) return path;
  const std::string last = qv::lastPathComponent(path);
  std::string name;
  if (auto it = cachedTexturesDict_.find(path); it != cachedTexturesDict_.end() && it->second.isString()) {
    name = *it->second.string();
  } else {
    for (const auto& [source, cached] : cachedTexturesDict_)
      if (cached.asString() == last) name = last;  // the path names a copy by its file name
  }
  if (name.empty()) return std::nullopt;
  const std::string candidate = qvhistory::joinPath(resources, name);
  if (!qvhistory::fileExists(candidate)) {
    // The copy is gone: drop the stale records and copy again.
    cachedTexturesDict_.erase(path);
    std::erase_if(cachedTexturesDict_, [&](const auto& entry) { return entry.second.asString() == last; });
    return updateCacheTextureWithPath(path);
  }
  return candidate;
}

std::optional<std::string> QVHistoryManager::updateCacheTextureWithPath(const std::string& path) {
  if (auto cached = cachedPathForTextureWithPath(path)) return cached;
  if (path.empty()) return std::nullopt;
  const std::string name = qv::appendingPathExtension(qv::stringWithUUID(), qv::pathExtension(path));
  const std::string destination = qvhistory::joinPath(resourcesPath(), name);
  auto bookmark = cachedTexturesAccessoryBookmarks_.find(path);
  if (bookmark != cachedTexturesAccessoryBookmarks_.end() && bookmark->second.data()) {
    auto resolved = resolvedPathForBookmark(*bookmark->second.data());
    if (!resolved || !qvhistory::copyFile(*resolved, destination)) return std::nullopt;
    cachedTexturesDict_[path] = name;
    return destination;
  }
  if (!qvhistory::copyFile(path, destination)) return std::nullopt;
  cachedTexturesDict_[path] = name;
  saveBookmarkForPath(path);
  return destination;
}

void QVHistoryManager::deleteTextureWithName(const std::string& name) {
  if (!qvhistory::isSafeFileName(name)) {
    QVLogError("Texture not deleted: \"%s\" is no file name", name.c_str());
    return;
  }
  std::error_code ec;
  fs::remove(qvhistory::joinPath(resourcesPath(), name), ec);
  for (auto it = cachedTexturesDict_.begin(); it != cachedTexturesDict_.end();) {
    if (it->second.asString() == name) {
      cachedTexturesAccessoryBookmarks_.erase(it->first);
      it = cachedTexturesDict_.erase(it);
    } else {
      ++it;
    }
  }
}

std::optional<std::string> QVHistoryManager::originalResolvedPathForTextureWithPath(const std::string& path) {
  std::string source = path;
  if (qvhistory::isPathInside(path, resourcesPath())) {
    const std::string name = qv::lastPathComponent(path);
    source.clear();
    for (const auto& [p, cached] : cachedTexturesDict_)
      if (cached.asString() == name) {
        source = p;
        break;
      }
    if (source.empty()) return std::nullopt;
  }
  if (qvhistory::fileExists(source)) return source;
  auto bookmark = cachedTexturesAccessoryBookmarks_.find(source);
  if (bookmark == cachedTexturesAccessoryBookmarks_.end() || !bookmark->second.data()) return std::nullopt;
  return resolvedPathForBookmark(*bookmark->second.data());
}

// ---- Bookmarks ----------------------------------------------------------------------------------
// A bookmark here is the absolute path of the source file; resolving it answers that path while
// the file is there. Files inside the application's resources need none.

void QVHistoryManager::saveBookmarkForPath(const std::string& path) {
  if (auto bookmark = bookmarkForPath(path)) cachedTexturesAccessoryBookmarks_[path] = std::move(*bookmark);
}

std::optional<qv::Bytes> QVHistoryManager::bookmarkForPath(const std::string& path) const {
  if (path.empty()) return std::nullopt;
  const std::string& bundleResources = qv::Bundle::mainBundle().resourcePath();
  if (!bundleResources.empty() && path.find(bundleResources) != std::string::npos) return std::nullopt;
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec);
  if (ec || !fs::is_regular_file(absolute, ec)) {
    QV_LOG_FAILURE("![" + path +
                   " bookmarkDataWithOptions:NSURLBookmarkCreationWithSecurityScope includingResourceValuesForKeys:nil "
                   "relativeToURL:nil error:&" +
                   (ec ? ec.message() : std::string("not a file")) + "]");
    return std::nullopt;
  }
  const std::string text = absolute.lexically_normal().string();
  return qv::Bytes(text.begin(), text.end());
}

std::optional<std::string> QVHistoryManager::resolvedPathForBookmark(const qv::Bytes& bookmark) {
  if (bookmark.empty()) return std::nullopt;
  std::string path(bookmark.begin(), bookmark.end());
  if (!qvhistory::fileExists(path)) return std::nullopt;
  return path;
}

// ---- Migration ----------------------------------------------------------------------------------

bool QVHistoryManager::migrateToCompressedTextures() {
  const std::string resources = resourcesPath();
  std::string error;
  auto names = qvhistory::contentsOfDirectory(resources, &error);
  if (!names) {
    QV_LOG_FAILURE("[[NSFileManager defaultManager] contentsOfDirectoryAtPath:" + resources + " error:" + error + "]");
    return false;
  }
  const TextureCompressor compress = textureCompressor();
  std::vector<std::pair<std::string, std::string>> converted;
  for (const auto& name : *names) {
    if (qv::pathExtension(name) != "rovaimagedata") continue;
    const std::string path = qvhistory::joinPath(resources, name);
    std::optional<std::string> newName = compress(path);
    if (!newName || !qvhistory::isSafeFileName(*newName)) {
      QV_LOG_FAILURE("[QVRovaService compressRovaimagedataAtPath:" + path + "] == nil");
      continue;
    }
    converted.emplace_back(name, *newName);
  }
  if (converted.empty()) return false;
  // The old files go only when every state file refers to the new ones.
  if (replaceHistoryTextureNames(converted)) {
    for (const auto& [oldName, newName] : converted) deleteTextureWithName(oldName);
  } else {
    QVLogError("Old textures kept: not every history state could be rewritten");
  }
  return true;
}

bool QVHistoryManager::replaceHistoryTextureNames(const std::vector<std::pair<std::string, std::string>>& oldToNew) {
  const std::string folder = historyPath();
  std::string error;
  auto names = qvhistory::contentsOfDirectory(folder, &error);
  if (!names) {
    QV_LOG_FAILURE("[[NSFileManager defaultManager] contentsOfDirectoryAtPath:" + folder + " error:" + error + "]");
    return false;
  }
  bool allRewritten = true;
  for (const auto& name : *names) {
    if (qv::pathExtension(name) != "state") continue;
    const std::string path = qvhistory::joinPath(folder, name);
    qv::Error readError;
    auto bytes = qv::readFileBytes(path, &readError);
    std::string content = bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
    if (!bytes || !qvhistory::isValidUTF8(content)) {
      QV_LOG_FAILURE("[NSString stringWithContentsOfFile:" + path + " encoding:NSUTF8StringEncoding error:" +
                     (bytes ? std::string("not UTF-8 text") : readError.description) + "]");
      allRewritten = false;
      continue;
    }
    for (const auto& [oldName, newName] : oldToNew)
      content = qvhistory::replacingOccurrences(content, oldName, newName);
    qv::Error writeError;
    if (!qv::writeFileAtomically(path, content, &writeError)) {
      QV_LOG_FAILURE("[content writeToFile:" + path +
                     " atomically:YES encoding:NSUTF8StringEncoding error:" + writeError.description + "]");
      allRewritten = false;
    }
  }
  return allRewritten;
}

std::optional<std::string> QVHistoryManager::cachedInitialTexturePath() {
  if (historyDicts_.empty() || historyDicts_.back()["actionName"].asString() != kQVHistoryForceSaveActionName)
    return std::nullopt;
  const std::string uuid = historyDicts_.back()["uuid"].asString();
  const qv::Value state = qv::PropertyList::readFile(qvhistory::joinPath(historyPath(), uuid + ".state"), nullptr);
  const std::string name = state["InitialLayerDictionary"]["HistoryTextureName"].asString();
  if (!qvhistory::isSafeFileName(name)) return std::nullopt;
  const std::string path = qvhistory::joinPath(resourcesPath(), name);
  if (!qvhistory::fileExists(path)) return std::nullopt;
  return path;
}
