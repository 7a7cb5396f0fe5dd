#include "QVLightroomBridge/TestAppInvokerBridge/QVDesktopEntry.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "rova/codecs/SafeFile.h"

namespace fs = std::filesystem;

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::vector<std::string> splitColons(const std::string& list) {
  std::vector<std::string> parts;
  std::stringstream in(list);
  for (std::string part; std::getline(in, part, ':');) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return s;
}

// The first word of an Exec line, quoting undone.
std::string firstWord(const std::string& line) {
  std::string word;
  size_t i = line.find_first_not_of(" \t");
  if (i == std::string::npos) return {};
  if (line[i] == '"') {
    for (++i; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) ++i;
      word += line[i];
    }
    return word;
  }
  const size_t end = line.find_first_of(" \t", i);
  return line.substr(i, end == std::string::npos ? std::string::npos : end - i);
}

// An absolute, link-resolved program path; a bare name is searched in $PATH. Empty when not found.
std::string resolveProgram(const std::string& program) {
  if (program.empty()) return {};
  std::error_code ec;
  if (program.find('/') != std::string::npos) {
    const auto resolved = fs::weakly_canonical(program, ec);
    return ec ? std::string() : resolved.string();
  }
  for (const auto& folder : splitColons(environment("PATH"))) {
    const fs::path candidate = fs::path(folder) / program;
    if (::access(candidate.c_str(), X_OK) == 0 && fs::is_regular_file(candidate, ec)) {
      return fs::canonical(candidate, ec).string();
    }
  }
  return {};
}

std::vector<fs::path> applicationFolders() {
  std::vector<fs::path> folders;
  for (const auto& data : QVDesktopEntry::dataFolders()) folders.push_back(fs::path(data) / "applications");
  return folders;
}

}  // namespace

std::vector<std::string> QVDesktopEntry::dataFolders() {
  std::vector<std::string> folders;
  std::string home = environment("XDG_DATA_HOME");
  if (home.empty() && !environment("HOME").empty()) home = environment("HOME") + "/.local/share";
  if (!home.empty()) folders.push_back(home);
  const std::string dirs = environment("XDG_DATA_DIRS");
  for (const auto& folder : splitColons(dirs.empty() ? "/usr/local/share:/usr/share" : dirs)) {
    folders.push_back(folder);
  }
  return folders;
}

std::optional<QVDesktopEntry> QVDesktopEntry::read(const std::string& path) {
  // Only a regular file of a bounded size: a FIFO planted among the entries never holds the
  // launcher, and a huge file is refused before it is read.
  std::vector<uint8_t> bytes;
  if (!rova::codecs::readFileSafely(path, kMaxFileBytes, bytes, nullptr)) return std::nullopt;
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  QVDesktopEntry entry;
  entry.path_ = path;
  bool inMainGroup = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inMainGroup = line == "[Desktop Entry]";
      continue;
    }
    const size_t equals = line.find('=');
    if (!inMainGroup || equals == std::string::npos) continue;
    std::string key = line.substr(0, equals), value = line.substr(equals + 1);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    value.erase(0, value.find_first_not_of(' '));
    entry.values_.emplace(std::move(key), std::move(value));  // the first of a repeated key counts
  }
  if (entry.value("Hidden") == "true") return std::nullopt;  // a hidden entry stands for a deleted one
  return entry;
}

std::string QVDesktopEntry::pathNamed(const std::string& name) {
  const std::string wanted = lower(name + ".desktop");
  std::error_code ec;
  for (const auto& folder : applicationFolders()) {
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      if (lower(it->path().filename().string()) == wanted && read(it->path().string())) return it->path().string();
    }
  }
  return {};
}

std::optional<QVDesktopEntry> QVDesktopEntry::entryRunning(const std::string& executablePath) {
  const std::string wanted = resolveProgram(executablePath);
  if (wanted.empty()) return std::nullopt;
  std::error_code ec;
  for (const auto& folder : applicationFolders()) {
    std::vector<fs::path> files;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->path().extension() == ".desktop") files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());  // the same answer whatever order the folder lists in
    for (const auto& file : files) {
      auto entry = read(file.string());
      if (!entry) continue;
      if (entry->program() == wanted || resolveProgram(entry->value("TryExec")) == wanted) return entry;
    }
  }
  return std::nullopt;
}

std::string QVDesktopEntry::value(const std::string& key) const {
  const auto it = values_.find(key);
  return it == values_.end() ? std::string() : it->second;
}

std::string QVDesktopEntry::program() const { return resolveProgram(firstWord(value("Exec"))); }
