#pragma once
// Turns workspace files of the older form ("plist", any letter case) in a folder into "vlws"
// files named after the workspace ("<Name with "/" as "_">.vlws", numbered "Name 1.vlws", ...
// when taken). The content is not changed; a failed move is logged and passed over.
#include <string>

// The extension of workspace files.
inline constexpr const char* kQVWorkspaceFileExtension = "vlws";

class QVWorkspaceMigrator {
 public:
  explicit QVWorkspaceMigrator(std::string path) : path_(std::move(path)) {}
  static void migrateWithPath(const std::string& path) { QVWorkspaceMigrator(path).migrate(); }
  void migrate() const;
  const std::string& path() const { return path_; }

  // "<folder>/<base>.vlws", or numbered "<folder>/<base> <number>.vlws" for a number above 0.
  static std::string workspaceFilePath(const std::string& folder, const std::string& base, long number = 0);
  // The file name a workspace name is stored under: "/" becomes "_".
  static std::string fileNameForWorkspaceName(const std::string& name);
  // The file name's extension equals `extension` (lower case) in any letter case.
  static bool hasExtension(const std::string& fileName, const std::string& extension);

 private:
  std::string path_;
};
