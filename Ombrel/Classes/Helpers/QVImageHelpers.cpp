#include "Ombrel/Classes/Helpers/QVImageHelpers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/FileAdditions.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/PropertyList.h"
#include "rova/ImageData.h"
#include "rova/reader/ImageReader.h"

namespace {
std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return text;
}

bool contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}
}  // namespace

bool QVImageHelpers::validateImageAtPath(const std::string& path, qv::Error* error) {
  if (contains(exceptionalImageTypes(), qv::pathExtension(path))) {
    assingError(error, QVImageValidationErrorExcludedType);
    return false;
  }
  // Anything but a regular file is refused before it is opened: a named pipe would wait for a
  // writer, a device be read for ever.
  if (!isRegularFile(path) || !QVImageUtils::canOpenImageAtURL(path)) {
    assingError(error, QVImageValidationErrorUnreadable);
    return false;
  }
  return true;
}

bool QVImageHelpers::isRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

QVUnopenableFile QVImageHelpers::whyImageCannotOpen(const std::string& path) {
  QVUnopenableFile why;
  why.path = path;
  auto unreadable = [&why](int code) {
    why.reason = QVUnopenableReason::Unreadable;
    why.systemError = std::strerror(code);
    return why;
  };
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      why.reason = QVUnopenableReason::Missing;
      return why;
    }
    return unreadable(errno);
  }
  if (!S_ISREG(st.st_mode)) {
    why.reason = QVUnopenableReason::NotRegularFile;
    why.kind = S_ISDIR(st.st_mode)                          ? "folder"
               : S_ISFIFO(st.st_mode)                       ? "named pipe"
               : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "device"
               : S_ISSOCK(st.st_mode)                       ? "socket"
                                                            : "special file";
    return why;
  }
  if (st.st_size == 0) {
    why.reason = QVUnopenableReason::Empty;
    return why;
  }
  // A regular file: opening it cannot wait (and O_NONBLOCK keeps it so should it be swapped for a
  // pipe meanwhile).
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return unreadable(errno);
  ::close(fd);
  const rova::Size size = rova::ImageReader::instance().getImageSize(path);
  if (size.width > 0 && size.height > 0 && !rova::isAcceptableImageSize(size.width, size.height)) {
    why.reason = QVUnopenableReason::TooLarge;
    why.width = size.width;
    why.height = size.height;
    return why;
  }
  why.reason = QVUnopenableReason::NotAnImage;
  return why;
}

std::optional<QVUnopenableFile> QVImageHelpers::whyImageCannotDecode(const std::string& path) {
  if (!isRegularFile(path) || !QVImageUtils::canOpenImageAtURL(path)) return whyImageCannotOpen(path);
  // A small fit lets the decoder take its quickest route (JPEG DCT scaling, RAW half size): the
  // whole file is still read, so a cut-off or damaged stream is found.
  constexpr int kProbeSide = 256;
  std::string error;
  if (rova::ImageReader::instance().read(path, {kProbeSide, kProbeSide}, rova::kReadDefaultFlags, nullptr, &error))
    return std::nullopt;
  QVUnopenableFile why;
  why.path = path;
  why.reason = QVUnopenableReason::Damaged;
  why.systemError = error;
  return why;
}

QVUnopenableFile QVImageHelpers::tooSmallImage(const std::string& path) {
  const CGSize size = QVImageUtils::imageSizeForPath(path);
  QVUnopenableFile why;
  why.path = path;
  why.reason = QVUnopenableReason::TooSmall;
  why.width = int64_t(size.width);
  why.height = int64_t(size.height);
  return why;
}

bool QVImageHelpers::validateSizeForPath(const std::string& path) {
  const CGSize size = QVImageUtils::imageSizeForPath(path);
  return (size.width >= 800 && size.height >= 600) || (size.width >= 600 && size.height >= 800);
}

bool QVImageHelpers::isSupportedRAWImage(const std::string& path) {
  return QVImageUtils::isRawImage(path) && !contains(exceptionalImageTypes(), qv::pathExtension(path));
}

bool QVImageHelpers::validateTwoFactorImageAtPath(const std::string& path) {
  return contains(QVAllowedFileTypes(), qv::pathExtension(path)) && validateImageAtPath(path);
}

bool QVImageHelpers::path(const std::string& path, const std::vector<std::string>& extensions) {
  if (extensions.empty()) return true;
  const std::string extension = lowered(qv::pathExtension(path));
  return std::any_of(extensions.begin(), extensions.end(),
                     [&](const std::string& e) { return lowered(e) == extension; });
}

void QVImageHelpers::assingError(qv::Error* error, int64_t code) {
  if (error) *error = qv::Error(kQVImageValidationErrorDomain, code);
}

const std::vector<std::string>& QVImageHelpers::exceptionalImageTypes() {
  static const std::vector<std::string> types = {"x3f", "kdc", "exr"};
  return types;
}

qv::Value QVApplicationDocumentTypes() { return qv::applicationDocumentTypes(); }

const std::vector<std::string>& QVAllowedFileTypes() {
  static const std::vector<std::string> types = qv::allBundleTypes();
  return types;
}
