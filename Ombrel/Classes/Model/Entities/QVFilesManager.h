#pragma once
// Where the application core keeps its own files: the application's folder in the user's
// Application Support folder, and the entity store's folder "Entities" in it.
#include <mutex>
#include <string>

class QVFilesManager {
 public:
  static QVFilesManager& sharedManager();

  // The application's folder (not created here).
  std::string applicationFilesDirectoryPath();
  void setApplicationFilesDirectoryPath(std::string path);
  // "Entities" in the application's folder; made again (and created) when it is no longer a
  // folder.
  std::string entitiesDirectoryPath();
  void setEntitiesDirectoryPath(std::string path);

  // The folder of that name in the application's folder, created with its parents when missing
  // (a failure is left to the file operations that follow); the path either way.
  std::string createDirectoryAtApplicationsDirectoryPath(const std::string& name);
  std::string generateApplicationFilesDirectoryPath();
  std::string generateEntitiesDirectoryPath();

 private:
  std::mutex mutex_;
  std::string applicationFilesDirectoryPath_;
  std::string entitiesDirectoryPath_;
};
