#pragma once
// The file types an export can write, by type identifier: the title shown for each and the file
// extension it is written with. Extensions come only from this table, never from a title, so a
// translated or renamed title can never change what a file is called.
#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* kQVExportTypeJPEG = "public.jpeg";
inline constexpr const char* kQVExportTypePNG = "public.png";
inline constexpr const char* kQVExportTypeTIFF = "public.tiff";
inline constexpr const char* kQVExportTypeJPEG2000 = "public.jpeg-2000";
inline constexpr const char* kQVExportTypeWebP = "org.webmproject.webp";

class QVExportFileTypes {
 public:
  // "JPEG", "PNG", "TIFF", "JPEG 2000", "WebP", ...; nothing for a type the table does not know.
  static std::optional<std::string> displayName(std::string_view typeIdentifier);
  // "jpeg", "png", "tiff", "jp2", "webp", ...; compared without regard to case; nothing for a
  // type the table does not know.
  static std::optional<std::string> extensionForType(std::string_view typeIdentifier);
  // True for the types whose quality setting matters (JPEG and JPEG 2000), without regard to case.
  static bool isLossyType(std::string_view typeIdentifier);
};
