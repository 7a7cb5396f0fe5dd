#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"
#include "common/TestSupport.h"

using namespace qv;

namespace {

// Every kind of value, with the edges of each.
Value everyKind(bool wholeSecondDates) {
  Value v;
  v.set("true", true).set("false", false);
  v.set("zero", 0).set("negative", -5).set("max", INT64_MAX).set("min", INT64_MIN);
  v.set("real", 0.1 + 0.2).set("whole real", 1.0).set("tiny", -2.5e-300).set("huge", 1.7976931348623157e308);
  v.set("text", "Sch\xC3\xA4rfe <&> \"quoted\"\n\ttabbed").set("empty text", "");
  v.set("data", Bytes{0, 1, 2, 255, 0}).set("empty data", Bytes{});
  v.set("date", Date{wholeSecondDates ? 787654321.0 : 787654321.25});
  v.set("array", Value().push(1).push("two").push(Value().push(3.5)).push(Array{}));
  v.set("nested", Value().set("inner", Value().set("deeper", true)).set("empty", Dictionary{}));
  return v;
}

}  // namespace

TEST(PropertyList, XmlAndBinaryRoundTripEveryKindWithItsFlavour) {
  for (auto format : {PropertyListFormat::XML, PropertyListFormat::Binary}) {
    Value original = everyKind(format == PropertyListFormat::XML);
    Error error;
    std::string path = (solvane::test::makeTempDir("plist") / "v.plist").string();
    ASSERT_TRUE(PropertyList::writeFile(path, original, format, &error)) << error.description;
    PropertyListFormat detected{};
    Value back = PropertyList::readFile(path, &error, &detected);
    EXPECT_EQ(detected, format);
    EXPECT_EQ(back, original);
    EXPECT_EQ(back.description(), original.description()) << "flavours (bool, integer, real) survive";
    EXPECT_TRUE(back["whole real"].isReal());
    EXPECT_TRUE(back["true"].isBool());
    EXPECT_EQ(back["min"].asInt(), INT64_MIN);
  }
}

TEST(PropertyList, ReadsAHandWrittenFile) {
  Error error;
  Value v = PropertyList::readFile((solvane::test::dataDir() / "platform" / "handwritten.plist").string(), &error);
  ASSERT_TRUE(v.isDictionary()) << error.description;
  EXPECT_EQ(v["Identifier"].asString(), "ROVASharpenEffect");
  EXPECT_TRUE(v["Enabled"].isBool() && v["Enabled"].asBool());
  EXPECT_TRUE(v["Hidden"].isBool() && !v["Hidden"].asBool());
  EXPECT_TRUE(v["Amount"].isReal());
  EXPECT_DOUBLE_EQ(v["Amount"].asDouble(), 0.75);
  EXPECT_TRUE(v["Whole real"].isReal());
  EXPECT_TRUE(v["Level"].isInteger());
  EXPECT_EQ(v["Level"].asInt(), -3);
  EXPECT_EQ(v["Name & \"quotes\" <x>"].asString(), "Sch\xC3\xA4rfe");
  EXPECT_EQ(*v["Blob"].data(), (Bytes{0, 1, 2, 255}));
  EXPECT_DOUBLE_EQ(v["Created"].date()->secondsSinceReferenceDate, 86400.0);
  EXPECT_EQ(v["Parameters"][0]["Value"].asInt(), 10);
  EXPECT_TRUE(v["Parameters"][1].isArray());
  EXPECT_EQ(v["Parameters"][2].asString("x"), "");
}

TEST(PropertyList, FailuresAreReportedNotThrown) {
  Error error;
  EXPECT_TRUE(PropertyList::read(std::string_view("not a plist"), &error).isNull());
  EXPECT_EQ(error.code, 3840);
  EXPECT_TRUE(PropertyList::read(std::string_view("bplist00garbage"), &error).isNull());
  EXPECT_TRUE(PropertyList::read(std::string_view(""), &error).isNull());
  EXPECT_TRUE(PropertyList::readFile("/no/such/file.plist", &error).isNull());
  EXPECT_EQ(error.code, 260);

  // Null cannot be stored in a property list: refused, and no file is left behind.
  auto dir = solvane::test::makeTempDir("plist-null");
  Value withNull = Value().set("a", Value());
  EXPECT_FALSE(PropertyList::writeFile((dir / "x.plist").string(), withNull, PropertyListFormat::XML, &error));
  EXPECT_EQ(error.code, 3851);
  EXPECT_FALSE(std::filesystem::exists(dir / "x.plist"));
  EXPECT_FALSE(PropertyList::toBinary(Value().push(std::nan(""))));
}

namespace {

// A binary property list of `depth` arrays, each holding the next (the last holds `false`); with
// `cycle`, the last array holds the first instead.
std::string nestedBinary(uint32_t depth, bool cycle = false) {
  std::string out = "bplist00";
  std::vector<uint32_t> offsets;
  auto be32 = [&](uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(char(v >> s));
  };
  for (uint32_t i = 0; i < depth; ++i) {
    offsets.push_back(uint32_t(out.size()));
    out.push_back(char(0xA1));
    be32(cycle && i + 1 == depth ? 0 : i + 1);
  }
  offsets.push_back(uint32_t(out.size()));
  out.push_back(char(0x08));
  const uint32_t table = uint32_t(out.size());
  for (uint32_t o : offsets) be32(o);
  out.append(6, '\0');
  out.push_back(0);  // sort version
  out.push_back(4);  // offset size
  out.push_back(4);  // reference size
  for (uint64_t v : {uint64_t(offsets.size()), uint64_t(0), uint64_t(table)})
    for (int s = 56; s >= 0; s -= 8) out.push_back(char(v >> s));
  return out;
}

// A binary property list of one text, "a", a zero character and "b", which libplist asserts on: in
// ASCII or in UTF-16, with a reference size libplist never checks for a lone text.
std::string textWithZero(bool utf16, char referenceSize) {
  std::string out = "bplist00";
  const std::string ascii = {'\x53', 'a', '\0', 'b'}, wide = {'\x63', '\0', 'a', '\0', '\0', '\0', 'b'};
  out += utf16 ? wide : ascii;
  const uint64_t table = out.size();
  out.push_back(8);     // the offset table: the text at 8
  out.append(7, '\0');  // unused, sort version
  out.push_back(1);     // offset size
  out.push_back(referenceSize);
  for (uint64_t v : {uint64_t(1), uint64_t(0), table})
    for (int s = 56; s >= 0; s -= 8) out.push_back(char(v >> s));
  return out;
}

std::string repeated(const std::string& open, const std::string& middle, const std::string& close, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += open;
  s += middle;
  for (int i = 0; i < n; ++i) s += close;
  return s;
}

}  // namespace

// Deep nesting would overflow the stack in the parsers, and a zero character in a binary text makes
// libplist abort: both are refused with an error instead, while ordinary files still read.
TEST(PropertyList, DeepNestingCyclesAndZeroCharactersAreRefused) {
  const std::string xmlHead = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
  struct Case {
    std::string name, bytes;
    bool json, reads;
  } cases[] = {
      {"xml 100", xmlHead + repeated("<array>", "<true/>", "</array>", 100) + "</plist>", false, true},
      {"xml 200000", xmlHead + repeated("<array>", "", "</array>", 200000) + "</plist>", false, false},
      {"xml dicts 100000", xmlHead + repeated("<dict><key>k</key>", "<dict/>", "</dict>", 100000) + "</plist>", false,
       false},
      {"binary 100", nestedBinary(100), false, true},
      {"binary 200000", nestedBinary(200000), false, false},
      {"binary cycle", nestedBinary(3, true), false, false},
      {"binary text with a zero character", textWithZero(false, 1), false, false},
      {"binary UTF-16 text with a zero character", textWithZero(true, 1), false, false},
      {"binary text with a zero character and a bad reference size", textWithZero(false, 23), false, false},
      {"binary text without a zero character",
       [] {
         std::string ok = textWithZero(false, 1);
         ok[10] = 'x';
         return ok;
       }(),
       false, true},
      {"xml text with a zero byte", xmlHead + "<string>a" + std::string(1, '\0') + "b</string></plist>", false, false},
      {"json 100", repeated("[", "1", "]", 100), true, true},
      {"json 200000", repeated("[", "", "]", 200000), true, false},
      {"json objects 200000", repeated("{\"a\":", "1", "}", 200000), true, false},
      {"json brackets in strings", "[\"" + std::string(100000, '[') + "\"]", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Error error;
    const Value v =
        c.json ? PropertyList::fromJSON(c.bytes, &error) : PropertyList::read(std::string_view(c.bytes), &error);
    EXPECT_EQ(v.isNull(), !c.reads);
    if (!c.reads) {
      EXPECT_EQ(error.code, 3840);
    }
  }
}

// Paths that are not plain files end in an error with the reason: never an exception, never a wait.
TEST(PropertyList, FoldersAndFifosAreErrorsNotCrashesOrHangs) {
  const auto dir = solvane::test::makeTempDir("plist-special");
  ASSERT_EQ(::mkfifo((dir / "pipe.plist").c_str(), 0600), 0);
  std::filesystem::create_directory(dir / "folder.plist");
  for (const char* name : {"pipe.plist", "folder.plist"}) {
    SCOPED_TRACE(name);
    const std::string path = (dir / name).string();
    Error error;
    EXPECT_TRUE(PropertyList::readFile(path, &error).isNull());
    EXPECT_NE(error.description.find(name[0] == 'p' ? "not a regular file" : "a folder, not a file"), std::string::npos)
        << error.description;
    EXPECT_TRUE(PropertyList::readJSONFile(path, &error).isNull());
    EXPECT_FALSE(qv::readFileBytes(path, &error));
  }
}

TEST(PropertyList, JsonKeepsNumberFlavours) {
  Value v;
  v.set("b", true).set("i", 1).set("r", 1.0).set("s", "x").set("n", Value()).set("a", Value().push(2.5).push(-7));
  auto json = PropertyList::toJSON(v);
  ASSERT_TRUE(json);
  EXPECT_EQ(*json, R"({"a":[2.5,-7],"b":true,"i":1,"n":null,"r":1.0,"s":"x"})");
  Error error;
  Value back = PropertyList::fromJSON(*json, &error);
  EXPECT_EQ(back.description(), v.description());
  EXPECT_TRUE(back["r"].isReal());
  EXPECT_TRUE(back["b"].isBool());

  EXPECT_FALSE(PropertyList::toJSON(Value().set("d", Bytes{1}), false, &error)) << "JSON holds no data";
  EXPECT_TRUE(PropertyList::fromJSON("{broken", &error).isNull());
  EXPECT_EQ(error.code, 3840);
  EXPECT_TRUE(PropertyList::fromJSON("18446744073709551615", nullptr).isReal()) << "too big for an integer";
}

TEST(ValueDescription, OneCanonicalTextIndependentOfInsertionOrder) {
  Value a, b;
  a.set("zeta", 1).set("alpha", Value().push(true).push(1.0)).set("mid", "t\"x");
  b.set("mid", "t\"x").set("alpha", Value().push(true).push(1.0)).set("zeta", 1);
  EXPECT_EQ(a.description(), b.description());
  EXPECT_EQ(a.description(), R"({"alpha":[true,1.0],"mid":"t\"x","zeta":1})");

  struct Case {
    Value value;
    std::string text;
  };
  for (const Case& c : std::vector<Case>{
           {Value(), "null"},
           {Value(true), "true"},
           {Value(1), "1"},
           {Value(1.0), "1.0"},
           {Value(0.1 + 0.2), "0.30000000000000004"},
           {Value(1e300), "1.0000000000000001e+300"},
           {Value(-0.5), "-0.5"},
           {Value(Bytes{0x0a, 0xff}), "<0aff>"},
           {Value(Date{12.5}), "@12.5"},
           {Value("a\nb\x01"), "\"a\\nb\\u0001\""},
           {Value(Array{}), "[]"},
           {Value(Dictionary{}), "{}"},
       })
    EXPECT_EQ(c.value.description(), c.text);
  EXPECT_NE(Value(true).description(), Value(1).description());
  EXPECT_NE(Value(1).description(), Value(1.0).description());
}
