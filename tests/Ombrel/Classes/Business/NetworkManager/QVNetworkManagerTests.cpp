// The network client against a loopback HTTP server started by each test: nothing leaves the
// machine. Completions of sent requests arrive through the main executor, which the tests run
// until the completion stops it (a watchdog stops it too, so a lost completion fails instead of
// hanging).
#include "Ombrel/Classes/Business/NetworkManager/QVNetworkManager.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include <future>

#include "Ombrel/Classes/Business/NetworkManager/QVURLSession.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/PropertyList.h"
#include "common/TestSupport.h"
#include "tests/Ombrel/Classes/Business/NetworkManager/LoopbackHTTPServer.h"

namespace fs = std::filesystem;
using solvane::test::CannedResponse;
using solvane::test::LoopbackHTTPServer;
using solvane::test::RecordedRequest;

namespace {

struct Outcome {
  bool called = false;
  bool onMainThread = false;
  std::optional<qv::Error> error;
  qv::Value answer;
};

// Runs the main executor until the completion has run (it stops the executor) or 20 s passed.
void runMainUntilStopped() {
  std::mutex mutex;
  std::condition_variable cv;
  bool finished = false;
  std::thread watchdog([&] {
    std::unique_lock lock(mutex);
    if (!cv.wait_for(lock, std::chrono::seconds(20), [&] { return finished; })) qv::MainExecutor::shared().stop();
  });
  qv::MainExecutor::shared().run();
  {
    std::lock_guard lock(mutex);
    finished = true;
  }
  cv.notify_all();
  watchdog.join();
}

QVNetworkCompletion recordInto(Outcome& outcome, bool stopMain = true) {
  return [&outcome, stopMain](const std::optional<qv::Error>& error, const qv::Value& answer) {
    outcome.called = true;
    outcome.onMainThread = qv::MainExecutor::shared().isMainThread();
    outcome.error = error;
    outcome.answer = answer;
    if (stopMain) qv::MainExecutor::shared().stop();
  };
}

CannedResponse json(const std::string& body, int status = 200) { return {status, body, "application/json"}; }

class QVNetworkManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qv::MainExecutor::shared().discardPending();
    client.setConnectionProbe([] { return true; });
  }
  QVNetworkManager client;
};

}  // namespace

TEST(QVNetworkManagerMethods, CodesMapToTheirMethodTexts) {
  EXPECT_EQ(QVNetworkManager::requestMethodStringFromType(1), "GET");
  EXPECT_EQ(QVNetworkManager::requestMethodStringFromType(2), "POST");
  EXPECT_EQ(QVNetworkManager::requestMethodStringFromType(0), std::nullopt);
  EXPECT_EQ(QVNetworkManager::requestMethodStringFromType(3), std::nullopt);
}

TEST_F(QVNetworkManagerTest, JsonGetDeliversTheParsedAnswerOnTheMainThread) {
  LoopbackHTTPServer server([](const RecordedRequest&) { return json(R"({"success":true,"items":[1,2]})"); });
  Outcome outcome;
  client.performRequestWithURL(server.url("/stats/download?os=mac&version=2.0"), QVRequestMethodGET,
                               QVHTTPHeaders{{"X-Client", "Solvane"}}, std::nullopt, recordInto(outcome));
  EXPECT_FALSE(outcome.called) << "a sent request completes through the main queue, not inline";
  runMainUntilStopped();
  ASSERT_TRUE(outcome.called);
  EXPECT_TRUE(outcome.onMainThread);
  EXPECT_FALSE(outcome.error);
  EXPECT_TRUE(outcome.answer["success"].asBool());
  EXPECT_EQ(outcome.answer["items"].size(), 2u);
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/stats/download?os=mac&version=2.0");
  EXPECT_EQ(requests[0].headers.at("x-client"), "Solvane");
}

TEST_F(QVNetworkManagerTest, JsonPostSendsTheBodyAndHeaders) {
  LoopbackHTTPServer server([](const RecordedRequest& r) { return json(R"({"echo":)" + r.body + "}"); });
  Outcome outcome;
  client.performRequestWithURLBody(server.url("/stats/upload"), QVRequestMethodPOST,
                                   QVHTTPHeaders{{"Content-Type", "application/json"}}, R"({"os":"mac"})",
                                   recordInto(outcome), QVNetworkManager::jsonDeserializer());
  runMainUntilStopped();
  ASSERT_TRUE(outcome.called);
  EXPECT_FALSE(outcome.error);
  EXPECT_EQ(outcome.answer["echo"]["os"].asString(), "mac");
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].body, R"({"os":"mac"})");
  EXPECT_EQ(requests[0].headers.at("content-type"), "application/json");
}

TEST_F(QVNetworkManagerTest, RefusedAnswersAndUnparsableAnswersGiveErrorsWithoutAnswer) {
  struct Case {
    const char* name;
    CannedResponse response;
    const char* domain;
    int64_t code;
    const char* description;
  };
  const Case cases[] = {
      {"server error", json(R"({"success":true})", 500), "QVNetworkErrorDomain", 404,
       "Server error, status code = 500"},
      {"not found", json("{}", 404), "QVNetworkErrorDomain", 404, "Server error, status code = 404"},
      {"not JSON", {200, "<html>hello</html>", "text/html"}, "NSCocoaErrorDomain", 3840, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackHTTPServer server([&](const RecordedRequest&) { return c.response; });
    Outcome outcome;
    client.performRequestWithURL(server.url("/x"), QVRequestMethodGET, std::nullopt, recordInto(outcome));
    runMainUntilStopped();
    ASSERT_TRUE(outcome.called);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->domain, c.domain);
    EXPECT_EQ(outcome.error->code, c.code);
    if (c.description) {
      EXPECT_EQ(outcome.error->description, c.description);
    }
    EXPECT_TRUE(outcome.answer.isNull());
  }
}

TEST_F(QVNetworkManagerTest, WithoutADeserializerASuccessHasNeitherErrorNorAnswer) {
  LoopbackHTTPServer server([](const RecordedRequest&) { return CannedResponse{200, "not json", "text/plain"}; });
  Outcome outcome;
  client.performRequestWithURL(server.url("/x"), QVRequestMethodGET, std::nullopt, std::nullopt, recordInto(outcome),
                               nullptr);
  runMainUntilStopped();
  ASSERT_TRUE(outcome.called);
  EXPECT_FALSE(outcome.error);
  EXPECT_TRUE(outcome.answer.isNull());
}

TEST_F(QVNetworkManagerTest, EarlyFailuresCompleteAtOnceAndSendNothing) {
  LoopbackHTTPServer server([](const RecordedRequest&) { return json("{}"); });
  struct Case {
    int64_t method;
    bool connected;
    int64_t code;
    const char* reason;
  };
  const Case cases[] = {
      {0, true, 1001, "HTTP method is wrong"},
      {3, true, 1001, "HTTP method is wrong"},
      {1, false, 1000, "No internet connection available"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    client.setConnectionProbe([connected = c.connected] { return connected; });
    Outcome outcome;
    client.performRequestWithURL(server.url("/x"), c.method, std::nullopt, recordInto(outcome, false));
    ASSERT_TRUE(outcome.called) << "on the calling thread, before the call returns";
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->domain, "QVErrorDomainNetwork");
    EXPECT_EQ(outcome.error->code, c.code);
    EXPECT_EQ(outcome.error->userInfo["Reason"].asString(), c.reason);
    EXPECT_TRUE(outcome.answer.isNull());
  }
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(QVNetworkManagerTest, TransportFailureReachesTheCompletion) {
  std::string url;
  {
    LoopbackHTTPServer closed([](const RecordedRequest&) { return json("{}"); });
    url = closed.url("/x");
  }  // nothing listens on that port any more
  Outcome outcome;
  client.performRequestWithURL(url, QVRequestMethodGET, std::nullopt, recordInto(outcome));
  runMainUntilStopped();
  ASSERT_TRUE(outcome.called);
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->domain, "NSURLErrorDomain");
  EXPECT_TRUE(outcome.answer.isNull());
}

// An answer larger than the request's maximum is a transport error, whether its length is announced
// or it simply keeps coming; one within it arrives whole.
TEST(QVURLSessionLimits, AnswersLargerThanTheMaximumAreRefused) {
  const std::string big(200000, 'x');
  const struct {
    const char* what;
    bool sendLength;
    uint64_t maximum;
    bool refused;
  } cases[] = {
      {"announced", true, 100000, true},
      {"not announced", false, 100000, true},
      {"within the maximum", false, 200000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    LoopbackHTTPServer server([&](const RecordedRequest&) {
      return CannedResponse{200, big, "text/plain", c.sendLength};
    });
    QVURLRequest request;
    request.url = server.url("/big");
    request.maximumResponseBytes = c.maximum;
    std::promise<QVURLResponse> answered;
    QVURLSession::shared().dataTask(request, [&](QVURLResponse response) { answered.set_value(std::move(response)); });
    const QVURLResponse response = answered.get_future().get();
    EXPECT_EQ(response.error.has_value(), c.refused);
    if (c.refused) {
      EXPECT_EQ(response.error->domain, "NSURLErrorDomain");
      EXPECT_EQ(response.error->code, -1103);
      EXPECT_TRUE(response.data.empty());
    } else {
      EXPECT_EQ(response.data.size(), big.size());
    }
  }
  EXPECT_EQ(QVURLRequest().maximumResponseBytes, QVURLRequest::kDefaultMaximumResponseBytes);
}

// ---- Multipart uploads ------------------------------------------------------------------------

namespace {

std::string writeFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
  return path.string();
}

qv::Dictionary feedbackParams(const std::string& imagePath) {
  return {{"name", "Ann"},
          {"email", "ann@example.com"},
          {"text", "Hello\r\nworld"},
          {"image", qv::Dictionary{{"imagePath", imagePath}, {"name", "FeedBack[file]"}}}};
}

}  // namespace

TEST(QVNetworkManagerMultipart, BodyMatchesTheGoldenLayoutByteForByte) {
  const fs::path dir = solvane::test::makeTempDir("multipart-golden");
  const std::string image = writeFile(dir / "shot.png", std::string("PNG\x00\x01\xff", 6));
  qv::Error error;
  const auto body = QVNetworkManager::prepareMutlipartBodyWithParams(feedbackParams(image), "Boundary-TEST", &error);
  ASSERT_TRUE(body);
  std::ifstream golden(solvane::test::dataDir() / "Ombrel/Network/multipart_body.golden", std::ios::binary);
  ASSERT_TRUE(golden);
  const std::string expected((std::istreambuf_iterator<char>(golden)), std::istreambuf_iterator<char>());
  EXPECT_EQ(std::string(body->begin(), body->end()), expected);
}

TEST(QVNetworkManagerMultipart, WithoutAttachmentOnlyFieldsAndTheClosingLine) {
  qv::Error error;
  const auto body = QVNetworkManager::prepareMutlipartBodyWithParams({{"count", 3}}, "B", &error);
  ASSERT_TRUE(body);
  EXPECT_EQ(std::string(body->begin(), body->end()),
            "--B\r\nContent-Disposition: form-data; name=\"count\"\r\n\r\n3\r\n--B--\r\n");
}

TEST(QVNetworkManagerMultipart, AttachmentSizeLimitIsExactlyFiftyMegabytes) {
  const fs::path dir = solvane::test::makeTempDir("multipart-limit");
  const fs::path exact = dir / "exact.png", over = dir / "over.png";
  writeFile(exact, "");
  writeFile(over, "");
  fs::resize_file(exact, 52428800);
  fs::resize_file(over, 52428801);
  qv::Error error;
  const auto accepted = QVNetworkManager::prepareMutlipartBodyWithParams(
      {{"image", qv::Dictionary{{"imagePath", exact.string()}, {"name", "f"}}}}, "B", &error);
  ASSERT_TRUE(accepted);
  EXPECT_GT(accepted->size(), 52428800u);
  const auto refused = QVNetworkManager::prepareMutlipartBodyWithParams(
      {{"image", qv::Dictionary{{"imagePath", over.string()}, {"name", "f"}}}}, "B", &error);
  EXPECT_FALSE(refused);
  EXPECT_EQ(error.domain, "QVNetworkErrorDomain");
  EXPECT_EQ(error.code, 103);
  EXPECT_EQ(error.description, "Unfortunately, the file you’re attaching is too big. The maximum file size is 50 MB.");
}

TEST(QVNetworkManagerMultipart, UnreadableAttachmentFails) {
  qv::Error error;
  const auto body = QVNetworkManager::prepareMutlipartBodyWithParams(
      {{"image", qv::Dictionary{{"imagePath", "/nonexistent/shot.png"}, {"name", "f"}}}}, "B", &error);
  EXPECT_FALSE(body);
  EXPECT_EQ(error.code, 103);
  EXPECT_EQ(error.description, "Failed to read an image");
}

// A file name is the user's: a quote or line break in it must not end the header parameter and
// smuggle headers or parts into the form.
TEST(QVNetworkManagerMultipart, QuotesAndLineBreaksInNamesAreEscaped) {
  const fs::path dir = solvane::test::makeTempDir("multipart-escape");
  const std::string image = writeFile(dir / "a\"b\r\nX: y.png", "x");
  qv::Error error;
  const auto body = QVNetworkManager::prepareMutlipartBodyWithParams(
      {{"image", qv::Dictionary{{"imagePath", image}, {"name", "f"}}}}, "B", &error);
  ASSERT_TRUE(body);
  const std::string text(body->begin(), body->end());
  EXPECT_NE(text.find("filename=\"a%22b%0D%0AX: y.png\"\r\n"), std::string::npos) << text;
}

TEST_F(QVNetworkManagerTest, MultipartUploadSendsTheFormAndReadsSuccess) {
  const fs::path dir = solvane::test::makeTempDir("multipart-upload");
  const std::string image = writeFile(dir / "shot.png", "PNGDATA");
  LoopbackHTTPServer server([](const RecordedRequest&) { return json(R"({"success":true})"); });
  Outcome outcome;
  client.setConnectionProbe([] { return false; });  // uploads do not ask first
  client.sendMutlipartFormWithURL(server.url("/views/feedback"), feedbackParams(image), recordInto(outcome));
  runMainUntilStopped();
  ASSERT_TRUE(outcome.called);
  EXPECT_FALSE(outcome.error);
  EXPECT_TRUE(outcome.answer["success"].asBool());
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  const RecordedRequest& r = requests[0];
  EXPECT_EQ(r.method, "POST");
  const std::string contentType = r.headers.at("content-type");
  ASSERT_EQ(contentType.rfind("multipart/form-data; boundary=Boundary-", 0), 0u) << contentType;
  const std::string boundary = contentType.substr(contentType.find('=') + 1);
  EXPECT_EQ(boundary.size(), std::string("Boundary-").size() + 36);
  EXPECT_EQ(r.headers.at("content-length"), std::to_string(r.body.size()));
  EXPECT_EQ(r.body.substr(r.body.size() - boundary.size() - 6), "--" + boundary + "--\r\n");
  EXPECT_NE(r.body.find("filename=\"shot.png\"\r\nContent-Type: image/*\r\n\r\nPNGDATA\r\n"), std::string::npos);
}

TEST_F(QVNetworkManagerTest, MultipartAnswerWithoutSuccessIsError102WithTheAnswer) {
  struct Case {
    const char* name;
    CannedResponse response;
    const char* description;
    bool hasAnswer;
  };
  const Case cases[] = {
      {"refused with message", json(R"({"success":false,"message":"x"})"), "x", true},
      {"no success key", json(R"({"message":7})"), "", true},
      {"server error", json(R"({"success":true})", 500), "", false},
      {"not JSON", {200, "oops", "text/plain"}, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackHTTPServer server([&](const RecordedRequest&) { return c.response; });
    Outcome outcome;
    client.sendMutlipartFormWithURL(server.url("/views/feedback"), {{"name", "Ann"}}, recordInto(outcome));
    runMainUntilStopped();
    ASSERT_TRUE(outcome.called);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->domain, "QVNetworkErrorDomain");
    EXPECT_EQ(outcome.error->code, 102);
    EXPECT_EQ(outcome.error->description, c.description);
    EXPECT_EQ(outcome.answer.isDictionary(), c.hasAnswer);
  }
}

TEST_F(QVNetworkManagerTest, MultipartTransportFailureIsError102WithoutDescription) {
  std::string url;
  {
    LoopbackHTTPServer closed([](const RecordedRequest&) { return json("{}"); });
    url = closed.url("/views/feedback");
  }
  Outcome outcome;
  client.sendMutlipartFormWithURL(url, {{"name", "Ann"}}, recordInto(outcome));
  runMainUntilStopped();
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->code, 102);
  EXPECT_EQ(outcome.error->description, "");
  EXPECT_TRUE(outcome.answer.isNull());
}

TEST_F(QVNetworkManagerTest, MultipartAttachmentFailureCompletesAtOnceAndSendsNothing) {
  LoopbackHTTPServer server([](const RecordedRequest&) { return json(R"({"success":true})"); });
  // A missing file, and a folder (which has a size but cannot be read as an attachment).
  const auto folder = solvane::test::makeTempDir("attachment-folder");
  for (const std::string path : {(folder / "missing.jpg").string(), folder.string()}) {
    SCOPED_TRACE(path);
    Outcome outcome;
    client.sendMutlipartFormWithURL(server.url("/views/feedback"),
                                    {{"image", qv::Dictionary{{"imagePath", path}, {"name", "f"}}}},
                                    recordInto(outcome, false));
    ASSERT_TRUE(outcome.called);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->code, 103);
  }
  EXPECT_TRUE(server.requests().empty());
}
