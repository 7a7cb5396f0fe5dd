#include <gtest/gtest.h>

#include <filesystem>

#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"
#include "QVPlatform/UserDefaults.h"

using namespace qv;

TEST(UserDefaults, ValuesSurviveARestartOfTheStore) {
  {
    UserDefaults suite("group.com.solvane.test");
    suite.setBool(true, "kQVSolvaneSoundsDisabled");
    suite.setFloat(0.25f, "kQVApproxTimeForProcessingMPX");
    suite.setInteger(3, "QVAnalyticsVersionKey");
    suite.setObject("E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "QVLastPresetSelectedUUIDKey");
    suite.setObject(Value().set("a", 1), "QVPresetFavoriteKey");
    suite.setBool(true, "gone");
    suite.removeObjectForKey("gone");
    EXPECT_TRUE(suite.synchronize());
    EXPECT_EQ(suite.path(), places::userDefaultsDirectory() + "/group.com.solvane.test.plist");
  }
  UserDefaults::resetStandardUserDefaults();

  UserDefaults again("group.com.solvane.test");
  EXPECT_TRUE(again.objectForKey("kQVSolvaneSoundsDisabled").isBool());
  EXPECT_TRUE(again.boolForKey("kQVSolvaneSoundsDisabled"));
  EXPECT_FLOAT_EQ(again.floatForKey("kQVApproxTimeForProcessingMPX"), 0.25f);
  EXPECT_TRUE(again.objectForKey("QVAnalyticsVersionKey").isInteger());
  EXPECT_EQ(again.integerForKey("QVAnalyticsVersionKey"), 3);
  EXPECT_EQ(again.stringForKey("QVLastPresetSelectedUUIDKey"), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  EXPECT_EQ(again.objectForKey("QVPresetFavoriteKey")["a"].asInt(), 1);
  EXPECT_TRUE(again.objectForKey("gone").isNull());
  EXPECT_FALSE(again.stringForKey("QVAnalyticsVersionKey")) << "a number is no text";

  // On disk as a property list, without a synchronize being needed.
  Value file = PropertyList::readFile(again.path(), nullptr);
  EXPECT_TRUE(file["kQVSolvaneSoundsDisabled"].asBool());
}

TEST(UserDefaults, RegisteredDefaultsAnswerButAreNeverStored) {
  UserDefaults& standard = UserDefaults::standardUserDefaults();
  standard.registerDefaults({{"LensCorrectionKey", true}, {"PreviousExportImageTypeKey", "public.jpeg"}});
  EXPECT_TRUE(standard.boolForKey("LensCorrectionKey"));
  EXPECT_FALSE(standard.boolForKey("AutoColorTemperatureKey")) << "absent reads NO";
  standard.setBool(false, "LensCorrectionKey");
  EXPECT_FALSE(standard.boolForKey("LensCorrectionKey"));
  standard.removeObjectForKey("LensCorrectionKey");
  EXPECT_TRUE(standard.boolForKey("LensCorrectionKey")) << "back to the registered value";

  UserDefaults sameDomain;  // a new object made on every call sees the same values
  EXPECT_EQ(sameDomain.domain(), standard.domain());
  standard.setInteger(7, "shared");
  EXPECT_EQ(sameDomain.integerForKey("shared"), 7);

  UserDefaults::resetStandardUserDefaults();
  EXPECT_FALSE(standard.objectForKey("PreviousExportImageTypeKey").isString()) << "registration is not stored";
  EXPECT_EQ(standard.integerForKey("shared"), 7);
}

TEST(UserDefaults, AnUnreadableFileStartsEmptyAndIsReplacedOnTheNextWrite) {
  std::string path = places::userDefaultsDirectory() + "/broken.domain.plist";
  ASSERT_TRUE(writeFileAtomically(path, std::string("this is not a plist")));
  UserDefaults::resetStandardUserDefaults();  // as after a restart
  UserDefaults broken("broken.domain");
  EXPECT_TRUE(broken.dictionaryRepresentation().empty());
  broken.setBool(true, "ok");
  EXPECT_TRUE(PropertyList::readFile(path, nullptr)["ok"].asBool());
}
