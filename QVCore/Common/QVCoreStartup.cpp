#include "QVCore/Common/QVCoreStartup.h"

#include <mutex>

#include "QVCore/Categories/NSFileManager+ContainerDirectory.h"
#include "QVPlatform/Bundle.h"

namespace {

// The signing team of the application and its extension.
constexpr const char* kQVDeveloperTeamPrefix = "SOLVANE";

}  // namespace

std::string QVAppGroupIdentifier() {
  std::string bundleIdentifier = qv::Bundle::mainBundle().bundleIdentifier();
  const std::string extensionSuffix = ".photoextension";
  for (size_t at; (at = bundleIdentifier.find(extensionSuffix)) != std::string::npos;)
    bundleIdentifier.erase(at, extensionSuffix.size());
  return std::string(kQVDeveloperTeamPrefix) + ".group." + bundleIdentifier;
}

void QVCoreStartup() {
  static std::once_flag once;
  std::call_once(once,
                 [] { NSFileManagerContainerDirectory::configureWithContainerIdentifier(QVAppGroupIdentifier()); });
}
