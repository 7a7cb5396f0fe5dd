#include "SifaneExtension/ContentEditing/QVContentEditingOutput.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "QVPlatform/OwnFiles.h"
#include "rova/codecs/SafeFile.h"

namespace {

// One random token per process: the temporary names cannot be guessed ahead of the run, and the
// host and the editor of one process agree on them.
const std::string& processToken() {
  static const std::string token = [] {
    uint64_t r = 0;
    if (::getrandom(&r, sizeof r, GRND_NONBLOCK) != ssize_t(sizeof r)) {
      r = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^ (uint64_t(::getpid()) << 32);
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(r));
    return std::string(text);
  }();
  return token;
}

// Removes `path` only while it still holds `identity` (a file that took the name is not ours).
void removeIfStill(const std::string& path, const std::optional<QVContentEditingOutput::FileIdentity>& identity) {
  if (identity && QVContentEditingOutput::FileIdentity::of(path) == identity) ::unlink(path.c_str());
}

}  // namespace

QVContentEditingOutput::QVContentEditingOutput(const QVContentEditingInput& input)
    : photoPath_(input.fullSizeImagePath()) {
  std::string stem = std::filesystem::path(input.fullSizeImagePath()).stem().string();
  if (stem.empty()) stem = "Photo";
  const std::filesystem::path folder(input.outputDirectory());
  renderedContentPath_ = (folder / stem).string() + ".tiff";
  adjustmentDataPath_ = (folder / stem).string() + ".json";
  // Kept within the name limit with room for the dots, the token and the suffix.
  const std::string hidden = "." + stem.substr(0, 200);
  renderingTemporaryPath_ = (folder / hidden).string() + ".tiff." + processToken() + ".part";
  recordTemporaryPath_ = (folder / hidden).string() + ".json." + processToken() + ".part";
}

std::optional<QVContentEditingOutput::FileIdentity> QVContentEditingOutput::FileIdentity::of(const std::string& path) {
  const qv::Entry entry = qv::entryAt(path);
  if (!entry.isRegular()) return std::nullopt;
  return FileIdentity{entry.device, entry.inode};
}

std::optional<std::string> QVContentEditingOutput::checkWritable() const {
  struct stat photo {};
  const bool photoKnown = ::stat(photoPath_.c_str(), &photo) == 0;
  for (const std::string* path : {&renderedContentPath_, &adjustmentDataPath_}) {
    std::string why;
    if (!rova::codecs::checkWritable(*path, &why)) return why;
    const qv::Entry entry = qv::entryAt(*path);
    if (entry.isTaken()) {
      const bool isPhoto = photoKnown && entry.device == photo.st_dev && entry.inode == photo.st_ino;
      return "cannot write " + *path + ": " +
             (isPhoto ? std::string("that is the photo itself (choose another output folder)")
                      : std::string("a file with that name exists already"));
    }
    if (entry.kind == qv::EntryKind::Unknown) return "cannot write " + *path + ": " + std::strerror(entry.error);
  }
  return std::nullopt;
}

std::optional<std::string> QVContentEditingOutput::commit() const {
  auto fail = [this](std::string why) -> std::optional<std::string> {
    discard();
    return why;
  };
  const auto rendering = FileIdentity::of(renderingTemporaryPath_);
  if (!rendering) return fail("the rendering is missing: " + renderingTemporaryPath_);
  if (!adjustmentData_) return fail("the editor set no adjustment record");
  qv::Error error;
  if (!adjustmentData_->writeToNewFile(recordTemporaryPath_, &error)) return fail(error.description);
  const auto record = FileIdentity::of(recordTemporaryPath_);

  // Both files are whole and synced: now the renames, the record first, the rendering last.
  std::string why;
  if (!rova::codecs::moveWithoutReplacing(recordTemporaryPath_, adjustmentDataPath_, &why)) return fail(why);
  if (!rova::codecs::moveWithoutReplacing(renderingTemporaryPath_, renderedContentPath_, &why)) {
    // A record without its rendering is no finished edit: ours goes again.
    removeIfStill(adjustmentDataPath_, record);
    return fail(why);
  }
  const std::string folder = std::filesystem::path(renderedContentPath_).parent_path().string();
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return std::nullopt;
}

void QVContentEditingOutput::discard() const {
  for (const std::string* path : {&renderingTemporaryPath_, &recordTemporaryPath_}) {
    removeIfStill(*path, FileIdentity::of(*path));
  }
}
