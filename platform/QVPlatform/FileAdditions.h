#pragma once
// The file additions of the application: which dropped or pasted paths the application can open
// (folders expanded a given number of levels), and a walk over the paths below a folder that the
// caller can stop early. The pasteboard itself belongs to the interface layer, which hands the
// list of paths over.
#include <functional>
#include <string>
#include <vector>

namespace qv {

// The document types the application declares: "CFBundleDocumentTypes" of the main bundle's
// information dictionary, else of its "ApplicationDocumentTypes.plist" resource (where the
// application keeps them, so the framework's own preset types stay apart); null when neither has it.
class Value;
Value applicationDocumentTypes();

// Every entry of "CFBundleTypeExtensions" of every dictionary of applicationDocumentTypes(), in
// their order (duplicates kept).
std::vector<std::string> allBundleTypes();

// The paths whose lower-cased extension is in `validFileTypes` (compared exactly, so the list is
// written in lower case). While `deepness` is at least 1, a folder stands for the paths inside it
// (hidden ones included), judged with one level less; a folder that cannot be listed is skipped.
// Paths keep the order found (inside a folder, the order of names).
std::vector<std::string> validateURLs(const std::vector<std::string>& paths,
                                      const std::vector<std::string>& validFileTypes, long deepness);
// The dropped or pasted paths (file URLs or paths) the application's document types accept, with
// folders expanded one level.
std::vector<std::string> validURLs(const std::vector<std::string>& urlsOrPaths);

// Calls the block with the path of every item below the folder (folders included), hidden items
// skipped, until the block sets *stop. With skipDirectories a subfolder is reported but not
// entered. Items that cannot be read are passed over. Nothing happens without a block.
using FilePathBlock = std::function<void(const std::string& path, bool* stop)>;
void enumerateFilePathsInDirectory(const std::string& directory, bool skipDirectories, const FilePathBlock& block);
inline void enumerateFilePathsInDirectory(const std::string& directory, const FilePathBlock& block) {
  enumerateFilePathsInDirectory(directory, true, block);
}

}  // namespace qv
