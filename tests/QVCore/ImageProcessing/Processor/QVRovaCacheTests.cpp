#include <gtest/gtest.h>

#include <thread>

#include "QVCore/ImageProcessing/Processor/QVRovaCache.h"

namespace {

using Keys = std::vector<std::string>;

std::shared_ptr<void> object(int v) { return std::make_shared<int>(v); }

std::shared_ptr<QVRovaCache> cacheWithLimit(uint64_t limit) {
  auto cache = QVRovaCache::make();
  cache->setCountLimit(limit);
  return cache;
}

TEST(QVRovaCacheTest, EvictsLeastRecentlyUsedAndLookupsCountAsUse) {
  auto cache = cacheWithLimit(5);
  for (int i = 1; i <= 6; ++i) cache->cacheObject(object(i), "k" + std::to_string(i));
  EXPECT_EQ(cache->keys(), (Keys{"k2", "k3", "k4", "k5", "k6"}));
  EXPECT_EQ(cache->cachedObjectForKey("k1"), nullptr);  // evicted; the miss itself is now most recent
  EXPECT_EQ(cache->keys(), (Keys{"k2", "k3", "k4", "k5", "k6", "k1"}));

  cache = cacheWithLimit(5);
  for (int i = 1; i <= 6; ++i) cache->cacheObject(object(i), "k" + std::to_string(i));
  ASSERT_NE(cache->cachedObjectForKey("k2"), nullptr);
  EXPECT_EQ(cache->keys(), (Keys{"k3", "k4", "k5", "k6", "k2"}));
  cache->cacheObject(object(7), "k7");
  EXPECT_EQ(cache->keys(), (Keys{"k4", "k5", "k6", "k2", "k7"}));
  EXPECT_EQ(*cache->cachedObjectForKey<int>("k2"), 2);
  EXPECT_EQ(cache->cache().count("k3"), 0u);
}

TEST(QVRovaCacheTest, MissedKeyTakesASlotSoTheNextStoreEvictsARealEntry) {
  auto cache = cacheWithLimit(2);
  cache->cacheObject(object(1), "a");
  EXPECT_EQ(cache->cachedObjectForKey("ghost"), nullptr);
  cache->cacheObject(object(2), "b");
  EXPECT_EQ(cache->keys(), (Keys{"ghost", "b"}));
  EXPECT_EQ(cache->cachedObjectForKey("a"), nullptr);
  EXPECT_EQ(cache->cache().size(), 1u);
}

TEST(QVRovaCacheTest, ReplacingClearingAndLimits) {
  auto cache = cacheWithLimit(3);
  cache->cacheObject(object(1), "a");
  cache->cacheObject(object(2), "b");
  cache->cacheObject(object(10), "a");
  EXPECT_EQ(cache->keys(), (Keys{"b", "a"}));
  EXPECT_EQ(*cache->cachedObjectForKey<int>("a"), 10);

  cache->removeAllObjects();
  EXPECT_EQ(cache->cachedObjectForKey("a"), nullptr);
  EXPECT_EQ(cache->countLimit(), 3u);

  auto unlimited = QVRovaCache::make();
  for (int i = 0; i < 50; ++i) unlimited->cacheObject(object(i), std::to_string(i));
  EXPECT_EQ(unlimited->cache().size(), 50u);
  // Lowering the limit evicts at once; setting the same limit again changes nothing.
  unlimited->setCountLimit(4);
  EXPECT_EQ(unlimited->keys(), (Keys{"46", "47", "48", "49"}));
  unlimited->setCountLimit(4);
  EXPECT_EQ(unlimited->keys().size(), 4u);
}

TEST(QVRovaCacheTest, ConcurrentUseKeepsTheLimitAndQueuedBlocksOutliveTheCache) {
  auto cache = cacheWithLimit(5);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([cache, t] {
      for (int i = 0; i < 200; ++i) {
        cache->cacheObject(object(i), std::to_string(t) + "-" + std::to_string(i % 9));
        cache->cachedObjectForKey(std::to_string((t + 1) % 4) + "-" + std::to_string(i % 7));
      }
    });
  for (auto& th : threads) th.join();
  // A lookup does not evict, so only the next store brings the keys back to the limit.
  cache->cacheObject(object(0), "last");
  EXPECT_EQ(cache->keys().size(), 5u);
  EXPECT_EQ(cache->keys().back(), "last");

  // Blocks still queued when the last owner lets go do nothing.
  auto queue = cache->queue();
  cache->cacheObject(object(1), "late");
  cache.reset();
  queue->sync([] {});
}

TEST(QVRovaCacheTest, ThumbnailKeysDependOnStateAndSettingsNotOnRegion) {
  const std::string settings = "1:16:1:0:0:0:0";
  EXPECT_EQ(QVRovaCache::thumbnailKey("S1", settings), "Thumbnail_S1:1:16:1:0:0:0:0");
  EXPECT_EQ(QVRovaCache::previewKey("S1", "{{0, 0}, {10, 10}}:{5, 5}_" + settings),
            "Preview_S1:{{0, 0}, {10, 10}}:{5, 5}_1:16:1:0:0:0:0");
  EXPECT_EQ(QVRovaCache::originalRoiKey("R"), "OriginalRoi_R");
}

}  // namespace
