#pragma once
// The lens database (lensfun) of the engine, loaded once for the process: the engine's resources
// first (a "lensfun" folder under the start-up resource path), then the system's.
#include <mutex>

class lfDatabase;

namespace rova {

lfDatabase* sharedLensDatabase();
// lensfun lookups are not documented as thread-safe: hold this while using the database.
std::mutex& lensDatabaseMutex();

}  // namespace rova
