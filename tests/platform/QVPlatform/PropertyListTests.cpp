#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <fstream>

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
