// Every test process gets its own SOLVANE_HOME (and TMPDIR under it) so tests never touch the
// user's folders and parallel test processes never share files. The folder is removed at the end
// unless SOLVANE_KEEP_TEST_HOME is set.
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "common/TestSupport.h"

int main(int argc, char** argv) {
  const auto& home = solvane::test::testHome();
  ::setenv("SOLVANE_HOME", home.c_str(), 1);
  std::filesystem::create_directories(home / "tmp");
  ::setenv("TMPDIR", (home / "tmp").c_str(), 1);
  ::setenv("SOLVANE_TEST_DATA", SOLVANE_TEST_DATA_DIR, 0);
  ::setenv("SOLVANE_RESOURCES", SOLVANE_TEST_RESOURCES_DIR, 0);
  // The web service of a test process is a closed loopback port unless a test starts its own
  // server: no test reaches outside the machine.
  ::setenv("SOLVANE_WEB_SERVICE", "http://127.0.0.1:9", 0);
  ::testing::InitGoogleTest(&argc, argv);
  int rc = RUN_ALL_TESTS();
  if (!std::getenv("SOLVANE_KEEP_TEST_HOME")) {
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
  }
  return rc;
}
