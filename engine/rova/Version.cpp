#include "rova/Version.h"

namespace rova {
const char* versionString() { return "1.0.0"; }
}  // namespace rova
