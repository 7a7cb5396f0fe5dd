#include "Ombrel/Classes/Business/ExportManager/QVExportManager.h"

#include <fstream>
#include <set>

#include "Ombrel/Classes/Business/ExportManager/QVImageSaver.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Business/QVImageSettingsManager.h"
#include "Ombrel/Classes/Business/SourceManager/QVSourceManager.h"
#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/Places.h"
#include "tests/Ombrel/Classes/Business/ExportManager/ExportTestSupport.h"

namespace fs = std::filesystem;
using namespace solvane::test;

namespace {

void writeBytes(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

class QVExportManagerTest : public ExportFixture {
 protected:
  std::shared_ptr<QVExportManager> manager = QVExportManager::make();
  void SetUp() override {
    ExportFixture::SetUp();
    manager->setProgressUpdater(updater);
  }
  void exportPaths(const std::vector<std::string>& paths, uint64_t type) {
    ASSERT_TRUE(manager->prepareExportPaths(paths));
    manager->exportWithType(type);
  }
};

}  // namespace

// One photo through the save panel: written at exactly the chosen path, as the chosen type and
// depth, with no collision question.
TEST_F(QVExportManagerTest, SingleFileThroughTheDialog) {
  const std::string source = photo("astronaut.png");
  const fs::path target = dir / "chosen name.tiff";
  writeBytes(target, "replaced: the dialog asked already");
  dialog->url = target.string();
  dialog->directoryURL = dir.string();
  dialog->fileType = kUTTypeTIFF;
  dialog->depth = 16;
  exportPaths({source}, kQVExportTypeDisk);
  ASSERT_TRUE(waitForEnd(*updater));
  EXPECT_EQ(dialog->shownFor, std::vector<std::vector<std::string>>{{source}});
  EXPECT_TRUE(alerts->asked.empty());
  EXPECT_EQ(updater->calls, (std::vector<std::string>{"started", "progress 0/1", "finished"}));
  EXPECT_EQ(manager->exportedPaths(), std::vector<std::string>{target.string()});
  const WrittenImage written = readBack(target);
  EXPECT_EQ(written.type, kUTTypeTIFF);
  EXPECT_EQ(written.width, 320u);
  EXPECT_FALSE(QVApp::exporting());
  // Reveal shows the folder of the exported file.
  EXPECT_TRUE(manager->revealExportedPaths());
  EXPECT_EQ(launcher->launched, (std::vector<std::vector<std::string>>{{"xdg-open", dir.string()}}));

  // A cancelled dialog only gives the focus back.
  *updater = RecordingUpdater();
  dialog->response = 0;
  exportPaths({source}, kQVExportTypeDisk);
  pumpMainUntil([&] { return updater->ended(); });
  EXPECT_EQ(updater->calls, std::vector<std::string>{"dialog canceled"});
}

// The colour space chosen in the dialog is the one the picture is rendered and written in, as a
// batch preset's is.
TEST_F(QVExportManagerTest, DialogColourSpaceReachesTheRender) {
  const std::string source = photo("astronaut.png");
  const fs::path target = dir / "wide gamut.jpeg";
  dialog->url = target.string();
  dialog->directoryURL = dir.string();
  dialog->fileType = kUTTypeJPEG;
  dialog->colorSpace = 2;
  exportPaths({source}, kQVExportTypeDisk);
  ASSERT_TRUE(waitForEnd(*updater));
  ASSERT_EQ(manager->exportedPaths(), std::vector<std::string>{target.string()});
  const qv::Value written = QVImageUtils::imagePropertiesAtPath(target.string());
  EXPECT_EQ(written[kCGImagePropertyProfileName].asString(), "Adobe RGB (1998)");
}

// What lands on disk is what its name says, at the depth the dialog showed: a name whose extension
// a writer knows is written as that type (whatever type the dialog had), 16 bits are written for
// the types that hold them from a 16-bit render (not 8-bit samples widened), and any other name
// gets the dialog's type's extension, taking a free name when that one is taken (nobody was asked
// about it).
TEST_F(QVExportManagerTest, TheNameSaysTheTypeAndTheDialogTheDepth) {
  const std::string source = photo("astronaut.png");
  writeBytes(dir / "odd.foo.png", "kept: nobody asked about this name");
  struct Case {
    const char* typed;
    const char* dialogType;
    int64_t dialogDepth;
    const char* written;  // file name written
    const char* type;
    size_t bits;
  } cases[] = {
      {"typed.tif", kUTTypeJPEG, 8, "typed.tif", kUTTypeTIFF, 8},
      {"typed.PNG", kUTTypeTIFF, 16, "typed.PNG", kUTTypePNG, 16},
      {"deep.png", kUTTypePNG, 16, "deep.png", kUTTypePNG, 16},
      {"deep.tiff", kUTTypeTIFF, 16, "deep.tiff", kUTTypeTIFF, 16},
      {"deep.jp2", kUTTypeJPEG2000, 16, "deep.jp2", kUTTypeJPEG2000, 16},
      {"flat.png", kUTTypePNG, 8, "flat.png", kUTTypePNG, 8},
      {"flat.jpg", kUTTypePNG, 16, "flat.jpg", kUTTypeJPEG, 8},
      {"odd.foo", kUTTypePNG, 8, "odd.foo_2.png", kUTTypePNG, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    *updater = RecordingUpdater();
    dialog->url = (dir / c.typed).string();
    dialog->directoryURL = dir.string();
    dialog->fileType = c.dialogType;
    dialog->depth = c.dialogDepth;
    dialog->colorSpace = 1;
    exportPaths({source}, kQVExportTypeDisk);
    ASSERT_TRUE(waitForEnd(*updater));
    EXPECT_EQ(updater->count("finished"), 1u);
    EXPECT_EQ(manager->exportedPaths(), std::vector<std::string>{(dir / c.written).string()});
    const WrittenImage written = readBack(dir / c.written);
    EXPECT_EQ(written.type, c.type);
    EXPECT_EQ(written.bits, c.bits);
    if (c.bits == 16) {
      // The rendering's own 16-bit samples: 8-bit samples widened would all be multiples of 257
      // (where the enhancement leaves a colour as it was, a 16-bit sample is one too).
      auto image = CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithURL((dir / c.written).string()), 0);
      ASSERT_TRUE(image);
      size_t widened = 0, samples = 0;
      for (size_t y = 0; y < image->height; y += 7) {
        const auto* row = reinterpret_cast<const uint16_t*>(image->row(y));
        for (size_t i = 0; i < image->width * image->componentsPerPixel(); ++i, ++samples) widened += row[i] % 257 == 0;
      }
      EXPECT_LT(widened * 10, samples * 9);
    }
  }
  std::ifstream kept(dir / "odd.foo.png");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "kept: nobody asked about this name");
  EXPECT_FALSE(fs::exists(dir / "odd.foo"));
}

// Several photos into a folder whose name has a dot: names from the sources (a dotted one keeps
// its dots), a collision answered "Create New" without "Apply to all", so each collision asks.
TEST_F(QVExportManagerTest, FolderExportResolvesCollisions) {
  const std::vector<std::string> sources = {photo("astronaut.png", "sources", "my.photo.png"), photo("coffee.png")};
  const fs::path out = dir / "my.exports";
  fs::create_directories(out);
  writeBytes(out / "my.photo.jpeg", "old");
  writeBytes(out / "my.photo_2.jpeg", "old too");
  writeBytes(out / "coffee.jpeg", "old");
  dialog->directoryURL = out.string();
  dialog->fileType = kUTTypeJPEG;
  alerts->answer = QVAlertResultCreateNew;
  exportPaths(sources, kQVExportTypeDisk);
  ASSERT_TRUE(waitForEnd(*updater));
  EXPECT_EQ(alerts->asked, (std::vector<std::string>{"my.photo.jpeg", "coffee.jpeg"}));
  EXPECT_EQ(manager->exportedPaths(),
            (std::vector<std::string>{(out / "my.photo_3.jpeg").string(), (out / "coffee_2.jpeg").string()}));
  for (const auto& path : manager->exportedPaths()) EXPECT_EQ(readBack(path).type, kUTTypeJPEG) << path;
  EXPECT_EQ(updater->count("finished"), 1u);
}

// Two exports into one folder at once: a name one of them has taken counts as taken for the other
// (asked about, and "Create New" gives it its own name), and no file is written over another, so
// the folder holds both sets.
TEST_F(QVExportManagerTest, TwoExportsIntoOneFolderNeverShareAName) {
  const std::vector<std::string> sources = {photo("astronaut.png"), photo("coffee.png")};
  const fs::path out = dir / "both";
  fs::create_directories(out);
  dialog->directoryURL = out.string();
  dialog->fileType = kUTTypeJPEG;
  alerts->answer = QVAlertResultCreateNew;
  auto second = QVExportManager::make();
  auto secondUpdater = std::make_shared<RecordingUpdater>();
  second->setProgressUpdater(secondUpdater);
  ASSERT_TRUE(manager->prepareExportPaths(sources));
  ASSERT_TRUE(second->prepareExportPaths(sources));
  manager->exportWithType(kQVExportTypeDisk);
  second->exportWithType(kQVExportTypeDisk);
  ASSERT_TRUE(waitForEnd(*updater));
  ASSERT_TRUE(waitForEnd(*secondUpdater));
  std::set<std::string> written(manager->exportedPaths().begin(), manager->exportedPaths().end());
  written.insert(second->exportedPaths().begin(), second->exportedPaths().end());
  EXPECT_EQ(written.size(), 4u);
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(out)) files += entry.is_regular_file();
  EXPECT_EQ(files, 4u);
  for (const auto& path : written) EXPECT_EQ(readBack(path).type, kUTTypeJPEG) << path;
}

// A name question is a modal dialog, which runs the main loop while it waits: the photos that reach
// their own name question meanwhile wait behind it, so the questions come one at a time and "Apply
// to all" answers the rest.
TEST_F(QVExportManagerTest, NameQuestionsComeOneAtATimeAndApplyToAllAnswersTheRest) {
  const std::vector<std::string> sources = {photo("astronaut.png"), photo("coffee.png"), photo("chelsea.png")};
  const fs::path out = dir / "again";
  fs::create_directories(out);
  for (const char* name : {"astronaut.jpeg", "coffee.jpeg", "chelsea.jpeg"}) writeBytes(out / name, "first export");
  dialog->directoryURL = out.string();
  dialog->fileType = kUTTypeJPEG;
  alerts->answer = QVAlertResultCreateNew;
  alerts->applyToAll = true;
  // While the first question is open, every other photo is processed and handed back.
  alerts->whileOpen = [this] {
    pumpMainUntil([] {
      auto& queues = QVQueueManager::shared();
      return !QVApp::isProcessingImages() && queues.imageBlendingQueue()->operationCount() == 0;
    });
    for (int i = 0; i < 5; ++i) pumpMainUntil([] { return true; }, 0.05);
  };
  exportPaths(sources, kQVExportTypeDisk);
  ASSERT_TRUE(waitForEnd(*updater));
  EXPECT_EQ(alerts->asked, std::vector<std::string>{"astronaut.jpeg"});
  EXPECT_EQ(alerts->mostOpenAtOnce, 1);
  EXPECT_EQ(manager->exportedPaths(),
            (std::vector<std::string>{(out / "astronaut_2.jpeg").string(), (out / "coffee_2.jpeg").string(),
                                      (out / "chelsea_2.jpeg").string()}));
  for (const char* name : {"astronaut.jpeg", "coffee.jpeg", "chelsea.jpeg"}) {
    std::ifstream in(out / name);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "first export") << name;
  }
}

// A photo whose file cannot be written (a read-only file in its place, which "Overwrite" does not
// replace; a read-only folder) is reported with its reason and never counted as exported: the
// others are written, and closing still offers to save first. When none could be written, the
// export ends cancelled, not finished.
TEST_F(QVExportManagerTest, APhotoThatCannotBeWrittenIsReportedAndNotCountedAsExported) {
  const std::vector<std::string> sources = {photo("astronaut.png"), photo("coffee.png"), photo("chelsea.png")};
  const struct {
    const char* what;
    bool readOnlyFolder;
    std::vector<std::string> failed;  // source file names
    const char* reason;
    const char* end;
  } cases[] = {
      {"read-only file", false, {"coffee.png"}, "is read-only", "finished"},
      {"read-only folder", true, {"astronaut.png", "coffee.png", "chelsea.png"}, "is read-only", "canceled"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path out = dir / (std::string("out ") + c.what);
    fs::create_directories(out);
    writeBytes(out / "coffee.jpeg", "protected");
    fs::permissions(out / "coffee.jpeg", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    if (c.readOnlyFolder) fs::permissions(out, fs::perms::owner_read | fs::perms::owner_exec);
    *updater = RecordingUpdater();
    alerts->asked.clear();
    alerts->answer = QVAlertResultOverwrite;
    QVApp::sourceManager()->setImagesPaths(sources, false);
    QVApp::setExported(true);  // an earlier export wrote every photo
    dialog->directoryURL = out.string();
    dialog->fileType = kUTTypeJPEG;
    exportPaths(sources, kQVExportTypeDisk);
    ASSERT_TRUE(waitForEnd(*updater));
    EXPECT_EQ(updater->calls.back(), c.end);
    std::vector<std::string> failed;
    for (const auto& path : manager->failedPaths()) failed.push_back(fs::path(path).filename().string());
    EXPECT_EQ(failed, c.failed);
    ASSERT_EQ(updater->errors.size(), c.failed.size());
    for (const auto& error : updater->errors) {
      EXPECT_EQ(error.code, kQVImageSaverErrorSave);
      ASSERT_TRUE(error.userInfo.count("reason"));
      EXPECT_NE(error.userInfo.at("reason").asString().find(c.reason), std::string::npos)
          << error.userInfo.at("reason").asString();
    }
    EXPECT_EQ(manager->exportedPaths().size(), sources.size() - c.failed.size());
    for (const auto& path : manager->exportedPaths()) EXPECT_EQ(readBack(path).type, kUTTypeJPEG) << path;
    std::ifstream in(out / "coffee.jpeg");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "protected");
    EXPECT_FALSE(QVApp::exported()) << "a photo not written leaves the work unsaved, whatever was written before";
    EXPECT_FALSE(QVApp::exporting());
    fs::permissions(out, fs::perms::owner_all);
  }
  // Every photo written: now the work counts as saved.
  *updater = RecordingUpdater();
  const fs::path out = dir / "writable";
  fs::create_directories(out);
  dialog->directoryURL = out.string();
  exportPaths(sources, kQVExportTypeDisk);
  ASSERT_TRUE(waitForEnd(*updater));
  EXPECT_EQ(manager->exportedPaths().size(), 3u);
  EXPECT_TRUE(QVApp::exported());
  QVApp::sourceManager()->setImagesPaths({}, false);
}

// Three photos open, exported one at a time (as from the quick preview): the work counts as saved
// only once each was exported since it last changed.
TEST_F(QVExportManagerTest, TheWorkIsSavedOnlyWhenEveryOpenPhotoIsExportedSinceItChanged) {
  const std::vector<std::string> sources = {photo("astronaut.png"), photo("coffee.png"), photo("chelsea.png")};
  QVApp::sourceManager()->setImagesPaths(sources, false);
  QVApp::setPhotosExported(sources, false);  // as the window marks photos it opens
  auto exportOne = [&](const std::string& source, const char* name) {
    *updater = RecordingUpdater();
    dialog->url = (dir / name).string();
    dialog->directoryURL = dir.string();
    dialog->fileType = kUTTypeJPEG;
    exportPaths({source}, kQVExportTypeDisk);
    ASSERT_TRUE(waitForEnd(*updater));
    ASSERT_EQ(updater->calls.back(), "finished");
  };
  EXPECT_FALSE(QVApp::exported());
  exportOne(sources[1], "one.jpeg");
  EXPECT_TRUE(QVApp::imageSettingsManager()->isExportedAtImagePath(sources[1]));
  EXPECT_FALSE(QVApp::exported()) << "two of three never exported";
  exportOne(sources[0], "two.jpeg");
  EXPECT_FALSE(QVApp::exported());
  exportOne(sources[2], "three.jpeg");
  EXPECT_TRUE(QVApp::exported());
  // A new strength for one photo: its export is out of date.
  QVApp::imageSettingsManager()->updateAmount(0.5, sources[2]);
  EXPECT_FALSE(QVApp::exported());
  exportOne(sources[2], "four.jpeg");
  EXPECT_TRUE(QVApp::exported());
  // A correction switch changes every photo.
  const bool lens = QVApp::autoLensCorrectionEnabled();
  QVApp::setAutoLensCorrectionEnabled(!lens);
  EXPECT_FALSE(QVApp::exported());
  QVApp::setAutoLensCorrectionEnabled(lens);
  QVApp::imageSettingsManager()->updateAmount(1.0, sources[2]);
  QVApp::sourceManager()->setImagesPaths({}, false);
}

// E-mail: each photo as a JPEG in a folder of this export, handed to `xdg-email` as attachments
// with the sharing text; the next share uses a new folder and the former one is gone.
TEST_F(QVExportManagerTest, EmailShareBuildsTheXdgEmailCall) {
  const std::vector<std::string> sources = {photo("astronaut.png"), photo("coffee.png", "other", "astronaut.png")};
  exportPaths(sources, kQVExportTypeEmail);
  ASSERT_TRUE(waitForEnd(*updater));
  EXPECT_EQ(updater->calls.back(), "finished");
  ASSERT_EQ(launcher->launched.size(), 1u);
  const auto& call = launcher->launched[0];
  ASSERT_EQ(call.size(), 8u);
  EXPECT_EQ(std::vector<std::string>(call.begin(), call.begin() + 4),
            (std::vector<std::string>{"xdg-email", "--utf8", "--body", "#solvane"}));
  EXPECT_EQ(call[4], "--attach");
  EXPECT_EQ(call[6], "--attach");
  const fs::path first = call[5], second = call[7];
  EXPECT_EQ(first.filename(), "astronaut_sharing.jpeg");
  EXPECT_EQ(second.filename(), "astronaut_sharing_2.jpeg") << "two photos of one name keep their own file";
  EXPECT_EQ(first.parent_path(), second.parent_path());
  EXPECT_EQ(readBack(first).type, kUTTypeJPEG);
  EXPECT_EQ(readBack(second).type, kUTTypeJPEG);

  *updater = RecordingUpdater();
  exportPaths({sources[0]}, kQVExportTypeEmail);
  ASSERT_TRUE(waitForEnd(*updater));
  ASSERT_EQ(launcher->launched.size(), 2u);
  EXPECT_NE(fs::path(launcher->launched[1][5]).parent_path(), first.parent_path()) << "unique per export";
  EXPECT_FALSE(fs::exists(first.parent_path())) << "the former export's files are removed";

  // A mail program that cannot be started: the export is cancelled and its files removed.
  *updater = RecordingUpdater();
  launcher->succeed = false;
  exportPaths({sources[0]}, kQVExportTypeEmail);
  ASSERT_TRUE(waitForEnd(*updater));
  EXPECT_EQ(updater->calls.back(), "canceled");
  EXPECT_FALSE(fs::exists(fs::path(launcher->launched[2][5]).parent_path()));
}

// The social-network services are not offered here: asked for, the export ends cancelled at once.
TEST_F(QVExportManagerTest, SocialNetworksAreNotOffered) {
  for (uint64_t type : {kQVExportTypeFlickr, kQVExportTypeFacebook, kQVExportTypeTwitter}) {
    EXPECT_FALSE(QVSharingServices::isExportTypeAvailable(type)) << type;
    *updater = RecordingUpdater();
    exportPaths({photo("rocket.png")}, type);
    EXPECT_EQ(updater->calls, std::vector<std::string>{"canceled"}) << type;
  }
  for (uint64_t type : {kQVExportTypeDisk, kQVExportTypeEmail, kQVExportTypeMendrix})
    EXPECT_TRUE(QVSharingServices::isExportTypeAvailable(type)) << type;
  EXPECT_TRUE(launcher->launched.empty());
  // No paths: nothing at all.
  *updater = RecordingUpdater();
  EXPECT_FALSE(manager->prepareExportPaths({}));
  manager->exportWithType(kQVExportTypeDisk);
  EXPECT_TRUE(updater->calls.empty());
}

// The hand-off: a full-size JPEG in the image cache opened through the sibling application's
// desktop entry; asked again, the file is reused without processing; without the application,
// its web page.
TEST_F(QVExportManagerTest, HandOffToTheSiblingApplication) {
  const fs::path applications = fs::path(qv::places::userApplicationSupportDirectory()) / "applications";
  fs::create_directories(applications);
  writeBytes(applications / "com.orvanta.mendrix.desktop",
             "[Desktop Entry]\nType=Application\nName=Mendrix\nExec=\"/opt/mendrix/bin/mendrix app\" --open %f\n");
  const std::string source = photo("chelsea.png");
  exportPaths({source}, kQVExportTypeMendrix);
  ASSERT_TRUE(pumpMainUntil([&] { return !launcher->launched.empty(); }));
  const std::string temp = QVBasicExportManager::tempImagePath(source);
  EXPECT_EQ(launcher->launched[0], (std::vector<std::string>{"/opt/mendrix/bin/mendrix app", "--open", temp}));
  EXPECT_EQ(readBack(temp).type, kUTTypeJPEG);
  EXPECT_EQ(updater->count("finished"), 1u);

  *updater = RecordingUpdater();
  exportPaths({source}, kQVExportTypeMendrix);
  EXPECT_TRUE(updater->calls.empty()) << "answered from the existing file";
  ASSERT_EQ(launcher->launched.size(), 2u);
  EXPECT_EQ(launcher->launched[1].back(), temp);

  fs::remove(applications / "com.orvanta.mendrix.desktop");
  exportPaths({source}, kQVExportTypeMendrix);
  ASSERT_EQ(launcher->launched.size(), 3u);
  EXPECT_EQ(launcher->launched[2], (std::vector<std::string>{"xdg-open", kQVMendrixPageURL}));
}

TEST(QVExportManagerNames, DuplicatePath) {
  const fs::path dir = makeTempDir("duplicate-path");
  std::ofstream(dir / "photo.jpg") << "x";
  std::ofstream(dir / "photo_2.jpg") << "x";
  auto manager = QVExportManager::make();
  const struct {
    std::string file, expected;
  } cases[] = {
      {"photo.jpg", "photo_3.jpg"},        // the first free number
      {"my.photo.jpg", "my.photo_2.jpg"},  // the extension is after the last dot
      {"README", "README_2"},              // no extension: numbered as a whole
      {".hidden", ".hidden_2"},            // a leading dot starts the name
      {"archive.tar.gz", "archive.tar_2.gz"},
  };
  for (const auto& c : cases) EXPECT_EQ(manager->duplicatePath((dir / c.file).string()), (dir / c.expected).string());
  EXPECT_EQ(manager->changeOutputFilePath((dir / "photo.jpg").string(), false), (dir / "photo.jpg").string());
  EXPECT_FALSE(QVExportManager::exportPathForResourceInDirectory("", "a", QVImageExportOptions::defaultOptions()));
  EXPECT_EQ(*QVExportManager::exportPathForResourceInDirectory("/x", "a", QVImageExportOptions::defaultOptions()),
            "/x/a.jpeg");
}

TEST(QVSharingServicesTests, DesktopEntryCommand) {
  const fs::path dir = makeTempDir("desktop-entry");
  const struct {
    std::string exec;
    std::vector<std::string> expected;
  } cases[] = {
      {"mendrix %F", {"mendrix", "/a b.jpg", "/c.jpg"}},
      {"mendrix %u --new", {"mendrix", "/a b.jpg", "--new"}},
      {"\"/opt/My App/run\" --x=\"q\\\"uote\" %f", {"/opt/My App/run", "--x=q\"uote", "/a b.jpg"}},
      {"mendrix --icon %i --percent=100%%", {"mendrix", "--icon", "--percent=100%", "/a b.jpg", "/c.jpg"}},
      {"", {}},
  };
  for (const auto& c : cases) {
    std::ofstream(dir / "app.desktop") << "[Desktop Entry]\nName=App\nExec=" << c.exec
                                       << "\n[Desktop Action x]\nExec=other\n";
    EXPECT_EQ(QVSharingServices::commandForDesktopEntry((dir / "app.desktop").string(), {"/a b.jpg", "/c.jpg"}),
              c.expected)
        << c.exec;
  }
  std::ofstream(dir / "app.desktop") << "[Desktop Entry]\nExec=mendrix %f\nHidden=true\n";
  EXPECT_TRUE(QVSharingServices::commandForDesktopEntry((dir / "app.desktop").string(), {"/a"}).empty());
  EXPECT_EQ(QVSharingServices::xdgEmailArguments({{"a@b.c"}, "Hi", "", {"/f.jpeg"}}),
            (std::vector<std::string>{"--utf8", "--subject", "Hi", "--attach", "/f.jpeg", "a@b.c"}));
}
