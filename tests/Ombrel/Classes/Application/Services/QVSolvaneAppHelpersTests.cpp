#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/Services/QVSolvaneAppHelpers.h"
#include "Ombrel/Classes/Application/Services/QVTextAdditions.h"
#include "Ombrel/Classes/Common/Reachability/Reachability.h"
#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"
#include "common/TestSupport.h"
#include "tests/Ombrel/Classes/Business/AppTestSupport.h"

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

// Records the alerts that say no program could open something.
class NoProgramAlerts : public solvane::test::RecordingAlerts {
 public:
  std::vector<std::pair<QVDesktopProgram, std::string>> noProgram;
  void showAlertNoProgramToOpen(QVDesktopProgram program, const std::string& what) override {
    noProgram.emplace_back(program, what);
  }
};

// An opener with no program behind it: it says so at once, or (as xdg-open does, which starts and
// only then looks for a browser) later.
class NoProgramOpener : public QVDesktopOpener {
 public:
  bool later = false;
  std::vector<std::function<void()>> pending;
  bool openURL(const std::string&) override { return false; }
  bool composeMail(const QVMailMessage&) override { return false; }
  void openURLWatched(const std::string&, std::function<void()> failed) override { report(failed); }
  void composeMailWatched(const QVMailMessage&, std::function<void()> failed) override { report(failed); }

 private:
  void report(std::function<void()> failed) {
    if (later)
      pending.push_back(failed);
    else
      failed();
  }
};

// Help, Suggest a Feature, Contact Support and Tell a Friend with no browser or mail program: an
// alert says so, with the address to visit or the message to send, whether the opener could not
// start or found nothing afterwards.
TEST(QVSolvaneAppHelpers, WithoutABrowserOrMailProgramAnAlertGivesTheAddress) {
  auto alerts = std::make_shared<NoProgramAlerts>();
  QVSolvaneAlerts::setPresenter(alerts);
  auto opener = std::make_shared<NoProgramOpener>();
  QVSolvaneAppHelpers::setDesktopOpener(opener);
  const std::string body = QVSolvaneAppHelpers::tellFriendMessage().body;
  for (bool later : {false, true}) {
    SCOPED_TRACE(later ? "found nothing afterwards" : "could not start");
    alerts->noProgram.clear();
    opener->later = later;
    EXPECT_EQ(QVSolvaneAppHelpers::openURLString("https://solvane.app/rd/support"), later);
    EXPECT_EQ(QVSolvaneAppHelpers::tellFriendAction(), later);
    for (auto& failed : opener->pending) failed();
    opener->pending.clear();
    EXPECT_EQ(alerts->noProgram,
              (std::vector<std::pair<QVDesktopProgram, std::string>>{
                  {QVDesktopProgram::WebBrowser, "https://solvane.app/rd/support"},
                  {QVDesktopProgram::MailProgram, body}}));
  }
  QVSolvaneAppHelpers::setDesktopOpener(nullptr);
  QVSolvaneAlerts::setPresenter(nullptr);
}

// The desktop's own opener with a real `xdg-open` that finds no browser (it ends with 3): the
// failure comes back through the launcher to the alert.
TEST(QVSolvaneAppHelpers, TheSystemOpenerHearsThatXdgOpenFoundNoBrowser) {
  const std::filesystem::path bin = solvane::test::makeTempDir("no-browser");
  {
    std::ofstream script(bin / "xdg-open");
    script << "#!/bin/sh\necho \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n";
  }
  std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
  const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", (bin.string() + ":" + savedPath).c_str(), 1);
  auto alerts = std::make_shared<NoProgramAlerts>();
  QVSolvaneAlerts::setPresenter(alerts);
  QVSolvaneAppHelpers::setDesktopOpener(nullptr);
  QVSharingServices::setLauncher(nullptr);
  EXPECT_TRUE(QVSolvaneAppHelpers::openURLString("https://solvane.app/rd/inapp_help")) << "xdg-open started";
  EXPECT_TRUE(solvane::test::pumpMainUntil([&] { return !alerts->noProgram.empty(); }));
  EXPECT_EQ(alerts->noProgram, (std::vector<std::pair<QVDesktopProgram, std::string>>{
                                   {QVDesktopProgram::WebBrowser, "https://solvane.app/rd/inapp_help"}}));
  // A program that is not there at all fails at once.
  bool failed = false;
  QVProcessDesktopLauncher().launchWatched({"solvane-no-such-program"}, [&] { failed = true; });
  EXPECT_TRUE(failed);
  ::setenv("PATH", savedPath.c_str(), 1);
  QVSolvaneAlerts::setPresenter(nullptr);
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
