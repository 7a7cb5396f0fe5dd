#include "Ombrel/Classes/Business/Cache/QVEntitiesCache.h"

#include <gtest/gtest.h>

#include "QVPlatform/Additions.h"

namespace {

// An entity whose cost the test chooses.
class WeighedEntity : public QVEntity {
 public:
  explicit WeighedEntity(uint64_t cost) : cost_(cost) {}
  static const QVEntityClass& cls() {
    static const QVEntityClass info{"WeighedEntity", [] { return std::make_shared<WeighedEntity>(0); }};
    return info;
  }
  QVEntityClassRef entityClass() const override { return &cls(); }
  uint64_t cost() const override { return cost_; }

 private:
  uint64_t cost_;
};

QVEntityRef weighing(uint64_t cost) { return std::make_shared<WeighedEntity>(cost); }

constexpr uint64_t kThreshold = kQVEntitiesCacheEvictionThreshold;
constexpr uint64_t kTarget = kQVEntitiesCacheEvictionTarget;

TEST(QVEntitiesCacheTest, ThresholdsKeepAHundredsOfPhotosSessionWellBelowTwoGigabytes) {
  // An image entity's cost counts its encoded bytes and the decoded image beside them.
  EXPECT_LE(2 * kThreshold, 1'500'000'000u);
  EXPECT_LT(kTarget, kThreshold);
}

TEST(QVEntitiesCacheTest, EvictsOldestFirstOnlyOnceTheThresholdIsReached) {
  QVEntitiesCache cache;
  cache.setObject(weighing(kThreshold / 2), "old");
  cache.setObject(weighing(kThreshold / 2 - 1), "middle");
  EXPECT_EQ(cache.totalCost(), kThreshold - 1);
  EXPECT_EQ(cache.count(), 2u);

  // One more byte: the oldest goes, and that already brings the total below the target.
  cache.setObject(weighing(1), "new");
  EXPECT_FALSE(cache.containsKey("old"));
  EXPECT_TRUE(cache.containsKey("middle"));
  EXPECT_TRUE(cache.containsKey("new"));
  EXPECT_EQ(cache.totalCost(), kThreshold / 2);
  EXPECT_LT(cache.totalCost(), kTarget);
}

TEST(QVEntitiesCacheTest, ALookUpProtectsAKeyFromTheNextPass) {
  QVEntitiesCache cache;
  const uint64_t third = kThreshold / 3;
  cache.setObject(weighing(third), "a");
  cache.setObject(weighing(third), "b");
  ASSERT_TRUE(cache.objectForKeyedSubscript("a"));
  // A look-up of a key that holds nothing leaves a touch that eviction passes over.
  EXPECT_EQ(cache.objectForKeyedSubscript("nothing"), nullptr);
  cache.setObject(weighing(third + 10), "c");
  EXPECT_TRUE(cache.containsKey("a"));
  EXPECT_FALSE(cache.containsKey("b"));
  EXPECT_TRUE(cache.containsKey("c"));
}

TEST(QVEntitiesCacheTest, FreeEntitiesAreNeverEvictedAndNeverCounted) {
  QVEntitiesCache cache;
  cache.setObject(weighing(0), "faces");
  cache.setObject(weighing(kThreshold - 1), "big");
  EXPECT_EQ(cache.totalCost(), kThreshold - 1);
  // An entity as big as the threshold on its own goes after every older one of non-zero cost.
  cache.setObject(weighing(kThreshold), "huge");
  EXPECT_TRUE(cache.containsKey("faces"));
  EXPECT_FALSE(cache.containsKey("big"));
  EXPECT_FALSE(cache.containsKey("huge"));
  EXPECT_EQ(cache.totalCost(), 0u);
}

TEST(QVEntitiesCacheTest, AReplacedEntityNoLongerCounts) {
  QVEntitiesCache cache;
  cache.setObject(weighing(kThreshold - 10), "a");
  cache.setObject(weighing(5), "a");
  EXPECT_EQ(cache.totalCost(), 5u);
  cache.setObject(weighing(kThreshold - 10), "b");
  EXPECT_TRUE(cache.containsKey("a"));
  EXPECT_TRUE(cache.containsKey("b"));
  cache.setObject(nullptr, "a");
  cache.setObject(weighing(1), "");
  EXPECT_EQ(cache.totalCost(), kThreshold - 5);
}

TEST(QVEntitiesCacheTest, CleansByPathKeyAndWhole) {
  QVEntitiesCache cache;
  const std::string a = qv::md5("/p/a.jpg"), b = qv::md5("/p/b.jpg");
  for (const auto& key : {a + "_QVImageThumbEntity", a + "_QVProcessedPreviewEntity", b + "_QVImageThumbEntity",
                          b + "_QVProcessedPreviewEntity"})
    cache.setObject(weighing(10), key);
  cache.cleanCacheForPath("/p/a.jpg");
  EXPECT_EQ(cache.count(), 2u);
  EXPECT_FALSE(cache.containsKey(a + "_QVImageThumbEntity"));
  cache.cleanCacheForKey(b + "_QVImageThumbEntity");
  EXPECT_EQ(cache.count(), 1u);
  EXPECT_EQ(cache.totalCost(), 10u);
  cache.cleanCache();
  EXPECT_EQ(cache.count(), 0u);
  EXPECT_EQ(cache.totalCost(), 0u);
}

}  // namespace
