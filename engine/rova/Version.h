#pragma once

namespace rova {
// The engine's version text, e.g. "1.0.0".
const char* versionString();
}  // namespace rova
