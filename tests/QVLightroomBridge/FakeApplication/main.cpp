// A stand-in for Solvane in the launcher's tests. It records how it was started, then, when a gate
// is given, stays until the test releases it, so a test sees "still running" without any timing.
//   $FAKE_APP_RECORD            its arguments, one a line (written whole, then renamed into place)
//   $FAKE_APP_RECORD.session    "<pid> <session id>"
//   $FAKE_APP_GATE              a FIFO: the program reads it to its end before leaving
//   $FAKE_APP_RECORD.ended      written last, just before it ends
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

void writeWhole(const std::string& path, const std::string& text) {
  const std::string partial = path + ".partial";
  std::ofstream(partial) << text;
  std::rename(partial.c_str(), path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const char* record = std::getenv("FAKE_APP_RECORD");
  if (!record) return 1;
  std::string arguments;
  for (int i = 1; i < argc; ++i) arguments += std::string(argv[i]) + "\n";
  writeWhole(std::string(record) + ".session", std::to_string(getpid()) + " " + std::to_string(getsid(0)));
  writeWhole(record, arguments);
  if (const char* gate = std::getenv("FAKE_APP_GATE")) {
    const int fd = open(gate, O_RDONLY);
    char buffer[64];
    while (fd >= 0 && read(fd, buffer, sizeof buffer) > 0) {
    }
    if (fd >= 0) close(fd);
  }
  writeWhole(std::string(record) + ".ended", "");
  return 0;
}
