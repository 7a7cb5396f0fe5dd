#include "common/TestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>

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

const char* describe(Put put) {
  switch (put) {
    case Put::Nothing:
      return "nothing";
    case Put::File:
      return "a file";
    case Put::Folder:
      return "a folder";
    case Put::LinkToFile:
      return "a link to another file";
    case Put::LinkToZero:
      return "a link to /dev/zero";
    case Put::DanglingLink:
      return "a dangling link";
    case Put::Fifo:
      return "a FIFO";
  }
  return "";
}

void place(Put put, const fs::path& path, const fs::path& victim) {
  std::ofstream(victim, std::ios::binary | std::ios::trunc) << "victim";
  switch (put) {
    case Put::Nothing:
      break;
    case Put::File:
      std::ofstream(path, std::ios::binary | std::ios::trunc) << "ours\n";
      break;
    case Put::Folder:
      fs::create_directory(path);
      break;
    case Put::LinkToFile:
      fs::create_symlink(victim, path);
      break;
    case Put::LinkToZero:
      fs::create_symlink("/dev/zero", path);
      break;
    case Put::DanglingLink:
      fs::create_symlink(path.string() + ".nowhere", path);
      break;
    case Put::Fifo:
      ::mkfifo(path.c_str(), 0600);
      break;
  }
}

std::string contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool endsSoon(std::function<void()> work) {
  auto done = std::async(std::launch::async, std::move(work));
  const bool ended = done.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  if (!ended) new auto(std::move(done));  // never joined (its destructor would wait)
  return ended;
}

}  // namespace solvane::test
