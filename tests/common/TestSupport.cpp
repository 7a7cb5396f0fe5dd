#include "common/TestSupport.h"

#include <unistd.h>
#include <atomic>
#include <cstdlib>

namespace fs = std::filesystem;

namespace solvane::test {

const fs::path& testHome() {
  static const fs::path home = [] {
    const char* tmp = std::getenv("TMPDIR");
    fs::path base = (tmp && *tmp) ? fs::path(tmp) : fs::temp_directory_path();
    std::string templ = (base / "solvane-test-XXXXXX").string();
    char* made = ::mkdtemp(templ.data());
    fs::path dir = made ? fs::path(made) : base / ("solvane-test-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir;
  }();
  return home;
}

fs::path makeTempDir(const std::string& name) {
  static std::atomic<int> counter{0};
  fs::path dir = testHome() / "tmp" / (name + "-" + std::to_string(counter++));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

fs::path dataDir() {
  const char* d = std::getenv("SOLVANE_TEST_DATA");
  return d ? fs::path(d) : fs::path(SOLVANE_TEST_DATA_DIR);
}

}  // namespace solvane::test
