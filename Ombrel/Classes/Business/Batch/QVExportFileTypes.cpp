#include "Ombrel/Classes/Business/Batch/QVExportFileTypes.h"

#include "Ombrel/Classes/Business/Batch/QVBatchTextHelpers.h"
#include "QVPlatform/ImageIO/ImageIO.h"

namespace {

struct FileType {
  const char* identifier;
  const char* title;
  const char* extension;
};

// Titles follow the names the system's image framework gives its types.
constexpr FileType kTypes[] = {
    {kQVExportTypeJPEG, "JPEG", "jpeg"},  {kQVExportTypePNG, "PNG", "png"},
    {kQVExportTypeTIFF, "TIFF", "tiff"},  {kQVExportTypeJPEG2000, "JPEG 2000", "jp2"},
    {kQVExportTypeWebP, "WebP", "webp"},  {"public.heic", "HEIC", "heic"},
    {"com.compuserve.gif", "GIF", "gif"}, {"com.microsoft.bmp", "Windows BMP", "bmp"},
    {"com.adobe.pdf", "PDF", "pdf"},      {"com.ilm.openexr-image", "OpenEXR", "exr"},
};

const FileType* find(std::string_view identifier) {
  for (const auto& type : kTypes)
    if (QVBatchTextHelpers::caseInsensitiveEquals(identifier, type.identifier)) return &type;
  return nullptr;
}

}  // namespace

std::optional<std::string> QVExportFileTypes::displayName(std::string_view typeIdentifier) {
  if (const FileType* type = find(typeIdentifier)) return std::string(type->title);
  return std::nullopt;
}

std::optional<std::string> QVExportFileTypes::extensionForType(std::string_view typeIdentifier) {
  if (const FileType* type = find(typeIdentifier)) return std::string(type->extension);
  return std::nullopt;
}

bool QVExportFileTypes::isLossyType(std::string_view typeIdentifier) {
  return QVBatchTextHelpers::caseInsensitiveEquals(typeIdentifier, kQVExportTypeJPEG) ||
         QVBatchTextHelpers::caseInsensitiveEquals(typeIdentifier, kQVExportTypeJPEG2000);
}

QVExportFileTypes::SaveTarget QVExportFileTypes::saveTargetForName(const std::string& path,
                                                                   const std::string& chosenType) {
  if (std::string named = CGImageDestinationTypeForPath(path); !named.empty()) return {path, named, false};
  const auto extension = extensionForType(chosenType);
  if (!extension || path.empty()) return {path, chosenType, false};
  return {path + "." + *extension, chosenType, true};
}
