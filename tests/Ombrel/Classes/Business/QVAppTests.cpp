#include "Ombrel/Classes/Business/QVApp.h"

#include <atomic>
#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "Ombrel/Classes/Basic/QVQueueManager.h"
#include "Ombrel/Classes/Business/NSResponder+ImageProcessing.h"
#include "Ombrel/Classes/Business/NetworkManager/QVSolvaneURL.h"
#include "Ombrel/Classes/Business/QVAppSettings.h"
#include "Ombrel/Classes/Business/QVImageSettingsManager.h"
#include "Ombrel/Classes/Business/QVProcessingManager.h"
#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "QVPlatform/NotificationCenter.h"
#include "QVPlatform/PropertyList.h"
#include "common/TestSupport.h"
#include "tests/Ombrel/Classes/Business/AppTestSupport.h"
#include "tests/Ombrel/Classes/Business/NetworkManager/LoopbackHTTPServer.h"
#include "tests/Ombrel/Classes/Common/Reachability/FakeReachabilityProbe.h"

namespace fs = std::filesystem;
using solvane::test::pumpMainUntil;

namespace {

// One colour channel of a pixel on the 0..255 scale (8- or 16-bit bitmaps).
double channel(const NSImageRef& image, size_t x, size_t y, size_t k) {
  auto bitmap = image->CGImage();
  const size_t index = x * bitmap->componentsPerPixel() + k;
  if (bitmap->bitsPerComponent == 16) {
    uint16_t v;
    std::memcpy(&v, bitmap->row(y) + 2 * index, 2);
    return v / 257.0;
  }
  return bitmap->row(y)[index];
}

// A blocker for a serial queue: its operation runs until released.
struct QueueBlocker {
  qv::DispatchSemaphore release{0};
  std::atomic<bool> running{false};
  std::shared_ptr<qv::Operation> operation;
  explicit QueueBlocker(const std::shared_ptr<QVRecordedOperationQueue>& queue) {
    operation = qv::BlockOperation::make([this] {
      running = true;
      release.wait();
    });
    queue->addOperation(operation);
    while (!running) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void open() { release.signal(); }
  ~QueueBlocker() {
    open();
    operation->waitUntilFinished();
  }
};

struct Delivery {
  std::string path;
  NSImageRef image, processed;
  bool onMain = false;
  int count = 0;
};

// Observes one image key; records deliveries.
struct RecordingObserver {
  std::shared_ptr<QVImageProcessingObserver> observer = QVImageProcessingObserver::make();
  std::shared_ptr<Delivery> delivery = std::make_shared<Delivery>();
  void observe(const std::string& path, int64_t type) {
    auto d = delivery;
    observer->startImageProcessingObservationForPath(path, type, [d](const std::string& p, NSImageRef i, NSImageRef e) {
      d->path = p;
      d->image = i;
      d->processed = e;
      d->onMain = qv::MainExecutor::shared().isMainThread();
      ++d->count;
    });
  }
};

class QVAppFacade : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Offline: the event tracker keeps its records (no upload is attempted).
    offline =
        std::make_unique<solvane::test::FakeProbeInstaller>(std::make_shared<solvane::test::FakeReachabilityProbe>(0));
    solvane::test::startFacadeOnce();
  }
  static void TearDownTestSuite() { offline.reset(); }
  static inline std::unique_ptr<solvane::test::FakeProbeInstaller> offline;
  void TearDown() override {
    QVApp::cancelImageOperationsAndWaitUntilDone();
    qv::MainExecutor::shared().runUntilIdle();
  }
  // A copy of a photo of tests/data in this test's folder.
  std::string photo(const std::string& name) {
    if (dir.empty()) dir = solvane::test::makeTempDir("facade");
    fs::copy_file(solvane::test::dataDir() / "enhance" / name, dir / name, fs::copy_options::overwrite_existing);
    return (dir / name).string();
  }
  solvane::test::AlertRecorder recorder;
  fs::path dir;
};

}  // namespace

// The facade headless on two real photos, as the screens use it.
TEST_F(QVAppFacade, TwoPhotosFromPreviewToQuit) {
  const std::string first = photo("astronaut.png"), second = photo("coffee.png");
  ASSERT_TRUE(QVApp::autoLensCorrectionEnabled()) << "the first start writes lens correction on";
  ASSERT_FALSE(QVApp::autoColorTemperatureEnabled());

  // Both processed as previews; each observer hears only its own key, on the main thread.
  RecordingObserver onFirst, onSecond;
  onFirst.observe(first, 1);
  onSecond.observe(second, 1);
  auto firstDone = std::make_shared<Delivery>();
  QVApp::processImageAtPath(first, 1, 4, [firstDone](const std::string& p, NSImageRef i, NSImageRef e) {
    firstDone->path = p;
    firstDone->image = i;
    firstDone->processed = e;
    firstDone->onMain = qv::MainExecutor::shared().isMainThread();
    ++firstDone->count;
  });
  QVApp::processImagesAtPaths(qv::Array{second, 42}, 1);
  ASSERT_TRUE(pumpMainUntil([&] { return onFirst.delivery->count && onSecond.delivery->count && firstDone->count; }));
  for (auto* d : {onFirst.delivery.get(), onSecond.delivery.get(), firstDone.get()}) {
    EXPECT_TRUE(d->image && d->processed);
    EXPECT_TRUE(d->onMain);
    EXPECT_EQ(d->count, 1);
  }
  EXPECT_EQ(onFirst.delivery->path, first);
  EXPECT_EQ(onSecond.delivery->path, second);
  EXPECT_FALSE(onFirst.observer->observingImageProcessing()) << "one delivery per observation";
  // The preview's completion came after the lens-corrected preview was stored.
  EXPECT_TRUE(QVApp::lensedPreviewAtPath(first));
  const NSImageRef cachedProcessed = QVApp::processedImageAtPath(first, 1);
  ASSERT_TRUE(cachedProcessed);

  // The second request is answered from the cache, and observers hear of it again.
  onFirst.observe(first, 1);
  auto again = std::make_shared<Delivery>();
  QVApp::processImageAtPath(first, 1, 4, [again](const std::string& p, NSImageRef i, NSImageRef e) {
    again->processed = e;
    again->path = p;
    ++again->count;
  });
  ASSERT_TRUE(pumpMainUntil([&] { return again->count && onFirst.delivery->count == 2; }));
  EXPECT_EQ(again->processed, cachedProcessed) << "the cached image itself, nothing rendered";
  EXPECT_EQ(onFirst.delivery->processed, cachedProcessed);

  // Strength 0.5: the source drawn over the processed image at opacity 0.5, and stored.
  const NSImageRef source = firstDone->image, processed = firstDone->processed;
  NSImageRef blended;
  QVApp::applyBoostAmount(0.5, first, source, processed, 8, [&blended](NSImageRef image) { blended = image; });
  ASSERT_TRUE(pumpMainUntil([&] { return blended != nullptr; }));
  EXPECT_DOUBLE_EQ(QVApp::boostAmountForImagePath(first), 0.5);
  const size_t cx = blended->CGImage()->width / 2, cy = blended->CGImage()->height / 2;
  for (size_t k = 0; k < 3; ++k)
    EXPECT_NEAR(channel(blended, cx, cy, k), 0.5 * channel(source, cx, cy, k) + 0.5 * channel(processed, cx, cy, k),
                1.5);
  // The export entry blends the stored amount, and leaves an unset photo's processed image as is.
  NSImageRef exported, untouched;
  QVApp::applyBoostAmountIfNeededWithOriginalImage(source, processed, first, [&](NSImageRef i) { exported = i; });
  QVApp::applyBoostAmountIfNeededWithOriginalImage(source, processed, second, [&](NSImageRef i) { untouched = i; });
  EXPECT_EQ(untouched, processed);
  ASSERT_TRUE(pumpMainUntil([&] { return exported != nullptr; }));
  EXPECT_NE(exported, processed);

  // Validation of a too-small photo and an excluded file: the alerts and error events of the list.
  std::ofstream(dir / "scan.x3f") << "not an image";
  const size_t eventsBefore = solvane::test::storedErrorCodes().size();
  EXPECT_TRUE(QVSourceManager::validatedFilenames({first, (dir / "scan.x3f").string()}).empty());
  EXPECT_EQ(recorder.alerts->shown(), (std::vector<std::string>{"not supported: x3f", "less than minimum size"}));
  auto codes = solvane::test::storedErrorCodes();
  EXPECT_EQ(std::vector<int64_t>(codes.begin() + int64_t(eventsBefore), codes.end()), (std::vector<int64_t>{4, 1}));

  // Deleting a source path cancels its waiting tasks and posts "QVAppDidDeleteSourceItem".
  QVApp::sourceManager()->setImagesPaths({first, second});
  std::vector<std::string> deleted;
  auto token = qv::NotificationCenter::defaultCenter().addObserver(
      kQVAppDidDeleteSourceItemNotification, nullptr,
      [&deleted](const qv::Notification& n) { deleted.push_back(*n.objectAs<std::string>()); });
  const std::string thumbnailKey = *QVSolvaneHelpers::imageKeyAtPath(second, 0);
  {
    QueueBlocker blocker(QVApp::processingManager()->syncQueue());
    std::atomic<bool> cancelledTaskReported{false};
    QVApp::processImageAtPath(second, 0, 3,
                              [&](const std::string&, NSImageRef, NSImageRef) { cancelledTaskReported = true; });
    auto& table = QVApp::processingManager()->syncQueue()->operationsTable();
    ASSERT_TRUE(pumpMainUntil([&] { return table.objectForKeyedSubscript(thumbnailKey) != nullptr; }, 10));
    EXPECT_TRUE(QVApp::isProcessingImages());
    QVApp::sourceManager()->deleteImageWithPath(second);
    EXPECT_EQ(deleted, std::vector<std::string>{second});
    EXPECT_EQ(table.objectForKeyedSubscript(thumbnailKey), nullptr);
    EXPECT_EQ(QVApp::sourceManager()->imagesPaths(), std::vector<std::string>{first});
    blocker.open();
    QVApp::processingManager()->syncQueue()->waitUntilAllOperationsAreFinished();
    EXPECT_FALSE(cancelledTaskReported);
  }

  // Quit while a full-size render runs returns promptly, with everything cleaned.
  const std::string large = (dir / "large.png").string();
  solvane::test::writePNG(large, 4000, 3000);
  QVApp::processImageAtPath(large, 2, 4, nullptr);
  ASSERT_TRUE(pumpMainUntil([] { return QVApp::processingManager()->syncQueue()->runningOperation() != nullptr; }, 10));
  const auto quitStart = std::chrono::steady_clock::now();
  EXPECT_TRUE(QVApp::cancelImageOperationsAndWaitUntilDone());
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - quitStart).count(), kQVQuitWaitLimit);
  EXPECT_TRUE(QVApp::sourceManager()->imagesPaths().empty());
  EXPECT_FALSE(QVApp::processedImageAtPath(first, 1));
  EXPECT_DOUBLE_EQ(QVApp::boostAmountForImagePath(first), 1.0) << "strengths are cleared";
}

TEST_F(QVAppFacade, LoadingFullSizeAndTheExtensionsCacheRules) {
  const std::string path = photo("chelsea.png");
  // Source and blurred placeholder: loaded once, then answered from the cache on the caller's thread.
  NSImageRef loaded, blurred;
  QVApp::loadImageAtPath(path, 0, [&loaded](const std::string&, NSImageRef i) { loaded = i; });
  QVApp::loadBlurredImageAtPath(path, [&blurred](const std::string&, NSImageRef i) { blurred = i; });
  // The cache stores on its own queue, so the answer may come a moment before the stored copy.
  ASSERT_TRUE(pumpMainUntil(
      [&] { return loaded && blurred && QVApp::blurredImageAtPath(path) && QVApp::originalImageAtPath(path, 0); }, 30));
  EXPECT_EQ(blurred->size().width, loaded->size().width);
  NSImageRef again;
  QVApp::loadImageAtPath(path, 0, [&again](const std::string&, NSImageRef i) { again = i; });
  EXPECT_EQ(again, loaded) << "answered at once from the cache";

  // A full-size request is processed and stores nothing.
  std::atomic<int> fullSize{0};
  NSImageRef fullSource, fullProcessed;
  QVApp::processImageAtPath(path, 2, 4, nullptr, [&](const std::string& p, NSImageRef i, NSImageRef e) {
    EXPECT_EQ(p, path);
    fullSource = i;
    fullProcessed = e;
    ++fullSize;
  });
  ASSERT_TRUE(pumpMainUntil([&] { return fullSize == 1; }));
  EXPECT_TRUE(fullSource && fullProcessed);
  EXPECT_FALSE(QVApp::originalImageAtPath(path, 2));
  EXPECT_FALSE(QVApp::processedImageAtPath(path, 2));
  ASSERT_TRUE(pumpMainUntil([] { return !QVApp::isProcessingImages(); }, 10));

  // Inside the photo-library extension no processed image is read from the cache, but a request is
  // still answered from it.
  std::atomic<int> previews{0};
  QVApp::processImageAtPath(path, 1, 4, [&](const std::string&, NSImageRef, NSImageRef) { ++previews; });
  ASSERT_TRUE(pumpMainUntil([&] { return previews == 1; }));
  // The cache stores on its own queue, so the answer may come a moment before the stored copy.
  ASSERT_TRUE(pumpMainUntil([&] { return QVApp::processedImageAtPath(path, 1) != nullptr; }));
  const NSImageRef cached = QVApp::processedImageAtPath(path, 1);
  QVAppSettings::setPhotosExtension(true);
  EXPECT_FALSE(QVApp::processedImageAtPath(path, 1));
  EXPECT_EQ(QVApp::appLocationType(), 2u);
  NSImageRef answered;
  QVApp::processImageAtPath(path, 1, 4, [&](const std::string&, NSImageRef, NSImageRef e) { answered = e; });
  const bool done = pumpMainUntil([&] { return answered != nullptr; });
  QVAppSettings::setPhotosExtension(false);
  ASSERT_TRUE(done);
  EXPECT_EQ(answered, cached);
}

TEST(QVAppFeedback, FormSentAndAnsweredOnTheMainThread) {
  solvane::test::LoopbackHTTPServer server([](const solvane::test::RecordedRequest&) {
    return solvane::test::CannedResponse{200, R"({"success": true})"};
  });
  QVSolvaneURL::setServiceAddress("http", server.url("").substr(std::strlen("http://")));
  QVApp::networkManager()->setConnectionProbe([] { return true; });
  bool onMain = false, called = false;
  std::optional<qv::Error> error;
  QVApp::sendFeedback({{"email", "a@b.c"}, {"message", "Hello"}},
                      [&](const std::optional<qv::Error>& e, const qv::Value&) {
                        called = true;
                        error = e;
                        onMain = qv::MainExecutor::shared().isMainThread();
                      });
  ASSERT_TRUE(pumpMainUntil([&] { return called; }, 20));
  EXPECT_FALSE(error);
  EXPECT_TRUE(onMain);
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target.rfind("/views/feedback?", 0), 0u) << requests[0].target;
  EXPECT_NE(requests[0].body.find("Hello"), std::string::npos);
  QVSolvaneURL::setServiceAddress("", "");
  QVApp::networkManager()->setConnectionProbe(nullptr);
}

TEST_F(QVAppFacade, QuitGivesUpOnAnOperationThatDoesNotEnd) {
  QueueBlocker stuck(QVApp::processingManager()->syncQueue());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(QVApp::cancelImageOperationsAndWaitUntilDone(0.2));
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(waited, 0.15);
  EXPECT_LT(waited, 5.0);
}

TEST_F(QVAppFacade, StrengthBlendsCoalescePerPhotoAndAlwaysAnswer) {
  auto source =
      NSImage::imageWithCGImage(CGImageCreate(4, 4, 8, 24, 12, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone,
                                              std::make_shared<std::vector<uint8_t>>(48, 0)));
  auto processed =
      NSImage::imageWithCGImage(CGImageCreate(4, 4, 8, 24, 12, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone,
                                              std::make_shared<std::vector<uint8_t>>(48, 200)));
  std::mutex mutex;
  std::map<std::string, std::vector<NSImageRef>> answers;
  auto answer = [&](const std::string& who) {
    return [&, who](NSImageRef image) {
      std::lock_guard lock(mutex);
      answers[who].push_back(image);
    };
  };
  auto answered = [&](size_t count) {
    std::lock_guard lock(mutex);
    size_t n = 0;
    for (auto& [who, list] : answers) n += list.size();
    return n == count;
  };
  // A burst of three for one photo and one request for another, all within the quiet period.
  QVApp::applyBoostAmount(0.9, "/a.jpg", source, processed, 8, answer("a1"));
  QVApp::applyBoostAmount(0.2, "/b.jpg", source, processed, 8, answer("b"));
  QVApp::applyBoostAmount(0.7, "/a.jpg", source, processed, 8, answer("a2"));
  QVApp::applyBoostAmount(0.25, "/a.jpg", source, processed, 16, answer("a3"));
  ASSERT_TRUE(pumpMainUntil([&] { return answered(4); }, 10));
  // Photo a's burst ran once, with its last amount; photo b was not displaced.
  EXPECT_EQ(answers["a1"][0], answers["a3"][0]);
  EXPECT_EQ(answers["a2"][0], answers["a3"][0]);
  ASSERT_TRUE(answers["a3"][0] && answers["b"][0]);
  EXPECT_EQ(answers["a3"][0]->CGImage()->bitsPerComponent, 16u);
  EXPECT_NEAR(channel(answers["a3"][0], 1, 1, 0), 0.25 * 200, 1.0);
  EXPECT_NEAR(channel(answers["b"][0], 1, 1, 0), 0.2 * 200, 1.0);
  EXPECT_DOUBLE_EQ(QVApp::boostAmountForImagePath("/a.jpg"), 0.25);
  EXPECT_DOUBLE_EQ(QVApp::boostAmountForImagePath("/b.jpg"), 0.2);

  // A blend cancelled while it waits for the queue still answers, with no image.
  {
    auto blending = QVQueueManager::shared().imageBlendingQueue();
    QueueBlocker busy(blending);
    QVApp::applyBoostAmount(0.5, "/c.jpg", source, processed, 8, answer("c"));
    ASSERT_TRUE(pumpMainUntil([&] { return blending->operationsTable().count() > 0; }, 10));
    QVApp::cancel();
  }
  ASSERT_TRUE(pumpMainUntil([&] { return answered(5); }, 10));
  EXPECT_EQ(answers["c"][0], nullptr);
  EXPECT_DOUBLE_EQ(QVApp::boostAmountForImagePath("/c.jpg"), 1.0);

  // Stored amounts of 0 and 1 answer at once, without blending.
  QVApp::imageSettingsManager()->updateAmount(0, "/d.jpg");
  NSImageRef immediate;
  QVApp::applyBoostAmountIfNeededWithOriginalImage(source, processed, "/d.jpg", [&](NSImageRef i) { immediate = i; });
  EXPECT_EQ(immediate, source);
}

TEST(QVAppStatistics, PayloadReachesTheServerWithItsFourKeys) {
  struct Case {
    const char* name;
    solvane::test::CannedResponse response;
    std::optional<int64_t> errorCode;
  } cases[] = {
      {"success", {200, R"({"success": true})"}, std::nullopt},
      {"answer without success", {200, R"({"message": "no"})"}, 102},
      {"server failure", {500, "{}"}, 404},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    solvane::test::LoopbackHTTPServer server([&c](const solvane::test::RecordedRequest&) { return c.response; });
    const std::string base = server.url("");
    QVSolvaneURL::setServiceAddress("http", base.substr(std::strlen("http://")));
    QVApp::networkManager()->setConnectionProbe([] { return true; });

    std::vector<std::shared_ptr<QVAppEvent>> events;
    for (int64_t code : {7, 8})
      events.push_back(QVAppEvent::eventWithType(QVAppEventTypeImageLoad, {{kQVCodeName, code}}, {}));
    EXPECT_EQ(events[0]->sessionID, QVApp::sessionID()) << "events carry the facade's session";
    std::optional<std::optional<qv::Error>> outcome;
    QVApp::shared()->eventTrackerDidTrackEventsOnline(*QVAppEventTracker::shared(), events,
                                                      [&outcome](const std::optional<qv::Error>& e) { outcome = e; });
    ASSERT_TRUE(pumpMainUntil([&] { return outcome.has_value(); }, 20));
    if (c.errorCode) {
      ASSERT_TRUE(*outcome);
      EXPECT_EQ((*outcome)->code, *c.errorCode);
      EXPECT_EQ((*outcome)->domain, kQVNetworkErrorDomain);
    } else {
      EXPECT_FALSE(*outcome);
    }

    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target.rfind("/stats/upload?", 0), 0u) << requests[0].target;
    qv::Value payload = qv::PropertyList::fromJSON(requests[0].body, nullptr);
    ASSERT_TRUE(payload.isDictionary()) << requests[0].body;
    EXPECT_EQ(payload.size(), 4u);
    EXPECT_EQ(payload["os"].asString(), "mac");
    EXPECT_EQ(payload["pc_id"].asString().size(), 36u);
    EXPECT_EQ(payload["marketplace"], qv::Value(5));
    ASSERT_EQ(payload["objects"].size(), 2u);
    EXPECT_EQ(payload["objects"][0], qv::Value(events[0]->serializeDic()));
  }
  QVSolvaneURL::setServiceAddress("", "");
  QVApp::networkManager()->setConnectionProbe(nullptr);
}
