// The history folder, the history dictionary (the portable form of a history) and its size.
#include <filesystem>
#include <set>

#include "QVCore/ImageProcessing/History/QVHistoryManager.h"
#include "QVCore/ImageProcessing/History/QVHistorySupport.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"

namespace fs = std::filesystem;

namespace {

const char* const kResourcesFolderName = "resources";

// Steps read from a history dictionary: dictionaries whose uuid can name a file in the folder.
qv::Array safeSteps(const qv::Value& steps) {
  qv::Array out;
  if (!steps.array()) return out;
  for (const auto& step : *steps.array()) {
    const std::string uuid = step["uuid"].asString();
    if (!step.isDictionary() || !qvhistory::isSafeFileName(uuid)) {
      QVLogError("History step skipped: its uuid \"%s\" cannot name a state file", uuid.c_str());
      continue;
    }
    out.push_back(step);
  }
  return out;
}

// Cache records read from a history dictionary; a cached file name must stay inside "resources".
qv::Dictionary safeTextureRecords(const qv::Value& records) {
  qv::Dictionary out;
  if (!records.dictionary()) return out;
  for (const auto& [path, name] : *records.dictionary()) {
    if (!name.isString() || !qvhistory::isSafeFileName(*name.string())) {
      QVLogError("Texture cache record skipped: \"%s\" is no file name", name.asString().c_str());
      continue;
    }
    out[path] = name;
  }
  return out;
}

// The summed size of the named files of `folder`/resources.
double sizeOfResources(const std::string& folder, const std::set<std::string>& names) {
  const std::string resources = qvhistory::joinPath(folder, kResourcesFolderName);
  double size = 0;
  for (const auto& name : names) {
    std::error_code ec;
    auto bytes = fs::file_size(qvhistory::joinPath(resources, name), ec);
    if (!ec) size += double(bytes);
  }
  return size;
}

qv::Dictionary bookmarkRecords(const qv::Value& records) {
  qv::Dictionary out;
  if (!records.dictionary()) return out;
  for (const auto& [path, data] : *records.dictionary())
    if (data.isData()) out[path] = data;
  return out;
}

}  // namespace

// ---- Folders ------------------------------------------------------------------------------------

std::string QVHistoryManager::historiesRootPath() {
  return qvhistory::joinPath(qv::QVAssistant::qvAppContainerPath(), "History");
}

std::string QVHistoryManager::identificator() {
  if (identificator_.empty()) identificator_ = qv::stringWithUUID();
  return identificator_;
}

std::string QVHistoryManager::historyPath() {
  std::string path = qvhistory::joinPath(historiesRootPath(), identificator());
  qv::createDirectory(path);
  return path;
}

std::string QVHistoryManager::resourcesPath() {
  std::string path = qvhistory::joinPath(historyPath(), kResourcesFolderName);
  qv::createDirectory(path);
  return path;
}

std::string QVHistoryManager::oneStepHistoryPath() {
  return qvhistory::joinPath(historiesRootPath(), identificator() + "_one_step");
}

void QVHistoryManager::makeOneStepHistoryFolderIfNeaded() {
  const std::string folder = oneStepHistoryPath();
  if (qvhistory::fileExists(folder)) return;
  saveCurrentSatateIfNeaded();
  qv::createDirectory(folder);
  if (level() >= levelCount()) return;
  const std::string uuid = historyDicts_[level()]["uuid"].asString();
  const std::string stateName = uuid + ".state";
  if (!qvhistory::copyFile(qvhistory::joinPath(historyPath(), stateName), qvhistory::joinPath(folder, stateName)))
    return;
  const std::string oneStepResources = qvhistory::joinPath(folder, kResourcesFolderName);
  qv::createDirectory(oneStepResources);
  auto d = delegate();
  if (!d) return;
  auto names = d->historyManagerAllTexturesFromStateUUID(*this, uuid);
  if (!names) return;
  const std::string resources = resourcesPath();
  for (const auto& name : *names)
    if (qvhistory::isSafeFileName(name))
      qvhistory::copyFile(qvhistory::joinPath(resources, name), qvhistory::joinPath(oneStepResources, name));
}

void QVHistoryManager::resetOneStepHistoryFolder() {
  if (identificator_.empty()) return;
  std::error_code ec;
  fs::remove_all(oneStepHistoryPath(), ec);
}

bool QVHistoryManager::clearHistory() {
  std::error_code ec;
  fs::remove_all(oneStepHistoryPath(), ec);
  fs::remove_all(qvhistory::joinPath(historiesRootPath(), identificator()), ec);
  return !ec;
}

bool QVHistoryManager::clearAllHistory() {
  std::error_code ec;
  fs::remove_all(historiesRootPath(), ec);
  return !ec;
}

// ---- History dictionary -------------------------------------------------------------------------

qv::Dictionary QVHistoryManager::historyDictWithResourcesData(bool withResources, bool fullHistory) {
  saveCurrentSatateIfNeaded();
  qv::Dictionary dict;
  qv::Array steps;
  if (fullHistory)
    steps = historyDicts_;
  else if (level() < levelCount())
    steps.push_back(historyDicts_[level()]);
  dict["historyDicts"] = std::move(steps);
  dict["cachedTexturesDict"] = cachedTexturesDict_;
  dict["cachedTexturesBookmarksDict"] = cachedTexturesAccessoryBookmarks_;
  if (withResources) {
    const std::string folder = historyPath();
    qv::Dictionary states;
    for (const auto& step : historyDicts_) {
      const std::string uuid = step["uuid"].asString();
      qv::Value state = qv::PropertyList::readFile(qvhistory::joinPath(folder, uuid + ".state"), nullptr);
      if (state.isDictionary()) states[uuid] = std::move(state);
    }
    if (!states.empty()) dict["statesDict"] = std::move(states);
    qv::Dictionary resources;
    const std::string resourcesFolder = resourcesPath();
    std::string error;
    for (const auto& name :
         qvhistory::contentsOfDirectory(resourcesFolder, &error).value_or(std::vector<std::string>{}))
      if (auto bytes = qv::readFileBytes(qvhistory::joinPath(resourcesFolder, name)))
        resources[name] = std::move(*bytes);
    if (!resources.empty()) dict["resourcesDict"] = std::move(resources);
  }
  dict["currentLevelOfHistory"] = fullHistory ? level() : uint64_t(0);
  return dict;
}

void QVHistoryManager::writeStatesAndResources(const qv::Dictionary& dict) {
  // Names come from outside: one that could leave the folder is never written.
  auto it = dict.find("statesDict");
  if (it != dict.end() && it->second.dictionary()) {
    const std::string folder = historyPath();
    for (const auto& [uuid, state] : *it->second.dictionary()) {
      if (!qvhistory::isSafeFileName(uuid)) {
        QVLogError("History state skipped: \"%s\" cannot name a state file", uuid.c_str());
        continue;
      }
      qv::PropertyList::writeFile(qvhistory::joinPath(folder, uuid + ".state"), state);
    }
  }
  it = dict.find("resourcesDict");
  if (it != dict.end() && it->second.dictionary()) {
    const std::string folder = resourcesPath();
    for (const auto& [name, data] : *it->second.dictionary()) {
      if (!qvhistory::isSafeFileName(name) || !data.data()) {
        QVLogError("History resource skipped: \"%s\"", name.c_str());
        continue;
      }
      qv::writeFileAtomically(qvhistory::joinPath(folder, name), data.data()->data(), data.data()->size());
    }
  }
}

void QVHistoryManager::applyHistoryDict(const qv::Dictionary& dict, bool restore) {
  const qv::Value info(dict);
  maxLevelsOfHistory_ = kNoLevel;
  historyDicts_ = safeSteps(info["historyDicts"]);
  cachedTexturesDict_ = safeTextureRecords(info["cachedTexturesDict"]);
  cachedTexturesAccessoryBookmarks_ = bookmarkRecords(info["cachedTexturesBookmarksDict"]);
  clearSizeMemo();
  const qv::Value* level = info.find("currentLevelOfHistory");
  if (level && level->isNumber() && level->asInt() >= 0 && !historyDicts_.empty())
    levelOfHistoryNeededToApply_ = uint64_t(level->asInt());
  else
    levelOfHistoryNeededToApply_ = kNoLevel;
  lastSavedLevel_ = levelOfHistoryNeededToApply_;
  writeStatesAndResources(dict);
  currentLevelOfHistory_ = 0;
  if (restore) restoreHistory();
}

void QVHistoryManager::restoreHistory() {
  uint64_t waiting = levelOfHistoryNeededToApply_;
  if (waiting == kNoLevel) return;
  if (waiting == levelCount() && levelCount() > 0) {
    // The live state of that level was never saved: its last step stands in for it.
    updateLastStepNameTo("Synced");
    waiting = levelCount() - 1;
  }
  currentLevelOfHistory_ = kNoLevel;
  if (waiting < levelCount()) setCurrentLevelOfHistory(waiting);
  if (currentLevelOfHistory_ == kNoLevel) {
    // The jump did not land (no delegate, or it failed): the history still needs a level.
    if (waiting >= levelCount()) waiting = levelCount() == 0 ? 0 : levelCount() - 1;
    currentLevelOfHistory_ = waiting;
  }
  lastSavedLevel_ = waiting;
  levelOfHistoryNeededToApply_ = kNoLevel;
  edited_ = false;
}

void QVHistoryManager::addHistoryStepsFromInfoDict(const qv::Dictionary& dict) {
  const qv::Value info(dict);
  if (levelOfHistoryNeededToApply_ != kNoLevel) {
    currentLevelOfHistory_ = std::min<uint64_t>(levelOfHistoryNeededToApply_, levelCount());
    levelOfHistoryNeededToApply_ = kNoLevel;
  }
  currentLevelOfHistory_ = level();
  removeRedoSteps();
  saveCurrentSatateIfNeaded();
  updateLastStepNameTo("Synced");
  const qv::Array incoming = safeSteps(info["historyDicts"]);
  historyDicts_.insert(historyDicts_.end(), incoming.begin(), incoming.end());
  for (auto& [path, name] : safeTextureRecords(info["cachedTexturesDict"])) cachedTexturesDict_[path] = name;
  for (auto& [path, data] : bookmarkRecords(info["cachedTexturesBookmarksDict"]))
    cachedTexturesAccessoryBookmarks_[path] = data;
  clearSizeMemo();
  const qv::Value* level = info.find("currentLevelOfHistory");
  if (level && level->isNumber() && level->asInt() >= 0)
    levelOfHistoryNeededToApply_ = uint64_t(level->asInt()) + currentLevelOfHistory_ + 1;
  writeStatesAndResources(dict);
}

void QVHistoryManager::updateLastStepNameTo(const std::string& name) {
  if (historyDicts_.empty()) return;
  // Renamed in place; additional info and the progress flag go.
  qv::Value& last = historyDicts_.back();
  last = qv::Value(qv::Dictionary{{"uuid", last["uuid"]}, {"actionName", name}});
}

void QVHistoryManager::unload() {
  saveCurrentSatateIfNeaded();
  levelOfHistoryNeededToApply_ = level();
}

// ---- Size ---------------------------------------------------------------------------------------

void QVHistoryManager::historySizeInBytesAllSteps(bool allSteps, std::function<void(double)> completion) {
  historySizeInBytesAllSteps(allSteps, true, std::move(completion));
}

void QVHistoryManager::historySizeInBytesAllSteps(bool allSteps, bool withOriginalResources,
                                                  std::function<void(double)> completion) {
  if (!completion) return;
  const std::string key =
      "Full:" + std::to_string(allSteps ? 1 : 0) + ",OrigRes:" + std::to_string(withOriginalResources ? 1 : 0);
  if (cashedHistorySizes_) {
    auto it = cashedHistorySizes_->find(key);
    if (it != cashedHistorySizes_->end()) {
      completion(it->second.asDouble());
      return;
    }
  }
  if (!allSteps) makeOneStepHistoryFolderIfNeaded();
  const std::string folder = allSteps ? historyPath() : oneStepHistoryPath();
  const std::set<std::string> cachedNames = cachedTextureNames();
  std::weak_ptr<QVHistoryManager*> weak = alive_;
  const uint64_t generation = sizeMemoGeneration_;
  qvhistory::runInBackground([=] {
    double size = qvhistory::sizeOfFolder(folder);
    if (!withOriginalResources) size -= sizeOfResources(folder, cachedNames);
    if (!allSteps) {
      std::error_code ec;
      fs::remove_all(folder, ec);
    }
    qvhistory::runOnNextMainPass([=] {
      auto self = weak.lock();
      if (!self) return;
      QVHistoryManager* manager = *self;
      // A change while measuring makes the figure stale: it is handed out but not remembered.
      if (manager->sizeMemoGeneration_ == generation) {
        if (!manager->cashedHistorySizes_) manager->cashedHistorySizes_.emplace();
        (*manager->cashedHistorySizes_)[key] = size;
      }
      completion(size);
    });
  });
}

std::set<std::string> QVHistoryManager::cachedTextureNames() const {
  std::set<std::string> names;
  for (const auto& [path, name] : cachedTexturesDict_) names.insert(name.asString());
  return names;
}

double QVHistoryManager::origResourcesSizeForFolder(const std::string& folder) const {
  return sizeOfResources(folder, cachedTextureNames());
}
