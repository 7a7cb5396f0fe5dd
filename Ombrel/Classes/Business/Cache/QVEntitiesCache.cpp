#include "Ombrel/Classes/Business/Cache/QVEntitiesCache.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <vector>

#include "Ombrel/Classes/Basic/QVSingleton.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"

namespace {
uint64_t touchNow() {
  static std::atomic<uint64_t> clock{0};
  return ++clock;
}

// Evicted pictures are freed into the allocator's arenas, which keep the pages: after a session
// of hundreds of photos the process would stay as large as the most it ever held at once, spread
// over the arenas of every thread. Once an eviction has let pictures go, free pages are handed
// back to the system, at most every few seconds (a pass over the arenas costs a few milliseconds).
void handBackFreedPages() {
  static std::atomic<int64_t> last{0};
  const int64_t now =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
  int64_t before = last.load();
  if (now - before < 3 || !last.compare_exchange_strong(before, now)) return;
  malloc_trim(0);
}
}  // namespace

QVEntitiesCache& QVEntitiesCache::shared() { return qvSingleton<QVEntitiesCache>("QVEntitiesCache"); }

QVEntitiesCache::QVEntitiesCache(uint64_t evictionThreshold, uint64_t evictionTarget)
    : evictionThreshold_(evictionThreshold),
      evictionTarget_(evictionTarget),
      operationQueue_(qv::DispatchQueue::makeSerial("com.solvane.QVEntitiesCache")) {}

QVEntitiesCache::~QVEntitiesCache() {
  operationQueue_->sync([] {});
}

QVEntityRef QVEntitiesCache::objectForKeyedSubscript(const std::string& key) {
  if (key.empty()) return nullptr;
  const uint64_t touched = touchNow();
  QVEntityRef entity;
  operationQueue_->sync([&] {
    auto it = entitiesDictionary_.find(key);
    if (it != entitiesDictionary_.end()) entity = it->second.entity;
    touchDatesDictionary_[key] = touched;
  });
  return entity;
}

void QVEntitiesCache::setObject(QVEntityRef entity, const std::string& key) {
  if (!entity || key.empty()) return;
  const uint64_t touched = touchNow();
  operationQueue_->async([this, entity = std::move(entity), key, touched] {
    removeKey(key);
    const uint64_t cost = entity->cost();
    entitiesDictionary_[key] = Entry{entity, cost};
    touchDatesDictionary_[key] = touched;
    totalCost_ += cost;
    evictIfNeeded();
  });
}

void QVEntitiesCache::removeKey(const std::string& key) {
  auto it = entitiesDictionary_.find(key);
  if (it != entitiesDictionary_.end()) {
    totalCost_ -= it->second.cost;
    entitiesDictionary_.erase(it);
  }
  touchDatesDictionary_.erase(key);
}

void QVEntitiesCache::evictIfNeeded() {
  if (totalCost_ < evictionThreshold_) return;
  std::vector<std::pair<uint64_t, std::string>> byAge;
  byAge.reserve(touchDatesDictionary_.size());
  for (const auto& [key, touched] : touchDatesDictionary_) byAge.emplace_back(touched, key);
  std::sort(byAge.begin(), byAge.end());
  for (const auto& [touched, key] : byAge) {
    auto it = entitiesDictionary_.find(key);
    // Touches without an entity and entities that cost nothing (faces) are passed over.
    if (it == entitiesDictionary_.end() || it->second.cost == 0) continue;
    removeKey(key);
    if (totalCost_ < evictionTarget_) break;
  }
  handBackFreedPages();
}

void QVEntitiesCache::cleanCache() {
  operationQueue_->async([this] {
    entitiesDictionary_.clear();
    touchDatesDictionary_.clear();
    totalCost_ = 0;
  });
}

void QVEntitiesCache::cleanCacheForPath(const std::string& path) {
  const std::string prefix = qv::md5(path);
  operationQueue_->async([this, prefix] {
    std::vector<std::string> keys;
    for (const auto& entry : entitiesDictionary_)
      if (entry.first.starts_with(prefix)) keys.push_back(entry.first);
    for (const auto& entry : touchDatesDictionary_)
      if (entry.first.starts_with(prefix)) keys.push_back(entry.first);
    for (const auto& key : keys) removeKey(key);
  });
}

void QVEntitiesCache::cleanCacheForKey(const std::string& key) {
  operationQueue_->async([this, key] { removeKey(key); });
}

uint64_t QVEntitiesCache::totalCost() {
  uint64_t total = 0;
  operationQueue_->sync([&] { total = totalCost_; });
  return total;
}

size_t QVEntitiesCache::count() {
  size_t n = 0;
  operationQueue_->sync([&] { n = entitiesDictionary_.size(); });
  return n;
}

bool QVEntitiesCache::containsKey(const std::string& key) {
  bool found = false;
  operationQueue_->sync([&] { found = entitiesDictionary_.count(key) != 0; });
  return found;
}
