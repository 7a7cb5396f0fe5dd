#include "QVPlatform/FileAdditions.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "QVPlatform/Additions.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/PropertyList.h"
#include "QVPlatform/Value.h"

namespace fs = std::filesystem;

namespace qv {

Value applicationDocumentTypes() {
  const Bundle& bundle = Bundle::mainBundle();
  const Value& fromInfo = bundle.objectForInfoDictionaryKey("CFBundleDocumentTypes");
  if (fromInfo.isArray()) return fromInfo;
  const std::string path = bundle.pathForResource("ApplicationDocumentTypes", "plist");
  return path.empty() ? Value() : PropertyList::readFile(path, nullptr)["CFBundleDocumentTypes"];
}

std::vector<std::string> allBundleTypes() {
  std::vector<std::string> types;
  const Value documentTypes = applicationDocumentTypes();
  if (!documentTypes.isArray()) return types;
  for (const Value& documentType : *documentTypes.array())
    if (const Array* extensions = documentType["CFBundleTypeExtensions"].array())
      for (const Value& extension : *extensions)
        if (extension.isString()) types.push_back(*extension.string());
  return types;
}

std::vector<std::string> validateURLs(const std::vector<std::string>& paths,
                                      const std::vector<std::string>& validFileTypes, long deepness) {
  std::vector<std::string> accepted;
  for (const std::string& path : paths) {
    std::error_code error;
    if (deepness < 1 || !fs::is_directory(path, error)) {
      std::string extension = pathExtension(path);
      std::transform(extension.begin(), extension.end(), extension.begin(),
                     [](unsigned char c) { return char(std::tolower(c)); });
      if (std::find(validFileTypes.begin(), validFileTypes.end(), extension) != validFileTypes.end())
        accepted.push_back(path);
      continue;
    }
    std::vector<std::string> inside;
    fs::directory_iterator it(path, error), end;
    if (error) continue;
    for (; it != end; it.increment(error)) {
      if (error) break;
      inside.push_back(appendingPathComponent(path, it->path().filename().string()));
    }
    if (error) continue;
    // Names in byte order, so a drop gives the same list on every file system.
    std::sort(inside.begin(), inside.end());
    for (auto& found : validateURLs(inside, validFileTypes, deepness - 1)) accepted.push_back(std::move(found));
  }
  return accepted;
}

std::vector<std::string> validURLs(const std::vector<std::string>& urlsOrPaths) {
  return validateURLs(pathsArray(urlsOrPaths), allBundleTypes(), 1);
}

void enumerateFilePathsInDirectory(const std::string& directory, bool skipDirectories, const FilePathBlock& block) {
  if (!block) return;
  std::error_code error;
  fs::recursive_directory_iterator it(directory, fs::directory_options::skip_permission_denied, error), end;
  if (error) return;
  bool stop = false;
  while (it != end) {
    const fs::path& path = it->path();
    const bool hidden = path.filename().string().starts_with(".");
    std::error_code kindError;
    const bool isFolder = it->is_directory(kindError) && !it->is_symlink(kindError);
    if (hidden) {
      if (isFolder) it.disable_recursion_pending();
    } else {
      if (isFolder && skipDirectories) it.disable_recursion_pending();
      block(path.string(), &stop);
      if (stop) return;
    }
    // Folders that cannot be read are passed over by the options; any other failure ends the walk.
    it.increment(error);
    if (error) return;
  }
}

}  // namespace qv
