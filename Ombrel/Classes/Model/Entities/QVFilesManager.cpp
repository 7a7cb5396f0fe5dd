#include "Ombrel/Classes/Model/Entities/QVFilesManager.h"

#include <filesystem>

#include "QVPlatform/Additions.h"
#include "QVPlatform/Places.h"

namespace fs = std::filesystem;

QVFilesManager& QVFilesManager::sharedManager() {
  // Never destroyed: the entity store's queued cleans may still ask for its folders while the
  // process exits.
  static QVFilesManager* manager = new QVFilesManager();
  return *manager;
}

std::string QVFilesManager::generateApplicationFilesDirectoryPath() {
  return qv::places::applicationSupportDirectory();
}

std::string QVFilesManager::applicationFilesDirectoryPath() {
  std::lock_guard guard(mutex_);
  if (applicationFilesDirectoryPath_.empty()) applicationFilesDirectoryPath_ = generateApplicationFilesDirectoryPath();
  return applicationFilesDirectoryPath_;
}

void QVFilesManager::setApplicationFilesDirectoryPath(std::string path) {
  std::lock_guard guard(mutex_);
  applicationFilesDirectoryPath_ = std::move(path);
}

std::string QVFilesManager::createDirectoryAtApplicationsDirectoryPath(const std::string& name) {
  std::string path = qv::appendingPathComponent(applicationFilesDirectoryPath(), name);
  std::error_code error;
  if (!fs::is_directory(path, error)) qv::createDirectory(path);
  return path;
}

std::string QVFilesManager::generateEntitiesDirectoryPath() {
  return createDirectoryAtApplicationsDirectoryPath("Entities");
}

std::string QVFilesManager::entitiesDirectoryPath() {
  {
    std::lock_guard guard(mutex_);
    std::error_code error;
    if (!entitiesDirectoryPath_.empty() && fs::is_directory(entitiesDirectoryPath_, error))
      return entitiesDirectoryPath_;
  }
  std::string path = generateEntitiesDirectoryPath();
  std::lock_guard guard(mutex_);
  entitiesDirectoryPath_ = path;
  return path;
}

void QVFilesManager::setEntitiesDirectoryPath(std::string path) {
  std::lock_guard guard(mutex_);
  entitiesDirectoryPath_ = std::move(path);
}
