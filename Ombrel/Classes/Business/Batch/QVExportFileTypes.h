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
  // What a file the user named is written as. A name whose extension a writer knows says what the
  // file is: that type is written, whatever type was chosen beside the name (`chosenType`), as a
  // plug-in host's name is followed. Any other name keeps the chosen type and gets its extension
  // added ("x.foo" → "x.foo.jpeg"), so no file holds one type's data under another's extension.
  // `renamed` tells that the path is not the one the user named (a file there was never asked
  // about). A chosen type without an extension of ours leaves the path as it is.
  struct SaveTarget {
    std::string path;
    std::string type;
    bool renamed = false;
  };
  static SaveTarget saveTargetForName(const std::string& path, const std::string& chosenType);
  // "JPEG", "PNG", "TIFF", "JPEG 2000", "WebP", ...; nothing for a type the table does not know.
  static std::optional<std::string> displayName(std::string_view typeIdentifier);
  // "jpeg", "png", "tiff", "jp2", "webp", ...; compared without regard to case; nothing for a
  // type the table does not know.
  static std::optional<std::string> extensionForType(std::string_view typeIdentifier);
  // True for the types whose quality setting matters (JPEG and JPEG 2000), without regard to case.
  static bool isLossyType(std::string_view typeIdentifier);
};
