#include "QVCore/Categories/NSFileManager+Additions.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "QVPlatform/Additions.h"

namespace fs = std::filesystem;

namespace NSFileManagerAdditions {

namespace {

// Entry names of a folder in name order; empty when it cannot be listed.
std::vector<std::string> sortedEntries(const std::string& path) {
  std::vector<std::string> names;
  std::error_code ec;
  fs::directory_iterator it(path, ec), end;
  for (; !ec && it != end; it.increment(ec)) names.push_back(it->path().filename().string());
  if (ec) return {};
  std::sort(names.begin(), names.end());
  return names;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string removingPercentEncoding(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
      out.push_back(char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::string pathOfFileURL(const std::string& url) {
  if (url.rfind("file://", 0) == 0) return removingPercentEncoding(url.substr(7));
  return url;
}

bool removeIfExistsAtPath(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path, ec))) return false;
  fs::remove_all(path, ec);
  return !ec;
}

bool createDirectoryAtPath(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  fs::create_directories(path, ec);
  return fs::is_directory(path, ec);
}

std::vector<std::string> filePathsInDirectory(const std::string& path,
                                              const std::vector<std::string>& allowedFileTypes) {
  std::vector<std::string> result;
  std::error_code ec;
  // Links to folders are not followed, so a link loop cannot recurse for ever.
  const bool folder = fs::is_directory(fs::symlink_status(path, ec));
  const std::vector<std::string> entries = folder ? sortedEntries(path) : std::vector<std::string>{};
  if (entries.empty()) {
    const std::string extension = qv::pathExtension(path);
    if (std::find(allowedFileTypes.begin(), allowedFileTypes.end(), extension) != allowedFileTypes.end())
      result.push_back(path);
    return result;
  }
  for (const auto& name : entries) {
    auto below = filePathsInDirectory(qv::appendingPathComponent(path, name), allowedFileTypes);
    result.insert(result.end(), below.begin(), below.end());
  }
  return result;
}

std::vector<std::string> filesSortedByModDateFromDir(const std::string& path) {
  struct Entry {
    fs::file_time_type modified;
    std::string path;
  };
  std::vector<Entry> entries;
  for (const auto& name : sortedEntries(path)) {
    std::string full = qv::appendingPathComponent(path, name);
    std::error_code ec;
    auto modified = fs::last_write_time(full, ec);
    entries.push_back({ec ? fs::file_time_type::min() : modified, std::move(full)});
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.modified < b.modified; });
  std::vector<std::string> result;
  result.reserve(entries.size());
  for (auto& e : entries) result.push_back(std::move(e.path));
  return result;
}

}  // namespace NSFileManagerAdditions
