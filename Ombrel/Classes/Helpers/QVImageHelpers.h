#pragma once
// The checks that decide whether an opened file can become a source image: not of an excluded
// type, readable by the engine's reader, and at least 800 x 600 pixels in either orientation.
// Stateless; safe on any thread.
#include <string>
#include <vector>

#include "QVPlatform/Error.h"
#include "QVPlatform/Value.h"

// The domain of validation errors; code 1: the engine's reader cannot open the file, code 2: the
// extension is an excluded type.
inline constexpr const char* kQVImageValidationErrorDomain = "com.orvanta.image";
enum : int64_t { QVImageValidationErrorUnreadable = 1, QVImageValidationErrorExcludedType = 2 };

class QVImageHelpers {
 public:
  // The extension is not excluded (compared exactly, case-sensitive) and the engine's reader can
  // open the file; otherwise false with error 2 or 1 in *error when given.
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
