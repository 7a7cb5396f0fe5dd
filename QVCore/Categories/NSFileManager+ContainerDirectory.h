#pragma once
// The shared app-group container: the folder the application and its photo-library extension both
// see, where the core framework keeps the user's preset groups, favourites and workspaces.
//
// The container is only known once the app-group identifier is set (`QVCoreStartup` does it once
// at start-up); before that every path built on it is empty. On Linux the container is the
// "shared app-group container" of QVPlatform/Places.h, whatever the identifier; it is created when
// asked for, as the system does.
#include <string>

namespace NSFileManagerContainerDirectory {

// Stores the app-group identifier for the life of the process, replacing an earlier one; an empty
// identifier clears it.
void configureWithContainerIdentifier(const std::string& identifier);
// The stored app-group identifier; empty when none is set.
std::string containerIdentifier();
// The container folder; empty when no identifier is set or the folder cannot be made. Every call
// asks the platform again.
std::string containerDirectory();

}  // namespace NSFileManagerContainerDirectory
