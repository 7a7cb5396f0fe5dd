#include "Ombrel/Classes/Business/Batch/QVBatchPreset.h"

#include <gtest/gtest.h>

#include <cmath>

#include "QVPlatform/PropertyList.h"

namespace {

TEST(QVBatchSettingsResizing, EvaluateFitSize) {
  struct Case {
    uint64_t type;
    const char* value;
    bool enlarge;
    double w, h;
  } cases[] = {
      {1, "2048", false, 2048, 1536},   // long edge
      {2, "1000", false, 1333, 1000},   // short edge
      {3, "800x800", false, 800, 600},  // dimensions
      {1, "5000", false, 4000, 3000},   // never enlarged unless asked
      {1, "5000", true, 5000, 3750},
      {1, " 2048 ", false, 2048, 1536},  // white space around the number
      {1, "1e3", false, 1000, 750},
      {3, "800", false, 0, 0},  // dimensions without "x"
      {3, "800x600x2", false, 0, 0},
      {0, "", false, 4000, 3000},  // original
      {0, nullptr, false, 0, 0},   // no value: the preset sets no size
      {7, "10", false, 0, 0},
      // Refused: no number, zero, negative, not finite, a decimal comma, beyond the ceiling.
      {1, "", false, 0, 0},
      {1, "abc", false, 0, 0},
      {1, "2048px", false, 0, 0},
      {1, "0", false, 0, 0},
      {2, "-1000", true, 0, 0},
      {1, "inf", true, 0, 0},
      {1, "nan", true, 0, 0},
      {1, "1e999", true, 0, 0},
      {1, "2048,5", false, 0, 0},
      {3, "800x", false, 0, 0},
      {3, "0x600", false, 0, 0},
      {3, "-800x600", true, 0, 0},
      {1, "20000", true, 0, 0},  // 300 megapixels
      {1, "70000", true, 0, 0},  // a side past what the engine allocates
  };
  for (const auto& c : cases) {
    QVBatchSettingsResizing resizing;
    resizing.setType(c.type);
    if (c.value) resizing.setValue(std::string(c.value));
    resizing.setShouldEnlarge(c.enlarge);
    CGSize s = resizing.evaluateFitSize(CGSizeMake(4000, 3000));
    EXPECT_EQ(s.width, c.w) << c.type << " " << (c.value ? c.value : "nil");
    EXPECT_EQ(s.height, c.h) << c.type << " " << (c.value ? c.value : "nil");
  }
}

TEST(QVBatchSettingsResizing, RefusesSourcesWithoutSizeAndSidesRoundedAway) {
  QVBatchSettingsResizing resizing;
  resizing.setType(1);
  resizing.setValue(std::string("100"));
  for (CGSize source : {CGSizeMake(0, 3000), CGSizeMake(-4000, 3000), CGSizeMake(NAN, 3000)}) {
    CGSize s = resizing.evaluateFitSize(source);
    EXPECT_EQ(s.width, 0);
    EXPECT_EQ(s.height, 0);
  }
  // 4000 x 10 at long edge 100 would be 100 x 0.25: no image is zero pixels high.
  CGSize thin = resizing.evaluateFitSize(CGSizeMake(4000, 10));
  EXPECT_EQ(thin.width, 0);
  EXPECT_EQ(thin.height, 0);
}

TEST(QVBatchPreset, DictionaryRoundTripKeepsNumberFlavours) {
  auto preset = std::make_shared<QVBatchPreset>();
  preset->setType(kQVBatchPresetTypeUser);
  preset->setVersion(3);
  preset->setUuid("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  preset->setName("Not stored");
  preset->saving()->setPath(std::string("/home/u/Exports"));
  preset->saving()->setShouldOverwriteWithoutWarning(true);
  preset->naming()->setPrefix(std::make_shared<QVBatchName>(2, "trip"));
  preset->naming()->setBase(std::make_shared<QVBatchName>(1, ""));
  preset->naming()->setSuffix(std::make_shared<QVBatchName>(3, "1"));
  preset->naming()->setCapitalization(std::make_shared<QVBatchName>(1, std::nullopt));
  preset->format()->setQuality(0.8);
  preset->format()->setExportType(std::string("public.tiff"));
  preset->format()->setColorSpace(3);
  auto tiff = std::make_shared<QVBatchTiffImageProperties>();
  tiff->setCompressionType("LZW", 5);
  tiff->setDepth("16 Bits", 16);
  preset->format()->setTiffImageProperties(tiff);
  preset->resizing()->setType(3);
  preset->resizing()->setValue(std::string("1920x1080"));
  preset->resizing()->setShouldEnlarge(true);

  qv::Value dictionary = preset->serialize();
  EXPECT_FALSE(dictionary.contains("name"));
  EXPECT_FALSE(dictionary["naming"]["capitalization"].contains("value"));
  EXPECT_TRUE(dictionary["preset type"].isInteger());
  EXPECT_TRUE(dictionary["version"].isInteger());
  EXPECT_TRUE(dictionary["format"]["quality"].isReal());
  EXPECT_TRUE(dictionary["format"]["color space"].isInteger());
  EXPECT_TRUE(dictionary["format"]["tiff properties"]["depth"]["16 Bits"].isInteger());
  EXPECT_TRUE(dictionary["saving"]["overwrite"].isBool());
  EXPECT_TRUE(dictionary["resizing"]["enlarge"].isBool());
  EXPECT_TRUE(dictionary["resizing"]["type"].isInteger());
  EXPECT_EQ(dictionary["format"]["quality"].asDouble(), 1.0);  // TIFF has no quality to choose

  // Through the XML file form and back: the same dictionary, flavour for flavour.
  auto xml = qv::PropertyList::toXML(dictionary);
  ASSERT_TRUE(xml);
  qv::Error error;
  qv::Value reread = qv::PropertyList::read(*xml, &error);
  auto loaded = QVBatchPreset::initWithDic(reread);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->serialize().description(), dictionary.description());
  EXPECT_EQ(loaded->naming()->prefix()->value(), "trip");
  EXPECT_EQ(loaded->naming()->suffix()->type(), 3u);
  EXPECT_EQ(loaded->format()->tiffImageProperties()->compressionValue(), 5);
  EXPECT_EQ(loaded->format()->tiffImageProperties()->depthValue(), 16);
  EXPECT_EQ(loaded->saving()->path(), "/home/u/Exports");
  EXPECT_TRUE(loaded->resizing()->shouldEnlarge());
  EXPECT_EQ(loaded->name(), "");
}

TEST(QVBatchPreset, InvalidDictionariesYieldNoPresetAndMissingSectionsReadEmpty) {
  qv::Value valid = qv::Dictionary{{"preset type", 1}, {"version", 1}, {"uuid", "U"}};
  EXPECT_TRUE(QVBatchPreset::initWithDic(valid));
  for (const char* key : {"preset type", "version"}) {
    qv::Value zero = valid;
    zero.set(key, 0);
    EXPECT_FALSE(QVBatchPreset::initWithDic(zero)) << key;
  }
  qv::Value noUUID = valid;
  noUUID.erase("uuid");
  EXPECT_FALSE(QVBatchPreset::initWithDic(noUUID));
  noUUID.set("uuid", 7);
  EXPECT_FALSE(QVBatchPreset::initWithDic(noUUID));
  EXPECT_FALSE(QVBatchPreset::initWithDic(qv::Value(qv::Array{})));

  // Hand-edited numbers as text still load.
  qv::Value text = qv::Dictionary{{"preset type", "2"}, {"version", "1"}, {"uuid", "U"}};
  auto fromText = QVBatchPreset::initWithDic(text);
  ASSERT_TRUE(fromText);
  EXPECT_EQ(fromText->type(), 2);

  auto bare = QVBatchPreset::initWithDic(valid);
  for (const auto& part :
       {bare->naming()->prefix(), bare->naming()->base(), bare->naming()->suffix(), bare->naming()->capitalization()}) {
    ASSERT_TRUE(part);
    EXPECT_EQ(part->type(), 0u);
    EXPECT_FALSE(part->value());
  }
  EXPECT_FALSE(bare->saving()->path());
  EXPECT_FALSE(bare->format()->exportType());
  EXPECT_FALSE(bare->format()->tiffImageProperties());
  EXPECT_FALSE(bare->resizing()->value());
}

TEST(QVBatchSettingsFormat, OnlyJPEGKindsKeepTheirQuality) {
  struct Case {
    const char* type;
    double quality;
  } cases[] = {{"public.png", 1.0},       {"public.jpeg", 0.5}, {"PUBLIC.JPEG", 0.5},
               {"public.jpeg-2000", 0.5}, {"public.tiff", 1.0}, {nullptr, 0.5}};
  for (const auto& c : cases) {
    qv::Value dictionary = qv::Dictionary{{"quality", 0.5}};
    if (c.type) dictionary.set("export type", c.type);
    EXPECT_EQ(QVBatchSettingsFormat::initWithDic(dictionary)->quality(), c.quality) << (c.type ? c.type : "nil");
  }
  // A file that names no quality gets the best, not the worst.
  EXPECT_EQ(QVBatchSettingsFormat::initWithDic(qv::Dictionary{{"export type", "public.jpeg"}})->quality(), 1.0);

  QVBatchSettingsFormat format;
  format.setQuality(0.7);
  format.setExportType(std::nullopt);
  EXPECT_EQ(format.quality(), 0.7);
  format.setQuality(3);
  EXPECT_EQ(format.quality(), 1.0);
  format.setQuality(-1);
  EXPECT_EQ(format.quality(), 0.0);
  format.setQuality(NAN);
  EXPECT_EQ(format.quality(), 1.0);
}

TEST(QVBatchPreset, CopyIsANewUserPresetWithDeepSections) {
  auto original = QVBatchPreset::initWithDic(qv::Dictionary{
      {"preset type", 1},
      {"version", 4},
      {"uuid", "DEFAULT-UUID"},
      {"format", qv::Dictionary{{"export type", "public.tiff"},
                                {"tiff properties", qv::Dictionary{{"depth", qv::Dictionary{{"8 Bits", 8}}}}}}},
      {"naming", qv::Dictionary{{"base", qv::Dictionary{{"type", 2}, {"value", "x"}}}}}});
  ASSERT_TRUE(original);
  original->setName("Default");
  auto copy = original->copy();
  EXPECT_EQ(copy->type(), kQVBatchPresetTypeUser);
  EXPECT_EQ(copy->version(), 1);
  EXPECT_EQ(copy->name(), "Unknown");
  EXPECT_EQ(copy->uuid().size(), 36u);
  EXPECT_NE(copy->uuid(), original->uuid());
  EXPECT_NE(copy->uuid(), original->copy()->uuid());

  copy->naming()->base()->setValue(std::string("changed"));
  copy->format()->tiffImageProperties()->setDepth("16 Bits", 16);
  copy->resizing()->setType(2);
  EXPECT_EQ(original->naming()->base()->value(), "x");
  EXPECT_EQ(original->format()->tiffImageProperties()->depthValue(), 8);
  EXPECT_EQ(original->resizing()->type(), 0u);
}

}  // namespace
