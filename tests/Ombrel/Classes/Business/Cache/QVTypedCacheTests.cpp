#include "Ombrel/Classes/Business/Cache/QVTypedCache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "Ombrel/Classes/Basic/QVQueueManager.h"
#include "Ombrel/Classes/Business/Cache/QVCacheManager.h"
#include "Ombrel/Classes/Business/Cache/QVObtainEntityOperation.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/ImageIO/CoreGraphics.h"

namespace {

NSImageRef flatImage(uint8_t value, size_t w = 4, size_t h = 3) {
  auto buf = std::make_shared<std::vector<uint8_t>>(w * h * 3, value);
  return NSImage::imageWithCGImage(
      CGImageCreate(w, h, 8, 24, w * 3, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone, buf));
}

uint8_t firstByte(const NSImageRef& image) { return image ? image->CGImage()->row(0)[0] : 0; }

// Holds a serial queue with a waiting block until released.
class QueueHold {
 public:
  explicit QueueHold(const std::shared_ptr<QVRecordedOperationQueue>& queue) {
    queue->addOperation(qv::BlockOperation::make([gate = gate_] { gate.wait(); }));
  }
  ~QueueHold() { release(); }
  void release() {
    if (!released_) promise_.set_value();
    released_ = true;
  }

 private:
  std::promise<void> promise_;
  std::shared_future<void> gate_{promise_.get_future().share()};
  bool released_ = false;
};

// Stores through the cache manager and waits for the completion.
void store(NSImageRef image, const std::string& path, uint64_t cacheType) {
  std::promise<void> done;
  QVCacheManager::updateCacheImage(image, path, cacheType, [&] { done.set_value(); });
  done.get_future().wait();
}

class QVCacheManagerTest : public ::testing::Test {
 protected:
  void SetUp() override { clean(true); }
  void TearDown() override { clean(true); }
  void clean(bool longTerm) {
    QVCacheManager::clean(longTerm);
    QVEntitiesStorage::shared().waitUntilIdle();
  }
  QVEntitiesStorage& storage = QVEntitiesStorage::shared();
};

TEST_F(QVCacheManagerTest, TypeTablesAndKeys) {
  EXPECT_EQ(QVTypedCache::entityClassForCacheImageType(7)->name, "QVProcessedPreviewEntity");
  EXPECT_EQ(QVTypedCache::entityClassForCacheImageType(9)->name, "QVFaceEntity");
  EXPECT_EQ(QVTypedCache::entityClassForCacheImageType(0), nullptr);
  EXPECT_EQ(QVTypedCache::entityClassForCacheImageType(10), nullptr);
  EXPECT_EQ(QVTypedCache::cacheKeyAtPath("/a.jpg", 1), qv::md5("/a.jpg") + "_QVImageThumbEntity");
  EXPECT_EQ(QVTypedCache::cacheKeyAtPath("/a.jpg", 0), "");
  struct Row {
    uint64_t imageType, original, processed;
  };
  for (Row row : {Row{0, 1, 6}, Row{1, 2, 7}, Row{2, 4, 8}, Row{3, 3, 0}, Row{4, 0, 0}}) {
    EXPECT_EQ(QVCacheManager::originalCacheType(row.imageType), row.original) << row.imageType;
    EXPECT_EQ(QVCacheManager::processedCacheType(row.imageType), row.processed) << row.imageType;
  }
}

TEST_F(QVCacheManagerTest, AStoredProcessedPreviewIsAnsweredByItsOwnReadOnly) {
  store(flatImage(42), "/p/a.jpg", QVCacheManager::processedCacheType(1));
  EXPECT_EQ(firstByte(QVCacheManager::cachedProcessedImageAtPath("/p/a.jpg", 1)), 42);
  EXPECT_EQ(QVCacheManager::cachedOriginalImageAtPath("/p/a.jpg", 1), nullptr);
  EXPECT_EQ(QVCacheManager::cachedProcessedImageAtPath("/p/a.jpg", 3), nullptr);
  EXPECT_EQ(QVCacheManager::cachedBlurredImageAtPath("/p/a.jpg"), nullptr);
  EXPECT_TRUE(storage.isEntityDataStoredForKey(QVTypedCache::cacheKeyAtPath("/p/a.jpg", 7)));
}

TEST_F(QVCacheManagerTest, UpdatesWithoutImagePathOrClassStoreNothingAndStillComplete) {
  store(nullptr, "/p/a.jpg", 2);
  store(flatImage(1), "", 2);
  store(flatImage(1), "/p/a.jpg", 0);
  EXPECT_TRUE(storage.storageMap().empty());
}

TEST_F(QVCacheManagerTest, AnUpdateReplacesTheCachedEntityInsteadOfChangingIt) {
  store(flatImage(10), "/p/a.jpg", 2);
  QVEntityRef before = QVTypedCache::shared().readObjectOfType(2, "/p/a.jpg");
  ASSERT_TRUE(before);
  store(flatImage(20), "/p/a.jpg", 2);
  QVEntityRef after = QVTypedCache::shared().readObjectOfType(2, "/p/a.jpg");
  EXPECT_NE(before, after);
  EXPECT_EQ(firstByte(std::dynamic_pointer_cast<QVImageEntity>(before)->image()), 10);
  EXPECT_EQ(firstByte(QVCacheManager::cachedOriginalImageAtPath("/p/a.jpg", 1)), 20);
  // The memory cache counts the cost of the entity it holds now.
  EXPECT_EQ(QVEntitiesCache::shared().totalCost(), after->cost());
}

TEST_F(QVCacheManagerTest, ShortTermCleanEmptiesMemoryOnlyLongTermTheStoreToo) {
  store(flatImage(30), "/p/a.jpg", 1);
  const std::string key = QVTypedCache::cacheKeyAtPath("/p/a.jpg", 1);
  clean(false);
  EXPECT_EQ(QVCacheManager::cachedOriginalImageAtPath("/p/a.jpg", 0), nullptr);
  EXPECT_TRUE(storage.isEntityDataStoredForKey(key));
  // The next update finds the earlier entity in the store.
  auto found = QVObtainEntityOperation::initWithPath("/p/a.jpg", key, &QVImageThumbEntity::cls());
  EXPECT_TRUE(found->loadFromFile());

  clean(true);
  EXPECT_FALSE(storage.isEntityDataStoredForKey(key));
}

TEST_F(QVCacheManagerTest, CleansPerPathAndPerImageType) {
  for (uint64_t type : {1, 2, 4, 6, 7, 8}) store(flatImage(uint8_t(type)), "/p/a.jpg", type);
  store(flatImage(99), "/p/b.jpg", 1);

  QVCacheManager::cleanAt("/p/a.jpg", {0, 1}, true);
  storage.waitUntilIdle();
  for (uint64_t type : {1, 6, 2, 7}) {
    EXPECT_EQ(QVTypedCache::shared().readObjectOfType(type, "/p/a.jpg"), nullptr) << type;
    EXPECT_FALSE(storage.isEntityDataStoredForKey(QVTypedCache::cacheKeyAtPath("/p/a.jpg", type))) << type;
  }
  for (uint64_t type : {4, 8}) {
    EXPECT_TRUE(QVTypedCache::shared().readObjectOfType(type, "/p/a.jpg")) << type;
    EXPECT_TRUE(storage.isEntityDataStoredForKey(QVTypedCache::cacheKeyAtPath("/p/a.jpg", type))) << type;
  }

  QVCacheManager::cleanAt("/p/a.jpg", false);
  EXPECT_EQ(QVTypedCache::shared().readObjectOfType(4, "/p/a.jpg"), nullptr);
  EXPECT_TRUE(storage.isEntityDataStoredForKey(QVTypedCache::cacheKeyAtPath("/p/a.jpg", 4)));
  EXPECT_EQ(firstByte(QVCacheManager::cachedOriginalImageAtPath("/p/b.jpg", 0)), 99);
}

TEST_F(QVCacheManagerTest, ConcurrentUpdatesOfOneRenditionShareOneObtainOperation) {
  auto queue = QVQueueManager::shared().cacheInternalQueue();
  // Both requests arrive while the first operation waits.
  QueueHold hold(queue);

  std::atomic<int> completions{0};
  const std::string key = QVTypedCache::cacheKeyAtPath("/p/a.jpg", 2);
  QVTypedCache::shared().updateCachedObject({{}, flatImage(1)}, 2, "/p/a.jpg", [&] { ++completions; });
  auto first = queue->objectForKeyedSubscript(key);
  QVTypedCache::shared().updateCachedObject({{}, flatImage(2)}, 2, "/p/a.jpg", [&] { ++completions; });
  EXPECT_EQ(queue->objectForKeyedSubscript(key), first);
  ASSERT_TRUE(first);
  hold.release();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(completions.load(), 2);
  ASSERT_TRUE(QVTypedCache::shared().readObjectOfType(2, "/p/a.jpg"));
}

TEST_F(QVCacheManagerTest, CancelledRequestsStillComplete) {
  auto queue = QVQueueManager::shared().cacheInternalQueue();
  QueueHold hold(queue);

  std::atomic<int> completions{0};
  std::atomic<bool> gotEntity{false};
  QVTypedCache::shared().entityOfType(3, "/p/a.jpg", true, [&](QVEntityRef entity) {
    gotEntity = entity != nullptr;
    ++completions;
  });
  QVTypedCache::shared().updateCachedObject({{}, flatImage(5)}, 3, "/p/a.jpg", [&] { ++completions; });
  queue->cancelAllOperations();
  hold.release();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(completions.load(), 2);
  EXPECT_FALSE(gotEntity.load());
  EXPECT_EQ(QVTypedCache::shared().readObjectOfType(3, "/p/a.jpg"), nullptr);
}

TEST_F(QVCacheManagerTest, ImagesWaitingToBeStoredStayWithinTheirBound) {
  NSImageRef image = flatImage(7, 100, 100);
  const uint64_t bytes = image->heldBytes();
  ASSERT_EQ(bytes, 30'000u);
  QVCacheManager::setWaitingBytesLimit(2 * bytes);
  std::atomic<int> completions{0};
  {
    // The stores wait behind a held queue, as behind a slow disk.
    QueueHold hold(QVQueueManager::shared().cacheQueue());
    for (const char* path : {"/p/a.jpg", "/p/b.jpg", "/p/c.jpg"})
      QVCacheManager::updateCacheImage(image, path, 1, [&] { ++completions; });
    EXPECT_EQ(QVCacheManager::waitingBytes(), 2 * bytes);
    EXPECT_EQ(completions.load(), 1) << "the image past the bound is not stored, and its caller is told at once";
  }
  for (int i = 0; i < 30'000 && completions.load() < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(completions.load(), 3);
  EXPECT_EQ(QVCacheManager::waitingBytes(), 0u);
  EXPECT_EQ(firstByte(QVCacheManager::cachedOriginalImageAtPath("/p/a.jpg", 0)), 7);
  EXPECT_EQ(firstByte(QVCacheManager::cachedOriginalImageAtPath("/p/b.jpg", 0)), 7);
  EXPECT_EQ(QVCacheManager::cachedOriginalImageAtPath("/p/c.jpg", 0), nullptr);
  QVCacheManager::setWaitingBytesLimit(kQVCacheManagerWaitingBytesLimit);
}

// ---- Obtaining --------------------------------------------------------------------------------

class QVObtainEntityOperationTest : public QVCacheManagerTest {};

TEST_F(QVObtainEntityOperationTest, CreatesAndStoresOnceThenReadsWithoutWriting) {
  const std::string key = QVTypedCache::cacheKeyAtPath("/p/c.jpg", 1);
  auto create = QVObtainEntityOperation::initWithPath("/p/c.jpg", key, &QVImageThumbEntity::cls());
  EXPECT_FALSE(create->loadFromFile());
  std::atomic<int> callbacks{0};
  create->addCallback([&] { ++callbacks; });
  create->start();
  ASSERT_TRUE(create->entity());
  EXPECT_EQ(create->entity()->className(), "QVImageThumbEntity");
  EXPECT_EQ(callbacks.load(), 1);
  auto afterCreate = storage.storageMap()[key];

  auto read = QVObtainEntityOperation::initWithPath("/p/c.jpg", key, &QVImageThumbEntity::cls());
  EXPECT_TRUE(read->loadFromFile());
  read->start();
  EXPECT_TRUE(read->entity());
  // Nothing was appended: the key still points at the first record.
  EXPECT_EQ(storage.storageMap()[key].offset, afterCreate.offset);

  // Undecodable data is replaced by a new entity under the same key.
  ASSERT_TRUE(storage.writeEntityData({1, 2, 3}, key));
  auto replace = QVObtainEntityOperation::initWithPath("/p/c.jpg", key, &QVImageThumbEntity::cls());
  replace->start();
  EXPECT_TRUE(replace->entity());
  EXPECT_TRUE(QVEntity::initWithData(&QVImageThumbEntity::cls(), *storage.readEntityDataForKey(key)));
}

TEST_F(QVObtainEntityOperationTest, ACancelledOperationSetsNoEntityAndCallsNoCallbacks) {
  auto operation = QVObtainEntityOperation::initWithPath("/p/d.jpg", "k", &QVImageThumbEntity::cls());
  std::atomic<int> callbacks{0}, finished{0};
  operation->addCallback([&] { ++callbacks; });
  operation->setFinishedCallback([&] { ++finished; });
  operation->cancel();
  operation->start();
  EXPECT_EQ(operation->entity(), nullptr);
  EXPECT_EQ(callbacks.load(), 0);
  EXPECT_EQ(finished.load(), 1);
  EXPECT_FALSE(storage.isEntityDataStoredForKey("k"));
}

}  // namespace
