// The plug-in controller headless: the host's arguments in a mode manager of the test's own, the
// facade's completions run by the test, the real export writer into a temporary folder, and the
// quit, the alerts and the host notifications recorded. Delays run on the main executor's manual
// clock.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Business/QVImageSettingsManager.h"
#include "QVPlatform/NotificationCenter.h"
#include "common/TestSupport.h"
#include "tests/Ombrel/Classes/Application/PluginMode/PluginTestSupport.h"

namespace fs = std::filesystem;
using namespace plugin_test;
using solvane::test::makeTempDir;

namespace {

class QVPluginControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qv::MainExecutor::shared().runUntilIdle();
    dir = makeTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override {
    controller.reset();
    // Scheduled quits of this test go (the recorders outlive them).
    qv::MainExecutor::shared().advance(5);
    qv::MainExecutor::shared().runUntilIdle();
  }

  // The controller over a mode manager configured with these arguments (after the program path).
  void start(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "Solvane");
    manager.configureWithArguments(arguments);
    QVPluginController::Services services;
    services.facade = facade;
    services.writer = writer;
    services.alerts = alerts;
    services.terminator = terminator;
    services.notifier = notifier;
    services.modeManager = &manager;
    controller = QVPluginController::make(services);
    controller->setProgressUpdater(updater);
  }
  std::string file(const std::string& name, const std::string& type = kUTTypeJPEG) {
    const auto path = dir / name;
    writeImageFile(path, type);
    return path.string();
  }
  // Runs the main executor's due work, then moves its clock by `seconds`.
  void advance(double seconds) {
    auto& main = qv::MainExecutor::shared();
    main.runUntilIdle();
    main.advance(seconds);
    main.runUntilIdle();
  }

  fs::path dir;
  QVSPluginModeManager manager;
  std::shared_ptr<FakeFacade> facade = std::make_shared<FakeFacade>();
  std::shared_ptr<TestWriter> writer = std::make_shared<TestWriter>();
  std::shared_ptr<RecordingAlerts> alerts = std::make_shared<RecordingAlerts>();
  std::shared_ptr<RecordingTerminator> terminator = std::make_shared<RecordingTerminator>();
  std::shared_ptr<RecordingNotifier> notifier = std::make_shared<RecordingNotifier>();
  std::shared_ptr<RecordingUpdater> updater = std::make_shared<RecordingUpdater>();
  std::shared_ptr<QVPluginController> controller;
};

TEST_F(QVPluginControllerTest, SavePathTable) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::string source, expected;
  } cases[] = {
      {"in place when the save path is the host image",
       {"-QVImagePath", "/h/a.jpg", "-QVSavePath", "/h/a.jpg"},
       "/h/a.jpg",
       "/h/a.jpg"},
      {"the source's pair",
       {"-QVSavePair", "/h/a.jpg", "/o/a-edit.tif", "-QVSavePair", "/h/b.jpg", "/o/b.png"},
       "/h/b.jpg",
       "/o/b.png"},
      {"a pair wins over the save path's extension",
       {"-QVSavePath", "/o/s.tif", "-QVSavePair", "/h/a.jpg", "/o/p.png"},
       "/h/a.jpg",
       "/o/p.png"},
      {"the extension taken from the save path",
       {"-QVImagePath", "/h/x.jpg", "-QVSavePath", "/o/y.tif"},
       "/h/b.jpg",
       "/h/b.tif"},
      {"fallback: the source itself", {"-QVImagePath", "/h/x.jpg"}, "/h/b.jpg", "/h/b.jpg"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    start(c.arguments);
    EXPECT_EQ(controller->savePathForPath(c.source), c.expected);
  }
  start({"-QVImagePath", "/h/x.jpg", "-QVSavePath", "/o/y.tif"});
  EXPECT_EQ(controller->exportPath(), "/o/y.tif");
  EXPECT_EQ(controller->paths(), std::vector<std::string>{"/h/x.jpg"});
}

TEST_F(QVPluginControllerTest, OutputTypeTable) {
  struct Case {
    const char* name;
    bool extras;
    std::string readType, output, expected;
  } cases[] = {
      {"the host's JPEG", false, kUTTypeJPEG, "/o/a.jpg", kUTTypeJPEG},
      {"a target ending in tiff", false, kUTTypeJPEG, "/o/a.tiff", kUTTypeTIFF},
      {"any case of tiff", false, kUTTypePNG, "/o/a.TIFF", kUTTypeTIFF},
      {"tif keeps the host's type", false, kUTTypeJPEG, "/o/a.tif", kUTTypeJPEG},
      {"extras: always TIFF", true, kUTTypeJPEG, "/o/a.jpg", kUTTypeTIFF},
      {"no type read", false, "", "/o/a.jpg", kUTTypeTIFF},
      {"a type we cannot write", false, kUTTypeRawImage, "/o/a.cr2", kUTTypeTIFF},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    start(c.extras ? std::vector<std::string>{"-QVExtrasPath", "/h/res"} : std::vector<std::string>{});
    EXPECT_EQ(controller->outputTypeFor(c.readType, c.output), c.expected);
  }
}

TEST_F(QVPluginControllerTest, AnUnreadableHostImageIsWrittenAsTIFF) {
  const std::string host = (dir / "host.jpg").string();
  std::ofstream(host) << "not an image";
  // The save path's extension on the host image's name: written in place.
  start({"-QVImagePath", host, "-QVSavePath", (dir / "elsewhere.jpg").string(), "-QVPluginMode"});
  ASSERT_TRUE(controller->exportImages());
  facade->complete(host);
  advance(0);
  EXPECT_EQ(fileType(host), kUTTypeTIFF);
}

TEST_F(QVPluginControllerTest, ProgressSequencesForOneTwoAndThreeImages) {
  const std::vector<std::vector<std::string>> expected = {
      {"started", "0/1", "1/1"},
      {"started", "0/2", "1/2", "2/2"},
      {"started", "0/3", "1/3", "2/3", "3/3"},
  };
  for (size_t n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    std::vector<std::string> arguments = {"-QVPluginMode"};
    std::vector<std::string> sources;
    for (size_t i = 0; i < n; ++i) {
      sources.push_back(file("p" + std::to_string(n) + std::to_string(i) + ".jpg"));
      arguments.insert(arguments.end(), {"-QVSavePair", sources.back(), sources.back() + ".out.jpg"});
    }
    start(arguments);
    updater->calls.clear();
    notifier->posted.clear();
    writer->written.clear();
    ASSERT_TRUE(controller->exportImages());
    EXPECT_EQ(facade->pending.size(), n) << "every image is asked at once";
    for (size_t i = 0; i < n; ++i) {
      EXPECT_TRUE(notifier->posted.empty()) << "nothing ends before the last image";
      EXPECT_TRUE(writer->written.empty());
      facade->complete(sources[i]);
      advance(0);
    }
    EXPECT_EQ(updater->calls, expected[n - 1]);
    EXPECT_EQ(writer->written.size(), n);
    EXPECT_EQ(notifier->posted, std::vector<std::string>{kQVHostTerminationOK});
  }
}

TEST_F(QVPluginControllerTest, ThreeImagesOneFailingGiveTwoFilesOneOkAndAQuitOneSecondLater) {
  std::vector<std::string> sources = {file("a.jpg"), file("b.jpg"), file("c.jpg")};
  std::vector<std::string> arguments = {"-QVLightroomPluginOwner", "-QVPluginMode"};
  for (const auto& s : sources) arguments.insert(arguments.end(), {"-QVSavePair", s, s + ".result.jpg"});
  start(arguments);
  ASSERT_TRUE(controller->exportImages());
  EXPECT_TRUE(facade->exporting);
  facade->complete(sources[1], false);
  facade->complete(sources[0]);
  facade->complete(sources[2]);
  advance(0);
  const double last = qv::MainExecutor::shared().now();
  EXPECT_TRUE(fs::exists(sources[0] + ".result.jpg"));
  EXPECT_FALSE(fs::exists(sources[1] + ".result.jpg"));
  EXPECT_TRUE(fs::exists(sources[2] + ".result.jpg"));
  EXPECT_EQ(controller->exportedPaths().size(), 2u);
  EXPECT_EQ(notifier->posted, std::vector<std::string>{kQVHostTerminationOK});
  EXPECT_EQ(manager.runState(), QVSPluginModeManager::RunState::Applied);
  EXPECT_FALSE(facade->exporting);
  EXPECT_EQ(std::count(facade->calls.begin(), facade->calls.end(), "track 3 type 0"), 1);
  EXPECT_EQ(std::count(facade->calls.begin(), facade->calls.end(), "saved"), 2);
  advance(0.99);
  EXPECT_TRUE(terminator->times.empty());
  advance(0.02);
  ASSERT_EQ(terminator->times.size(), 1u);
  EXPECT_NEAR(terminator->times[0] - last, 1.0, 0.011);
}

TEST_F(QVPluginControllerTest, CompletionsHopToTheMainThreadBeforeTouchingTheCount) {
  const std::string a = file("a.jpg"), b = file("b.jpg");
  start({"-QVSavePair", a, a + ".out.jpg", "-QVSavePair", b, b + ".out.jpg", "-QVPluginMode"});
  controller->exportImages();
  EXPECT_EQ(controller->processingPart(), 1u);
  std::thread worker([&] { facade->complete(a); });
  worker.join();
  EXPECT_EQ(controller->processingPart(), 1u) << "nothing changed off the main thread";
  EXPECT_EQ(updater->calls.size(), 2u);
  qv::MainExecutor::shared().runUntilIdle();
  EXPECT_EQ(controller->processingPart(), 2u);
  EXPECT_EQ(updater->calls.back(), "1/2");
}

TEST_F(QVPluginControllerTest, NoPathsEndsAtOnceButTheApplyCommandStartsNothing) {
  start({"-QVPluginMode"});
  EXPECT_FALSE(controller->exportImages());
  EXPECT_FALSE(controller->prepareExportPaths({"/elsewhere.jpg"}));
  EXPECT_TRUE(notifier->posted.empty());
  EXPECT_TRUE(facade->calls.empty());

  controller->exportWithType(0);
  EXPECT_EQ(updater->calls, (std::vector<std::string>{"started", "0/0"}));
  EXPECT_EQ(notifier->posted, std::vector<std::string>{kQVHostTerminationOK});
  EXPECT_EQ(manager.runState(), QVSPluginModeManager::RunState::Applied);
  EXPECT_FALSE(facade->exporting);
  advance(1.0);
  EXPECT_EQ(terminator->times.size(), 1u);
}

TEST_F(QVPluginControllerTest, WithoutAHostImageEachResultTakesItsOwnSourcesType) {
  const std::string png = file("a.png", kUTTypePNG), jpeg = file("b.jpg", kUTTypeJPEG);
  const std::string pngOut = (dir / "a-out.img").string(), jpegOut = (dir / "b-out.img").string();
  start({"-QVSavePair", png, pngOut, "-QVSavePair", jpeg, jpegOut, "-QVPluginMode"});
  controller->exportImages();
  facade->complete(png);
  facade->complete(jpeg);
  advance(0);
  EXPECT_EQ(fileType(pngOut), kUTTypePNG);
  EXPECT_EQ(fileType(jpegOut), kUTTypeJPEG);

  // With a host image its type is every result's.
  const std::string host = file("host.png", kUTTypePNG);
  const std::string out = (dir / "c-out.img").string();
  start({"-QVImagePath", host, "-QVSavePair", jpeg, out, "-QVPluginMode"});
  controller->exportImages();
  facade->complete(jpeg);
  advance(0);
  EXPECT_EQ(fileType(out), kUTTypePNG);
}

TEST_F(QVPluginControllerTest, AWriteInPlaceReplacesTheOriginalOnlyWhenItSucceeds) {
  const std::string host = file("host.jpg");
  struct stat before {};
  ASSERT_EQ(::stat(host.c_str(), &before), 0);
  start({"-QVImagePath", host, "-QVSavePath", host, "-QVPluginMode"});
  controller->exportImages();
  facade->complete(host);
  advance(0);
  struct stat after {};
  ASSERT_EQ(::stat(host.c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino) << "written beside it and renamed over it";
  EXPECT_NEAR(firstComponent(host), 200, 3) << "the result replaced the original";
  EXPECT_EQ(fileType(host), kUTTypeJPEG);

  // A write that fails leaves the original whole, is shown once and the run still ends.
  const std::string other = file("other.jpg");
  std::ifstream in(other, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  writer->failing = {other};
  notifier->posted.clear();
  start({"-QVImagePath", other, "-QVSavePath", other, "-QVPluginMode"});
  controller->exportImages();
  facade->complete(other);
  advance(0);
  std::ifstream again(other, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), {}), bytes);
  EXPECT_EQ(alerts->shown, 1);
  EXPECT_EQ(notifier->posted, std::vector<std::string>{kQVHostTerminationOK});
  EXPECT_TRUE(controller->exportedPaths().empty());
}

TEST_F(QVPluginControllerTest, StrengthZeroWritesTheSourceThroughTheApplicationsBlend) {
  facade->blender = QVPluginController::makeAppFacade();
  const std::string zero = file("zero.jpg"), full = file("full.jpg");
  QVApp::imageSettingsManager()->updateAmount(0.0, zero);
  QVApp::imageSettingsManager()->updateAmount(1.0, full);
  start({"-QVSavePair", zero, zero + ".out.png", "-QVSavePair", full, full + ".out.png", "-QVPluginMode"});
  controller->exportImages();
  facade->complete(zero);
  facade->complete(full);
  advance(0);
  EXPECT_EQ(firstComponent(zero + ".out.png"), 40) << "the unprocessed source";
  EXPECT_EQ(firstComponent(full + ".out.png"), 200) << "the processed image";
}

TEST_F(QVPluginControllerTest, ACancelInPluginModePostsCancelThenOkAndQuitsAfterAThirdOfASecond) {
  int willTerminate = 0;
  auto token = qv::NotificationCenter::defaultCenter().addObserver(kQVApplicationWillTerminateNotification, nullptr,
                                                                   [&](const qv::Notification&) { ++willTerminate; });
  const std::string a = file("a.jpg");
  start({"-QVImagePath", a, "-QVSavePath", a, "-QVPluginMode"});
  controller->exportImages();
  const double began = qv::MainExecutor::shared().now();
  controller->cancelPlugin();
  EXPECT_EQ(notifier->posted, (std::vector<std::string>{kQVHostTerminationCancel, kQVHostTerminationOK}));
  EXPECT_EQ(manager.runState(), QVSPluginModeManager::RunState::Cancelled);
  EXPECT_NE(std::find(facade->calls.begin(), facade->calls.end(), "cancel and clean"), facade->calls.end());
  // A late answer of the cancelled run writes nothing.
  facade->complete(a);
  advance(0.29);
  EXPECT_NEAR(firstComponent(a), 90, 3) << "the host's image is untouched";
  EXPECT_TRUE(terminator->times.empty());
  EXPECT_EQ(willTerminate, 0);
  advance(0.02);
  ASSERT_EQ(terminator->times.size(), 1u);
  EXPECT_NEAR(terminator->times[0] - began, 0.3, 0.011);
  EXPECT_EQ(willTerminate, 1);

  // Outside plug-in mode: nothing is posted, but the application still ends.
  notifier->posted.clear();
  start({"-QVImagePath", a});
  controller->cancelPlugin();
  advance(0.3);
  EXPECT_TRUE(notifier->posted.empty());
  EXPECT_EQ(terminator->times.size(), 2u);
}

TEST_F(QVPluginControllerTest, TheUsersCancelDropsTheRunAndAnotherExportStartsAfresh) {
  const std::string a = file("a.jpg");
  start({"-QVSavePair", a, a + ".out.jpg", "-QVPluginMode"});
  controller->exportImages();
  controller->cancelProcessing();
  EXPECT_FALSE(facade->exporting);
  facade->complete(a);
  advance(2);
  EXPECT_FALSE(fs::exists(a + ".out.jpg"));
  EXPECT_TRUE(notifier->posted.empty());
  EXPECT_TRUE(terminator->times.empty());
  controller->exportImages();
  facade->complete(a);
  advance(0);
  EXPECT_TRUE(fs::exists(a + ".out.jpg"));
}

}  // namespace
