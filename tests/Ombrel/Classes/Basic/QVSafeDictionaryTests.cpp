#include "Ombrel/Classes/Basic/QVSafeDictionary.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using Dictionary = QVSafeDictionary<std::shared_ptr<std::string>>;

namespace {
std::shared_ptr<std::string> text(const char* s) { return std::make_shared<std::string>(s); }
}  // namespace

TEST(QVSafeDictionaryTest, NoKeyAndNoValue) {
  Dictionary dic;
  dic.setObject(text("a"), "one");
  dic.setObject(text("b"), "two");
  ASSERT_EQ(dic.count(), 2u);

  // No value under an existing key removes it.
  dic.setObject(nullptr, "one");
  EXPECT_EQ(dic.count(), 1u);
  EXPECT_EQ(dic.objectForKeyedSubscript("one"), nullptr);

  // No key: reads answer nothing, writes change nothing.
  EXPECT_EQ(dic.objectForKeyedSubscript(""), nullptr);
  dic.setObject(text("c"), "");
  EXPECT_EQ(dic.count(), 1u);
  EXPECT_EQ(*dic.objectForKeyedSubscript("two"), "b");
}

TEST(QVSafeDictionaryTest, SnapshotsAndKeysForValue) {
  Dictionary dic;
  auto shared = text("x");
  dic.setObject(shared, "a");
  dic.setObject(shared, "b");
  dic.setObject(text("x"), "c");  // equal text, another object
  EXPECT_EQ(dic.allKeysForObject(shared), (std::vector<std::string>{"a", "b"}));

  auto keys = dic.allKeys();
  dic.removeObjectForKey("a");
  EXPECT_EQ(keys.size(), 3u);  // the snapshot does not follow later changes
  EXPECT_EQ(dic.allValues().size(), 2u);
}

TEST(QVSafeDictionaryTest, EnumerationMayReadAgainAndStop) {
  Dictionary dic;
  for (const char* k : {"a", "b", "c"}) dic.setObject(text(k), k);
  std::vector<std::string> seen;
  dic.enumerateKeysAndObjectsUsingBlock([&](const std::string& key, const auto& value, bool& stop) {
    // Reading again on the same thread does not deadlock: the lock is recursive.
    EXPECT_EQ(dic.objectForKeyedSubscript(key), value);
    seen.push_back(key);
    stop = key == "b";
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b"}));
}

TEST(QVSafeDictionaryConcurrencyTest, WritersLandAndReadersSeeWholeValues) {
  Dictionary dic;
  constexpr int kCount = 2000;
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (!done.load()) {
      for (const char* key : {"w1-17", "w2-1999"}) {
        auto value = dic.objectForKeyedSubscript(key);
        if (value && *value != std::string("value of ") + key) ++torn;
      }
      dic.enumerateKeysAndObjectsUsingBlock([&](const std::string& key, const auto& value, bool&) {
        if (!value || *value != "value of " + key) ++torn;
      });
    }
  });
  auto writer = [&](const std::string& prefix) {
    for (int i = 0; i < kCount; ++i) {
      std::string key = prefix + "-" + std::to_string(i);
      dic.setObject(std::make_shared<std::string>("value of " + key), key);
    }
  };
  std::thread w1(writer, "w1"), w2(writer, "w2");
  w1.join();
  w2.join();
  done = true;
  reader.join();
  EXPECT_EQ(dic.count(), size_t(2 * kCount));
  EXPECT_EQ(torn.load(), 0);
}

TEST(QVSafeDictionaryTest, DescriptionListsEntriesInKeyOrderWhileWritersRun) {
  QVSafeDictionary<int> numbers;
  numbers.setObject(2, "b");
  numbers.setObject(1, "a");
  EXPECT_EQ(numbers.description(), "{a = 1; b = 2; }");
  EXPECT_EQ(Dictionary().description(), "{}");

  // Described under the lock: a writer changing the map meanwhile never tears the walk.
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) numbers.setObject(i, "k" + std::to_string(i % 64));
    done = true;
  });
  while (!done) EXPECT_EQ(numbers.description().back(), '}');
  writer.join();
}
