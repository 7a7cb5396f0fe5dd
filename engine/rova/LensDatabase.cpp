#include "rova/LensDatabase.h"

#include <lensfun/lensfun.h>

#include <filesystem>

#include "rova/Rova.h"

#if defined(__SANITIZE_ADDRESS__)
#define ROVA_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ROVA_LSAN 1
#endif
#endif
#ifdef ROVA_LSAN
#include <sanitizer/lsan_interface.h>
#endif

namespace rova {

lfDatabase* sharedLensDatabase() {
  static lfDatabase* db = [] {
#if defined(ROVA_LSAN)
    // lensfun's loader loses a small block of its own; the database lives for the process anyway.
    __lsan::ScopedDisabler noLeakReports;
#endif
    auto* d = new lfDatabase();
    const std::string own = rovaContext().resourcePath;
    std::error_code ec;
    if (!own.empty() && std::filesystem::is_directory(own + "/lensfun", ec)) d->Load((own + "/lensfun").c_str());
    d->Load();
    return d;
  }();
  return db;
}

std::mutex& lensDatabaseMutex() {
  static std::mutex m;
  return m;
}

}  // namespace rova
