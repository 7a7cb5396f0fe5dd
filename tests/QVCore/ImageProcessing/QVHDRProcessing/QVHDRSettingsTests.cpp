#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "QVCore/Categories/NSFileManager+ContainerDirectory.h"
#include "QVCore/Common/QVCoreStartup.h"
#include "QVCore/ImageProcessing/QVHDRProcessing/QVHDRSettings.h"
#include "QVPlatform/PropertyList.h"

namespace fs = std::filesystem;

TEST(HDRSettings, DefaultsAndDictionaryForm) {
  auto d = QVHDRSettings::defaultSettings();
  EXPECT_FALSE(d->alignment());
  EXPECT_FALSE(d->ghostReduction());
  EXPECT_EQ(d->ghostRefImageIdx(), 0);
  EXPECT_EQ(d->ghostAmount(), 0);
  EXPECT_TRUE(d->colorDenoise());
  EXPECT_FALSE(d->chromaticAbberationReduction());
  EXPECT_TRUE(d->singleImageToneMapping());

  const qv::Value dict = d->dictionaryRepresentation();
  EXPECT_EQ(dict.size(), 7u);
  EXPECT_TRUE(dict["_colorDenoise"].isBool());
  EXPECT_TRUE(dict["_ghostAmount"].isInteger());

  // A missing key reads NO or 0, not the default; a null dictionary gives the defaults.
  auto s = QVHDRSettings::hdrSettingsFromDictionaryRepresentation(
      qv::Dictionary{{"_alignment", true}, {"_ghostRefImageIdx", 2}, {"_ghostAmount", 40}});
  EXPECT_TRUE(s->alignment());
  EXPECT_EQ(s->ghostRefImageIdx(), 2);
  EXPECT_EQ(s->ghostAmount(), 40);
  EXPECT_FALSE(s->colorDenoise());
  EXPECT_FALSE(s->singleImageToneMapping());
  s->setupWithDictionaryRepresentation(qv::Value());
  EXPECT_TRUE(s->colorDenoise());
  EXPECT_FALSE(s->alignment());

  // Round trip through the dictionary and the keyed form.
  s->setGhostReduction(true);
  s->setChromaticAbberationReduction(true);
  auto back = QVHDRSettings::decode(s->encode());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->dictionaryRepresentation(), s->dictionaryRepresentation());
  EXPECT_EQ(QVHDRSettings::decode(qv::Dictionary{}), nullptr);
}

TEST(HDRSettings, EngineRecord) {
  auto s = QVHDRSettings::defaultSettings();
  s->setAlignment(true);
  s->setGhostReduction(true);
  s->setGhostRefImageIdx(int64_t(1) << 32 | 3);  // truncated to 32 bits
  s->setGhostAmount(55);
  s->setColorDenoise(false);
  s->setChromaticAbberationReduction(true);
  s->setSingleImageToneMapping(false);
  const rova::HDRSettings r = s->rovaHDRSettings();
  EXPECT_TRUE(r.alignment);
  EXPECT_TRUE(r.ghostReduction);
  EXPECT_EQ(r.ghostRefImageIdx, 3);
  EXPECT_EQ(r.ghostAmount, 55);
  EXPECT_FALSE(r.reserved);
  EXPECT_FALSE(r.colorDenoise);
  EXPECT_TRUE(r.chromaticAberrationReduction);
  EXPECT_FALSE(r.singleImageToneMapping);
}

TEST(HDRSettings, StoredFileKeepsOnlySingleImageToneMapping) {
  QVCoreStartup();
  NSFileManagerContainerDirectory::configureWithContainerIdentifier("group.test.hdr");
  const std::string path = QVHDRSettings::filePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(fs::path(path).filename(), "hdrSettings");
  fs::remove(path);
  EXPECT_EQ(QVHDRSettings::storedSettings()->dictionaryRepresentation(),
            QVHDRSettings::defaultSettings()->dictionaryRepresentation());

  auto s = QVHDRSettings::defaultSettings();
  s->setAlignment(true);
  s->setColorDenoise(false);
  s->setSingleImageToneMapping(false);
  s->store();
  auto stored = QVHDRSettings::storedSettings();
  EXPECT_FALSE(stored->alignment());
  EXPECT_TRUE(stored->colorDenoise());
  EXPECT_FALSE(stored->singleImageToneMapping());
  qv::Error error;
  EXPECT_TRUE(qv::PropertyList::readFile(path, &error)[kQVHDRSettingsDictionaryRepresentationKey].isDictionary());

  // An unreadable file gives the defaults.
  std::ofstream(path, std::ios::trunc) << "not a property list";
  EXPECT_TRUE(QVHDRSettings::storedSettings()->singleImageToneMapping());
}
