#include <gtest/gtest.h>

#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/Services/QVSolvaneAppHelpers.h"
#include "Ombrel/Classes/Application/Services/QVTextAdditions.h"
#include "Ombrel/Classes/Common/Reachability/Reachability.h"

namespace {

TEST(QVSolvaneAppHelpers, TellAFriendGoesToTheMailOpenerWithItsTexts) {
  auto opener = std::make_shared<app_test::RecordingOpener>();
  QVSolvaneAppHelpers::setDesktopOpener(opener);
  EXPECT_TRUE(QVSolvaneAppHelpers::tellFriendAction());
  ASSERT_EQ(opener->mails.size(), 1u);
  EXPECT_EQ(opener->mails[0].subject, "I've found a cool automatic photo enhancement tool, check it out.");
  EXPECT_NE(opener->mails[0].body.find("Solvane"), std::string::npos);  // the body text, "<AppName>" resolved
  EXPECT_EQ(opener->mails[0].body.find("TellFriendBodyText"), std::string::npos);
  EXPECT_TRUE(QVSolvaneAppHelpers::openURLString("https://solvane.app/rd/support"));
  EXPECT_FALSE(QVSolvaneAppHelpers::openURLString(""));
  EXPECT_EQ(opener->urls, (std::vector<std::string>{"https://solvane.app/rd/support"}));
  QVSolvaneAppHelpers::setDesktopOpener(nullptr);
}

TEST(QVSolvaneAppHelpers, MailOpenerArgumentsAndMailtoEscaping) {
  QVMailMessage m;
  m.recipients = {"friend@example.org"};
  m.subject = "Hi & more";
  m.body = "line one\nline two?=";
  m.attachments = {"/tmp/a b.jpg"};
  EXPECT_EQ(QVSystemDesktopOpener::xdgEmailArguments(m),
            (std::vector<std::string>{"--utf8", "--subject", "Hi & more", "--body", "line one\nline two?=", "--attach",
                                      "/tmp/a b.jpg", "friend@example.org"}));
  EXPECT_EQ(QVSystemDesktopOpener::mailtoURL(m),
            "mailto:friend@example.org?subject=Hi%20%26%20more&body=line%20one%0Aline%20two%3F%3D");
  EXPECT_EQ(QVSystemDesktopOpener::mailtoURL({}), "mailto:");
}

TEST(QVSolvaneAppHelpers, ExportManagerByPlatformAndMode) {
  EXPECT_EQ(QVSolvaneAppHelpers::exportManagerClassForPlatform(0, false), "QVExportManager");
  EXPECT_EQ(QVSolvaneAppHelpers::exportManagerClassForPlatform(3, false), "QVExportManagerBusiness");
  EXPECT_EQ(QVSolvaneAppHelpers::exportManagerClassForPlatform(3, true), "QVPluginController");
}

// A probe that answers fixed flags at once.
struct FixedProbe : ReachabilityProbe {
  explicit FixedProbe(std::optional<uint32_t> f) : answer(f) {}
  std::optional<uint32_t> flags() override { return answer; }
  bool startObserving(std::function<void()>) override { return true; }
  void stopObserving() override {}
  std::optional<uint32_t> answer;
};

TEST(QVSolvaneAppHelpers, InternetConnectionFollowsTheProbeForTheServiceHost) {
  std::optional<uint32_t> flags = kReachabilityFlagsReachable;
  std::string asked;
  auto previous = Reachability::setProbeMaker([&](const ReachabilityTarget& target) {
    asked = target.hostName;
    return std::make_shared<FixedProbe>(flags);
  });
  EXPECT_TRUE(QVSolvaneAppHelpers::internetConnection());
  EXPECT_EQ(asked, "solvane.app");
  flags = 0;
  EXPECT_FALSE(QVSolvaneAppHelpers::internetConnection());
  flags = std::nullopt;  // the system cannot tell
  EXPECT_FALSE(QVSolvaneAppHelpers::internetConnection());
  Reachability::setProbeMaker(previous);
}

TEST(QVTextAdditions, CapitalizedLikeMenuTitles) {
  EXPECT_EQ(QVCapitalizedString("save first"), "Save First");
  EXPECT_EQ(QVCapitalizedString("QUIT anyway"), "Quit Anyway");
  EXPECT_EQ(QVCapitalizedString("e-mail"), "E-mail");
  EXPECT_EQ(QVCapitalizedString(""), "");
}

}  // namespace
