// The runner program end to end on the offscreen platform, as a host would start it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "Ombrel/Classes/Business/ErrorTracker/QVAppEvent.h"
#include "Ombrel/Classes/Business/ErrorTracker/QVAppEventStorage.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/ImageIO/NSImageAdditions.h"
#include "SifaneExtension/ContentEditing/QVAdjustmentData.h"
#include "SifaneExtension/PhotoEditing/PhotoEditingViewController.h"
#include "SifaneExtension/Runner/QVExtensionRunnerOptions.h"
#include "common/TestSupport.h"
#include "tests/SifaneExtension/ExtensionTestSupport.h"

namespace fs = std::filesystem;

namespace {

struct ProgramRun {
  int status = -1;
  std::string output;
};

// Runs the program with the arguments (stdout and stderr together), in its own SOLVANE_HOME, on
// the offscreen platform unless `environment` says otherwise ("NAME=value ...").
ProgramRun runExtension(const std::vector<std::string>& arguments, const fs::path& home,
                        const std::string& environment = "") {
  std::string command = "env QT_QPA_PLATFORM=offscreen " + environment + " SOLVANE_HOME='" + home.string() + "' '" +
                        SIFANE_EXTENSION_PROGRAM + "'";
  for (const auto& a : arguments) command += " '" + a + "'";
  command += " 2>&1";
  ProgramRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 4096> buffer;
  while (size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) run.output.append(buffer.data(), n);
  const int raw = ::pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

// The cat of tests/data/enhance enlarged to `width` x `height` and written as JPEG: a real
// photograph of a size the enhancement takes.
fs::path writePhoto(const fs::path& dir, const std::string& name, double width, double height) {
  auto source = CGImageSourceCreateWithURL((solvane::test::dataDir() / "enhance" / "chelsea.png").string());
  auto image = NSImage::imageWithCGImage(CGImageSourceCreateImageAtIndex(source, 0));
  auto enlarged = qv::imageResizedToSize(image, CGSizeMake(width, height));
  const fs::path path = dir / name;
  auto destination = CGImageDestinationCreateWithURL(path.string(), kUTTypeJPEG, 1);
  CGImageDestinationAddImage(destination, enlarged->CGImage(), qv::Value());
  CGImageDestinationFinalize(destination);
  return path;
}

NSImageRef readImage(const fs::path& path) {
  auto source = CGImageSourceCreateWithURL(path.string());
  if (!source) return nullptr;
  return NSImage::imageWithCGImage(CGImageSourceCreateImageAtIndex(source, 0));
}

// The mean absolute difference of the two pictures' channels (0..255), sampled on a grid.
double meanDifference(const NSImageRef& a, const NSImageRef& b) {
  const auto pa = a->CGImage(), pb = b->CGImage();
  double sum = 0;
  int n = 0;
  for (size_t y = 0; y < pa->height; y += 17) {
    for (size_t x = 0; x < pa->width; x += 13) {
      const auto ca = extension_test::pixel(a, x, y), cb = extension_test::pixel(b, x, y);
      for (int k = 0; k < 3; ++k, ++n) sum += std::abs(ca[k] - cb[k]);
    }
  }
  return n ? sum / n : 0;
}

// The mean of the picture's channels (0..255), sampled on the same grid, read as plain samples.
double meanLevel(const NSImageRef& image) {
  const auto bitmap = image->CGImage();
  double sum = 0;
  int n = 0;
  for (size_t y = 0; y < bitmap->height; y += 17)
    for (size_t x = 0; x < bitmap->width; x += 13)
      for (int value : extension_test::pixel(image, x, y)) sum += value, ++n;
  return n ? sum / n : 0;
}

}  // namespace

TEST(SifaneExtensionRunner, AutoFinishWritesAFullSizeEnhancedTIFFAndItsRecordInEitherOrder) {
  const auto dir = solvane::test::makeTempDir("runner-done");
  const fs::path photo = writePhoto(dir, "Chelsea.jpg", 1200, 800);
  for (bool inputFirst : {false, true}) {
    SCOPED_TRACE(inputFirst ? "input before the window" : "input after the window");
    const fs::path out = dir / (inputFirst ? "out-before" : "out-after");
    std::vector<std::string> args = {"--input", photo.string(), "--output-dir", out.string(), "--auto-finish"};
    if (inputFirst) args.push_back("--input-before-show");
    const ProgramRun run = runExtension(args, dir / "home");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("done: " + (out / "Chelsea.tiff").string()), std::string::npos) << run.output;

    auto source = CGImageSourceCreateWithURL((out / "Chelsea.tiff").string());
    ASSERT_TRUE(source);
    EXPECT_EQ(CGImageSourceGetType(source), kUTTypeTIFF);
    const NSImageRef rendered = readImage(out / "Chelsea.tiff");
    const NSImageRef original = readImage(photo);
    ASSERT_TRUE(rendered && original);
    // Full size: the photo's own pixels, not the preview's.
    EXPECT_EQ(original->CGImage()->width, 1200u);
    EXPECT_EQ(rendered->CGImage()->width, original->CGImage()->width);
    EXPECT_EQ(rendered->CGImage()->height, original->CGImage()->height);
    EXPECT_GT(meanDifference(rendered, original), 0.5) << "the rendering is the enhanced photo";
    // Display-referred, like the photo: about as bright, not the third darker of linear-light samples.
    EXPECT_NEAR(meanLevel(rendered) / meanLevel(original), 1.0, 0.1);

    const auto record = QVAdjustmentData::readFromFile((out / "Chelsea.json").string());
    ASSERT_TRUE(record);
    EXPECT_EQ(*record, PhotoEditingViewController::adjustmentData());
    // Nothing but the two files: no temporary left behind.
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(out)) ++files;
    EXPECT_EQ(files, 2u);
  }
}

TEST(SifaneExtensionRunner, AnEarlierRecordIsRefusedAndTheOriginalIsEdited) {
  const auto dir = solvane::test::makeTempDir("runner-record");
  const fs::path photo = writePhoto(dir, "cat.jpg", 1000, 667);
  ASSERT_TRUE(PhotoEditingViewController::adjustmentData().writeToFile((dir / "earlier.json").string()));
  const ProgramRun run = runExtension({"--input", photo.string(), "--output-dir", (dir / "out").string(),
                                       "--adjustment", (dir / "earlier.json").string(), "--auto-finish"},
                                      dir / "home");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("starts from the original photo"), std::string::npos) << run.output;
  EXPECT_TRUE(fs::exists(dir / "out" / "cat.tiff"));
}

TEST(SifaneExtensionRunner, CancelExitsZeroAndWritesNothing) {
  const auto dir = solvane::test::makeTempDir("runner-cancel");
  const fs::path photo = writePhoto(dir, "cat.jpg", 1000, 667);
  // The screenshot run opens the slider, writes the window and then presses the host's Cancel.
  const ProgramRun run = runExtension({"--input", photo.string(), "--output-dir", (dir / "out").string(),
                                       "--screenshot", (dir / "window.png").string()},
                                      dir / "home");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("cancelled: nothing written"), std::string::npos) << run.output;
  EXPECT_TRUE(fs::exists(dir / "window.png"));
  EXPECT_FALSE(fs::exists(dir / "out" / "cat.tiff"));
  EXPECT_FALSE(fs::exists(dir / "out" / "cat.json"));
}

TEST(SifaneExtensionRunner, ASmallPhotoEndsWith134AfterItsAlert) {
  const auto dir = solvane::test::makeTempDir("runner-small");
  const fs::path photo = writePhoto(dir, "small.jpg", 640, 480);
  const ProgramRun run =
      runExtension({"--input", photo.string(), "--output-dir", (dir / "out").string(), "--auto-finish"}, dir / "home");
  EXPECT_EQ(run.status, 134) << run.output;
  EXPECT_NE(run.output.find("alert: "), std::string::npos) << run.output;
  EXPECT_FALSE(fs::exists(dir / "out" / "small.tiff"));
  // "Load image of wrong size" (type 0, code 1) was stored before the process ended.
  std::vector<int64_t> codes;
  for (const auto& entry : fs::recursive_directory_iterator(dir / "home")) {
    if (entry.path().filename() != "Errors.log") continue;
    QVAppEventStorage storage(entry.path().string(), false);
    for (const auto& event : storage.readAllEvents()) codes.push_back(event->info.at(kQVCodeName).asInt());
  }
  EXPECT_EQ(codes, std::vector<int64_t>{1});
}

TEST(SifaneExtensionRunner, AnUnwritableFolderIsAFailureWithItsReasonAndNoFiles) {
  const auto dir = solvane::test::makeTempDir("runner-unwritable");
  const fs::path photo = writePhoto(dir, "cat.jpg", 1000, 667);
  // The host's folder is a file: nothing can be written into it.
  std::ofstream(dir / "blocked") << "a file, not a folder";
  const ProgramRun run = runExtension(
      {"--input", photo.string(), "--output-dir", (dir / "blocked").string(), "--auto-finish"}, dir / "home");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("the edit was not saved: "), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("done: "), std::string::npos);
  EXPECT_TRUE(fs::is_regular_file(dir / "blocked"));
}

TEST(SifaneExtensionRunner, CommandLinesItCannotRun) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
  } cases[] = {
      {"no input", {"--output-dir", "/tmp/x"}},
      {"no output folder", {"--input", "/tmp/x.jpg"}},
      {"a value missing", {"--input"}},
      {"unknown option", {"--input", "a.jpg", "--output-dir", "o", "--fast"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"SifaneExtension"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::string error;
    EXPECT_FALSE(QVExtensionRunnerOptions::parse(args, &error));
    EXPECT_FALSE(error.empty());
  }
  const auto dir = solvane::test::makeTempDir("runner-missing");
  const ProgramRun run =
      runExtension({"--input", (dir / "missing.jpg").string(), "--output-dir", dir.string()}, dir / "home");
  EXPECT_EQ(run.status, QVExtensionRunnerOptions::kUsageStatus) << run.output;
  EXPECT_NE(run.output.find("no such photo"), std::string::npos);
  // A display that cannot be reached: Qt would abort; the runner says so and ends with 2.
  const ProgramRun noDisplay = runExtension({"--input", (dir / "missing.jpg").string(), "--output-dir", dir.string()},
                                            dir / "home", "QT_QPA_PLATFORM=xcb DISPLAY=:9999");
  EXPECT_EQ(noDisplay.status, QVExtensionRunnerOptions::kUsageStatus) << noDisplay.output;
  EXPECT_EQ(noDisplay.output, "SifaneExtension: no display could be reached (QT_QPA_PLATFORM=xcb, DISPLAY=:9999)\n")
      << "one line";
}

namespace {

std::string fileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

// What the runner does with photos, folders and records it cannot use: every case ends with its
// own status and a line naming the reason, and no file that was there before is changed.
TEST(SifaneExtensionRunner, EveryInputItCannotUseIsAFailureWithItsReasonAndNothingIsReplaced) {
  struct Case {
    const char* name;
    // Prepares the folder; answers the photo and the output folder.
    std::function<std::pair<fs::path, fs::path>(const fs::path& dir)> prepare;
    int status;
    const char* says;
  } cases[] = {
      {"the output folder is the photo's own, and the photo has the rendering's name",
       [](const fs::path& dir) {
         const fs::path jpeg = writePhoto(dir, "seed.jpg", 1000, 667);
         auto image = readImage(jpeg);
         auto destination = CGImageDestinationCreateWithURL((dir / "IMG.tiff").string(), kUTTypeTIFF, 1);
         CGImageDestinationAddImage(destination, image->CGImage(), qv::Value());
         CGImageDestinationFinalize(destination);
         return std::pair{dir / "IMG.tiff", dir};
       },
       QVExtensionRunnerOptions::kNotWrittenStatus, "the photo itself"},
      {"a rendering of an earlier edit is in the output folder",
       [](const fs::path& dir) {
         fs::create_directories(dir / "out");
         std::ofstream(dir / "out" / "IMG.tiff") << "an earlier rendering";
         return std::pair{writePhoto(dir, "IMG.jpg", 1000, 667), dir / "out"};
       },
       QVExtensionRunnerOptions::kNotWrittenStatus, "exists already"},
      {"a link at the record's name",
       [](const fs::path& dir) {
         fs::create_directories(dir / "out");
         std::ofstream(dir / "victim") << "the user's file";
         fs::create_symlink(dir / "victim", dir / "out" / "IMG.json");
         return std::pair{writePhoto(dir, "IMG.jpg", 1000, 667), dir / "out"};
       },
       QVExtensionRunnerOptions::kNotWrittenStatus, "exists already"},
      {"a file that is not an image",
       [](const fs::path& dir) {
         std::ofstream(dir / "IMG.jpg") << "plain text, not a photo";
         return std::pair{dir / "IMG.jpg", dir / "out"};
       },
       QVExtensionRunnerOptions::kUndecodableStatus, "not a photo that can be decoded"},
      {"an empty file",
       [](const fs::path& dir) {
         std::ofstream(dir / "IMG.jpg").close();
         return std::pair{dir / "IMG.jpg", dir / "out"};
       },
       QVExtensionRunnerOptions::kUndecodableStatus, "an empty file"},
      {"a FIFO",
       [](const fs::path& dir) {
         ::mkfifo((dir / "IMG.jpg").c_str(), 0600);
         return std::pair{dir / "IMG.jpg", dir / "out"};
       },
       QVExtensionRunnerOptions::kUsageStatus, "not a regular file"},
      {"a truncated JPEG",
       [](const fs::path& dir) {
         const fs::path photo = writePhoto(dir, "IMG.jpg", 1200, 800);
         fs::resize_file(photo, fs::file_size(photo) / 3);
         return std::pair{photo, dir / "out"};
       },
       QVExtensionRunnerOptions::kUndecodableStatus, "cannot be edited"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto dir = solvane::test::makeTempDir("runner-refused");
    const auto [photo, out] = c.prepare(dir);
    // What every file held before the run.
    std::map<fs::path, std::string> before;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
      if (entry.is_regular_file()) before[entry.path()] = fileText(entry.path());
    }
    const ProgramRun run =
        runExtension({"--input", photo.string(), "--output-dir", out.string(), "--auto-finish"}, dir / "home");
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("done: "), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("too small"), std::string::npos) << "never taken for a small photo: " << run.output;
    for (const auto& [path, text] : before) {
      if (path.string().find("/home/") != std::string::npos) continue;
      EXPECT_EQ(fileText(path), text) << path;
    }
    for (const char* made : {"IMG.tiff", "IMG.json"}) {
      if (!before.count(out / made) && !fs::is_symlink(out / made)) {
        EXPECT_FALSE(fs::exists(out / made)) << made;
      }
    }
  }
}

// A file name is bytes: one that is not UTF-8 is edited like any other, and its rendering and
// record keep its bytes. A record padded far beyond any real one (or a FIFO) is refused unread
// and the edit goes on from the original.
TEST(SifaneExtensionRunner, NamesAreBytesAndAnOversizedOrFIFORecordIsRefusedUnread) {
  const auto dir = solvane::test::makeTempDir("runner-bytes");
  const std::string name = "Caf\xe9-\xff";  // Latin-1 bytes, invalid as UTF-8
  const fs::path photo = writePhoto(dir, name + ".jpg", 1000, 667);
  ASSERT_TRUE(PhotoEditingViewController::adjustmentData().writeToFile((dir / "padded.json").string()));
  fs::resize_file(dir / "padded.json", 48u << 20);
  ASSERT_EQ(::mkfifo((dir / "fifo.json").c_str(), 0600), 0);
  for (const char* record : {"padded.json", "fifo.json"}) {
    SCOPED_TRACE(record);
    const fs::path out = dir / (std::string("out-") + record);
    const ProgramRun run = runExtension({"--input", photo.string(), "--output-dir", out.string(), "--adjustment",
                                         (dir / record).string(), "--auto-finish"},
                                        dir / "home");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("the record is not used"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(std::string(record) == "fifo.json" ? "not a regular file" : "larger than"),
              std::string::npos)
        << run.output;
    EXPECT_TRUE(fs::is_regular_file(out / (name + ".tiff")));
    EXPECT_TRUE(QVAdjustmentData::readFromFile((out / (name + ".json")).string()));
  }
}
