// The event log file's byte layout and its damaged-tail handling, checked on the file's bytes.
#include "Ombrel/Classes/Business/ErrorTracker/QVAppEventStorage.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "common/TestSupport.h"

namespace fs = std::filesystem;

namespace {

std::string fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

qv::Bytes bytes(const std::string& text) { return qv::Bytes(text.begin(), text.end()); }

std::vector<std::string> texts(const std::vector<qv::Bytes>& records) {
  std::vector<std::string> out;
  for (const auto& r : records) out.emplace_back(r.begin(), r.end());
  return out;
}

std::shared_ptr<QVAppEvent> sampleEvent(uint64_t type, int64_t code) {
  auto event = std::make_shared<QVAppEvent>();
  event->type = type;
  event->info = {{"QVCodeName", code}, {"QVReasonName", "App crashed"}};
  event->callStack = std::vector<std::string>{"0 Solvane main", "1 libc start"};
  event->appVersion = "2.0";
  event->OSVersion = "12";
  event->locationType = 1;
  event->sessionID = "0123456789abcdef0123456789abcdef";
  return event;
}

}  // namespace

TEST(QVAppEventStorageLayout, RecordsThenOffsetsThenLengthMark) {
  const fs::path path = solvane::test::makeTempDir("log-layout") / "Errors.log";
  QVAppEventStorage storage(path, false);
  ASSERT_TRUE(fs::exists(path));
  EXPECT_EQ(fileBytes(path), "") << "a new log is an empty file";

  ASSERT_TRUE(storage.saveEventData(bytes("AAAA")));
  EXPECT_EQ(fileBytes(path), "AAAA4{1}");
  ASSERT_TRUE(storage.saveEventData(bytes("BBBBBBBBBB")));
  EXPECT_EQ(fileBytes(path), "AAAABBBBBBBBBB4,14{4}") << "the old tail is replaced, never kept";
  EXPECT_EQ(storage.eventMap(), (std::vector<uint64_t>{4, 14}));
  EXPECT_EQ(storage.currentMetadataOffset(), 14u);

  QVAppEventStorage reopened(path, false);
  EXPECT_EQ(reopened.eventMap(), (std::vector<uint64_t>{4, 14}));
  EXPECT_EQ(texts(reopened.readAllEventData()), (std::vector<std::string>{"AAAA", "BBBBBBBBBB"}));
  ASSERT_TRUE(reopened.saveEventData(bytes("C")));
  EXPECT_EQ(fileBytes(path), "AAAABBBBBBBBBBC4,14,15{7}");
}

TEST(QVAppEventStorageLayout, MetadataSectionForTheDocumentedExample) {
  EXPECT_EQ(QVAppEventStorage::metadataSection({412, 792}), "412,792{7}");
}

TEST(QVAppEventStorageLayout, EventsAreStoredAsTheirArchivedFormsBackToBack) {
  const fs::path path = solvane::test::makeTempDir("log-events") / "Errors.log";
  QVAppEventStorage storage(path, false);
  const auto first = sampleEvent(0, 3), second = sampleEvent(0, 5);
  ASSERT_TRUE(storage.saveEvent(*first));
  ASSERT_TRUE(storage.saveEvent(*second));
  const qv::Bytes a = first->archivedData(), b = second->archivedData();
  const std::string offsets = std::to_string(a.size()) + "," + std::to_string(a.size() + b.size());
  EXPECT_EQ(fileBytes(path), std::string(a.begin(), a.end()) + std::string(b.begin(), b.end()) + offsets + "{" +
                                 std::to_string(offsets.size()) + "}");
  const auto events = QVAppEventStorage(path, false).readAllEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1]->info.at("QVCodeName").asInt(), 5);
  EXPECT_EQ(events[1]->callStack, first->callStack);
  EXPECT_EQ(events[1]->sessionID, "0123456789abcdef0123456789abcdef");
  EXPECT_EQ(events[1]->locationType, 1u);
}

TEST(QVAppEventStorageLayout, DamagedTailsOpenAsEmptyAndTheNextSaveStartsAfresh) {
  const char* damaged[] = {
      "garbage without any braces at all",  // no mark
      "AAAA4{1}\n",                         // not ending in the mark
      "AAAA4{9}",                           // offsets text longer than the file allows
      "AAAA5{1}",                           // last offset is not where the offsets text begins
      "AAAA4,3{3}",                         // offsets going backwards
      "AAAA4x{2}",                          // not a number
      "{}",                                 // empty length
      "AAAA{0}",                            // no offsets, yet records before the mark
  };
  for (const char* content : damaged) {
    SCOPED_TRACE(content);
    const fs::path path = solvane::test::makeTempDir("log-damaged") / "Info.log";
    writeBytes(path, content);
    QVAppEventStorage storage(path, false);
    EXPECT_TRUE(storage.eventMap().empty());
    EXPECT_EQ(storage.currentMetadataOffset(), 0u);
    EXPECT_TRUE(storage.readAllEvents().empty());
    ASSERT_TRUE(storage.saveEventData(bytes("CC")));
    EXPECT_EQ(fileBytes(path), "CC2{1}");
  }
}

// A record may end in bytes that look like braces (binary property lists often do); with a short
// offsets text they fall inside the last 16 bytes. The mark is the last brace pair, so the log
// keeps its records.
TEST(QVAppEventStorageLayout, BracesInsideTheLastRecordDoNotHideTheTail) {
  const fs::path path = solvane::test::makeTempDir("log-braces") / "Errors.log";
  {
    QVAppEventStorage storage(path, false);
    ASSERT_TRUE(storage.saveEventData(bytes("ab{cd}")));
  }
  EXPECT_EQ(fileBytes(path), "ab{cd}6{1}");
  QVAppEventStorage reopened(path, false);
  EXPECT_EQ(reopened.eventMap(), (std::vector<uint64_t>{6}));
  EXPECT_EQ(texts(reopened.readAllEventData()), (std::vector<std::string>{"ab{cd}"}));
}

TEST(QVAppEventStorageLayout, RemovingSentRecordsKeepsTheLaterOnes) {
  const fs::path path = solvane::test::makeTempDir("log-remove") / "Errors.log";
  QVAppEventStorage storage(path, false);
  for (const char* record : {"AA", "BBB", "CCCC"}) ASSERT_TRUE(storage.saveEventData(bytes(record)));
  ASSERT_TRUE(storage.removeFirstEvents(2));
  EXPECT_EQ(fileBytes(path), "CCCC4{1}");
  ASSERT_TRUE(storage.saveEventData(bytes("D")));
  EXPECT_EQ(fileBytes(path), "CCCCD4,5{3}");
  ASSERT_TRUE(storage.removeFirstEvents(2));
  EXPECT_EQ(fileBytes(path), "");
  EXPECT_TRUE(storage.eventMap().empty());
}

TEST(QVAppEventStorageLayout, CleanAndRemovePreviousLogEmptyTheFile) {
  const fs::path path = solvane::test::makeTempDir("log-clean") / "Errors.log";
  {
    QVAppEventStorage storage(path, false);
    ASSERT_TRUE(storage.saveEventData(bytes("AAAA")));
    storage.clean();
    EXPECT_EQ(fileBytes(path), "");
    EXPECT_EQ(storage.currentMetadataOffset(), 0u);
    ASSERT_TRUE(storage.saveEventData(bytes("BB")));
  }
  QVAppEventStorage fresh(path, true);
  EXPECT_EQ(fileBytes(path), "");
  EXPECT_TRUE(fresh.eventMap().empty());
}

TEST(QVAppEventStorageLayout, UnreadableRecordsAreSkipped) {
  const fs::path path = solvane::test::makeTempDir("log-skip") / "Errors.log";
  QVAppEventStorage storage(path, false);
  ASSERT_TRUE(storage.saveEventData(bytes("not a property list")));
  ASSERT_TRUE(storage.saveEvent(*sampleEvent(0, 1)));
  const auto events = storage.readAllEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]->info.at("QVCodeName").asInt(), 1);
}

// Many records saved at once share one tail; a log about to pass its size is rotated to "<name>.1"
// and starts again, so no log grows without end.
TEST(QVAppEventStorageLayout, BatchesAndRotationAtASize) {
  const fs::path path = solvane::test::makeTempDir("log-rotate") / "Errors.log";
  QVAppEventStorage storage(path.string(), false);
  std::vector<QVAppEvent> events(50);
  for (size_t i = 0; i < events.size(); ++i) events[i].info = {{"QVCodeName", int64_t(i)}};
  ASSERT_TRUE(storage.saveEvents(events));
  ASSERT_EQ(storage.readAllEvents().size(), 50u);
  EXPECT_EQ(storage.readAllEvents().back()->info.at("QVCodeName").asInt(), 49);

  const uint64_t size = fs::file_size(path);
  storage.setMaximumBytes(size);
  QVAppEvent one;
  one.info = {{"QVCodeName", int64_t(50)}};
  ASSERT_TRUE(storage.saveEvent(one));
  EXPECT_EQ(fs::file_size(path.string() + ".1"), size) << "the full log moved aside whole";
  const auto now = storage.readAllEvents();
  ASSERT_EQ(now.size(), 1u);
  EXPECT_EQ(now[0]->info.at("QVCodeName").asInt(), 50);
  EXPECT_LE(fs::file_size(path), size);
}

// The log's name holding something else: nothing waits on a FIFO, nothing is written or read
// through a link, and a file far past the bound is not read into memory but written over.
TEST(QVAppEventStorageLayout, WhatIsNotALogOfOursIsNeitherWaitedOnNorWrittenThrough) {
  using solvane::test::Put;
  for (Put put : {Put::Fifo, Put::LinkToFile, Put::LinkToZero, Put::DanglingLink, Put::File}) {
    const fs::path dir = solvane::test::makeTempDir("event-kinds");
    const fs::path path = dir / "Errors.log", victim = dir / "victim";
    solvane::test::place(put, path, victim);
    if (put == Put::File) {
      // A tail that claims a huge offsets text: refused by its size before anything is read.
      writeBytes(path, "");
      fs::resize_file(path, 3 * QVAppEventStorage::kDefaultMaximumBytes);
      std::ofstream(path, std::ios::binary | std::ios::in | std::ios::out | std::ios::ate) << "{9999999999}";
    }
    ASSERT_TRUE(solvane::test::endsSoon([&] {
      QVAppEventStorage storage(path.string(), false);
      EXPECT_TRUE(storage.readAllEvents().empty()) << solvane::test::describe(put);
      const bool saved = storage.saveEvent(*sampleEvent(0, 1));
      EXPECT_EQ(saved, put == Put::File) << solvane::test::describe(put);
    })) << solvane::test::describe(put);
    EXPECT_EQ(solvane::test::contents(victim), "victim") << solvane::test::describe(put);
    if (put == Put::File) EXPECT_LT(fs::file_size(path), 4096u) << "written over from the start";
  }
}
