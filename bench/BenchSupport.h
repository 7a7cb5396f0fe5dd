#pragma once
// Small measuring helpers shared by the benchmark programs.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <malloc.h>
#include <sys/resource.h>

namespace bench {

// The application's resources (presets, effects catalogue): $SOLVANE_RESOURCES, else this source
// tree's.
inline std::filesystem::path resourcesDir() {
  if (const char* env = std::getenv("SOLVANE_RESOURCES")) return env;
#ifdef SOLVANE_SOURCE_DIR
  return std::filesystem::path(SOLVANE_SOURCE_DIR) / "Ombrel" / "Resources";
#else
  return std::filesystem::path(__FILE__).parent_path().parent_path() / "Ombrel" / "Resources";
#endif
}

// Wall-clock seconds one call of f takes.
inline double seconds(const std::function<void()>& f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// CPU time (user and system, all threads) the process has used so far, in seconds.
inline double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

// The process's peak resident memory so far, in MB.
inline double peakMB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024.0;
}

// Starts a new measure of peak resident memory (Linux: the kernel's high-water mark is reset).
// Memory freed earlier but kept by the allocator is handed back first, so it does not count.
inline void resetPeakMemory() {
  malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";
}

// A line of the kernel's account of this process ("VmHWM:", "VmRSS:"), in MB; -1 when absent.
inline double processStatusMB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == field) {
      double kb = 0;
      status >> kb;
      return kb / 1024.0;
    }
    status.ignore(1 << 16, '\n');
  }
  return -1;
}

// The peak resident memory since the last resetPeakMemory() (or since the start), in MB.
inline double peakMemorySinceResetMB() {
  const double hwm = processStatusMB("VmHWM:");
  return hwm >= 0 ? hwm : peakMB();
}

// The resident memory now, in MB.
inline double residentMB() { return processStatusMB("VmRSS:"); }

}  // namespace bench
