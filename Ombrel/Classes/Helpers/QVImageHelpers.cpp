#include "Ombrel/Classes/Helpers/QVImageHelpers.h"

#include <algorithm>
#include <cctype>

#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/PropertyList.h"

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
  if (!QVImageUtils::canOpenImageAtURL(path)) {
    assingError(error, QVImageValidationErrorUnreadable);
    return false;
  }
  return true;
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

qv::Value QVApplicationDocumentTypes() {
  const qv::Bundle& bundle = qv::Bundle::mainBundle();
  const qv::Value& fromInfo = bundle.objectForInfoDictionaryKey("CFBundleDocumentTypes");
  if (fromInfo.isArray()) return fromInfo;
  const std::string path = bundle.pathForResource("ApplicationDocumentTypes", "plist");
  return path.empty() ? qv::Value() : qv::PropertyList::readFile(path, nullptr)["CFBundleDocumentTypes"];
}

const std::vector<std::string>& QVAllowedFileTypes() {
  static const std::vector<std::string> types = [] {
    std::vector<std::string> found;
    const qv::Value documentTypes = QVApplicationDocumentTypes();
    if (const qv::Array* items = documentTypes.array())
      for (const auto& item : *items)
        if (const qv::Array* extensions = item["CFBundleTypeExtensions"].array())
          for (const auto& extension : *extensions)
            if (extension.isString()) found.push_back(*extension.string());
    return found;
  }();
  return types;
}
