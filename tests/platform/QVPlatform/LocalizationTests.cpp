#include <gtest/gtest.h>

#include <fstream>

#include "QVPlatform/Localization.h"
#include "common/TestSupport.h"

using namespace qv;

TEST(Localization, LooksUpKeysAndFallsBackToTheKey) {
  QVSLocalization::setTable({{"Blend", "Mischen"}, {"Quit <AppName>", "Quit <AppName> now"}});
  EXPECT_EQ(QVSLocalization::localizedStringForKey("Blend"), "Mischen");
  EXPECT_EQ(QVSLocalization::localizedStringForKey("Unknown key"), "Unknown key");
  EXPECT_EQ(QVSLocalization::localizedStringForKey("Quit <AppName>", "comment"), "Quit Solvane now");
  EXPECT_EQ(QVSLocalization::localizedStringForKey("<AppName> and <AppName>"), "Solvane and Solvane");
}

TEST(Localization, ReadsStringsFiles) {
  auto dir = solvane::test::makeTempDir("strings");
  std::string path = (dir / "Localizable.strings").string();
  std::ofstream(path) << "/* a comment */\n\"Stamped Layer\" = \"Gestempelt\";\n// line comment\n"
                         "\"Quote \\\"x\\\"\" = \"Tab\\there \\U00e9\";\n";
  ASSERT_TRUE(QVSLocalization::loadTableFromFile(path));
  EXPECT_EQ(QVSLocalization::localizedStringForKey("Stamped Layer"), "Gestempelt");
  EXPECT_EQ(QVSLocalization::localizedStringForKey("Quote \"x\""), "Tab\there \xC3\xA9");
  EXPECT_FALSE(QVSLocalization::parseStrings("\"a\" = \"b\""));
  EXPECT_FALSE(QVSLocalization::parseStrings("\"a\" \"b\";"));
  QVSLocalization::setTable({});
}
