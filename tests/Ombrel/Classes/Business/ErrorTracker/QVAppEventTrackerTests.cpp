#include "Ombrel/Classes/Business/ErrorTracker/QVAppEventTracker.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include <fstream>

#include "Ombrel/Classes/Business/ErrorTracker/QVCrashCapture.h"
#include "QVPlatform/PropertyList.h"
#include "common/TestSupport.h"
#include "tests/Ombrel/Classes/Common/Reachability/FakeReachabilityProbe.h"

namespace fs = std::filesystem;
using solvane::test::FakeProbeInstaller;
using solvane::test::FakeReachabilityProbe;

namespace {

const std::map<uint64_t, std::string> kLogFiles = {
    {0, "Errors.log"}, {1, "Info.log"}, {2, "ImageLoads.log"}, {3, "ImageExports.log"}};

// The facade's part: records every upload; answers at once when told how, else keeps the
// completion for the test to call.
class RecordingDelegate : public QVAppEventTrackerDelegate {
 public:
  using Completion = std::function<void(const std::optional<qv::Error>&)>;
  void eventTrackerDidTrackEventsOnline(QVAppEventTracker&, const std::vector<std::shared_ptr<QVAppEvent>>& events,
                                        Completion sendCompletion) override {
    std::function<std::optional<qv::Error>(size_t)> answer;
    size_t index;
    {
      std::lock_guard lock(mutex);
      uploads.push_back(events);
      index = uploads.size() - 1;
      answer = autoAnswer;
      if (!answer) completions.push_back(sendCompletion);
    }
    cv.notify_all();
    if (answer) sendCompletion(answer(index));
  }
  bool waitForUploads(size_t count) {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, std::chrono::seconds(10), [&] { return uploads.size() >= count; });
  }
  std::vector<std::vector<std::shared_ptr<QVAppEvent>>> uploadsSoFar() {
    std::lock_guard lock(mutex);
    return uploads;
  }
  Completion completion(size_t i) {
    std::lock_guard lock(mutex);
    return completions.at(i);
  }

  std::function<std::optional<qv::Error>(size_t)> autoAnswer;

 private:
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<std::vector<std::shared_ptr<QVAppEvent>>> uploads;
  std::vector<Completion> completions;
};

std::vector<int64_t> codes(const std::vector<std::shared_ptr<QVAppEvent>>& events) {
  std::vector<int64_t> out;
  for (const auto& e : events) out.push_back(e->info.at("QVCodeName").asInt());
  return out;
}

class QVAppEventTrackerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QVAppEventTracker::setAnalyticsVersion(1);
    dir = solvane::test::makeTempDir("tracker");
    tracker = std::make_shared<QVAppEventTracker>();
    tracker->setupStorageBasePath(dir.string(), kLogFiles);
    tracker->setDelegate(delegate);
  }
  std::vector<std::shared_ptr<QVAppEvent>> stored(uint64_t type) {
    return tracker->storageForType(type)->readAllEvents();
  }

  FakeProbeInstaller probe{std::make_shared<FakeReachabilityProbe>(kReachabilityFlagsReachable)};
  fs::path dir;
  std::shared_ptr<QVAppEventTracker> tracker;
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

}  // namespace

TEST(QVAppEventReasons, TableOfTypesAndCodes) {
  struct Case {
    uint64_t type;
    int64_t code;
    std::optional<std::string> reason;
  };
  const Case cases[] = {
      {0, 1, "Load image of wrong size"},
      {0, 3, "App crashed"},
      {0, 4, "Image Validation Failed"},
      {0, 5, "App crashed before launch"},
      {0, 2, "Unknown Error"},
      {0, -7, "Unknown Error"},
      {1, 1, "App was launched"},
      {1, 2, "Sample Image Button Clicked"},
      {1, 3, std::nullopt},
      {2, 42, "Image Load"},
      {3, 0, "Image Export"},
      {4, 1, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + "/" + std::to_string(c.code));
    EXPECT_EQ(QVAppEventTracker::reasonFromEventType(c.type, c.code), c.reason);
  }
}

TEST(QVAppEventForms, UploadFormPerType) {
  QVAppEvent error;
  error.type = 0;
  error.info = {{"QVCodeName", 4}, {"QVReasonName", "Image Validation Failed"}};
  error.appVersion = "2.0";
  error.OSVersion = "12";
  error.locationType = 2;
  error.sessionID = "abc";
  error.callStack.emplace();
  for (int i = 0; i < 25; ++i) error.callStack->push_back("frame " + std::to_string(i));
  const qv::Dictionary form = error.serializeDic();
  EXPECT_EQ(form.at("callstack").asString(),
            "frame 0\nframe 1\nframe 2\nframe 3\nframe 4\nframe 5\nframe 6\nframe 7\nframe 8\nframe 9");
  EXPECT_EQ(qv::Value(form), qv::Value(qv::Dictionary{{"app_v", "2.0"},
                                                      {"os_v", "12"},
                                                      {"location", 2},
                                                      {"num_start_app", "abc"},
                                                      {"code", 4},
                                                      {"type", "Image Validation Failed"},
                                                      {"callstack", form.at("callstack")}}));
  error.callStack.reset();
  EXPECT_FALSE(error.serializeDic().count("callstack"));
  error.callStack.emplace();
  EXPECT_FALSE(error.serializeDic().count("callstack"));

  QVAppEvent load;
  load.type = 2;
  load.info = {{"QVImageExtensionKey", "jpg"},
               {"QVImageSizeKey", "6000x4000"},
               {"QVCountKey", 3},
               {"QVImageCountKey", 7},
               {"QVImageExportTypeKey", 1}};
  const qv::Dictionary loadForm = load.serializeDic();
  EXPECT_EQ(loadForm.at("ext_img").asString(), "jpg");
  EXPECT_EQ(loadForm.at("res_img").asString(), "6000x4000");
  EXPECT_EQ(loadForm.at("num").asInt(), 3);
  EXPECT_EQ(loadForm.at("count_img").asInt(), 7);
  EXPECT_FALSE(loadForm.count("export_type")) << "exports only";
  EXPECT_FALSE(loadForm.count("code"));

  QVAppEvent exported = load;
  exported.type = 3;
  exported.info["QVImageSliderValueKey"] = 0.75;
  const qv::Dictionary exportForm = exported.serializeDic();
  EXPECT_EQ(exportForm.at("export_type").asInt(), 1);
  EXPECT_EQ(exportForm.at("per_slider").asDouble(), 0.75);
  EXPECT_FALSE(exportForm.count("count_img")) << "loads only";
}

TEST(QVAppEventForms, StoredFormIsABinaryPropertyListWithTheFieldsAtTopLevel) {
  QVAppEvent event;
  event.type = 1;
  event.info = {{"QVCodeName", 1}};
  event.appVersion = "2.0";
  event.sessionID = "s";
  const qv::Bytes data = event.archivedData();
  ASSERT_GE(data.size(), 8u);
  EXPECT_EQ(std::string(data.begin(), data.begin() + 8), "bplist00");
  qv::Error error;
  const qv::Value archive = qv::PropertyList::read(data, &error);
  EXPECT_EQ(archive["QVTypeKey"].asInt(), 1);
  EXPECT_EQ(archive["QVInfoKey"]["QVCodeName"].asInt(), 1);
  EXPECT_FALSE(archive.contains("QVCallstackKey")) << "only with a call stack";
  for (const char* key : {"QVAppVersionKey", "QVOSVersionKey", "QVAppLocationTypeKey", "QVAppSessionIDKey"}) {
    EXPECT_TRUE(archive.contains(key)) << key;
  }
  EXPECT_EQ(QVAppEvent::initWithData(qv::Bytes{1, 2, 3}), nullptr);
  EXPECT_EQ(QVAppEvent::initWithData({}), nullptr);
}

TEST_F(QVAppEventTrackerTest, TrackedEventsCarryReasonCallStackAndTheRunsEnvironment) {
  QVAppEventEnvironment::setEnvironmentProvider([] { return QVAppEventEnvironment{"2.1", "12", 1, "feed"}; });
  tracker->setDelegate({});
  tracker->trackEvent(0, 4);
  tracker->trackEvent(1, 2);
  tracker->trackEventsOfType(2, {{{"QVCountKey", 1}}, {{"QVCountKey", 2}}});
  QVAppEventEnvironment::setEnvironmentProvider(nullptr);

  const auto errors = stored(0);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0]->info.at("QVReasonName").asString(), "Image Validation Failed");
  ASSERT_TRUE(errors[0]->callStack);
  EXPECT_FALSE(errors[0]->callStack->empty());
  EXPECT_EQ(errors[0]->appVersion, "2.1");
  EXPECT_EQ(errors[0]->locationType, 1u);
  EXPECT_EQ(errors[0]->sessionID, "feed");
  const auto infos = stored(1);
  ASSERT_EQ(infos.size(), 1u);
  EXPECT_EQ(infos[0]->info.at("QVReasonName").asString(), "Sample Image Button Clicked");
  EXPECT_FALSE(infos[0]->callStack);
  const auto loads = stored(2);
  ASSERT_EQ(loads.size(), 2u);
  EXPECT_EQ(loads[1]->info.at("QVCountKey").asInt(), 2);
}

TEST_F(QVAppEventTrackerTest, DefaultSessionIsLowerCaseHexWithoutHyphens) {
  const std::string session = QVAppEventEnvironment::systemDefault().sessionID;
  EXPECT_EQ(session.size(), 32u);
  EXPECT_EQ(session.find_first_not_of("0123456789abcdef"), std::string::npos) << session;
}

TEST_F(QVAppEventTrackerTest, LaunchIsTrackedOnceAndSetsTheCrashCode) {
  tracker->setDelegate({});
  EXPECT_EQ(tracker->crashTypeForCurrentLaunchStatus(), 5);
  tracker->setAppLaunched(true);
  tracker->setAppLaunched(true);
  EXPECT_EQ(tracker->crashTypeForCurrentLaunchStatus(), 3);
  const auto infos = stored(1);
  ASSERT_EQ(infos.size(), 1u);
  EXPECT_EQ(infos[0]->info.at("QVReasonName").asString(), "App was launched");
  tracker->setAppLaunched(false);
  tracker->setAppLaunched(true);
  EXPECT_EQ(stored(1).size(), 2u) << "a new launch after a reset is a new event";
}

TEST_F(QVAppEventTrackerTest, FailedUploadKeepsTheLogAndTheNextAttemptSendsOldAndNew) {
  tracker->trackEvent(0, 1);
  ASSERT_EQ(delegate->uploadsSoFar().size(), 1u);
  delegate->completion(0)(qv::Error("QVNetworkErrorDomain", 404, "Server error, status code = 500"));
  EXPECT_EQ(stored(0).size(), 1u);
  tracker->trackEvent(0, 4);
  const auto uploads = delegate->uploadsSoFar();
  ASSERT_EQ(uploads.size(), 2u);
  EXPECT_EQ(codes(uploads[1]), (std::vector<int64_t>{1, 4}));
}

TEST_F(QVAppEventTrackerTest, SuccessfulUploadEmptiesTheLogButKeepsRecordsSavedMeanwhile) {
  tracker->trackEvent(0, 1);
  tracker->trackEvent(0, 3);  // saved while the first upload runs: no second upload starts
  ASSERT_EQ(delegate->uploadsSoFar().size(), 1u);
  EXPECT_EQ(codes(delegate->uploadsSoFar()[0]), (std::vector<int64_t>{1}));
  delegate->completion(0)(std::nullopt);
  EXPECT_EQ(codes(stored(0)), (std::vector<int64_t>{3}));
  delegate->completion(0)(std::nullopt);  // a second call of the same completion changes nothing
  EXPECT_EQ(codes(stored(0)), (std::vector<int64_t>{3}));
  tracker->trySendStorage();
  ASSERT_EQ(delegate->uploadsSoFar().size(), 2u);
  delegate->completion(1)(std::nullopt);
  EXPECT_TRUE(stored(0).empty());
}

TEST_F(QVAppEventTrackerTest, RecordsWaitForADelegateAndForTheNetwork) {
  tracker->setDelegate({});
  tracker->trackEvent(2, 0);
  EXPECT_EQ(stored(2).size(), 1u);
  tracker->setDelegate(delegate);
  probe.probe().set(0);
  tracker->trackEvent(2, 0);
  EXPECT_TRUE(delegate->uploadsSoFar().empty()) << "unreachable: no attempt";

  delegate->autoAnswer = [](size_t) { return std::nullopt; };
  tracker->setupReachabilityObserver();
  probe.probe().set(kReachabilityFlagsReachable);  // the monitor's reachable block tries every log
  ASSERT_TRUE(delegate->waitForUploads(1));
  tracker->reachability()->reachabilitySerialQueue()->sync([] {});
  EXPECT_EQ(delegate->uploadsSoFar()[0].size(), 2u);
  EXPECT_TRUE(stored(2).empty());
  tracker->reachability()->stopNotifier();
}

TEST_F(QVAppEventTrackerTest, StartTrackingInstallsTheCaptureAndTriesEveryLog) {
  probe.probe().set(0);
  tracker->trackEvent(2, 0);
  tracker->trackEvent(3, 0);
  EXPECT_TRUE(delegate->uploadsSoFar().empty());
  probe.probe().set(kReachabilityFlagsReachable);  // nobody observes yet
  delegate->autoAnswer = [](size_t) { return std::nullopt; };
  tracker->startTracking();
  EXPECT_TRUE(QVCrashCapture::isInstalled());
  EXPECT_EQ(delegate->uploadsSoFar().size(), 2u) << "one upload per log with records";
  EXPECT_TRUE(stored(2).empty());
  EXPECT_TRUE(stored(3).empty());
  tracker->unsubscribeForUncaughtExceptions();
  EXPECT_FALSE(QVCrashCapture::isInstalled());
  tracker->reachability()->stopNotifier();
}

TEST_F(QVAppEventTrackerTest, NewAnalyticsVersionStartsTheLogsAfresh) {
  tracker->setDelegate({});
  tracker->trackEvent(3, 0);
  auto again = std::make_shared<QVAppEventTracker>();
  again->setupStorageBasePath(dir.string(), kLogFiles);
  EXPECT_EQ(again->storageForType(3)->readAllEvents().size(), 1u) << "same version: kept";
  QVAppEventTracker::setAnalyticsVersion(0);
  auto upgraded = std::make_shared<QVAppEventTracker>();
  upgraded->setupStorageBasePath(dir.string(), kLogFiles);
  EXPECT_TRUE(upgraded->storageForType(3)->readAllEvents().empty());
  EXPECT_EQ(QVAppEventTracker::analyticsVersion(), 1);
}

// ---- Crashes ----------------------------------------------------------------------------------

namespace {

// Runs `crash` in a child process with the crash capture installed; returns how it ended.
int crashInChild(QVAppEventTracker& tracker, const std::function<void()>& crash) {
  const pid_t child = fork();
  if (child == 0) {
    rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    tracker.subscribeForUncaughtExceptions();
    crash();
    _exit(99);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return status;
}

}  // namespace

TEST_F(QVAppEventTrackerTest, FatalSignalLeavesOneCrashEventAndDiesByTheSameSignal) {
  tracker->setDelegate({});
  tracker->setAppLaunched(true);
  const int status = crashInChild(*tracker, [] { raise(SIGSEGV); });
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGSEGV);

  auto nextRun = std::make_shared<QVAppEventTracker>();
  nextRun->setupStorageBasePath(dir.string(), kLogFiles);
  nextRun->waitForCrashNotes();
  const auto crashes = nextRun->storageForType(0)->readAllEvents();
  ASSERT_EQ(crashes.size(), 1u);
  EXPECT_EQ(crashes[0]->type, 0u);
  EXPECT_EQ(crashes[0]->info.at("QVCodeName").asInt(), 3);
  EXPECT_EQ(crashes[0]->info.at("QVReasonName").asString(), "Kernel Crash: Segmentation fault, Signal: SEGV");
  ASSERT_TRUE(crashes[0]->callStack);
  EXPECT_FALSE(crashes[0]->callStack->empty());
  EXPECT_EQ(crashes[0]->sessionID, QVAppEventEnvironment::current().sessionID) << "the crashed run's session";

  auto thirdRun = std::make_shared<QVAppEventTracker>();
  thirdRun->setupStorageBasePath(dir.string(), kLogFiles);
  thirdRun->waitForCrashNotes();
  EXPECT_EQ(thirdRun->storageForType(0)->readAllEvents().size(), 1u) << "a note becomes an event once";
}

TEST_F(QVAppEventTrackerTest, UncaughtExceptionLeavesOneCrashEventAndAborts) {
  tracker->setDelegate({});
  const int status =
      crashInChild(*tracker, [] { std::thread([] { throw std::runtime_error("Disk on fire"); }).join(); });
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGABRT);

  auto nextRun = std::make_shared<QVAppEventTracker>();
  nextRun->setupStorageBasePath(dir.string(), kLogFiles);
  nextRun->waitForCrashNotes();
  const auto crashes = nextRun->storageForType(0)->readAllEvents();
  ASSERT_EQ(crashes.size(), 1u);
  EXPECT_EQ(crashes[0]->info.at("QVCodeName").asInt(), 5);
  EXPECT_EQ(crashes[0]->info.at("QVReasonName").asString(), "Exception Crash: Disk on fire");
}

// Many notes (a crash loop) become events at start-up in one pass, only the newest of them, and
// the start-up does not wait for them.
TEST_F(QVAppEventTrackerTest, ManyCrashNotesKeepOnlyTheNewest) {
  const size_t count = 5000;
  tracker->waitForCrashNotes();  // the fixture's own set-up is done with the notes file
  {
    std::ofstream notes(dir / kQVCrashNotesFileName);
    for (size_t i = 0; i < count; ++i)
      notes << "QVCrashNote\ncode 3\nreason crash " << i << "\napp 1\nos x\nlocation 0\nsession s\nstack\nframe\nend\n";
  }
  auto nextRun = std::make_shared<QVAppEventTracker>();
  nextRun->setupStorageBasePath(dir.string(), kLogFiles);
  nextRun->waitForCrashNotes();
  const auto crashes = nextRun->storageForType(0)->readAllEvents();
  ASSERT_EQ(crashes.size(), QVCrashCapture::kMaximumCrashNotes);
  EXPECT_EQ(crashes.front()->info.at("QVReasonName").asString(),
            "crash " + std::to_string(count - QVCrashCapture::kMaximumCrashNotes));
  EXPECT_EQ(crashes.back()->info.at("QVReasonName").asString(), "crash " + std::to_string(count - 1));
  EXPECT_FALSE(fs::exists(dir / kQVCrashNotesFileName)) << "read once, then gone";
}

TEST(QVCrashCaptureSignals, ReasonsUseTheSystemsDescriptionAndShortName) {
  EXPECT_EQ(QVCrashCapture::signals(), (std::vector<int>{SIGABRT, SIGILL, SIGSEGV, SIGFPE, SIGBUS}));
  EXPECT_EQ(QVCrashCapture::signalReason(SIGABRT), "Kernel Crash: Aborted, Signal: ABRT");
  EXPECT_EQ(QVCrashCapture::signalReason(SIGBUS), "Kernel Crash: Bus error, Signal: BUS");
}

// ---- Concurrency ------------------------------------------------------------------------------

// Several threads track events while uploads succeed and fail: every record is delivered by
// exactly one successful upload or is still in the log.
TEST_F(QVAppEventTrackerTest, ConcurrentTrackingLosesAndDuplicatesNothing) {
  std::mutex mutex;
  std::multiset<int64_t> delivered;
  delegate->autoAnswer = [&](size_t index) -> std::optional<qv::Error> {
    if (index % 3 == 0) return qv::Error("QVNetworkErrorDomain", 404, "down");
    const auto uploads = delegate->uploadsSoFar();
    std::lock_guard lock(mutex);
    for (int64_t code : codes(uploads[index])) delivered.insert(code);
    return std::nullopt;
  };
  constexpr int kThreads = 4, kPerThread = 40;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        tracker->trackEvent(0, {{"QVCodeName", t * 1000 + i}}, std::nullopt);
        if (i % 7 == 0) tracker->trySendStorage();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::multiset<int64_t> all = delivered;
  for (int64_t code : codes(stored(0))) all.insert(code);
  EXPECT_EQ(all.size(), size_t(kThreads * kPerThread));
  EXPECT_EQ(std::set<int64_t>(all.begin(), all.end()).size(), all.size()) << "no record twice";
}

// The notes file is one of the program's own: whatever else is at its name is never waited on (a
// FIFO held the quit, which waits for the notes' reader), never read through (a link to /dev/zero
// or to another file), and a file grown past any run's notes is read only at its end.
TEST_F(QVAppEventTrackerTest, CrashNotesOfEveryKindAreReadBoundedOrLeftAlone) {
  using solvane::test::Put;
  tracker->waitForCrashNotes();
  const std::string note = "QVCrashNote\ncode 3\nreason last crash\napp 1\nos x\nlocation 0\nsession s\nstack\nend\n";
  struct Case {
    Put put;
    size_t events;
  };
  for (const Case& c : {Case{Put::Fifo, 0}, Case{Put::LinkToZero, 0}, Case{Put::LinkToFile, 0},
                        Case{Put::DanglingLink, 0}, Case{Put::Folder, 0}, Case{Put::File, 1}}) {
    const fs::path run = solvane::test::makeTempDir("notes");
    const fs::path notes = run / kQVCrashNotesFileName, victim = run / "victim";
    solvane::test::place(c.put, notes, victim);
    if (c.put == Put::File) {
      // Many megabytes of an old crash loop, the newest note last.
      std::ofstream out(notes, std::ios::binary | std::ios::trunc);
      const std::string old(1000, 'x');
      for (int i = 0; i < 5000; ++i) out << "QVCrashNote\ncode 3\nreason " << old << "\nstack\nend\n";
      out << note;
    }
    auto nextRun = std::make_shared<QVAppEventTracker>();
    ASSERT_TRUE(solvane::test::endsSoon([&] {
      nextRun->setupStorageBasePath(run.string(), kLogFiles);
      nextRun->waitForCrashNotes();
    })) << solvane::test::describe(c.put);
    const auto crashes = nextRun->storageForType(0)->readAllEvents();
    if (c.put == Put::File) {
      ASSERT_EQ(crashes.size(), QVCrashCapture::kMaximumCrashNotes);
      EXPECT_EQ(crashes.back()->info.at("QVReasonName").asString(), "last crash");
    } else {
      EXPECT_EQ(crashes.size(), c.events) << solvane::test::describe(c.put);
    }
    EXPECT_EQ(solvane::test::contents(victim), "victim")
        << "neither read nor emptied through " << solvane::test::describe(c.put);
  }
}

// The capture's own note file is opened at install: never through a link, never a FIFO.
TEST(QVCrashCaptureInstall, OnlyARegularFileOrAFreeNameTakesTheNotes) {
  using solvane::test::Put;
  for (Put put : {Put::Nothing, Put::File, Put::Fifo, Put::LinkToFile, Put::LinkToZero, Put::DanglingLink}) {
    const fs::path dir = solvane::test::makeTempDir("install");
    const fs::path notes = dir / "Crash.notes", victim = dir / "victim";
    solvane::test::place(put, notes, victim);
    bool installed = false;
    ASSERT_TRUE(solvane::test::endsSoon([&] { installed = QVCrashCapture::install(notes.string(), "1", "x", 0, "s"); }))
        << solvane::test::describe(put);
    EXPECT_EQ(installed, put == Put::Nothing || put == Put::File) << solvane::test::describe(put);
    QVCrashCapture::uninstall();
    EXPECT_EQ(solvane::test::contents(victim), "victim") << solvane::test::describe(put);
  }
}
