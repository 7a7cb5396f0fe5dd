#include "Ombrel/Classes/Business/SourceManager/QVSourceManager.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "Ombrel/Classes/Helpers/NSString+RAW.h"
#include "Ombrel/Classes/Helpers/QVImageHelpers.h"
#include "common/TestSupport.h"
#include "tests/Ombrel/Classes/Business/AppTestSupport.h"
#include "tests/Ombrel/Classes/Common/Reachability/FakeReachabilityProbe.h"

namespace fs = std::filesystem;
using solvane::test::AlertRecorder;
using solvane::test::writeImage;
using solvane::test::writePNG;

namespace {

class RecordingDelegate : public QVSourceManagerDelegate {
 public:
  void sourceManagerDidDeleteImagePath(const std::string& path) override { calls.push_back("delete " + path); }
  void sourceManagerDidChangeSelectionFromIndex(uint64_t from, uint64_t to) override {
    calls.push_back("select " + index(from) + "->" + index(to));
  }
  void sourceManagerDidUpdateImagePaths(const std::vector<std::string>& paths, bool cleanCache,
                                        PathsCallback processPaths) override {
    calls.push_back("update " + std::to_string(paths.size()) + (cleanCache ? " clean" : ""));
    callback = std::move(processPaths);
  }
  static std::string index(uint64_t i) { return i == QVSourceManagerNoSelection ? "none" : std::to_string(i); }
  std::vector<std::string> calls;
  PathsCallback callback;
};

struct ListFixture {
  std::shared_ptr<QVSourceManager> list = std::make_shared<QVSourceManager>();
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
  explicit ListFixture(std::vector<std::string> paths, uint64_t selected) {
    list->setDelegate(delegate);
    list->setImagesPaths(paths);
    list->setSelectedImageIdx(selected);
    delegate->calls.clear();
  }
};

}  // namespace

TEST(QVSourceManager, DeletingMovesTheSelection) {
  struct Case {
    const char* name;
    std::vector<std::string> paths;
    uint64_t selected, deleted;
    uint64_t index;
    std::optional<std::string> selectedPath;
    std::vector<std::string> calls;
  } cases[] = {
      {"the selected last entry", {"a", "b", "c"}, 2, 2, 1, "b", {"delete c", "select 2->1"}},
      {"an entry before the selection", {"a", "b", "c"}, 2, 0, 1, "c", {"delete a"}},
      {"an entry after the selection", {"a", "b", "c"}, 0, 2, 0, "a", {"delete c"}},
      {"the selected middle entry", {"a", "b", "c"}, 1, 1, 1, "c", {"delete b", "select 1->1"}},
      {"the only entry", {"a"}, 0, 0, QVSourceManagerNoSelection, std::nullopt, {"delete a", "select 0->none"}},
      {"beyond the end", {"a", "b"}, 1, 5, 1, "b", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ListFixture f(c.paths, c.selected);
    f.list->deleteImageAtIndex(c.deleted);
    EXPECT_EQ(f.list->selectedImageIdx(), c.index);
    EXPECT_EQ(f.list->selectedImagePath(), c.selectedPath);
    EXPECT_EQ(f.delegate->calls, c.calls);
  }
}

TEST(QVSourceManager, ReplacingAddingAndSelecting) {
  ListFixture f({"a", "b"}, 1);
  f.list->addImageWithPaths({"b", "a"});  // all present: nothing changes
  EXPECT_EQ(f.list->selectedImagePath(), "b");
  f.list->addImageWithPaths({"c", "a", "c"});
  EXPECT_EQ(f.list->imagesPaths(), (std::vector<std::string>{"a", "b", "c", "c"}));
  EXPECT_EQ(f.list->unprocessedPaths(), (std::vector<std::string>{"c", "c", "a", "b"}));
  EXPECT_FALSE(f.list->selectedImagePath());
  EXPECT_TRUE(f.delegate->calls.empty()) << "additions are not reported";

  f.list->setImagesPaths(f.list->imagesPaths());  // the very list held: nothing
  EXPECT_TRUE(f.delegate->calls.empty());
  f.list->setImagesPaths({"x", "y"}, false);
  EXPECT_EQ(f.delegate->calls, std::vector<std::string>{"update 2"});
  EXPECT_EQ(f.list->selectedImageIdx(), 1u) << "the index is kept";
  f.delegate->callback({"y"});
  EXPECT_EQ(f.list->imagesPaths(), std::vector<std::string>{"y"});
  EXPECT_TRUE(f.list->unprocessedPaths().empty());

  f.delegate->calls.clear();
  f.list->setSelectedImageIdx(7);  // beyond the end of a non-empty list
  f.list->setSelectedImageIdx(0);
  f.list->setSelectedImageIdx(0);  // the same, with its path held
  EXPECT_EQ(f.delegate->calls, std::vector<std::string>{"select 1->0"});
  f.list->deleteImagesWithPaths({"zz", "y"});
  EXPECT_EQ(f.delegate->calls, (std::vector<std::string>{"select 1->0", "delete y", "select 0->none"}));
}

class QVSourceValidation : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = solvane::test::makeTempDir("validation");
    QVAppEventTracker::shared()->setupStorageBasePath((dir / "Logs").string(), {{0, "Errors.log"}});
  }
  std::string png(const std::string& name, size_t w, size_t h) {
    writePNG(dir / name, w, h);
    return (dir / name).string();
  }
  std::string junk(const std::string& name) {
    std::ofstream(dir / name) << "not an image";
    return (dir / name).string();
  }
  solvane::test::FakeProbeInstaller offline{std::make_shared<solvane::test::FakeReachabilityProbe>(0)};
  AlertRecorder recorder;
  fs::path dir;
};

TEST_F(QVSourceValidation, MinimumSizeInEitherOrientation) {
  struct Case {
    size_t w, h;
    bool passes;
  } cases[] = {{800, 600, true}, {600, 800, true}, {799, 600, false}, {800, 599, false}, {700, 700, false}};
  for (const auto& c : cases) {
    const auto path = png(std::to_string(c.w) + "x" + std::to_string(c.h) + ".png", c.w, c.h);
    EXPECT_EQ(QVImageHelpers::validateSizeForPath(path), c.passes) << path;
  }
  const auto ok = png("ok.png", 800, 600), small = png("small.png", 799, 600);
  EXPECT_EQ(QVSourceManager::validatedFilenames({ok, small, ok, small}), (std::vector<std::string>{ok, ok}));
  EXPECT_EQ(recorder.alerts->shown(), std::vector<std::string>{"less than minimum size"});
  const auto named = recorder.alerts->tooSmall();
  ASSERT_EQ(named.size(), 1u) << "named once";
  EXPECT_EQ(named[0], (QVUnopenableFile{small, QVUnopenableReason::TooSmall, "", "", 799, 600}));
  EXPECT_EQ(solvane::test::storedErrorCodes(), std::vector<int64_t>{1});
}

TEST_F(QVSourceValidation, OneAlertPerExcludedExtensionThenUnreadableThenTooSmall) {
  const std::vector<std::string> paths = {junk("a.x3f"), png("tiny.png", 10, 10), junk("b.x3f"), junk("c.kdc"),
                                          junk("d.x3f"), junk("broken.jpg"),      junk("e.X3F")};
  qv::Error error;
  EXPECT_FALSE(QVImageHelpers::validateImageAtPath(paths[0], &error));
  EXPECT_EQ(error.domain, "com.orvanta.image");
  EXPECT_EQ(error.code, 2);
  EXPECT_FALSE(QVImageHelpers::validateImageAtPath(paths.back(), &error));
  EXPECT_EQ(error.code, 1) << "capital X3F is no excluded type; the reader refuses it";

  EXPECT_TRUE(QVSourceManager::validatedFilenames(paths).empty());
  EXPECT_EQ(recorder.alerts->shown(), (std::vector<std::string>{"not supported: x3f", "not supported: kdc",
                                                                "source not available", "less than minimum size"}));
  EXPECT_EQ(solvane::test::storedErrorCodes(), (std::vector<int64_t>{4, 4, 4, 1}));
}

// A PNG whose header declares that size (its header checksum right).
std::string pngDeclaring(const fs::path& path, uint32_t width, uint32_t height) {
  writePNG(path, 16, 16);
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  char header[33];
  file.read(header, sizeof header);
  for (auto [at, value] : {std::pair{16, width}, {20, height}}) {  // big-endian
    for (int i = 0; i < 4; ++i) header[at + i] = char(value >> (24 - 8 * i));
  }
  uint32_t crc = 0xFFFFFFFFu;  // CRC-32 of the chunk's type and data
  for (int i = 12; i < 29; ++i) {
    crc ^= uint8_t(header[i]);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  crc = ~crc;
  for (int i = 0; i < 4; ++i) header[29 + i] = char(crc >> (24 - 8 * i));
  file.seekp(0);
  file.write(header, sizeof header);
  return path.string();
}

// Each file that cannot be opened is named with its reason, in the order given; a pipe and a
// device are only looked at, never opened (opening the pipe would wait for a writer for ever,
// reading the device would never end).
TEST_F(QVSourceValidation, EachUnopenableFileIsNamedWithItsReason) {
  using R = QVUnopenableReason;
  std::ofstream(dir / "empty.jpg").close();
  ASSERT_EQ(::mkfifo((dir / "pipe.jpg").c_str(), 0600), 0);
  fs::create_directory(dir / "folder.jpg");
  const std::string latin1 = png("caf\xe9.png", 800, 600);  // "café.png" in Latin-1: not UTF-8
  const struct {
    std::string path;
    R reason;
    std::string kind;
    int64_t width = 0, height = 0;
  } cases[] = {
      {(dir / "empty.jpg").string(), R::Empty, ""},
      {(dir / "pipe.jpg").string(), R::NotRegularFile, "named pipe"},
      {"/dev/zero", R::NotRegularFile, "device"},
      {(dir / "folder.jpg").string(), R::NotRegularFile, "folder"},
      {junk("notes\xe9.jpg"), R::NotAnImage, ""},
      {pngDeclaring(dir / "huge.png", 60000, 60000), R::TooLarge, "", 60000, 60000},
      {(dir / "gone.jpg").string(), R::Missing, ""},
      {(dir / "empty.jpg" / "below").string(), R::Missing, ""},
  };
  std::vector<std::string> paths;
  for (const auto& c : cases) paths.push_back(c.path);
  paths.insert(paths.begin() + 3, latin1);
  paths.push_back((dir / "gone.jpg").string());  // named once

  EXPECT_EQ(QVSourceManager::validatedFilenames(paths), std::vector<std::string>{latin1});
  EXPECT_EQ(recorder.alerts->shown(), std::vector<std::string>{"source not available"});
  const auto named = recorder.alerts->unopenable();
  ASSERT_EQ(named.size(), std::size(cases));
  for (size_t i = 0; i < named.size(); ++i) {
    SCOPED_TRACE(cases[i].path);
    EXPECT_EQ(named[i].path, cases[i].path) << "the name's bytes as they were given";
    EXPECT_EQ(named[i].reason, cases[i].reason);
    EXPECT_EQ(named[i].kind, cases[i].kind);
    EXPECT_EQ(named[i].width, cases[i].width);
    EXPECT_EQ(named[i].height, cases[i].height);
  }
  EXPECT_EQ(solvane::test::storedErrorCodes(), std::vector<int64_t>{4});

  // A file this user may not read (root reads everything).
  if (::geteuid() != 0) {
    const std::string locked = png("locked.png", 800, 600);
    fs::permissions(locked, fs::perms::none);
    const QVUnopenableFile why = QVImageHelpers::whyImageCannotOpen(locked);
    EXPECT_EQ(why.reason, R::Unreadable);
    EXPECT_EQ(why.systemError, std::strerror(EACCES));
  }
}

// What the user is told of each photo refused on opening, or that fails once open: the file by
// name, with why. A cut-off JPEG reads its header and passes; its picture does not decode, and the
// decoder says why.
TEST_F(QVSourceValidation, EachRefusedOrUndecodablePhotoIsNamedWithWhy) {
  using R = QVUnopenableReason;
  writeImage(dir / "whole.jpg", 900, 700, kUTTypeJPEG, true);
  const auto whole = fs::file_size(dir / "whole.jpg");
  fs::copy_file(dir / "whole.jpg", dir / "cut.jpg");
  fs::resize_file(dir / "cut.jpg", whole / 2);
  const struct {
    const char* name;
    std::string path;
    bool opens;  // passes the checks on opening
    const char* alert;
    R reason;
    int64_t width = 0, height = 0;
    const char* decoderSays = "";
  } cases[] = {
      {"too large", pngDeclaring(dir / "wide.png", 20000, 20000), false, "source not available", R::TooLarge, 20000,
       20000},
      {"too small", png("small.png", 640, 480), false, "less than minimum size", R::TooSmall, 640, 480},
      {"not an image", junk("notes.jpg"), false, "source not available", R::NotAnImage},
      {"truncated", (dir / "cut.jpg").string(), true, "", R::Damaged, 0, 0, "premature end of data"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AlertRecorder told;
    const auto kept = QVSourceManager::validatedFilenames({c.path});
    EXPECT_EQ(kept.size(), c.opens ? 1u : 0u);
    const auto named = c.opens ? std::vector<QVUnopenableFile>{*QVImageHelpers::whyImageCannotDecode(c.path)}
                       : c.reason == R::TooSmall ? told.alerts->tooSmall()
                                                 : told.alerts->unopenable();
    EXPECT_EQ(told.alerts->shown(), c.opens ? std::vector<std::string>{} : std::vector<std::string>{c.alert});
    ASSERT_EQ(named.size(), 1u);
    EXPECT_EQ(named[0].path, c.path);
    EXPECT_EQ(named[0].reason, c.reason);
    EXPECT_EQ(named[0].width, c.width);
    EXPECT_EQ(named[0].height, c.height);
    EXPECT_NE(named[0].systemError.find(c.decoderSays), std::string::npos) << named[0].systemError;
  }
  EXPECT_EQ(QVImageHelpers::whyImageCannotDecode((dir / "whole.jpg").string()), std::nullopt) << "it decodes";
}

TEST(QVImageHelpers, ExtensionsRawSplitAndDeclaredTypes) {
  EXPECT_TRUE(QVImageHelpers::pathHasExtensionWithin("/a.JPG", {}));
  EXPECT_TRUE(QVImageHelpers::pathHasExtensionWithin("/a.JPG", {"png", "Jpg"}));
  EXPECT_FALSE(QVImageHelpers::pathHasExtensionWithin("/a.jpeg", {"jpg"}));

  const auto& declared = QVAllowedFileTypes();
  for (const char* type : {"jpg", "jpeg", "png", "tif", "tiff", "dng", "cr2", "nef", "arw"})
    EXPECT_NE(std::find(declared.begin(), declared.end(), type), declared.end()) << type;
  for (const char* type : {"x3f", "kdc", "exr"})
    EXPECT_EQ(std::find(declared.begin(), declared.end(), type), declared.end()) << type;

  const std::string dng = (solvane::test::dataDir() / "processor" / "bayer-96x64.dng").string();
  const std::string png = (solvane::test::dataDir() / "pipeline" / "plain-20x10.png").string();
  EXPECT_TRUE(QVImageHelpers::isSupportedRAWImage(dng));
  EXPECT_TRUE(QVImageHelpers::validateTwoFactorImageAtPath(png));
  EXPECT_TRUE(NSStringRAW::isDNG("/x.DNG"));
  EXPECT_FALSE(NSStringRAW::canOpenViaLibRaw(dng)) << "DNG files are not for the RAW library";
  EXPECT_EQ(NSStringRAW::cameraModel(dng), "Bayer One");
  EXPECT_TRUE(NSStringRAW::doesExtensionReferToUTI("JPG", "public.jpeg"));
  EXPECT_FALSE(NSStringRAW::doesExtensionReferToUTI("png", "public.jpeg"));

  std::vector<std::string> raws, others;
  QVSourceManager::splitRawsInImagePaths({png, dng, png}, [&](const auto& r, const auto& o) {
    raws = r;
    others = o;
  });
  EXPECT_EQ(raws, std::vector<std::string>{dng});
  EXPECT_EQ(others, (std::vector<std::string>{png, png}));
}
