#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>

#include "Ombrel/Classes/Helpers/QVFilePromisesFetcher.h"
#include "Ombrel/Classes/Helpers/QVFileTimedCollector.h"
#include "Ombrel/Classes/Helpers/QVPeriodicDirectoryScanner.h"
#include "QVPlatform/Error.h"
#include "QVPlatform/NotificationCenter.h"
#include "QVPlatform/Places.h"
#include "common/TestSupport.h"

namespace fs = std::filesystem;

namespace {

void touch(const fs::path& path) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << "x";
}

struct RecordingDelegate : QVPeriodicDirectoryScannerDelegate {
  std::vector<std::vector<std::string>> reports;
  void scannerDidTrackFilePaths(QVPeriodicDirectoryScanner&, const std::vector<std::string>& paths) override {
    reports.push_back(paths);
  }
};

struct PromisingDrag : QVDraggingInfo {
  std::vector<std::string> names;
  std::string folder;
  bool hasFilePromises() const override { return !names.empty(); }
  std::vector<std::string> namesOfPromisedFilesDroppedAtDestination(const std::string& destination) override {
    folder = destination;
    return names;
  }
};

class QVBackgroundServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    main.discardPending();
    main.useManualClock();
  }
  void TearDown() override {
    main.discardPending();
    main.useSystemClock();
  }
  qv::MainExecutor& main = qv::MainExecutor::shared();
};

}  // namespace

TEST(QVPeriodicBackgroundServiceTimerTest, PeriodIsWholeSecondsPlusHundredths) {
  const std::pair<double, int64_t> cases[] = {{0.125, 120}, {0.5, 500},   {15.0, 15000}, {1.999, 1990},
                                              {0.29, 290},  {2.05, 2050}, {0, 0},        {-1, 0}};
  for (auto [rate, ms] : cases) EXPECT_EQ(QVPeriodicBackgroundService::timerIntervalMilliseconds(rate), ms) << rate;
}

TEST(QVPeriodicBackgroundServiceTimerTest, NamedTimersFireOnTheChosenQueue) {
  auto service = QVPeriodicBackgroundService::make();
  EXPECT_EQ(service->updateRate(), 1.0);
  EXPECT_EQ(service->runQueue()->label(), "com.slvn.QVPeriodicBackgroundService");
  EXPECT_EQ(service->callbackQueue(), qv::DispatchQueue::main());

  // A timer starts at once; without the other queue its block runs on the run queue.
  auto onRunQueue = std::make_shared<std::promise<bool>>();
  auto once = std::make_shared<std::once_flag>();
  service->startTimerForKey(
      "direct",
      [service = std::weak_ptr(service), onRunQueue, once] {
        std::call_once(*once, [&] { onRunQueue->set_value(service.lock()->runQueue()->isCurrent()); });
      },
      false);
  EXPECT_TRUE(onRunQueue->get_future().get());

  // With the other queue the block goes to the callback queue.
  auto callbacks = qv::DispatchQueue::makeSerial("callbacks");
  service->setCallbackQueue(callbacks);
  auto onCallbackQueue = std::make_shared<std::promise<bool>>();
  auto once2 = std::make_shared<std::once_flag>();
  service->startTimerForKey("other", [callbacks, onCallbackQueue, once2] {
    std::call_once(*once2, [&] { onCallbackQueue->set_value(callbacks->isCurrent()); });
  });
  EXPECT_TRUE(onCallbackQueue->get_future().get());

  // Starting a key again keeps one timer for it; stopping removes it.
  service->startTimerForKey("other", [] {});
  EXPECT_EQ(service->timerKeys(), (std::vector<std::string>{"direct", "other"}));
  service->stopTimerForKey("direct");
  service->stopTimerForKey("other");
  service->stopTimerForKey("missing");
  EXPECT_TRUE(service->timerKeys().empty());
}

TEST_F(QVBackgroundServicesTest, ScannerListsOneLevelDownAndReportsAMissingFolder) {
  auto dir = solvane::test::makeTempDir("scanner");
  for (const char* name : {"b.jpg", ".hidden", "a/one.png", "a/.secret", "a/inner/deep.jpg", "c/two.tif"})
    touch(dir / name);
  auto scanner = QVPeriodicDirectoryScanner::make();
  EXPECT_EQ(scanner->updateRate(), 15.0);
  EXPECT_EQ(scanner->runQueue()->label(), "com.slvn.QVPeriodicDirectoryScanner");
  auto delegate = std::make_shared<RecordingDelegate>();
  scanner->setDelegate(delegate);
  scanner->setTargetDirectoryPath(dir.string());
  scanner->scanTargetDirectory();
  main.runUntilIdle();
  ASSERT_EQ(delegate->reports.size(), 1u);
  EXPECT_EQ(delegate->reports[0], (std::vector<std::string>{(dir / "a/inner").string(), (dir / "a/one.png").string(),
                                                            (dir / "b.jpg").string(), (dir / "c/two.tif").string()}));

  // An empty folder is reported too.
  scanner->setTargetDirectoryPath(solvane::test::makeTempDir("scanner-empty").string());
  scanner->scanTargetDirectory();
  main.runUntilIdle();
  ASSERT_EQ(delegate->reports.size(), 2u);
  EXPECT_TRUE(delegate->reports[1].empty());

  // No folder: an error notice, no list.
  std::shared_ptr<void> posted;
  auto token = qv::NotificationCenter::defaultCenter().addObserver(
      kQVNotificationProcessingError, nullptr, [&](const qv::Notification& n) { posted = n.object; });
  scanner->setTargetDirectoryPath("");
  scanner->scanTargetDirectory();
  main.runUntilIdle();
  ASSERT_TRUE(posted);
  auto error = std::static_pointer_cast<qv::Error>(posted);
  EXPECT_EQ(error->domain, "QVErrorDomainProcessing");
  EXPECT_EQ(error->code, 103);
  EXPECT_EQ(delegate->reports.size(), 2u);
}

TEST_F(QVBackgroundServicesTest, ScannerStartedTwiceKeepsOneTimer) {
  auto scanner = QVPeriodicDirectoryScanner::make();
  scanner->setCallbackQueue(qv::DispatchQueue::makeSerial("scans"));
  scanner->start();
  scanner->start();
  EXPECT_EQ(scanner->timerKeys(), std::vector<std::string>{kQVPeriodicDirectoryScannerTimerKey});
  scanner->stop();
  EXPECT_TRUE(scanner->timerKeys().empty());
}

TEST_F(QVBackgroundServicesTest, PromisedFilesAreReportedOnceAllExist) {
  auto drag = std::make_shared<PromisingDrag>();
  EXPECT_FALSE(QVFilePromisesFetcher::hasPromiseFiles(drag));
  drag->names = {"one.jpg", "two.jpg"};
  EXPECT_TRUE(QVFilePromisesFetcher::hasPromiseFiles(drag));

  auto fetcher = QVFilePromisesFetcher::make();
  std::vector<std::vector<std::string>> delivered;
  fetcher->setFetchCompletion([&](const std::vector<std::string>& paths) { delivered.push_back(paths); });
  fetcher->setDraggingInfo(drag);
  fetcher->start();
  std::shared_ptr<QVPeriodicDirectoryScanner> scanner;
  std::vector<std::string> promises;
  fetcher->runQueue()->sync([&] {
    scanner = fetcher->directoryScanner();
    promises = fetcher->promisePaths();
  });
  ASSERT_TRUE(scanner);
  EXPECT_EQ(scanner->updateRate(), 0.5);
  EXPECT_EQ(scanner->callbackQueue(), fetcher->runQueue());
  fs::path folder = drag->folder;
  EXPECT_EQ(folder.parent_path(), fs::path(qv::places::temporaryDirectory()));
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(promises, (std::vector<std::string>{(folder / "one.jpg").string(), (folder / "two.jpg").string()}));

  // One of two files: wait on.
  touch(folder / "two.jpg");
  fetcher->runQueue()->sync([&] { scanner->scanTargetDirectory(); });
  main.runUntilIdle();
  EXPECT_TRUE(delivered.empty());

  // The other arrives inside a subfolder: that counts.
  touch(folder / "sub" / "one.jpg");
  fetcher->runQueue()->sync([&] { scanner->scanTargetDirectory(); });
  main.runUntilIdle();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0], promises);  // promise order
  fetcher->runQueue()->sync([&] { EXPECT_EQ(fetcher->directoryScanner(), nullptr); });
}

TEST_F(QVBackgroundServicesTest, PromisedFilesThatNeverComeStopTheWatch) {
  auto drag = std::make_shared<PromisingDrag>();
  drag->names = {"never.jpg"};
  auto fetcher = QVFilePromisesFetcher::make();
  bool delivered = false;
  fetcher->setFetchCompletion([&](const std::vector<std::string>&) { delivered = true; });
  fetcher->setPromiseTimeout(1.0);  // two scans at 0.5 s
  fetcher->setDraggingInfo(drag);
  fetcher->start();
  std::shared_ptr<QVPeriodicDirectoryScanner> scanner;
  fetcher->runQueue()->sync([&] { scanner = fetcher->directoryScanner(); });
  ASSERT_TRUE(scanner);
  for (int i = 0; i < 2; ++i) fetcher->runQueue()->sync([&] { fetcher->scannerDidTrackFilePaths(*scanner, {}); });
  fetcher->runQueue()->sync([&] { EXPECT_EQ(fetcher->directoryScanner(), nullptr); });
  EXPECT_TRUE(scanner->timerKeys().empty());
  main.runUntilIdle();
  EXPECT_FALSE(delivered);
}

TEST_F(QVBackgroundServicesTest, CollectorDeliversOneBurstAfterTheQuietInterval) {
  std::vector<std::pair<double, std::vector<std::string>>> delivered;
  auto collector = QVFileTimedCollector::initWithFireTimeInterval(
      0.25, [&](const std::vector<std::string>& paths) { delivered.emplace_back(main.now(), paths); });
  double start = main.now();
  collector->queueFiles({"/a.jpg", "/b.jpg"});
  main.advance(0.2);
  collector->queueFiles({"/a.jpg"});
  main.advance(0.249);
  EXPECT_TRUE(delivered.empty());
  main.advance(0.001);
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_NEAR(delivered[0].first - start, 0.45, 1e-9);
  EXPECT_EQ(delivered[0].second, (std::vector<std::string>{"/a.jpg", "/b.jpg", "/a.jpg"}));
  main.advance(1);
  EXPECT_EQ(delivered.size(), 1u);

  // A collector dropped before its interval ends delivers nothing.
  collector->queueFiles({"/c.jpg"});
  collector.reset();
  main.advance(1);
  EXPECT_EQ(delivered.size(), 1u);
}
