#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Ombrel/Classes/Application/Alerts/QVModalAlerts.h"
#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/Controllers/QVSolvaneWindowController.h"
#include "Ombrel/Classes/Application/Feedback/QVFeedbackWindowController.h"
#include "Ombrel/Classes/Application/Menus/QVMenuController.h"
#include "Ombrel/Classes/Application/SoundManager/QVSoundManager.h"
#include "Ombrel/Classes/Business/NetworkManager/LoopbackHTTPServer.h"
#include "Ombrel/Classes/Business/NetworkManager/QVSolvaneURL.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/NotificationCenter.h"

namespace {

namespace fs = std::filesystem;

// Records each sheet and keeps its completion until the test answers.
class FakeSender : public QVFeedbackSender {
 public:
  std::vector<QVFeedbackSheet> sheets;
  std::vector<Completion> pending;
  void sendFeedback(const QVFeedbackSheet& sheet, Completion completion) override {
    sheets.push_back(sheet);
    pending.push_back(std::move(completion));
  }
  void answer(std::optional<qv::Error> error = std::nullopt) {
    auto completion = std::move(pending.front());
    pending.erase(pending.begin());
    completion(error);
  }
};

class QVFeedbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    alerts = std::make_shared<app_test::ScriptedAlertRunner>();
    QVModalAlerts::setRunner(alerts);
    QVSolvaneAlerts::setPresenter(std::make_shared<QVModalAlerts>());
    panels = std::make_shared<app_test::ScriptedPanelPresenter>();
    QVSolvanePanels::setPresenter(panels);
    QVSoundManager::setPlayer([](QVSoundCue) {});
    sender = std::make_shared<FakeSender>();
    controller = std::make_unique<QVFeedbackWindowController>(sender);
    vc = controller->feedbackViewController();
  }
  void TearDown() override {
    controller.reset();
    QVSolvaneAlerts::setPresenter(nullptr);
    QVModalAlerts::setRunner(nullptr);
    QVSolvanePanels::setPresenter(nullptr);
    QVSoundManager::setPlayer(nullptr);
  }
  void fill(const std::string& name, const std::string& email, const std::string& message) {
    vc->nameField()->setText(QString::fromStdString(name));
    vc->emailField()->setText(QString::fromStdString(email));
    vc->feedbackField()->setPlainText(QString::fromStdString(message));
  }
  void attach(const std::string& path) {
    panels->script.push_back({QVModalResponseOK, {path}, path, {}});
    vc->form().attachClicked();
  }
  void showWindow() {
    controller->show();
    qv::MainExecutor::shared().runUntilIdle();
    ASSERT_TRUE(controller->isShown());
  }
  // The send button as a click delivers it (on a later turn of the main loop).
  void clickSend() {
    vc->sendButton()->sendActionToTarget();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    qv::MainExecutor::shared().runUntilIdle();
  }
  bool sendButtonShown() const { return !vc->sendButton()->isHidden() && vc->spinnerView()->isHidden(); }

  std::shared_ptr<app_test::ScriptedAlertRunner> alerts;
  std::shared_ptr<app_test::ScriptedPanelPresenter> panels;
  std::shared_ptr<FakeSender> sender;
  std::unique_ptr<QVFeedbackWindowController> controller;
  QVFeedbackViewController* vc = nullptr;
};

TEST_F(QVFeedbackTest, WindowIsTheFixedSizeWithAnUntitledTopBar) {
  EXPECT_EQ(controller->window()->size(), QSize(557, 577));
  EXPECT_EQ(controller->window()->minimumSize(), controller->window()->maximumSize());
  ASSERT_NE(controller->topBar(), nullptr);
  EXPECT_EQ(controller->topBar()->parentWidget(), controller->window());
  EXPECT_EQ(controller->topBar()->geometry(), QRect(0, 0, 557, 38));
  // Fields keep below the bar.
  EXPECT_GE(vc->nameField()->geometry().top(), 38);
  EXPECT_EQ(vc->nameField()->textInsets(), (QVEdgeInsets{5, 20, 0, 20}));
  EXPECT_FALSE(vc->attachButton()->isHidden());
  EXPECT_TRUE(vc->removeAttachmentView()->isHidden());
  EXPECT_TRUE(vc->spinnerView()->isHidden());
  EXPECT_FALSE(vc->spinnerView()->animating());
  EXPECT_EQ(vc->sendButton()->title(), std::optional<std::string>("SEND FEEDBACK"));
}

TEST_F(QVFeedbackTest, ValidationTable) {
  struct Case {
    const char* name;
    const char* email;
    const char* message;
    int64_t code;  // 0: valid
  };
  const Case cases[] = {
      {"", "", "", 101},
      {"Ann", "ann@example.org", "", 101},
      {"", "ann@example.org", "Hello", 101},
      {"Ann", "", "Hello", 101},
      // An empty field is reported before a bad address.
      {"Ann", "abc", "", 101},
      {"Ann", "abc", "Hello", 100},
      {"Ann", "ann @example.org", "Hello", 100},
      {"Ann", "ann@example", "Hello", 100},
      {"Ann", "ann@example.org", "Hello", 0},
  };
  for (const Case& c : cases) {
    qv::Error error;
    auto sheet = QVFeedbackForm::validateData(c.name, c.email, c.message, std::nullopt, &error);
    EXPECT_EQ(error.code, c.code) << c.name << " / " << c.email << " / " << c.message;
    if (c.code) {
      EXPECT_EQ(error.domain, "QVNetworkErrorDomain");
    }
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->email(), std::optional<std::string>(c.email));
  }
}

TEST_F(QVFeedbackTest, InvalidFormsShowTheirAlertAndSendNothing) {
  struct Case {
    const char* name;
    const char* email;
    const char* message;
    const char* alert;
  };
  const Case cases[] = {
      {"", "", "", "Please, complete all fields of the feedback sheet"},
      {"Ann", "ann@example.org", "", "Please, complete all fields of the feedback sheet"},
      {"Ann", "abc", "Hello", "Please, enter a correct email"},
  };
  for (const Case& c : cases) {
    fill(c.name, c.email, c.message);
    clickSend();
    ASSERT_FALSE(alerts->shown.empty());
    EXPECT_EQ(alerts->shown.back().messageText, "Error");
    EXPECT_EQ(alerts->shown.back().informativeText, c.alert);
    EXPECT_TRUE(sendButtonShown());
    // The form is left as it was.
    EXPECT_EQ(vc->emailField()->text().toStdString(), c.email);
  }
  EXPECT_TRUE(sender->sheets.empty());
}

TEST_F(QVFeedbackTest, AValidFormSendsOneSheetBehindTheSpinner) {
  fill("Ann", "ann@example.org", "Lovely colours");
  clickSend();
  ASSERT_EQ(sender->sheets.size(), 1u);
  EXPECT_EQ(sender->sheets[0].serialize(),
            (qv::Dictionary{{"name", "Ann"}, {"email", "ann@example.org"}, {"text", "Lovely colours"}}));
  EXPECT_TRUE(alerts->shown.empty());
  EXPECT_FALSE(vc->spinnerView()->isHidden());
  EXPECT_TRUE(vc->spinnerView()->animating());
  EXPECT_TRUE(vc->sendButton()->isHidden());
  EXPECT_FALSE(vc->attachButton()->userInteractionEnabled());
  // A second click while sending does not send again.
  vc->form().sendFeedback();
  EXPECT_EQ(sender->sheets.size(), 1u);
}

TEST_F(QVFeedbackTest, AttachingShowsTheFileNameAndRemovingBringsTheButtonBack) {
  attach("/photos/Trip 2024/beach.jpg");
  ASSERT_EQ(panels->shown.size(), 1u);
  EXPECT_FALSE(panels->shown[0].allowsMultipleSelection);
  EXPECT_EQ(vc->form().attachedImagePath(), std::optional<std::string>("/photos/Trip 2024/beach.jpg"));
  EXPECT_EQ(vc->removeAttachmentView()->attachmentFilename(), "beach.jpg");
  EXPECT_EQ(vc->removeAttachmentView()->filenameLabel()->title(), std::optional<std::string>("beach.jpg"));
  EXPECT_TRUE(vc->attachButton()->isHidden());
  EXPECT_FALSE(vc->removeAttachmentView()->isHidden());

  fill("Ann", "ann@example.org", "See the picture");
  clickSend();
  ASSERT_EQ(sender->sheets.size(), 1u);
  EXPECT_EQ(sender->sheets[0].serialize().value()["image"],
            qv::Value(qv::Dictionary{{"imagePath", "/photos/Trip 2024/beach.jpg"}, {"name", "FeedBack[file]"}}));
  sender->answer(qv::Error("QVNetworkErrorDomain", 1, "offline"));

  vc->removeAttachmentView()->removeClicked();
  EXPECT_FALSE(vc->form().attachedImagePath());
  EXPECT_FALSE(vc->attachButton()->isHidden());
  EXPECT_TRUE(vc->removeAttachmentView()->isHidden());

  // Cancelling the panel changes nothing.
  panels->script.push_back({});
  vc->form().attachClicked();
  EXPECT_FALSE(vc->form().attachedImagePath());
  EXPECT_FALSE(vc->attachButton()->isHidden());
}

TEST_F(QVFeedbackTest, SendMoreClearsTheMessageAndAttachmentButKeepsTheSender) {
  showWindow();
  attach("/photos/beach.jpg");
  fill("Ann", "ann@example.org", "First note");
  clickSend();
  alerts->script.push_back({1, false});  // "Send more"
  sender->answer();
  ASSERT_EQ(alerts->shown.size(), 1u);
  EXPECT_EQ(alerts->shown[0].informativeText, "Your feedback has been sent.");
  EXPECT_EQ(alerts->shown[0].buttons, (std::vector<std::string>{"OK", "Send more"}));
  EXPECT_EQ(vc->nameField()->text(), "Ann");
  EXPECT_EQ(vc->emailField()->text(), "ann@example.org");
  EXPECT_TRUE(vc->feedbackField()->toPlainText().isEmpty());
  EXPECT_FALSE(vc->form().attachedImagePath());
  EXPECT_FALSE(vc->attachButton()->isHidden());
  EXPECT_TRUE(sendButtonShown());
  EXPECT_TRUE(controller->isShown());
}

TEST_F(QVFeedbackTest, OkClosesTheWindow) {
  showWindow();
  fill("Ann", "ann@example.org", "Thanks");
  clickSend();
  alerts->script.push_back({0, false});  // "OK"
  sender->answer();
  EXPECT_FALSE(controller->isShown());
  EXPECT_FALSE(controller->window()->isVisible());
}

TEST_F(QVFeedbackTest, ANetworkErrorKeepsTheFieldsAndShowsTheSendButtonAgain) {
  showWindow();
  attach("/photos/beach.jpg");
  fill("Ann", "ann@example.org", "Does this arrive?");
  clickSend();
  sender->answer(qv::Error("QVNetworkErrorDomain", 102, "The server did not answer"));
  ASSERT_EQ(alerts->shown.size(), 1u);
  EXPECT_EQ(alerts->shown[0].messageText, "Network error occurred");
  EXPECT_EQ(alerts->shown[0].informativeText, "The server did not answer");
  EXPECT_EQ(vc->feedbackField()->toPlainText(), "Does this arrive?");
  EXPECT_EQ(vc->form().attachedImagePath(), std::optional<std::string>("/photos/beach.jpg"));
  EXPECT_TRUE(sendButtonShown());
  EXPECT_FALSE(vc->spinnerView()->animating());
  EXPECT_TRUE(vc->attachButton()->isHidden());
  EXPECT_TRUE(controller->isShown());
  // The same form can go again.
  clickSend();
  EXPECT_EQ(sender->sheets.size(), 2u);
}

TEST_F(QVFeedbackTest, AnAnswerAfterTheWindowClosedIsDropped) {
  showWindow();
  fill("Ann", "ann@example.org", "Closing before the answer");
  clickSend();
  controller->window()->close();
  EXPECT_FALSE(controller->isShown());
  EXPECT_TRUE(sendButtonShown());
  sender->answer();
  EXPECT_TRUE(alerts->shown.empty());
  EXPECT_EQ(vc->feedbackField()->toPlainText(), "Closing before the answer");

  // And one whose window is gone altogether.
  showWindow();
  clickSend();
  auto late = std::move(sender->pending.front());
  controller.reset();
  late(std::nullopt);
  EXPECT_TRUE(alerts->shown.empty());
}

TEST_F(QVFeedbackTest, EachFeedbackCommandOpensAFreshWindowInPlaceOfTheKeptOne) {
  auto main = QVSolvaneWindowController::make();
  EXPECT_EQ(main->feedbackWindowController(), nullptr);
  qv::NotificationCenter::defaultCenter().post(kQVShowFeedbackWindowClicked);
  qv::MainExecutor::shared().runUntilIdle();
  QVFeedbackWindowController* first = main->feedbackWindowController();
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->isShown());
  first->hide();
  qv::NotificationCenter::defaultCenter().post(kQVShowFeedbackWindowClicked);
  qv::MainExecutor::shared().runUntilIdle();
  QVFeedbackWindowController* second = main->feedbackWindowController();
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(second->isShown());
  second->hide();
}

// The whole road: the window's form through the facade and the network client to a server on
// this machine, which receives the multipart body with the file part.
TEST(QVFeedbackIntegration, AFilledFormWithAnAttachmentReachesTheServer) {
  solvane::test::LoopbackHTTPServer server([](const solvane::test::RecordedRequest&) {
    return solvane::test::CannedResponse{200, R"({"success": true})"};
  });
  QVSolvaneURL::setServiceAddress("http", server.url("").substr(std::strlen("http://")));
  auto alerts = std::make_shared<app_test::ScriptedAlertRunner>();
  QVModalAlerts::setRunner(alerts);
  QVSolvaneAlerts::setPresenter(std::make_shared<QVModalAlerts>());
  auto panels = std::make_shared<app_test::ScriptedPanelPresenter>();
  QVSolvanePanels::setPresenter(panels);

  const fs::path file = fs::path(::testing::TempDir()) / "feedback-attachment.png";
  const std::string bytes = std::string("\x89PNG\r\n\x1a\n", 8) + "attached picture bytes";
  std::ofstream(file, std::ios::binary) << bytes;

  {
    QVFeedbackWindowController controller;
    auto* vc = controller.feedbackViewController();
    vc->nameField()->setText("Ann Example");
    vc->emailField()->setText("ann@example.org");
    vc->feedbackField()->setPlainText("The colours are lovely.\nThanks!");
    panels->script.push_back({QVModalResponseOK, {file.string()}, file.string(), {}});
    vc->form().attachClicked();
    vc->form().sendFeedback();
    EXPECT_TRUE(vc->form().isSending());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (vc->form().isSending() && std::chrono::steady_clock::now() < deadline) {
      qv::MainExecutor::shared().runUntilIdle();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_FALSE(vc->form().isSending());
    ASSERT_EQ(alerts->shown.size(), 1u);
    EXPECT_EQ(alerts->shown[0].messageText, "Success");

    // An attachment that has gone fails in the network client; its text reaches the network-error
    // alert and the form stays as it was.
    vc->form().attachImageWithPath(file.string() + ".gone");
    vc->form().sendFeedback();
    while (vc->form().isSending() && std::chrono::steady_clock::now() < deadline) {
      qv::MainExecutor::shared().runUntilIdle();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(alerts->shown.size(), 2u);
    EXPECT_EQ(alerts->shown[1].messageText, "Network error occurred");
    EXPECT_FALSE(alerts->shown[1].informativeText.empty());
    EXPECT_EQ(vc->nameField()->text(), "Ann Example");
    EXPECT_TRUE(vc->sendButton()->isVisibleTo(vc->view()));
  }

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  const auto& request = requests[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target.rfind("/views/feedback?", 0), 0u) << request.target;
  EXPECT_NE(request.headers.at("content-type").find("multipart/form-data"), std::string::npos);
  const std::string& body = request.body;
  EXPECT_NE(body.find("name=\"FeedBack[file]\"; filename=\"feedback-attachment.png\""), std::string::npos) << body;
  EXPECT_NE(body.find(bytes), std::string::npos);
  EXPECT_NE(body.find("name=\"name\"\r\n\r\nAnn Example\r\n"), std::string::npos) << body;
  EXPECT_NE(body.find("name=\"email\"\r\n\r\nann@example.org\r\n"), std::string::npos);
  EXPECT_NE(body.find("name=\"text\"\r\n\r\nThe colours are lovely.\nThanks!\r\n"), std::string::npos);

  QVSolvaneURL::setServiceAddress("", "");
  QVSolvaneAlerts::setPresenter(nullptr);
  QVModalAlerts::setRunner(nullptr);
  QVSolvanePanels::setPresenter(nullptr);
  fs::remove(file);
}

}  // namespace
