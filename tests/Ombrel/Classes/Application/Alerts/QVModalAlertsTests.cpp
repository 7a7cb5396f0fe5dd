#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "Ombrel/Classes/Application/Alerts/QVModalAlerts.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/SoundManager/QVSoundManager.h"

namespace {

class QVModalAlertsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runner = std::make_shared<app_test::ScriptedAlertRunner>();
    QVModalAlerts::setRunner(runner);
    QVSoundManager::setPlayer([this](QVSoundCue cue) { cues.push_back(cue); });
    QVSoundManager::setSoundsDisabled(false);
  }
  void TearDown() override {
    QVModalAlerts::setRunner(nullptr);
    QVSoundManager::setPlayer(nullptr);
  }
  void answer(int64_t button, bool checked = false) { runner->script.push_back({button, checked}); }
  QVModalAlerts alerts;
  std::shared_ptr<app_test::ScriptedAlertRunner> runner;
  std::vector<QVSoundCue> cues;
};

TEST_F(QVModalAlertsTest, StartOverButtonsAndCodes) {
  struct Case {
    bool quit, save, cancel;
    std::vector<std::string> buttons;
    std::vector<int64_t> codes;
  };
  const Case cases[] = {
      {true, true, false, {"Quit Anyway", "Start Over", "Save First"}, {3, 4, 5}},
      {true, false, false, {"Quit Solvane", "Start Over"}, {3, 4}},
      {false, false, true, {"Start Over", "Cancel"}, {4, 0}},
      {true, true, true, {"Quit Anyway", "Start Over", "Cancel", "Save First"}, {3, 4, 0, 5}},
      {false, false, false, {"Start Over"}, {4}},
  };
  for (const Case& c : cases) {
    for (size_t i = 0; i < c.codes.size(); ++i) {
      answer(int64_t(i));
      EXPECT_EQ(alerts.showAlertWantStartOver(c.quit, c.save, c.cancel, 1), c.codes[i]);
      EXPECT_EQ(runner->shown.back().buttons, c.buttons);
      EXPECT_EQ(runner->shown.back().messageText, "Are you sure you want to quit?");
      EXPECT_EQ(runner->shown.back().informativeText.empty(), !c.save);
    }
  }
  EXPECT_TRUE(cues.empty());
}

// The save question speaks of the one photo, or of the photos when several are open.
TEST_F(QVModalAlertsTest, StartOverSaveQuestionFollowsThePhotoCount) {
  const std::string one = "The photo was not saved and may be lost. Would you like to save or share it first?";
  const std::string several = "The photos were not saved and may be lost. Would you like to save or share them first?";
  const std::pair<size_t, std::string> cases[] = {{0, one}, {1, one}, {2, several}, {7, several}};
  for (const auto& [count, text] : cases) {
    answer(0);
    alerts.showAlertWantStartOver(false, true, true, count);
    EXPECT_EQ(runner->shown.back().informativeText, text) << count << " photos";
  }
}

// The message box shows every button's whole title, in the application's style: the quit
// question's first button ("Quit Anyway", "Quit Solvane") was cut at both ends.
TEST(QVMessageBoxAlertRunner, EveryButtonIsWideEnoughForItsTitle) {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  ASSERT_NE(app, nullptr);
  const QString sheet = app->styleSheet();
  app->setStyleSheet(QVUIStyle::menuStyleSheet() + QVUIStyle::dialogStyleSheet());
  const std::vector<std::string> titles = {"Quit Anyway", "Start Over", "Cancel", "Save First"};
  std::vector<std::pair<int, int>> widths;  // button width, title width
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    for (QAbstractButton* button : box->buttons())
      widths.emplace_back(button->width(), button->fontMetrics().horizontalAdvance(button->text()));
    box->buttons().front()->click();
  });
  QVMessageBoxAlertRunner runner;
  const QVAlertResponse response =
      runner.runModal({"Are you sure you want to quit?", "The photos were not saved.", titles, std::nullopt, 2});
  app->setStyleSheet(sheet);
  ASSERT_EQ(widths.size(), titles.size());
  for (const auto& [button, title] : widths) EXPECT_GE(button, title + 2 * 18) << "a title wider than its button";
  EXPECT_GE(response.buttonIndex, 0);
}

// Once the box closes, the window it was asked from is the active window again (no window
// manager hands the focus back), so its fields take typing and its spring buttons leave their
// frozen hover.
TEST(QVMessageBoxAlertRunner, TheAskingWindowIsActiveAgainAfterTheBox) {
  QWidget asking;
  asking.resize(300, 200);
  asking.show();
  asking.activateWindow();
  QApplication::processEvents();
  ASSERT_EQ(QApplication::activeWindow(), &asking);
  QWidget other;  // what the system activated meanwhile
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    other.show();
    other.activateWindow();
    box->buttons().front()->click();
  });
  QVMessageBoxAlertRunner runner;
  EXPECT_EQ(runner.runModal({"Error", "Please, enter a correct email", {"OK"}, std::nullopt, std::nullopt}).buttonIndex,
            0);
  QApplication::processEvents();
  EXPECT_EQ(QApplication::activeWindow(), &asking);
}

// A host's or a user's file named in Latin-1 bytes ("caf\xe9.jpg") reads as "café.jpg" in the box,
// next to the message's own UTF-8 quotes, not with a replacement character.
TEST(QVMessageBoxAlertRunner, AByteNameInAMessageReadsAsLatin1) {
  QString text, informative;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    text = box->text();
    informative = box->informativeText();
    box->buttons().front()->click();
  });
  QVMessageBoxAlertRunner runner;
  runner.runModal({"\xe2\x80\x9c" "caf\xe9.jpg\xe2\x80\x9d could not be exported.",
                   "caf\xe9.jpg: the file /out/caf\xe9.jpg is read-only", {"OK"}, std::nullopt, std::nullopt});
  EXPECT_EQ(text, QStringLiteral("\u201c" "caf\u00e9.jpg\u201d could not be exported."));
  EXPECT_EQ(informative, QStringLiteral("caf\u00e9.jpg: the file /out/caf\u00e9.jpg is read-only"));
}

TEST_F(QVModalAlertsTest, ButtonSetsAndResultCodes) {
  answer(1);
  EXPECT_FALSE(alerts.showAlertOkCancelWithTitle("Title", "Message"));
  EXPECT_EQ(runner->shown.back().buttons, (std::vector<std::string>{"Ok", "Cancel"}));
  EXPECT_EQ(runner->shown.back().messageText, "Title");
  answer(0);
  EXPECT_TRUE(alerts.showAlertOkCancelWithTitle("Title", "Message"));

  answer(0);
  EXPECT_TRUE(alerts.showAlertDeleteBatchPresetWithName("Web 2048"));
  EXPECT_EQ(runner->shown.back().informativeText, "Are you sure you want to delete Web 2048?");
  answer(1);
  EXPECT_FALSE(alerts.showAlertDeleteBatchPresetWithName("Web 2048"));

  answer(1);
  EXPECT_EQ(alerts.showAlertFeedbackSent(), 7);
  EXPECT_EQ(runner->shown.back().buttons, (std::vector<std::string>{"OK", "Send more"}));
  answer(0);
  EXPECT_EQ(alerts.showAlertFeedbackSent(), 1);

  bool applyToAll = false;
  answer(1, true);
  EXPECT_EQ(alerts.showAlertRenameExportImage("photo.jpg", &applyToAll), 9);
  EXPECT_TRUE(applyToAll);
  EXPECT_EQ(runner->shown.back().messageText, "photo.jpg already exists.");
  EXPECT_EQ(runner->shown.back().buttons, (std::vector<std::string>{"Overwrite", "Create New"}));
  EXPECT_EQ(runner->shown.back().suppressionTitle, std::optional<std::string>("Apply to all"));
  answer(0, false);
  EXPECT_EQ(alerts.showAlertRenameExportImage("photo.jpg", &applyToAll), 8);
  EXPECT_FALSE(applyToAll);
  answer(0, true);
  EXPECT_EQ(alerts.showAlertRenameExportImage("photo.jpg", nullptr), 8);
  EXPECT_TRUE(cues.empty());
}

TEST_F(QVModalAlertsTest, AttentionAlertsPlayTheCueFirstAndFillTheirTexts) {
  alerts.showAllertNotSupportExtension("PSD");
  EXPECT_EQ(runner->shown.back().messageText, "This PSD is not supported");
  EXPECT_EQ(runner->shown.back().informativeText,
            "We will add more PSD formats in the future, but in the meantime, you can export to multiple JPGs or TIFFs "
            "and import those into Solvane.");
  alerts.showAlertSourceNotAvailable({});
  EXPECT_NE(runner->shown.back().informativeText.find("support@solvane.app."), std::string::npos);
  alerts.showAlertLessThanMinimumSize({});
  EXPECT_EQ(runner->shown.back().messageText, "Oh my, this picture is too small to apply my algorithms to.");
  EXPECT_EQ(runner->shown.back().informativeText,
            "Please make sure your photos are at least 800 by 600 pixels, so that I can work with them properly.");
  EXPECT_EQ(cues, (std::vector<QVSoundCue>(3, QVSoundCue::Attention)));
  for (const auto& spec : runner->shown) EXPECT_EQ(spec.buttons, (std::vector<std::string>{"OK"}));

  alerts.showAlertCompleteFields();
  alerts.showAlertInvalidEmail();
  alerts.showAlertNetworkError(qv::Error("QVErrorDomainNetwork", 1, "The network is down"));
  EXPECT_EQ(runner->shown.back().informativeText, "The network is down");
  EXPECT_EQ(cues.size(), 3u);
  // With cues off the alert still shows, silently.
  QVSoundManager::setSoundsDisabled(true);
  alerts.showAlertSourceNotAvailable({});
  EXPECT_EQ(cues.size(), 3u);
  EXPECT_EQ(runner->shown.size(), 7u);
  QVSoundManager::setSoundsDisabled(false);
}

TEST_F(QVModalAlertsTest, TheUnopenableAlertKeepsItsTitleAndNamesEachFileWithItsReason) {
  using R = QVUnopenableReason;
  const struct {
    QVUnopenableFile file;
    std::string line;
  } cases[] = {
      {{"/p/empty.jpg", R::Empty}, "“empty.jpg”: empty (0 bytes)"},
      {{"/tmp/pipe", R::NotRegularFile, "named pipe"}, "“pipe”: not a regular file (a named pipe)"},
      {{"/dev/zero", R::NotRegularFile, "device"}, "“zero”: not a regular file (a device)"},
      {{"/p/Trip", R::NotRegularFile, "folder"}, "“Trip”: not a regular file (a folder)"},
      {{"/p/caf\xe9.jpg", R::NotAnImage}, "“café.jpg”: not an image"},  // a Latin-1 name, read as such
      {{"/p/caf\xc3\xa9.jpg", R::NotAnImage}, "“café.jpg”: not an image"},
      {{"/p/big.png", R::TooLarge, "", "", 60000, 60000}, "“big.png”: too large (60000 × 60000 pixels, more than 200 megapixels)"},
      {{"/p/long.png", R::TooLarge, "", "", 70000, 10}, "“long.png”: too large (70000 × 10 pixels, more than 65535 pixels on a side)"},
      {{"/p/secret.jpg", R::Unreadable, "", "Permission denied"}, "“secret.jpg”: unreadable (Permission denied)"},
      {{"/p/gone.jpg", R::Missing}, "“gone.jpg”: missing (there is no such file)"},
      {{"/p/cut.jpg", R::Damaged, "", "JPEG: premature end of data"}, "“cut.jpg”: damaged (JPEG: premature end of data)"},
      {{"/p/odd.jpg", R::Damaged}, "“odd.jpg”: damaged"},
      {{"/p/tiny.png", R::TooSmall, "", "", 640, 480}, "“tiny.png”: too small (640 × 480 pixels)"},
  };
  std::vector<QVUnopenableFile> files;
  for (const auto& c : cases) {
    EXPECT_EQ(QVModalAlerts::unopenableFileLine(c.file), c.line);
    files.push_back(c.file);
  }
  alerts.showAlertSourceNotAvailable({files[0], files[4]});
  EXPECT_EQ(runner->shown.back().messageText, "This file format is not supported");
  const std::string& text = runner->shown.back().informativeText;
  EXPECT_EQ(text.rfind(cases[0].line + "\n" + cases[4].line + "\n\n", 0), 0u) << text;
  EXPECT_NE(text.find("support@solvane.app."), std::string::npos);
  // Eight are named, then how many more.
  alerts.showAlertSourceNotAvailable(files);
  const std::string& all = runner->shown.back().informativeText;
  EXPECT_NE(all.find(cases[7].line + "\nand 5 more\n\n"), std::string::npos) << all;
  EXPECT_EQ(all.find(cases[8].line), std::string::npos);
  EXPECT_EQ(cues, (std::vector<QVSoundCue>(2, QVSoundCue::Attention)));

  // The too-small alert keeps its texts and names its photos the same way, before the size they need.
  alerts.showAlertLessThanMinimumSize({files.back()});
  EXPECT_EQ(runner->shown.back().messageText, "Oh my, this picture is too small to apply my algorithms to.");
  EXPECT_EQ(runner->shown.back().informativeText,
            cases[std::size(cases) - 1].line +
                "\n\nPlease make sure your photos are at least 800 by 600 pixels, so that I can work with them "
                "properly.");
}

TEST_F(QVModalAlertsTest, CoreAlertsReachTheUserThroughThePresenter) {
  QVSolvaneAlerts::setPresenter(std::make_shared<QVModalAlerts>());
  answer(2);
  EXPECT_EQ(QVSolvaneAlerts::showAlertWantStartOverWithQuitButton(true, true, false), 5);
  answer(1, true);
  bool applyToAll = false;
  EXPECT_EQ(QVSolvaneAlerts::showAlertRenameExportImage("a.jpg", &applyToAll), 9);
  EXPECT_TRUE(applyToAll);
  QVSolvaneAlerts::setPresenter(nullptr);
}

}  // namespace

namespace {

// The export's failure alert names every photo not written with its reason, after the attention
// cue, and says how many were written.
TEST_F(QVModalAlertsTest, ExportFailureNamesEveryPhotoWithItsReason) {
  const struct {
    std::vector<QVExportFailure> failures;
    uint64_t exported;
    std::string message, informative;
  } cases[] = {
      {{{"/photos/coffee.png", "the file /out/coffee.jpg is read-only"}},
       2,
       "\u201ccoffee.png\u201d could not be exported.",
       "coffee.png: the file /out/coffee.jpg is read-only\n\nThe other 2 photos were exported."},
      {{{"/p/a.png", "the folder /out is read-only"}, {"/p/b.png", ""}},
       0,
       "2 photos could not be exported.",
       "a.png: the folder /out is read-only\nb.png: unknown error"},
      {{{"/p/a.png", "no space left"}}, 1, "\u201ca.png\u201d could not be exported.",
       "a.png: no space left\n\nThe other photo was exported."},
  };
  for (const auto& c : cases) {
    alerts.showAlertExportFailed(c.failures, c.exported);
    ASSERT_FALSE(runner->shown.empty());
    EXPECT_EQ(runner->shown.back().messageText, c.message);
    EXPECT_EQ(runner->shown.back().informativeText, c.informative);
    EXPECT_EQ(runner->shown.back().buttons, std::vector<std::string>{"OK"});
  }
  EXPECT_EQ(cues, std::vector<QVSoundCue>(3, QVSoundCue::Attention));
  runner->shown.clear();
  alerts.showAlertExportFailed({}, 3);
  EXPECT_TRUE(runner->shown.empty()) << "nothing failed, nothing to say";
}

// No browser, mail program or file manager: the alert says which is missing and gives what to use
// instead.
TEST_F(QVModalAlertsTest, NoProgramToOpenGivesWhatToUseInstead) {
  const struct {
    QVDesktopProgram program;
    std::string what, message;
  } cases[] = {
      {QVDesktopProgram::WebBrowser, "https://solvane.app/rd/support", "No web browser could open the page."},
      {QVDesktopProgram::MailProgram, "Have a look: https://solvane.app/", "No mail program is set up to write the message."},
      {QVDesktopProgram::FileManager, "/home/me/Pictures/out", "No file manager could show the folder."},
  };
  for (const auto& c : cases) {
    alerts.showAlertNoProgramToOpen(c.program, c.what);
    ASSERT_FALSE(runner->shown.empty());
    EXPECT_EQ(runner->shown.back().messageText, c.message);
    EXPECT_NE(runner->shown.back().informativeText.find(c.what), std::string::npos)
        << runner->shown.back().informativeText;
  }
  EXPECT_EQ(cues, std::vector<QVSoundCue>(3, QVSoundCue::Attention));
}

}  // namespace
