#include "Ombrel/Classes/Helpers/NSString+RAW.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "Ombrel/Classes/Helpers/QVServiceUtils.h"
#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/Additions.h"

namespace {
std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return text;
}
}  // namespace

namespace NSStringRAW {

bool isDNG(const std::string& path) { return lowered(qv::pathExtension(path)) == "dng"; }

bool isRAW(const std::string& path) { return QVImageUtils::isRawImage(path); }

bool canOpenViaLibRaw(const std::string& path) {
  if (!isRAW(path) || isDNG(path)) return false;
  const std::string model = cameraModel(path);
  if (QVServiceUtils::isLibrawForcedCamera(model)) return true;
  return !QVServiceUtils::isLibrawSkippedCamera(model) &&
         !QVServiceUtils::isLibrawSkippedFormat(lowered(qv::pathExtension(path)));
}

bool doesExtensionReferToUTI(const std::string& extension, const std::string& uti) {
  // The image MIME subtypes the system maps onto a type identifier.
  static const std::map<std::string, std::string> kPreferredIdentifiers = {
      {"jpeg", kUTTypeJPEG},        {"jpg", kUTTypeJPEG},    {"pjpeg", kUTTypeJPEG},  {"png", kUTTypePNG},
      {"tiff", kUTTypeTIFF},        {"tif", kUTTypeTIFF},    {"webp", kUTTypeWebP},   {"gif", "com.compuserve.gif"},
      {"bmp", "com.microsoft.bmp"}, {"heic", "public.heic"}, {"heif", "public.heif"}, {"jp2", "public.jpeg-2000"},
      {"x-adobe-dng", kUTTypeDNG},
  };
  auto it = kPreferredIdentifiers.find(lowered(extension));
  return it != kPreferredIdentifiers.end() && it->second == uti;
}

CGImageSourceRef imageSource(const std::string& path) { return CGImageSourceCreateWithURL(path); }

qv::Value imageProperties(const std::string& path) {
  auto source = imageSource(path);
  if (!source) return qv::Value();
  return CGImageSourceCopyPropertiesAtIndex(source, 0);
}

std::string cameraModel(const std::string& path) {
  return imageProperties(path)[kCGImagePropertyTIFFDictionary]["Model"].asString();
}

const std::vector<std::string>& exceptionalImageTypes() {
  static const std::vector<std::string> types = {"x3f", "kdc"};
  return types;
}

}  // namespace NSStringRAW
