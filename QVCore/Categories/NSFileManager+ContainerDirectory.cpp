#include "QVCore/Categories/NSFileManager+ContainerDirectory.h"

#include <mutex>

#include "QVPlatform/Places.h"

namespace NSFileManagerContainerDirectory {

namespace {

std::mutex& identifierMutex() {
  static std::mutex m;
  return m;
}

std::string& storedIdentifier() {
  static std::string identifier;
  return identifier;
}

}  // namespace

void configureWithContainerIdentifier(const std::string& identifier) {
  std::lock_guard<std::mutex> lock(identifierMutex());
  storedIdentifier() = identifier;
}

std::string containerIdentifier() {
  std::lock_guard<std::mutex> lock(identifierMutex());
  return storedIdentifier();
}

std::string containerDirectory() {
  if (containerIdentifier().empty()) return {};
  std::string path = qv::places::groupContainerDirectory();
  if (path.empty() || !qv::createDirectory(path)) return {};
  return path;
}

}  // namespace NSFileManagerContainerDirectory
