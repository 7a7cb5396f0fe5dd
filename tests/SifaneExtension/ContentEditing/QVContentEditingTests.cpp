#include <gtest/gtest.h>

#include <fstream>

#include "QVPlatform/PropertyList.h"
#include "SifaneExtension/ContentEditing/QVAdjustmentData.h"
#include "SifaneExtension/ContentEditing/QVContentEditingOutput.h"
#include "common/TestSupport.h"

TEST(QVAdjustmentData, RoundTripsThroughItsJSONFileAndRefusesIncompleteOnes) {
  const auto dir = solvane::test::makeTempDir("adjustment");
  const QVAdjustmentData record("com.solvane.Solvane.photoextension", "1.0", "SolvaneExtentionAdjustData");
  const std::string path = (dir / "record.json").string();
  ASSERT_TRUE(record.writeToFile(path));
  EXPECT_EQ(QVAdjustmentData::readFromFile(path), record);
  qv::Error error;
  const qv::Value json = qv::PropertyList::readJSONFile(path, &error);
  EXPECT_EQ(json["data"].asString(), "SolvaneExtentionAdjustData") << "the data is readable text in the file";

  struct Case {
    const char* name;
    const char* text;
  } cases[] = {
      {"no data", R"({"formatIdentifier": "a", "formatVersion": "1.0"})"},
      {"version not text", R"({"formatIdentifier": "a", "formatVersion": 1, "data": "x"})"},
      {"not an object", R"(["a", "1.0", "x"])"},
      {"not JSON", "formatIdentifier=a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bad = (dir / "bad.json").string();
    std::ofstream(bad) << c.text;
    qv::Error why;
    EXPECT_FALSE(QVAdjustmentData::readFromFile(bad, &why));
    EXPECT_FALSE(why.description.empty() && why.domain.empty());
  }
  EXPECT_FALSE(QVAdjustmentData::readFromFile((dir / "missing.json").string()));
}

TEST(QVContentEditingOutput, NamesTheRenderingAndTheRecordAfterThePhotoInTheHostsFolder) {
  const QVContentEditingInput input("/photos/Holiday 2026.tar.JPG", std::nullopt, "/tmp/out");
  const QVContentEditingOutput output(input);
  EXPECT_EQ(output.renderedContentPath(), "/tmp/out/Holiday 2026.tar.tiff");
  EXPECT_EQ(output.adjustmentDataPath(), "/tmp/out/Holiday 2026.tar.json");
  EXPECT_FALSE(output.adjustmentData());
  // Two inputs are equal only with the same photo, record and folder.
  EXPECT_EQ(input, QVContentEditingInput("/photos/Holiday 2026.tar.JPG", std::nullopt, "/tmp/out"));
  EXPECT_FALSE(input == QVContentEditingInput("/photos/Holiday 2026.tar.JPG", QVAdjustmentData(), "/tmp/out"));
}
