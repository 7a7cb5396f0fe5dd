#include "Ombrel/Classes/Model/Entities/QVEntitiesStorage.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>

#include "Ombrel/Classes/Model/Entities/QVEntity.h"
#include "Ombrel/Classes/Model/Entities/QVFilesManager.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/ImageIO/CoreGraphics.h"
#include "QVPlatform/OwnFiles.h"
#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"
#include "common/TestSupport.h"

namespace fs = std::filesystem;

namespace {

qv::Bytes bytes(const std::string& text) { return qv::Bytes(text.begin(), text.end()); }

// An 8-bit RGB image whose pixel (x, y) is (x * 8, y * 8, 50).
NSImageRef smallImage(size_t w = 6, size_t h = 4) {
  auto buf = std::make_shared<std::vector<uint8_t>>(w * h * 3);
  for (size_t y = 0; y < h; ++y)
    for (size_t x = 0; x < w; ++x) {
      uint8_t* p = buf->data() + (y * w + x) * 3;
      p[0] = uint8_t(x * 8), p[1] = uint8_t(y * 8), p[2] = 50;
    }
  return NSImage::imageWithCGImage(
      CGImageCreate(w, h, 8, 24, w * 3, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone, buf));
}

class QVEntitiesStorageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory = qv::appendingPathComponent(qv::places::temporaryDirectory(), "store-" + qv::stringWithUUID());
    storage = std::make_unique<QVEntitiesStorage>(directory);
  }
  void TearDown() override {
    storage.reset();
    fs::remove_all(directory);
  }
  // A new store over the same folder, as the next run of the process would make.
  void reopen() { storage = std::make_unique<QVEntitiesStorage>(directory); }
  uint64_t dataSize() { return fs::file_size(storage->storageDataPath()); }

  std::string directory;
  std::unique_ptr<QVEntitiesStorage> storage;
};

TEST_F(QVEntitiesStorageTest, RecordsAppendAndTheNewestRecordOfAKeyWins) {
  EXPECT_FALSE(storage->isEntityDataStoredForKey("a"));
  EXPECT_EQ(storage->readEntityDataForKey("a"), std::nullopt);

  ASSERT_TRUE(storage->writeEntityData(bytes("first"), "a"));
  ASSERT_TRUE(storage->writeEntityData(bytes("other"), "b"));
  ASSERT_TRUE(storage->writeEntityData(bytes("second!"), "a"));

  EXPECT_TRUE(storage->isEntityDataStoredForKey("a"));
  EXPECT_EQ(storage->readEntityDataForKey("a"), bytes("second!"));
  EXPECT_EQ(storage->readEntityDataForKey("b"), bytes("other"));
  auto map = storage->storageMap();
  EXPECT_EQ(map["a"].offset, 10u);
  EXPECT_EQ(map["a"].length, 7u);
  // The first record of "a" stays as dead space.
  EXPECT_EQ(dataSize(), 17u);
}

TEST_F(QVEntitiesStorageTest, EmptyDataOrKeyIsRefused) {
  EXPECT_FALSE(storage->writeEntityData({}, "a"));
  EXPECT_FALSE(storage->writeEntityData(bytes("x"), ""));
  EXPECT_FALSE(storage->isEntityDataStoredForKey("a"));
  EXPECT_EQ(dataSize(), 0u);
}

TEST_F(QVEntitiesStorageTest, ARecordRunningPastTheFileEndReadsAsNothing) {
  ASSERT_TRUE(storage->writeEntityData(bytes("0123456789"), "a"));
  // The file is cut short under the store (a crash, another process).
  fs::resize_file(storage->storageDataPath(), 6);
  EXPECT_TRUE(storage->isEntityDataStoredForKey("a"));
  EXPECT_EQ(storage->readEntityDataForKey("a"), std::nullopt);
  fs::remove(storage->storageDataPath());
  EXPECT_EQ(storage->readEntityDataForKey("a"), std::nullopt);
}

TEST_F(QVEntitiesStorageTest, WholeCleanForgetsEveryKeyAndRestartsAtOffsetZero) {
  ASSERT_TRUE(storage->writeEntityData(bytes("one"), "a"));
  ASSERT_TRUE(storage->writeEntityData(bytes("two"), "b"));
  storage->cleanupEntitiesStorage();
  EXPECT_FALSE(storage->isEntityDataStoredForKey("a"));
  EXPECT_FALSE(storage->isEntityDataStoredForKey("b"));
  ASSERT_TRUE(storage->writeEntityData(bytes("three"), "c"));
  EXPECT_EQ(storage->storageMap()["c"].offset, 0u);
  EXPECT_EQ(dataSize(), 5u);
}

TEST_F(QVEntitiesStorageTest, PathAndKeyCleansRemoveOnlyTheirKeys) {
  const std::string mine = qv::md5("/photos/a.jpg"), theirs = qv::md5("/photos/b.jpg");
  for (const auto& key :
       {mine + "_QVImageThumbEntity", mine + "_QVProcessedPreviewEntity", theirs + "_QVImageThumbEntity"})
    ASSERT_TRUE(storage->writeEntityData(bytes(key), key));

  storage->cleanupEntitiesStorageWithPath("/photos/a.jpg");
  EXPECT_FALSE(storage->isEntityDataStoredForKey(mine + "_QVImageThumbEntity"));
  EXPECT_FALSE(storage->isEntityDataStoredForKey(mine + "_QVProcessedPreviewEntity"));
  EXPECT_TRUE(storage->isEntityDataStoredForKey(theirs + "_QVImageThumbEntity"));

  storage->cleanupEntitiesStorageForKey(theirs + "_QVImageThumbEntity");
  EXPECT_TRUE(storage->storageMap().empty());
  // The data file is not touched by either.
  EXPECT_GT(dataSize(), 0u);
}

TEST_F(QVEntitiesStorageTest, SavedMapIsReadByTheNextStore) {
  ASSERT_TRUE(storage->writeEntityData(bytes("kept"), "a"));
  storage->saveMap();
  reopen();
  EXPECT_EQ(storage->readEntityDataForKey("a"), bytes("kept"));
  // The map on disk is the XML property list of [offset, length] pairs.
  qv::Error error;
  qv::Value map = qv::PropertyList::readFile(storage->storageMapPath(), &error);
  EXPECT_EQ(map["a"], qv::Value(qv::Array{qv::Value(0), qv::Value(4)}));
}

TEST_F(QVEntitiesStorageTest, CleanedKeysDoNotComeBackWithASavedMap) {
  ASSERT_TRUE(storage->writeEntityData(bytes("old record"), "a"));
  storage->saveMap();
  storage->cleanupEntitiesStorage();
  storage->waitUntilIdle();
  EXPECT_FALSE(fs::exists(storage->storageMapPath()));
  reopen();
  EXPECT_FALSE(storage->isEntityDataStoredForKey("a"));
  ASSERT_TRUE(storage->writeEntityData(bytes("new"), "b"));
  storage->saveMapAsync(false);
  reopen();
  // "a" would otherwise point at bytes of the new data file.
  EXPECT_FALSE(storage->isEntityDataStoredForKey("a"));
  EXPECT_EQ(storage->readEntityDataForKey("b"), bytes("new"));

  // A path clean alone is saved too.
  const std::string key = qv::md5("/p.jpg") + "_QVImageThumbEntity";
  ASSERT_TRUE(storage->writeEntityData(bytes("thumb"), key));
  storage->saveMap();
  storage->cleanMapWithPath("/p.jpg");
  storage->saveMap();
  reopen();
  EXPECT_FALSE(storage->isEntityDataStoredForKey(key));
  EXPECT_TRUE(storage->isEntityDataStoredForKey("b"));
}

TEST_F(QVEntitiesStorageTest, DamagedMapFilesAreRefusedCleanly) {
  ASSERT_TRUE(storage->writeEntityData(bytes("0123456789"), "good"));
  storage->saveMap();
  std::string xml;
  {
    std::ifstream in(storage->storageMapPath());
    xml.assign(std::istreambuf_iterator<char>(in), {});
  }
  // A map cut in the middle, as a crash during a non-atomic write would leave it.
  {
    std::ofstream out(storage->storageMapPath(), std::ios::trunc);
    out << xml.substr(0, xml.size() / 2);
  }
  reopen();
  EXPECT_FALSE(storage->isEntityDataStoredForKey("good"));
  EXPECT_TRUE(storage->writeEntityData(bytes("again"), "good"));
  EXPECT_EQ(storage->readEntityDataForKey("good"), bytes("again"));

  // Entries of the wrong shape are dropped; the well-formed one still reads.
  qv::Value map = qv::Dictionary{};
  map.set("good", qv::Array{qv::Value(0), qv::Value(10)});
  map.set("three", qv::Array{qv::Value(0), qv::Value(1), qv::Value(2)});
  map.set("text", qv::Array{qv::Value("0"), qv::Value("1")});
  map.set("negative", qv::Array{qv::Value(-1), qv::Value(4)});
  map.set("zero", qv::Array{qv::Value(0), qv::Value(0)});
  map.set("scalar", qv::Value(3));
  ASSERT_TRUE(qv::PropertyList::writeFile(storage->storageMapPath(), map));
  reopen();
  EXPECT_EQ(storage->readEntityDataForKey("good"), bytes("0123456789"));
  for (const char* key : {"three", "text", "negative", "zero", "scalar"}) {
    EXPECT_FALSE(storage->isEntityDataStoredForKey(key)) << key;
    EXPECT_EQ(storage->readEntityDataForKey(key), std::nullopt) << key;
  }
}

TEST_F(QVEntitiesStorageTest, ATornAppendIsNeverMappedAndLaterRecordsStayReadable) {
  ASSERT_TRUE(storage->writeEntityData(bytes("whole"), "a"));
  storage->saveMap();
  // A crash during the next append left part of a record at the end of the file.
  {
    std::ofstream out(storage->storageDataPath(), std::ios::app | std::ios::binary);
    out << "half a rec";
  }
  reopen();
  EXPECT_EQ(storage->readEntityDataForKey("a"), bytes("whole"));
  ASSERT_TRUE(storage->writeEntityData(bytes("next"), "b"));
  EXPECT_EQ(storage->readEntityDataForKey("b"), bytes("next"));
  EXPECT_EQ(storage->readEntityDataForKey("a"), bytes("whole"));
}

TEST_F(QVEntitiesStorageTest, AnAppendCutShortIsTakenBackAndNotMapped) {
  ASSERT_TRUE(storage->writeEntityData(bytes("whole"), "a"));
  // The file may grow by 8 more bytes only: the next append is written in part, then fails.
  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit previous{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
  rlimit tight = previous;
  tight.rlim_cur = 5 + 8;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
  bool written = storage->writeEntityData(qv::Bytes(64, 'x'), "a");
  ::setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(written);
  EXPECT_EQ(dataSize(), 5u);
  EXPECT_EQ(storage->readEntityDataForKey("a"), bytes("whole"));
  ASSERT_TRUE(storage->writeEntityData(bytes("next"), "b"));
  EXPECT_EQ(storage->storageMap()["b"].offset, 5u);
}

TEST_F(QVEntitiesStorageTest, AnUnwritableDataFileLeavesTheMapAsItWas) {
  ASSERT_TRUE(storage->writeEntityData(bytes("whole"), "a"));
  fs::remove(storage->storageDataPath());
  fs::create_directory(qv::appendingPathComponent(directory, "EntitiesStorage.data"));
  EXPECT_FALSE(storage->writeEntityData(bytes("lost"), "b"));
  EXPECT_FALSE(storage->isEntityDataStoredForKey("b"));
  EXPECT_EQ(storage->readEntityDataForKey("a"), std::nullopt);
}

// A store whose bounds a test can reach with a few bytes.
class QVBoundedEntitiesStorageTest : public QVEntitiesStorageTest {
 protected:
  void make(QVEntitiesStorage::Limits limits) {
    storage.reset();
    storage = std::make_unique<QVEntitiesStorage>(directory, limits);
  }
  // Every key of the saved map read the way the file format says: its [offset, length] bytes of
  // "EntitiesStorage.data".
  std::map<std::string, qv::Bytes> recordsAsTheFilesSay() {
    storage->saveMap();
    qv::Error error;
    qv::Value map = qv::PropertyList::readFile(storage->storageMapPath(), &error);
    std::ifstream in(storage->storageDataPath(), std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), {});
    std::map<std::string, qv::Bytes> records;
    for (const auto& [key, pair] : *map.dictionary()) {
      const size_t offset = size_t(pair.array()->at(0).asInt()), length = size_t(pair.array()->at(1).asInt());
      if (offset + length <= data.size()) records[key] = bytes(data.substr(offset, length));
    }
    return records;
  }
};

TEST_F(QVBoundedEntitiesStorageTest, AnEntityStoredTwiceTakesTheRoomOnce) {
  const qv::Bytes entity = QVImageThumbEntity().entityData();
  ASSERT_TRUE(storage->writeEntityData(entity, "a"));
  ASSERT_TRUE(storage->writeEntityData(entity, "a"));
  ASSERT_TRUE(storage->writeEntityData(entity, "b"));
  EXPECT_EQ(dataSize(), entity.size());
  EXPECT_EQ(storage->liveBytes(), entity.size());
  EXPECT_EQ(storage->readEntityDataForKey("b"), entity);

  // Equal length and other bytes are another record; the shared one lives while a key points to it.
  qv::Bytes other = entity;
  other.back() ^= 1;
  ASSERT_TRUE(storage->writeEntityData(other, "a"));
  EXPECT_EQ(dataSize(), 2 * entity.size());
  EXPECT_EQ(storage->readEntityDataForKey("a"), other);
  EXPECT_EQ(storage->readEntityDataForKey("b"), entity);
  EXPECT_EQ(storage->liveBytes(), 2 * entity.size());
  storage->cleanupEntitiesStorageForKey("b");
  EXPECT_EQ(storage->liveBytes(), entity.size());
  EXPECT_EQ(recordsAsTheFilesSay(), (std::map<std::string, qv::Bytes>{{"a", other}}));
}

TEST_F(QVBoundedEntitiesStorageTest, LiveRecordsStayWithinTheLimitLeastRecentlyUsedGoingFirst) {
  make({.liveLimit = 30, .compactionMinimum = 1'000, .diskReserve = 0});
  ASSERT_TRUE(storage->writeEntityData(bytes("aaaaaaaaaa"), "a"));
  ASSERT_TRUE(storage->writeEntityData(bytes("bbbbbbbbbb"), "b"));
  ASSERT_TRUE(storage->writeEntityData(bytes("cccccccccc"), "c"));
  // A read is a use: "b" is now the least recently used.
  ASSERT_TRUE(storage->readEntityDataForKey("a"));
  ASSERT_TRUE(storage->writeEntityData(bytes("dddddddddd"), "d"));
  EXPECT_FALSE(storage->isEntityDataStoredForKey("b"));
  for (const char* key : {"a", "c", "d"}) EXPECT_TRUE(storage->isEntityDataStoredForKey(key)) << key;
  EXPECT_EQ(storage->liveBytes(), 30u);
  // A record bigger than the limit on its own is kept while it is the newest.
  ASSERT_TRUE(storage->writeEntityData(qv::Bytes(40, 'e'), "e"));
  EXPECT_EQ(storage->storageMap().size(), 1u);
  EXPECT_EQ(storage->readEntityDataForKey("e"), qv::Bytes(40, 'e'));
}

TEST_F(QVBoundedEntitiesStorageTest, DeadSpaceIsGivenBackAndTheFilesKeepTheirFormat) {
  make({.liveLimit = 1'000, .compactionMinimum = 25, .diskReserve = 0});
  ASSERT_TRUE(storage->writeEntityData(bytes("first a"), "a"));
  ASSERT_TRUE(storage->writeEntityData(bytes("bbbbbbbbbb"), "b"));
  storage->saveMap();
  // Rewrites of "a" leave dead records until they reach the live bytes and the minimum.
  ASSERT_TRUE(storage->writeEntityData(bytes("second a"), "a"));
  ASSERT_TRUE(storage->writeEntityData(bytes("third a!"), "a"));
  EXPECT_EQ(dataSize(), 7u + 10 + 8 + 8);
  ASSERT_TRUE(storage->writeEntityData(bytes("fourth a"), "a"));
  // 23 dead bytes and 18 live: still kept. One more rewrite passes the minimum.
  EXPECT_EQ(dataSize(), 7u + 10 + 8 + 8 + 8);
  EXPECT_TRUE(fs::exists(storage->storageMapPath()));
  ASSERT_TRUE(storage->writeEntityData(bytes("fifth a!"), "a"));
  EXPECT_EQ(dataSize(), 18u) << "only the live records are left";
  EXPECT_EQ(storage->liveBytes(), 18u);
  // A saved map would have pointed at the old offsets.
  EXPECT_FALSE(fs::exists(storage->storageMapPath()));
  EXPECT_EQ(storage->readEntityDataForKey("a"), bytes("fifth a!"));
  EXPECT_EQ(storage->readEntityDataForKey("b"), bytes("bbbbbbbbbb"));
  // The records are back to back in their former order and the map says where.
  auto map = storage->storageMap();
  EXPECT_EQ(map["b"].offset, 0u);
  EXPECT_EQ(map["a"].offset, 10u);
  const std::map<std::string, qv::Bytes> expected{{"a", bytes("fifth a!")}, {"b", bytes("bbbbbbbbbb")}};
  EXPECT_EQ(recordsAsTheFilesSay(), expected);
  reopen();
  EXPECT_EQ(storage->readEntityDataForKey("a"), bytes("fifth a!"));
  EXPECT_EQ(storage->readEntityDataForKey("b"), bytes("bbbbbbbbbb"));
  EXPECT_FALSE(fs::exists(storage->storageDataPath() + ".compacting"));

  // Keys forgotten by a clean leave dead space the next write gives back.
  storage.reset();
  make({.liveLimit = 1'000, .compactionMinimum = 25, .diskReserve = 0});
  storage->cleanupEntitiesStorage();
  ASSERT_TRUE(storage->writeEntityData(qv::Bytes(30, 'x'), qv::md5("/p.jpg") + "_QVImageThumbEntity"));
  ASSERT_TRUE(storage->writeEntityData(qv::Bytes(5, 'y'), "y"));
  storage->cleanupEntitiesStorageWithPath("/p.jpg");
  ASSERT_TRUE(storage->writeEntityData(qv::Bytes(5, 'z'), "z"));
  EXPECT_EQ(dataSize(), 10u);
  EXPECT_EQ(recordsAsTheFilesSay(),
            (std::map<std::string, qv::Bytes>{{"y", qv::Bytes(5, 'y')}, {"z", qv::Bytes(5, 'z')}}));
}

// Compaction writes through the safe writer: a fresh temporary name, never the fixed name an
// earlier version used, so whatever sits there (a link to another file) is never followed; and a
// failed compaction leaves the old data file and a map that still describes it.
TEST_F(QVBoundedEntitiesStorageTest, CompactionNeverWritesThroughWhatIsAtATemporaryName) {
  using solvane::test::Put;
  for (Put put : {Put::LinkToFile, Put::DanglingLink, Put::Fifo, Put::File}) {
    storage.reset();
    fs::remove_all(directory);
    make({.liveLimit = 1'000, .compactionMinimum = 25, .diskReserve = 0});
    const fs::path fixed = storage->storageDataPath() + ".compacting", victim = fs::path(directory) / "victim";
    solvane::test::place(put, fixed, victim);
    ASSERT_TRUE(storage->writeEntityData(bytes("bbbbbbbbbb"), "b"));
    for (const char* text : {"first a", "second a", "third a!", "fourth a", "fifth a!"})
      ASSERT_TRUE(solvane::test::endsSoon([&] { ASSERT_TRUE(storage->writeEntityData(bytes(text), "a")); }))
          << solvane::test::describe(put);
    EXPECT_EQ(dataSize(), 18u) << "compacted past " << solvane::test::describe(put);
    EXPECT_EQ(solvane::test::contents(victim), "victim") << solvane::test::describe(put);
    EXPECT_TRUE(qv::entryAt(fixed.string()).isTaken()) << "left where it was: " << solvane::test::describe(put);
    EXPECT_EQ(recordsAsTheFilesSay(),
              (std::map<std::string, qv::Bytes>{{"a", bytes("fifth a!")}, {"b", bytes("bbbbbbbbbb")}}));
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(directory))
      if (entry.path().filename().string().starts_with(".")) left.push_back(entry.path().filename().string());
    EXPECT_TRUE(left.empty()) << "no temporary file left: " << left.front();
  }
}

// The data file's name holding something else: the store neither waits on it nor writes or reads
// through it; it keeps nothing instead.
TEST_F(QVBoundedEntitiesStorageTest, ADataFileThatIsNotOursIsLeftAlone) {
  using solvane::test::Put;
  for (Put put : {Put::Fifo, Put::LinkToFile, Put::LinkToZero, Put::DanglingLink}) {
    storage.reset();
    fs::remove_all(directory);
    fs::create_directories(directory);
    const fs::path data = fs::path(directory) / "EntitiesStorage.data", victim = fs::path(directory) / "victim";
    solvane::test::place(put, data, victim);
    make({.liveLimit = 1'000, .compactionMinimum = 25, .diskReserve = 0});
    ASSERT_TRUE(solvane::test::endsSoon([&] {
      EXPECT_FALSE(storage->writeEntityData(bytes("record"), "a")) << solvane::test::describe(put);
      EXPECT_FALSE(storage->readEntityDataForKey("a")) << solvane::test::describe(put);
      storage->saveMap();
    })) << solvane::test::describe(put);
    EXPECT_EQ(solvane::test::contents(victim), "victim") << solvane::test::describe(put);
  }
}

TEST_F(QVBoundedEntitiesStorageTest, ARecordTheDiskHasNoRoomForIsRefused) {
  make({.liveLimit = 1'000, .compactionMinimum = 25, .diskReserve = std::numeric_limits<uint64_t>::max() / 2});
  EXPECT_FALSE(storage->writeEntityData(bytes("no room"), "a"));
  EXPECT_FALSE(storage->writeEntityData(bytes("still none"), "b"));
  EXPECT_FALSE(storage->isEntityDataStoredForKey("a"));
  EXPECT_EQ(dataSize(), 0u);
  make({.liveLimit = 1'000, .compactionMinimum = 25, .diskReserve = 0});
  EXPECT_TRUE(storage->writeEntityData(bytes("room"), "a"));
}

TEST(QVFilesManagerTest, EntitiesFolderIsInTheApplicationFolderAndIsMadeAgainWhenRemoved) {
  auto& manager = QVFilesManager::sharedManager();
  EXPECT_EQ(manager.applicationFilesDirectoryPath(), qv::places::applicationSupportDirectory());
  std::string entities = manager.entitiesDirectoryPath();
  EXPECT_EQ(entities, qv::appendingPathComponent(qv::places::applicationSupportDirectory(), "Entities"));
  EXPECT_TRUE(fs::is_directory(entities));
  fs::remove_all(entities);
  EXPECT_EQ(manager.entitiesDirectoryPath(), entities);
  EXPECT_TRUE(fs::is_directory(entities));
  EXPECT_EQ(qv::deletingLastPathComponent(QVEntitiesStorage::shared().storageDataPath()), entities);
  EXPECT_EQ(qv::lastPathComponent(QVEntitiesStorage::shared().storageMapPath()), "EntitiesStorage.map");
}

// ---- Entities ---------------------------------------------------------------------------------

TEST(QVEntityTest, ImageEntityKeepsTheImageAsTIFFAndDecodesItAgain) {
  NSImageRef image = smallImage();
  auto entity = std::make_shared<QVProcessedPreviewEntity>();
  EXPECT_EQ(entity->cost(), 0u);
  EXPECT_EQ(entity->image(), nullptr);
  entity->setCacheObject({{}, image});
  EXPECT_EQ(entity->image(), image);
  // The memory it takes: the TIFF and the decoded image kept beside it.
  const uint64_t tiff = image->TIFFRepresentation().size();
  EXPECT_EQ(entity->cost(), tiff + 6 * 4 * 3);

  qv::Bytes archive = entity->entityData();
  qv::Error error;
  qv::Value dictionary = qv::PropertyList::read(archive, &error);
  EXPECT_EQ(dictionary["Version"], qv::Value(1));
  EXPECT_TRUE(dictionary["QVProcessedPreviewEntityDataKey"].isData());

  auto decoded =
      std::dynamic_pointer_cast<QVImageEntity>(QVEntity::initWithData(&QVProcessedPreviewEntity::cls(), archive));
  ASSERT_TRUE(decoded);
  // Before it is decoded, the image counts as big as its TIFF; afterwards as what it holds.
  EXPECT_EQ(decoded->cost(), 2 * tiff);
  NSImageRef back = decoded->image();
  ASSERT_TRUE(back);
  EXPECT_EQ(decoded->cost(), tiff + back->heldBytes());
  auto a = image->CGImage(), b = back->CGImage();
  ASSERT_EQ(b->width, a->width);
  ASSERT_EQ(b->height, a->height);
  for (size_t y = 0; y < a->height; ++y) EXPECT_EQ(0, std::memcmp(a->row(y), b->row(y), a->width * 3)) << "row " << y;
}

TEST(QVEntityTest, ArchivesDecodeOnlyAsTheirOwnClassAndVersion) {
  auto entity = std::make_shared<QVImageThumbEntity>();
  entity->setCacheObject({qv::Value(bytes("jpeg")), nullptr});
  qv::Bytes archive = entity->entityData();

  // Another rendition class reads under its own key and finds nothing.
  auto other =
      std::dynamic_pointer_cast<QVStorableEntity>(QVEntity::initWithData(&QVImagePreviewEntity::cls(), archive));
  ASSERT_TRUE(other);
  EXPECT_TRUE(other->cacheObject().isNull());

  qv::Value wrongVersion = qv::Dictionary{};
  wrongVersion.set("Version", 2);
  wrongVersion.set("QVImageThumbEntityDataKey", bytes("jpeg"));
  EXPECT_EQ(QVEntity::initWithData(&QVImageThumbEntity::cls(), *qv::PropertyList::toBinary(wrongVersion)), nullptr);
  EXPECT_EQ(QVEntity::initWithData(&QVImageThumbEntity::cls(), bytes("not an archive")), nullptr);
  EXPECT_EQ(QVEntity::initWithData(&QVImageThumbEntity::cls(), {}), nullptr);
}

TEST(QVEntityTest, ObjectsOfOtherClassesAreIgnored) {
  auto image = std::make_shared<QVImageOriginalEntity>();
  image->setCacheObject({qv::Value(bytes("data")), nullptr});
  image->setCacheObject({qv::Value("a string"), nullptr});
  image->setCacheObject({qv::Value(), nullptr});
  EXPECT_EQ(image->cacheObject(), qv::Value(bytes("data")));

  auto faces = std::make_shared<QVFaceEntity>();
  faces->setCacheObject({qv::Value(bytes("data")), nullptr});
  EXPECT_TRUE(faces->faces().isNull());
  qv::Value list = qv::Array{qv::Value(qv::Dictionary{{"x", qv::Value(1.5)}})};
  faces->setFaces(list);
  EXPECT_EQ(faces->cost(), 0u);
  auto decoded =
      std::dynamic_pointer_cast<QVFaceEntity>(QVEntity::initWithData(&QVFaceEntity::cls(), faces->entityData()));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->faces(), list);
}

TEST(QVEntityTest, AnUpdateMakesANewEntityAndLeavesTheSharedOneAlone) {
  auto entity = std::make_shared<QVImageThumbEntity>();
  entity->setCacheObject({qv::Value(bytes("old")), nullptr});
  auto updated =
      std::dynamic_pointer_cast<QVStorableEntity>(entity->copyWithCacheObject({qv::Value(bytes("newer")), nullptr}));
  ASSERT_TRUE(updated);
  EXPECT_EQ(updated->className(), "QVImageThumbEntity");
  EXPECT_EQ(updated->cacheObject(), qv::Value(bytes("newer")));
  EXPECT_EQ(entity->cacheObject(), qv::Value(bytes("old")));
  EXPECT_FALSE(QVEntity::entityPathSuffixForAdditionalParameters(qv::Value(1)));
}

}  // namespace
