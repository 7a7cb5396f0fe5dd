#include "QVPlatform/Places.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "QVPlatform/Additions.h"
#include "rova/codecs/SafeFile.h"

namespace fs = std::filesystem;

namespace qv {

namespace {

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? std::string(v) : std::string();
}

std::string userHome() {
  std::string h = env("HOME");
  return h.empty() ? std::string("/tmp") : h;
}

// An XDG base folder, or H/<solvaneSub> when SOLVANE_HOME=H is set.
std::string baseFolder(const char* xdgVariable, const char* fallbackUnderHome, const char* solvaneSub) {
  std::string solvaneHome = env("SOLVANE_HOME");
  if (!solvaneHome.empty()) return (fs::path(solvaneHome) / solvaneSub).string();
  std::string xdg = env(xdgVariable);
  if (!xdg.empty()) return xdg;
  return (fs::path(userHome()) / fallbackUnderHome).string();
}

Error fileError(const std::string& message, int code) { return Error("NSCocoaErrorDomain", code, message); }

}  // namespace

namespace places {

std::string userApplicationSupportDirectory() { return baseFolder("XDG_DATA_HOME", ".local/share", "data"); }

std::string applicationSupportDirectory() {
  return (fs::path(userApplicationSupportDirectory()) / QVServiceUtils::applicationName()).string();
}

std::string groupContainerDirectory() {
  return (fs::path(userApplicationSupportDirectory()) / "Solvane" / "Group").string();
}

std::string cachesDirectory() {
  return (fs::path(baseFolder("XDG_CACHE_HOME", ".cache", "cache")) / "Solvane").string();
}

std::string userDefaultsDirectory() {
  return (fs::path(baseFolder("XDG_CONFIG_HOME", ".config", "config")) / "Solvane").string();
}

std::string temporaryDirectory() {
  std::string dir;
  std::string solvaneHome = env("SOLVANE_HOME");
  if (!solvaneHome.empty())
    dir = (fs::path(solvaneHome) / "tmp").string();
  else
    dir = env("TMPDIR");
  if (dir.empty()) dir = "/tmp";
  std::error_code ec;
  fs::create_directories(dir, ec);
  return dir;
}

}  // namespace places

bool createDirectory(const std::string& path, Error* error) {
  std::error_code ec;
  fs::create_directories(path, ec);
  if (fs::is_directory(path)) return true;
  setError(error, fileError("Could not create the folder \"" + path +
                                "\": " + (ec ? ec.message() : std::string("a file is in the way")),
                            ec ? ec.value() : EEXIST));
  return false;
}

std::string findOrCreateDirectory(SearchPathDirectory directory, SearchPathDomain, const std::string& append,
                                  Error* error) {
  fs::path base = directory == SearchPathDirectory::Caches ? fs::path(places::cachesDirectory())
                                                           : fs::path(places::userApplicationSupportDirectory());
  fs::path path = append.empty() ? base : base / append;
  if (!createDirectory(path.string(), error)) return {};
  return path.string();
}

bool writeFileAtomically(const std::string& path, const void* bytes, size_t length, Error* error) {
  rova::codecs::SafeWriteOptions options;
  options.createFolder = true;
  std::string why;
  if (rova::codecs::writeFileSafely(path, bytes, length, &why, options)) return true;
  const int code = errno ? errno : EIO;
  setError(error, fileError("Could not write \"" + path + "\": " + why, code));
  return false;
}

bool writeFileAtomically(const std::string& path, const std::string& content, Error* error) {
  return writeFileAtomically(path, content.data(), content.size(), error);
}

std::optional<uint64_t> sizeForContentsAtPath(const std::string& path, Error* error) {
  std::error_code ec;
  auto status = fs::symlink_status(path, ec);
  if (ec || !fs::exists(status)) {
    setError(error, fileError("Could not read \"" + path + "\": " + (ec ? ec.message() : "no such file"),
                              ec ? ec.value() : ENOENT));
    return std::nullopt;
  }
  if (!fs::is_directory(status)) return fs::is_regular_file(status) ? fs::file_size(path, ec) : 0;
  uint64_t total = 0;
  fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    std::error_code entryError;
    if (it->is_regular_file(entryError) && !it->is_symlink(entryError)) total += it->file_size(entryError);
  }
  if (ec) {
    setError(error, fileError("Could not list \"" + path + "\": " + ec.message(), ec.value()));
    return std::nullopt;
  }
  return total;
}

std::optional<Bytes> readFileBytes(const std::string& path, Error* error, uint64_t maxBytes) {
  Bytes data;
  std::string why;
  if (!rova::codecs::readFileSafely(path, maxBytes, data, &why)) {
    const int code = errno ? errno : EIO;
    // The reader's reason names the path last; the message names it first.
    const std::string suffix = ": " + path;
    if (why.size() > suffix.size() && why.compare(why.size() - suffix.size(), suffix.size(), suffix) == 0)
      why.resize(why.size() - suffix.size());
    Error e = fileError("Could not read \"" + path + "\": " + why, code);
    e.userInfo["NSLocalizedFailureReason"] = why;
    setError(error, std::move(e));
    return std::nullopt;
  }
  return data;
}

// Declared with the other assistant helpers (Additions.h); defined here, beside the folder it
// names, so the path helpers need nothing from the file-system places.
std::string QVAssistant::qvAppContainerPath() { return places::applicationSupportDirectory(); }

}  // namespace qv
