#include "Ombrel/Classes/QVAnalyticsEvents/QVTrackUserAction.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "Ombrel/Classes/QVAnalyticsEvents/QVAnalytics.h"
#include "QVPlatform/PropertyList.h"
#include "common/TestSupport.h"

namespace {

// Points the actions at a properties file of the test's own while it lives.
class PropertiesFile {
 public:
  explicit PropertiesFile(const qv::Dictionary& properties) {
    const auto path = solvane::test::makeTempDir("analytics") / "AnalyticsProperties.plist";
    qv::PropertyList::writeFile(path.string(), qv::Value(properties));
    QVTrackUserAction::setAnalyticsPropertiesPath(path.string());
  }
  ~PropertiesFile() { QVTrackUserAction::setAnalyticsPropertiesPath({}); }
};

qv::Dictionary entry(const char* screen, const char* category, const char* action, const char* label) {
  return {{"qv_screen", screen}, {"qv_category", category}, {"qv_action", action}, {"qv_label", label}};
}

}  // namespace

TEST(QVTrackUserAction, ShippedPropertiesNameTheLaunchAction) {
  QVTrackUserAction::setAnalyticsPropertiesPath({});
  const auto launch = QVAppLaunchAction::appLaunched();
  ASSERT_NE(launch, nullptr) << "\"AnalyticsProperties\" must hold \"Launch App\"";
  EXPECT_EQ(launch->displayName(), "Launch App");
  for (const std::string* text : {&launch->screen(), &launch->category(), &launch->action(), &launch->label()}) {
    EXPECT_FALSE(text->empty());
  }
  for (const auto& [key, value] : *QVTrackUserAction::analyticsProperties().dictionary()) {
    SCOPED_TRACE(key);
    for (const char* field : {"qv_screen", "qv_category", "qv_action", "qv_label"}) {
      EXPECT_TRUE(value[field].isString()) << field;
    }
  }
}

TEST(QVTrackUserAction, UnknownKeyGivesNoAction) {
  PropertiesFile file({{"Known", entry("S", "C", "A", "L")}});
  EXPECT_EQ(QVTrackUserAction::eventKeyed("Unknown"), nullptr);
  EXPECT_EQ(QVTrackUserAction::eventKeyed("Unknown", std::string("label")), nullptr);
  EXPECT_EQ(QVTrackUserAction::appearanceForEventKeyed(""), nullptr);
}

TEST(QVTrackUserAction, CallerLabelWinsThenRegistryThenProperties) {
  PropertiesFile file({{"Export", entry("Single", "Export", "Save", "Disk")}, {"Plain", entry("P", "Q", "R", "S")}});
  auto appearance = QVTrackUserAction::appearanceForEventKeyed("Export");
  EXPECT_EQ(QVTrackUserAction::appearanceForEventKeyed("Export"), appearance) << "one entry per key";
  appearance->setScreen("Gallery");
  appearance->setLabel("Registry label");

  const auto withLabel = QVTrackUserAction::eventKeyed("Export", std::string("Caller label"));
  ASSERT_NE(withLabel, nullptr);
  EXPECT_EQ(withLabel->label(), "Caller label");
  EXPECT_EQ(withLabel->screen(), "Gallery");
  EXPECT_EQ(withLabel->category(), "Export");
  EXPECT_EQ(withLabel->action(), "Save");
  EXPECT_EQ(QVTrackUserAction::eventKeyed("Export")->label(), "Registry label");

  const auto plain = QVTrackUserAction::eventKeyed("Plain");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->displayName(), "Plain");
  EXPECT_EQ(plain->screen() + plain->category() + plain->action() + plain->label(), "PQRS");
  appearance->setScreen({});
  appearance->setLabel({});
}

TEST(QVTrackUserAction, FireHandsTheActionToTheAnalyticsService) {
  std::vector<std::string> sent;
  auto previous = QVAnalytics::setSender(
      [&](const QVTrackUserAction& action) { sent.push_back(action.displayName() + "/" + action.label()); });
  QVTrackUserAction::initWithDisplayName("Key", "S", "C", "A", "L")->fire();
  QVAnalytics::setSender(previous);
  EXPECT_EQ(sent, (std::vector<std::string>{"Key/L"}));
}
