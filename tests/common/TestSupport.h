#pragma once
#include <filesystem>
#include <string>

namespace solvane::test {

// The private folder this test process runs in; SOLVANE_HOME points at it.
const std::filesystem::path& testHome();

// A fresh, empty folder under testHome() for one test.
std::filesystem::path makeTempDir(const std::string& name);

// tests/data of the source tree.
std::filesystem::path dataDir();

}  // namespace solvane::test
