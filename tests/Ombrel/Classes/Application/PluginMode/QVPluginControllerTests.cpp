// The plug-in controller headless: the host's arguments in a mode manager of the test's own, the
// facade's completions run by the test, the real export writer into a temporary folder, and the
// quit, the alerts and the host notifications recorded. Delays run on the main executor's manual
// clock.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Business/QVImageSettingsManager.h"
#include "QVPlatform/NotificationCenter.h"
#include "common/TestSupport.h"
#include "rova/Color.h"
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
    bool named;  // the host named exactly that file
  } cases[] = {
      {"in place when the save path is the host image",
       {"-QVImagePath", "/h/a.jpg", "-QVSavePath", "/h/a.jpg"},
       "/h/a.jpg",
       "/h/a.jpg",
       true},
      {"the source's pair",
       {"-QVSavePair", "/h/a.jpg", "/o/a-edit.tif", "-QVSavePair", "/h/b.jpg", "/o/b.png"},
       "/h/b.jpg",
       "/o/b.png",
       true},
      {"a pair wins over the save path's extension",
       {"-QVSavePath", "/o/s.tif", "-QVSavePair", "/h/a.jpg", "/o/p.png"},
       "/h/a.jpg",
       "/o/p.png",
       true},
      {"a pair wins over a save path that is the host image",
       {"-QVImagePath", "/h/a.jpg", "-QVSavePath", "/h/a.jpg", "-QVSavePair", "/h/b.jpg", "/o/b.jpg"},
       "/h/b.jpg",
       "/o/b.jpg",
       true},
      {"the host image goes to its save path, in another folder too",
       {"-QVImagePath", "/h/x.jpg", "-QVSavePath", "/o/y.tif"},
       "/h/x.jpg",
       "/o/y.tif",
       true},
      {"another source: the save path's extension beside it",
       {"-QVImagePath", "/h/x.jpg", "-QVSavePath", "/o/y.tif"},
       "/h/b.jpg",
       "/h/b.tif",
       false},
      {"the host's one file handed over alone: in place", {"/h/x.jpg"}, "/h/x.jpg", "/h/x.jpg", true},
      {"fallback: the source itself, not named", {"-QVImagePath", "/h/x.jpg"}, "/h/b.jpg", "/h/b.jpg", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // A plain file argument is a host image only when it exists.
    std::vector<std::string> arguments = c.arguments;
    if (arguments.size() == 1) arguments = {"-QVImagePath", arguments[0]};
    start(arguments);
    bool named = !c.named;
    EXPECT_EQ(controller->savePathForPath(c.source, &named), c.expected);
    EXPECT_EQ(named, c.named);
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
      {"the name's JPEG", false, kUTTypeJPEG, "/o/a.jpg", kUTTypeJPEG},
      {"a target ending in tiff", false, kUTTypeJPEG, "/o/a.tiff", kUTTypeTIFF},
      {"any case of tiff", false, kUTTypePNG, "/o/a.TIFF", kUTTypeTIFF},
      {"a .tif name holds a TIFF, whatever the source", false, kUTTypeJPEG, "/o/a.tif", kUTTypeTIFF},
      {"a .png name holds a PNG", false, kUTTypeJPEG, "/o/a.png", kUTTypePNG},
      {"extras never put TIFF under a .jpg name", true, kUTTypeJPEG, "/o/a.jpg", kUTTypeJPEG},
      {"no extension: the type read", false, kUTTypePNG, "/o/a", kUTTypePNG},
      {"no extension with extras: TIFF", true, kUTTypeJPEG, "/o/a", kUTTypeTIFF},
      {"no extension, no type read: TIFF", false, "", "/o/a", kUTTypeTIFF},
      {"no extension, a type we cannot write: TIFF", false, kUTTypeRawImage, "/o/a", kUTTypeTIFF},
      {"an extension no writer writes: none", false, kUTTypeRawImage, "/o/a.cr2", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    start(c.extras ? std::vector<std::string>{"-QVExtrasPath", "/h/res"} : std::vector<std::string>{});
    EXPECT_EQ(controller->outputTypeFor(c.readType, c.output), c.expected);
  }
}

// Where each result of a run lands, what it holds and which files stay as they were: the host's and
// the user's files are replaced only when the host named exactly that file, a camera RAW never,
// two results never share a file, and every failure reaches the host with its reason.
TEST_F(QVPluginControllerTest, SaveRulesTable) {
  struct Case {
    const char* name;
    // Files made first: relative path and kind ("jpeg", "png", "raw", "folder", "link:<relative target>";
    // "read-only jpeg", "read-only folder": without any write permission).
    std::vector<std::pair<std::string, std::string>> files;
    // The arguments; "@" stands for the case's folder.
    std::vector<std::string> arguments;
    std::vector<std::pair<std::string, std::string>> written;  // relative path, type (each a result)
    std::vector<std::string> untouched;                        // relative paths left as they were
    bool fails;
  } cases[] = {
      {"a save path in another folder is honoured, the original untouched",
       {{"h/a.jpg", "jpeg"}, {"o", "folder"}},
       {"-QVImagePath", "@/h/a.jpg", "-QVSavePath", "@/o/a.jpg"},
       {{"o/a.jpg", kUTTypeJPEG}},
       {"h/a.jpg"},
       false},
      {"a .tif save path holds a TIFF",
       {{"h/a.jpg", "jpeg"}},
       {"-QVImagePath", "@/h/a.jpg", "-QVSavePath", "@/h/a.tif"},
       {{"h/a.tif", kUTTypeTIFF}},
       {"h/a.jpg"},
       false},
      {"in place when asked for exactly: a complete file over it",
       {{"h/a.jpg", "jpeg"}},
       {"-QVImagePath", "@/h/a.jpg", "-QVSavePath", "@/h/a.jpg"},
       {{"h/a.jpg", kUTTypeJPEG}},
       {},
       false},
      {"a camera RAW handed over alone: a TIFF beside it",
       {{"h/p.dng", "raw"}},
       {"@/h/p.dng"},
       {{"h/p.tif", kUTTypeTIFF}},
       {"h/p.dng"},
       false},
      {"a camera RAW as its own save path: beside it under a free name",
       {{"h/p.dng", "raw"}, {"h/p.tif", "png"}},
       {"-QVImagePath", "@/h/p.dng", "-QVSavePath", "@/h/p.dng"},
       {{"h/p_2.tif", kUTTypeTIFF}},
       {"h/p.dng", "h/p.tif"},
       false},
      {"two pairs bound for one target: the second under a free name",
       {{"h/a.jpg", "jpeg"}, {"h/b.jpg", "jpeg"}, {"o", "folder"}},
       {"-QVSavePair", "@/h/a.jpg", "@/o/same.jpg", "-QVSavePair", "@/h/b.jpg", "@/o/./same.jpg"},
       {{"o/same.jpg", kUTTypeJPEG}, {"o/same_2.jpg", kUTTypeJPEG}},
       {"h/a.jpg", "h/b.jpg"},
       false},
      {"a name no writer writes: a TIFF of that name",
       {{"h/a.jpg", "jpeg"}, {"o", "folder"}},
       {"-QVSavePair", "@/h/a.jpg", "@/o/a.psd"},
       {{"o/a.tif", kUTTypeTIFF}},
       {"h/a.jpg"},
       false},
      {"a link at the save path is replaced, never followed",
       {{"h/a.jpg", "jpeg"}, {"u/keep.jpg", "jpeg"}, {"o/link.jpg", "link:u/keep.jpg"}},
       {"-QVImagePath", "@/h/a.jpg", "-QVSavePath", "@/o/link.jpg"},
       {{"o/link.jpg", kUTTypeJPEG}},
       {"h/a.jpg", "u/keep.jpg"},
       false},
      {"a folder at the save path: a failure",
       {{"h/a.jpg", "jpeg"}, {"o/a.jpg", "folder"}},
       {"-QVImagePath", "@/h/a.jpg", "-QVSavePath", "@/o/a.jpg"},
       {},
       {"h/a.jpg"},
       true},
      {"a read-only host photo edited in place: refused, kept as it was",
       {{"h/a.jpg", "read-only jpeg"}},
       {"@/h/a.jpg"},
       {},
       {"h/a.jpg"},
       true},
      {"a read-only save path: refused, the other result still written",
       {{"h/a.jpg", "jpeg"}, {"h/b.jpg", "jpeg"}, {"o/a.jpg", "read-only jpeg"}},
       {"-QVSavePair", "@/h/a.jpg", "@/o/a.jpg", "-QVSavePair", "@/h/b.jpg", "@/o/b.jpg"},
       {{"o/b.jpg", kUTTypeJPEG}},
       {"h/a.jpg", "o/a.jpg"},
       true},
      {"a read-only folder: nothing written into it",
       {{"h/a.jpg", "jpeg"}, {"o/keep.jpg", "jpeg"}, {"o", "read-only folder"}},
       {"-QVImagePath", "@/h/a.jpg", "-QVSavePath", "@/o/a.jpg"},
       {},
       {"h/a.jpg", "o/keep.jpg"},
       true},
      {"a name that is not UTF-8: written and reported by its exact bytes",
       {{"h/caf\xe9.jpg", "jpeg"}},
       {"-QVImagePath", "@/h/caf\xe9.jpg", "-QVSavePath", "@/h/caf\xe9-out.jpg"},
       {{"h/caf\xe9-out.jpg", kUTTypeJPEG}},
       {"h/caf\xe9.jpg"},
       false},
      {"a missing folder: a failure, the other result still written",
       {{"h/a.jpg", "jpeg"}, {"h/b.jpg", "jpeg"}},
       {"-QVSavePair", "@/h/a.jpg", "@/nowhere/a.jpg", "-QVSavePair", "@/h/b.jpg", "@/h/b-out.jpg"},
       {{"h/b-out.jpg", kUTTypeJPEG}},
       {"h/a.jpg", "h/b.jpg"},
       true},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path root = dir / ("case" + std::to_string(n++));
    std::map<std::string, std::string> before;
    for (const auto& [relative, kind] : c.files) {
      const fs::path path = root / relative;
      fs::create_directories(kind == "folder" || kind == "read-only folder" ? path : path.parent_path());
      if (kind == "jpeg" || kind == "png") writeImageFile(path, kind == "png" ? kUTTypePNG : kUTTypeJPEG);
      if (kind == "raw") ASSERT_TRUE(writeCameraRaw(path));
      if (kind.rfind("link:", 0) == 0) fs::create_symlink(root / kind.substr(5), path);
      if (kind == "read-only jpeg") writeImageFile(path, kUTTypeJPEG);
      if (kind.rfind("read-only", 0) == 0)
        fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read |
                                  (kind == "read-only folder" ? fs::perms::owner_exec : fs::perms::none));
    }
    for (const auto& relative : c.untouched) before[relative] = contents(root / relative);
    std::vector<std::string> arguments;
    for (auto argument : c.arguments) {
      if (!argument.empty() && argument[0] == '@') argument = root.string() + argument.substr(1);
      arguments.push_back(argument);
    }
    arguments.push_back("-QVPluginMode");
    notifier->clear();
    alerts->reasons.clear();
    const size_t quits = terminator->statuses.size();
    start(arguments);
    ASSERT_TRUE(controller->exportImages());
    for (const auto& source : controller->paths()) facade->complete(source);
    advance(0);
    for (const auto& [relative, type] : c.written) {
      EXPECT_EQ(fileType(root / relative), type) << relative;
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(root / relative))) << relative << " is a file of its own";
    }
    for (const auto& relative : c.untouched) EXPECT_EQ(contents(root / relative), before[relative]) << relative;
    // The host learns where every result went, by the exact bytes of its name, and of every failure
    // with its reason.
    const auto saved = notifier->of(kQVHostResultSaved);
    const auto savedPaths = notifier->pathsOf(kQVHostResultSaved);
    ASSERT_EQ(saved.size(), c.written.size());
    for (size_t i = 0; i < saved.size(); ++i) {
      ASSERT_EQ(saved[i].size(), 3u);
      EXPECT_EQ(fs::path(saved[i][2]).lexically_normal(), (root / c.written[i].first).lexically_normal());
      ASSERT_EQ(savedPaths[i].size(), 3u);
      EXPECT_EQ(fs::path(savedPaths[i][2]).lexically_normal().string(),
                (root / c.written[i].first).lexically_normal().string());
      EXPECT_TRUE(fs::is_regular_file(savedPaths[i][2])) << "the name the host hears is the file's";
      EXPECT_TRUE(fs::exists(savedPaths[i][0]));
    }
    const auto failed = notifier->of(kQVHostResultFailed);
    EXPECT_EQ(failed.size(), c.fails ? 1u : 0u);
    for (const auto& f : failed) EXPECT_FALSE(f.at(2).empty()) << "a reason";
    for (const auto& f : notifier->pathsOf(kQVHostResultFailed)) EXPECT_EQ(f.size(), 2u) << "source and target";
    EXPECT_EQ(notifier->endings(), (c.fails ? std::vector<std::string>{kQVHostTerminationFailed, kQVHostTerminationOK}
                                            : std::vector<std::string>{kQVHostTerminationOK}));
    EXPECT_EQ(manager.runState(),
              c.fails ? QVSPluginModeManager::RunState::Failed : QVSPluginModeManager::RunState::Applied);
    EXPECT_EQ(alerts->reasons.size(), c.fails ? 1u : 0u);
    advance(1.0);
    ASSERT_EQ(terminator->statuses.size(), quits + 1);
    EXPECT_EQ(terminator->statuses.back(), c.fails ? 1 : 0);
    for (const auto& [relative, kind] : c.files)
      if (kind == "read-only folder") fs::permissions(root / relative, fs::perms::owner_all);
  }
}

// What the host hears when a run ends, in order: the per-result posts, then the failure when an
// image has no result or the cancel, and "app_termination_ok" last of all, exactly once, whatever
// the outcome (the host's word that the program ends); the exit status tells the outcome.
TEST_F(QVPluginControllerTest, EndMessageSequencesTable) {
  const std::string saved = kQVHostResultSaved, failed = kQVHostResultFailed, ok = kQVHostTerminationOK,
                    failure = kQVHostTerminationFailed, cancel = kQVHostTerminationCancel;
  struct Case {
    const char* name;
    // Each photo handed over to be written in place: "a" processed, "-a" not processed, "!a"
    // processed but read-only.
    std::vector<std::string> photos;
    bool cancelled;
    std::vector<std::string> expected;
    int status;
  } cases[] = {
      {"one written", {"a"}, false, {saved, ok}, 0},
      {"three written", {"a", "b", "c"}, false, {saved, saved, saved, ok}, 0},
      {"the one photo not processed", {"-a"}, false, {failed, failure, ok}, 1},
      {"one of three not processed", {"a", "-b", "c"}, false, {saved, saved, failed, failure, ok}, 1},
      {"the one photo read-only", {"!a"}, false, {failed, failure, ok}, 1},
      {"one of two read-only", {"!a", "b"}, false, {saved, failed, failure, ok}, 1},
      {"cancelled before any result", {"a", "b"}, true, {cancel, ok}, 0},
      {"no photos", {}, false, {ok}, 0},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path root = dir / ("end" + std::to_string(n++));
    fs::create_directories(root);
    std::vector<std::string> arguments = {"-QVPluginMode"};
    std::vector<std::pair<std::string, bool>> sources;  // path, processed
    for (const auto& photo : c.photos) {
      const std::string path = (root / (photo.substr(photo[0] == '-' || photo[0] == '!') + ".jpg")).string();
      writeImageFile(path, kUTTypeJPEG);
      if (photo[0] == '!')
        fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
      arguments.insert(arguments.end(), {"-QVSavePair", path, path});
      sources.emplace_back(path, photo[0] != '-');
    }
    notifier->clear();
    const size_t quits = terminator->statuses.size();
    start(arguments);
    if (sources.empty()) {
      controller->exportWithType(0);
    } else {
      ASSERT_TRUE(controller->exportImages());
    }
    if (c.cancelled) controller->cancelPlugin();
    for (const auto& [path, processed] : sources) facade->complete(path, processed);
    advance(0);
    EXPECT_EQ(notifier->posted, c.expected);
    advance(1.0);
    ASSERT_EQ(terminator->statuses.size(), quits + 1) << "the program ends once";
    EXPECT_EQ(terminator->statuses.back(), c.status);
  }
}

// Only a file the host named is replaced; every other write takes its name exclusively.
TEST_F(QVPluginControllerTest, OnlyNamedTargetsAreWrittenOverTheRestTakeTheirNamesExclusively) {
  const std::string a = file("a.jpg"), b = file("b.jpg");
  start(
      {"-QVSavePair", a, (dir / "same.jpg").string(), "-QVSavePair", b, (dir / "same.jpg").string(), "-QVPluginMode"});
  const auto plan = controller->planDestinations(controller->paths());
  ASSERT_EQ(plan.size(), 2u);
  EXPECT_TRUE(plan[0].replace);
  EXPECT_FALSE(plan[1].replace);
  EXPECT_EQ(plan[1].path, (dir / "same_2.jpg").string());
  EXPECT_FALSE(plan[1].note.empty());
  // A name taken between the plan and the write: the next free one, never over it.
  controller->exportImages();
  writer->beforeWrite = [this](const std::string& path) {
    if (path == (dir / "same_2.jpg").string() && !fs::exists(path)) writeImageFile(path, kUTTypePNG);
  };
  facade->complete(a);
  facade->complete(b);
  advance(0);
  EXPECT_EQ(fileType(dir / "same_2.jpg"), kUTTypePNG) << "left as it was";
  EXPECT_EQ(fileType(dir / "same_3.jpg"), kUTTypeJPEG);
  EXPECT_EQ(writer->replaced, (std::vector<bool>{true, false, false}));
}

// The host's image unreadable and without an extension, handed over alone: a TIFF in its place.
TEST_F(QVPluginControllerTest, AnUnreadableHostImageWithoutExtensionIsWrittenAsTIFF) {
  const std::string host = (dir / "host").string();
  std::ofstream(host) << "not an image";
  start({"-QVImagePath", host, "-QVPluginMode"});
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
    notifier->clear();
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
    EXPECT_EQ(notifier->endings(), std::vector<std::string>{kQVHostTerminationOK});
    EXPECT_EQ(notifier->of(kQVHostResultSaved).size(), n);
  }
}

TEST_F(QVPluginControllerTest, ThreeImagesOneFailingGiveTwoFilesAFailureToTheHostAndAQuitOneSecondLater) {
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
  // The image without a result is a failure: the host hears it with its reason, then that the
  // program ends.
  EXPECT_EQ(notifier->endings(), (std::vector<std::string>{kQVHostTerminationFailed, kQVHostTerminationOK}));
  const auto failed = notifier->of(kQVHostResultFailed);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0][0], sources[1]);
  EXPECT_EQ(failed[0][1], sources[1] + ".result.jpg");
  EXPECT_NE(failed[0][2].find("could not be read or processed"), std::string::npos);
  EXPECT_EQ(notifier->of(kQVHostResultSaved).size(), 2u);
  EXPECT_EQ(manager.runState(), QVSPluginModeManager::RunState::Failed);
  ASSERT_EQ(alerts->reasons.size(), 1u);
  EXPECT_NE(alerts->reasons[0].find("b.jpg"), std::string::npos);
  EXPECT_FALSE(facade->exporting);
  EXPECT_EQ(std::count(facade->calls.begin(), facade->calls.end(), "track 3 type 0"), 1);
  EXPECT_EQ(std::count(facade->calls.begin(), facade->calls.end(), "saved"), 2);
  advance(0.99);
  EXPECT_TRUE(terminator->times.empty());
  advance(0.02);
  ASSERT_EQ(terminator->times.size(), 1u);
  EXPECT_NEAR(terminator->times[0] - last, 1.0, 0.011);
  EXPECT_EQ(terminator->statuses, std::vector<int>{1});
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
  EXPECT_EQ(terminator->statuses, std::vector<int>{0});
}

TEST_F(QVPluginControllerTest, TargetsWithoutAnExtensionTakeTheirOwnSourcesType) {
  const std::string png = file("a.png", kUTTypePNG), jpeg = file("b.jpg", kUTTypeJPEG);
  const std::string pngOut = (dir / "a-out").string(), jpegOut = (dir / "b-out").string();
  start({"-QVSavePair", png, pngOut, "-QVSavePair", jpeg, jpegOut, "-QVPluginMode"});
  controller->exportImages();
  facade->complete(png);
  facade->complete(jpeg);
  advance(0);
  EXPECT_EQ(fileType(pngOut), kUTTypePNG);
  EXPECT_EQ(fileType(jpegOut), kUTTypeJPEG);

  // With a host image too: each result is its own source's (type and metadata).
  const std::string host = file("host.png", kUTTypePNG);
  const std::string out = (dir / "c-out").string();
  start({"-QVImagePath", host, "-QVSavePair", jpeg, out, "-QVPluginMode"});
  controller->exportImages();
  facade->complete(jpeg);
  advance(0);
  EXPECT_EQ(fileType(out), kUTTypeJPEG);
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
  notifier->clear();
  start({"-QVImagePath", other, "-QVSavePath", other, "-QVPluginMode"});
  controller->exportImages();
  facade->complete(other);
  advance(0);
  std::ifstream again(other, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), {}), bytes);
  EXPECT_EQ(alerts->shown, 1);
  ASSERT_EQ(alerts->reasons.size(), 1u);
  EXPECT_NE(alerts->reasons[0].find("refused by the test"), std::string::npos) << "the reason, for the user";
  EXPECT_EQ(notifier->endings(), (std::vector<std::string>{kQVHostTerminationFailed, kQVHostTerminationOK}));
  ASSERT_EQ(notifier->of(kQVHostResultFailed).size(), 1u);
  EXPECT_EQ(notifier->of(kQVHostResultFailed)[0][2], "refused by the test");
  EXPECT_TRUE(controller->exportedPaths().empty());
}

// The engine's result is in linear light; the host gets it display-referred, in the colour space of
// the source's profile, so a viewer that ignores profiles shows it as bright as the source.
TEST_F(QVPluginControllerTest, AResultInLinearLightIsWrittenInItsSourcesColourSpace) {
  // A 16-bit picture in linear light, every sample 0.2.
  const size_t w = 32, h = 24;
  auto pixels = std::make_shared<std::vector<uint8_t>>(w * h * 6);
  for (size_t i = 0; i < w * h * 3; ++i) {
    const uint16_t v = uint16_t(0.2 * 65535 + 0.5);
    std::memcpy(pixels->data() + i * 2, &v, 2);
  }
  const auto linear = NSImage::imageWithCGImage(
      CGImageCreate(w, h, 16, 48, w * 6, CGColorSpaceCreateWithProfileType(rova::kColorProfileNative),
                    kCGImageAlphaNone | kCGBitmapByteOrder16Little, pixels));
  struct Case {
    const char* name;
    const char* sourceSpace;
    int expected;  // the first sample written
    const char* profile;
  } cases[] = {
      {"an sRGB source", kCGColorSpaceSRGB, int(std::lround(255 * rova::linearToSrgb(0.2f))), "sRGB"},
      {"an Adobe RGB source", kCGColorSpaceAdobeRGB1998, int(std::lround(255 * std::pow(0.2, 256.0 / 563.0))),
       "Adobe RGB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path source = dir / (std::string(c.name) + ".png");
    auto bytes = std::make_shared<std::vector<uint8_t>>(w * h * 3, 90);
    auto destination = CGImageDestinationCreateWithURL(source.string(), kUTTypePNG, 1);
    CGImageDestinationAddImage(destination, CGImageCreate(w, h, 8, 24, w * 3, CGColorSpaceCreateWithName(c.sourceSpace),
                                                          kCGImageAlphaNone, bytes));
    ASSERT_TRUE(CGImageDestinationFinalize(destination));
    const std::string out = (dir / (std::string(c.name) + "-out.png")).string();
    start({"-QVSavePair", source.string(), out, "-QVPluginMode"});
    controller->exportImages();
    facade->completeWith(source.string(), linear);
    advance(0);
    EXPECT_NEAR(firstComponent(out), c.expected, 1);
    auto space = CGImageSourceCopyColorSpace(CGImageSourceCreateWithURL(out));
    ASSERT_TRUE(space);
    EXPECT_NE(space->name.find(c.profile), std::string::npos) << space->name;
  }
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
  notifier->clear();
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
