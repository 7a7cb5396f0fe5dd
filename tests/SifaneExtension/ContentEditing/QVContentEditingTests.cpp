#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "QVPlatform/PropertyList.h"
#include "SifaneExtension/ContentEditing/QVAdjustmentData.h"
#include "SifaneExtension/ContentEditing/QVContentEditingOutput.h"
#include "common/TestSupport.h"

TEST(QVAdjustmentData, RoundTripsThroughItsJSONFileAndRefusesIncompleteOnes) {
  const auto dir = solvane::test::makeTempDir("adjustment");
  const QVAdjustmentData record("com.solvane.Solvane.photoextension", "1.0", "SolvaneExtentionAdjustData");
  const std::string path = (dir / "record.json").string();
  ASSERT_TRUE(record.writeToFile(path));
  EXPECT_EQ(QVAdjustmentData::readFromFile(path), record);
  qv::Error error;
  const qv::Value json = qv::PropertyList::readJSONFile(path, &error);
  EXPECT_EQ(json["data"].asString(), "SolvaneExtentionAdjustData") << "the data is readable text in the file";

  struct Case {
    const char* name;
    const char* text;
  } cases[] = {
      {"no data", R"({"formatIdentifier": "a", "formatVersion": "1.0"})"},
      {"version not text", R"({"formatIdentifier": "a", "formatVersion": 1, "data": "x"})"},
      {"not an object", R"(["a", "1.0", "x"])"},
      {"not JSON", "formatIdentifier=a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bad = (dir / "bad.json").string();
    std::ofstream(bad) << c.text;
    qv::Error why;
    EXPECT_FALSE(QVAdjustmentData::readFromFile(bad, &why));
    EXPECT_FALSE(why.description.empty() && why.domain.empty());
  }
  EXPECT_FALSE(QVAdjustmentData::readFromFile((dir / "missing.json").string()));
}

TEST(QVContentEditingOutput, NamesTheRenderingAndTheRecordAfterThePhotoInTheHostsFolder) {
  const QVContentEditingInput input("/photos/Holiday 2026.tar.JPG", std::nullopt, "/tmp/out");
  const QVContentEditingOutput output(input);
  EXPECT_EQ(output.renderedContentPath(), "/tmp/out/Holiday 2026.tar.tiff");
  EXPECT_EQ(output.adjustmentDataPath(), "/tmp/out/Holiday 2026.tar.json");
  EXPECT_FALSE(output.adjustmentData());
  // Two inputs are equal only with the same photo, record and folder.
  EXPECT_EQ(input, QVContentEditingInput("/photos/Holiday 2026.tar.JPG", std::nullopt, "/tmp/out"));
  EXPECT_FALSE(input == QVContentEditingInput("/photos/Holiday 2026.tar.JPG", QVAdjustmentData(), "/tmp/out"));
}

namespace {

std::string contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

// A record is read only from a regular file of a bounded size: a FIFO is refused at once (never
// waited on), a padded record before it is parsed.
TEST(QVAdjustmentData, ReadsOnlyABoundedRegularFile) {
  namespace fs = std::filesystem;
  const auto dir = solvane::test::makeTempDir("adjustment-bounds");
  ASSERT_EQ(::mkfifo((dir / "fifo.json").c_str(), 0600), 0);
  const QVAdjustmentData record("a", "1.0", "x");
  ASSERT_TRUE(record.writeToFile((dir / "padded.json").string()));
  fs::resize_file(dir / "padded.json", QVAdjustmentData::kMaxFileBytes + 1);
  std::ofstream(dir / "empty.json").close();
  fs::create_directory(dir / "folder.json");
  struct Case {
    const char* name;
    const char* reason;
  } cases[] = {
      {"fifo.json", "not a regular file"}, {"padded.json", "larger than"},   {"empty.json", "empty file"},
      {"folder.json", "a folder"},         {"missing.json", "no such file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    qv::Error error;
    EXPECT_FALSE(QVAdjustmentData::readFromFile((dir / c.name).string(), &error));
    EXPECT_NE(error.description.find(c.reason), std::string::npos) << error.description;
  }
}

// The edit's names are checked before anyone edits, and the edit is one commit that never replaces
// a file: when it cannot be made, this edit's files go again and nothing that was there before does.
TEST(QVContentEditingOutput, NeverReplacesAFileAndRemovesOnlyItsOwnFiles) {
  namespace fs = std::filesystem;
  struct Case {
    const char* name;
    // What the folder holds before the edit (name -> text), and links (name -> target).
    std::vector<std::pair<std::string, std::string>> files, links;
    bool photoInOutput;    // the photo is "IMG.tiff" in the output folder itself
    const char* checkWhy;  // empty: the names are free
  } cases[] = {
      {"free names", {}, {}, false, ""},
      {"the photo itself", {}, {}, true, "the photo itself"},
      {"an earlier rendering", {{"IMG.tiff", "earlier rendering"}}, {}, false, "exists already"},
      {"an earlier record", {{"IMG.json", "earlier record"}}, {}, false, "exists already"},
      {"a link at the record's name", {}, {{"IMG.json", "../victim"}}, false, "exists already"},
      {"a dangling link at the rendering's name", {}, {{"IMG.tiff", "../nowhere"}}, false, "exists already"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto dir = solvane::test::makeTempDir(std::string("output-") + c.name);
    const fs::path out = dir / "out";
    fs::create_directories(out);
    std::ofstream(dir / "victim") << "the user's file";
    for (const auto& [name, text] : c.files) std::ofstream(out / name) << text;
    for (const auto& [name, target] : c.links) fs::create_symlink(target, out / name);
    const fs::path photo = c.photoInOutput ? out / "IMG.tiff" : dir / "IMG.jpg";
    std::ofstream(photo) << "the photo";
    const QVContentEditingOutput output(QVContentEditingInput(photo.string(), std::nullopt, out.string()));
    const auto why = output.checkWritable();
    if (!*c.checkWhy) {
      EXPECT_FALSE(why) << *why;
    } else {
      ASSERT_TRUE(why);
      EXPECT_NE(why->find(c.checkWhy), std::string::npos) << *why;
    }
    EXPECT_EQ(contents(dir / "victim"), "the user's file");
    EXPECT_EQ(contents(photo), "the photo");
  }

  // Committing: the rendering is at its temporary name; the record is written to its own, then
  // both are renamed in. A name taken after the check (by a file, a link, even a FIFO) fails the
  // edit: nothing of this edit is left (no record, no rendering, no temporary) and what took the
  // name is left alone. Free names: both files, the record complete, no temporary.
  enum class Taken { No, ByFile, ByLink, ByFIFO };
  struct Commit {
    const char* name;
    Taken record, rendering;
  } commits[] = {
      {"free", Taken::No, Taken::No},
      {"record's name taken by a file", Taken::ByFile, Taken::No},
      {"record's name taken by a link", Taken::ByLink, Taken::No},
      {"rendering's name taken by a file", Taken::No, Taken::ByFile},
      {"rendering's name taken by a link", Taken::No, Taken::ByLink},
      {"rendering's name taken by a FIFO", Taken::No, Taken::ByFIFO},
  };
  for (const auto& c : commits) {
    SCOPED_TRACE(c.name);
    const auto dir = solvane::test::makeTempDir(std::string("commit-") + c.name);
    std::ofstream(dir / "victim") << "the user's file";
    QVContentEditingOutput output(QVContentEditingInput((dir / "IMG.jpg").string(), std::nullopt, dir.string()));
    output.setAdjustmentData(QVAdjustmentData("a", "1.0", "x"));
    EXPECT_EQ(fs::path(output.renderingTemporaryPath()).parent_path(), dir) << "beside its name, for the rename";
    std::ofstream(output.renderingTemporaryPath()) << "ours";
    auto take = [&](Taken how, const std::string& path) {
      if (how == Taken::ByFile) std::ofstream(path) << "someone else's";
      if (how == Taken::ByLink) fs::create_symlink(dir / "victim", path);
      if (how == Taken::ByFIFO) {
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
      }
    };
    take(c.record, output.adjustmentDataPath());
    take(c.rendering, output.renderedContentPath());

    const auto failed = output.commit();
    EXPECT_EQ(contents(dir / "victim"), "the user's file");
    EXPECT_FALSE(fs::exists(output.renderingTemporaryPath()));
    EXPECT_FALSE(fs::exists(output.recordTemporaryPath()));
    if (c.record == Taken::No && c.rendering == Taken::No) {
      EXPECT_FALSE(failed) << *failed;
      EXPECT_EQ(QVAdjustmentData::readFromFile(output.adjustmentDataPath()), *output.adjustmentData());
      EXPECT_EQ(contents(output.renderedContentPath()), "ours");
      continue;
    }
    ASSERT_TRUE(failed);
    EXPECT_NE(failed->find("exists already"), std::string::npos) << *failed;
    for (const auto& [how, path] :
         {std::pair{c.record, output.adjustmentDataPath()}, std::pair{c.rendering, output.renderedContentPath()}}) {
      const auto kind = fs::symlink_status(path).type();
      const fs::file_type expected[] = {fs::file_type::not_found, fs::file_type::regular, fs::file_type::symlink,
                                        fs::file_type::fifo};
      EXPECT_EQ(kind, expected[int(how)]) << path << " (nothing of this edit is left, nothing else touched)";
      if (how == Taken::ByFile) {
        EXPECT_EQ(contents(path), "someone else's");
      }
    }
  }

  // A rendering that never reached its temporary name: nothing to commit, nothing written.
  {
    const auto dir = solvane::test::makeTempDir("commit-nothing");
    QVContentEditingOutput output(QVContentEditingInput((dir / "IMG.jpg").string(), std::nullopt, dir.string()));
    output.setAdjustmentData(QVAdjustmentData("a", "1.0", "x"));
    ASSERT_TRUE(output.commit());
    EXPECT_TRUE(fs::is_empty(dir));
  }
}
