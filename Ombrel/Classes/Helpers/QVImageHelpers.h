#pragma once
// The checks that decide whether an opened file can become a source image: not of an excluded
// type, a regular file the engine's reader can open, and at least 800 x 600 pixels in either
// orientation; and why one cannot. Stateless; safe on any thread.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "QVPlatform/Error.h"
#include "QVPlatform/Value.h"

// The domain of validation errors; code 1: the engine's reader cannot open the file, code 2: the
// extension is an excluded type.
inline constexpr const char* kQVImageValidationErrorDomain = "com.orvanta.image";
enum : int64_t { QVImageValidationErrorUnreadable = 1, QVImageValidationErrorExcludedType = 2 };

// Why a file cannot become a source image, for the message that names it.
enum class QVUnopenableReason {
  Missing,         // nothing at that path
  NotRegularFile,  // a folder, a named pipe, a device or a socket (`kind`)
  Empty,           // zero bytes
  Unreadable,      // this user may not read it, or reading fails (`systemError`)
  NotAnImage,      // the engine's reader does not know what it holds
  TooLarge,        // its header declares more pixels than the engine takes (`width` x `height`)
  TooSmall,        // fewer pixels than the enhancement needs (`width` x `height`)
  Damaged,         // its header reads but its picture does not decode (`systemError`: the decoder's words)
};

struct QVUnopenableFile {
  std::string path;
  QVUnopenableReason reason = QVUnopenableReason::NotAnImage;
  std::string kind;               // NotRegularFile: "folder", "named pipe", "device", "socket", "special file"
  std::string systemError;        // Unreadable: the system's words; Damaged: the decoder's
  int64_t width = 0, height = 0;  // TooLarge, TooSmall
  bool operator==(const QVUnopenableFile&) const = default;
};

class QVImageHelpers {
 public:
  // Why the engine's reader cannot open the file. The kind of file is looked at (stat) before
  // anything opens it, so a named pipe or a device is never opened or read.
  static QVUnopenableFile whyImageCannotOpen(const std::string& path);
  // Why a photo whose picture failed to load cannot be decoded (decoded again, at a small size):
  // Damaged with the decoder's words, or what `whyImageCannotOpen` finds when the header does not
  // read either; none when it decodes now. Not for the main thread.
  static std::optional<QVUnopenableFile> whyImageCannotDecode(const std::string& path);
  // A photo `validateSizeForPath` refuses, with its size as shown.
  static QVUnopenableFile tooSmallImage(const std::string& path);
  // Whether the path is a regular file (following links), without opening it.
  static bool isRegularFile(const std::string& path);
  // The extension is not excluded (compared exactly, case-sensitive), the path is a regular file
  // and the engine's reader can open it; otherwise false with error 2 or 1 in *error when given.
  static bool validateImageAtPath(const std::string& path, qv::Error* error = nullptr);
  // Width >= 800 and height >= 600, or width >= 600 and height >= 800 (pixels as shown).
  static bool validateSizeForPath(const std::string& path);
  static bool isSupportedRAWImage(const std::string& path);
  // The extension is one the application declares it opens and the file validates.
  static bool validateTwoFactorImageAtPath(const std::string& path);
  // True for an empty list; else whether some entry equals the extension, both lower-cased.
  static bool path(const std::string& path, const std::vector<std::string>& extensions);
  static bool pathHasExtensionWithin(const std::string& path, const std::vector<std::string>& extensions) {
    return QVImageHelpers::path(path, extensions);
  }
  static void assingError(qv::Error* error, int64_t code);
  // "x3f", "kdc", "exr".
  static const std::vector<std::string>& exceptionalImageTypes();
};

// The document types the application declares: "CFBundleDocumentTypes" of the main bundle's
// information dictionary when it has them, else of the resource "ApplicationDocumentTypes.plist"
// (one bundle serves the application and the core framework here, and the framework's own preset
// document types live in "DocumentTypes.plist").
qv::Value QVApplicationDocumentTypes();
// The extensions the application opens: every "CFBundleTypeExtensions" entry of every declared
// document type, in order; read once per process. The open panel offers the same list.
const std::vector<std::string>& QVAllowedFileTypes();
