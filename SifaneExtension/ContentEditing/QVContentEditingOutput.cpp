#include "SifaneExtension/ContentEditing/QVContentEditingOutput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "rova/codecs/SafeFile.h"

QVContentEditingOutput::QVContentEditingOutput(const QVContentEditingInput& input)
    : photoPath_(input.fullSizeImagePath()) {
  std::filesystem::path stem = std::filesystem::path(input.fullSizeImagePath()).stem();
  if (stem.empty()) stem = "Photo";
  const std::filesystem::path folder(input.outputDirectory());
  renderedContentPath_ = (folder / stem).string() + ".tiff";
  adjustmentDataPath_ = (folder / stem).string() + ".json";
}

std::optional<QVContentEditingOutput::FileIdentity> QVContentEditingOutput::FileIdentity::of(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return FileIdentity{st.st_dev, st.st_ino};
}

std::optional<std::string> QVContentEditingOutput::checkWritable() const {
  struct stat photo {};
  const bool photoKnown = ::stat(photoPath_.c_str(), &photo) == 0;
  for (const std::string* path : {&renderedContentPath_, &adjustmentDataPath_}) {
    std::string why;
    if (!rova::codecs::checkWritable(*path, &why)) return why;
    struct stat st {};
    if (::lstat(path->c_str(), &st) == 0) {
      const bool isPhoto = photoKnown && st.st_dev == photo.st_dev && st.st_ino == photo.st_ino;
      return "cannot write " + *path + ": " +
             (isPhoto ? std::string("that is the photo itself (choose another output folder)")
                      : std::string("a file with that name exists already"));
    }
    if (errno != ENOENT) return "cannot write " + *path + ": " + std::strerror(errno);
  }
  return std::nullopt;
}

std::optional<std::string> QVContentEditingOutput::commitAdjustmentData(const FileIdentity& rendering) const {
  qv::Error error;
  if (!adjustmentData_) {
    error.description = "the editor set no adjustment record";
  } else if (adjustmentData_->writeToNewFile(adjustmentDataPath_, &error)) {
    return std::nullopt;
  }
  // A rendering without its record is no finished edit: this edit's rendering goes again, and
  // only it (a file that took its name meanwhile is someone else's).
  if (FileIdentity::of(renderedContentPath_) == rendering) ::unlink(renderedContentPath_.c_str());
  return error.description.empty() ? std::string("the record could not be written") : error.description;
}
