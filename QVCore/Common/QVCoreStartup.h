#pragma once
// What a program that uses the core framework runs once before its first preset, favourite or
// workspace operation. The application and its extension both call it (the engine start-up may
// too: it is safe to call any number of times from any thread).
#include <string>

// The app-group identifier the application and its photo-library extension share: the developer
// team prefix, ".group." and the main bundle's identifier with every ".photoextension" removed.
std::string QVAppGroupIdentifier();

// Sets the container directory's app-group identifier (once per process).
void QVCoreStartup();
