#pragma once
// The few parts of freedesktop.org desktop entries the launcher needs: finding the application
// folders, reading the main group, and the program an entry starts. No Qt.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

class QVDesktopEntry {
 public:
  // The data folders, most important first: $XDG_DATA_HOME (default ~/.local/share), then each of
  // $XDG_DATA_DIRS (default /usr/local/share:/usr/share). Entries live in their "applications".
  static std::vector<std::string> dataFolders();

  // Entries are a few kilobytes; a larger file is no entry.
  static constexpr uint64_t kMaxFileBytes = 1 << 20;
  // The keys of the "[Desktop Entry]" group; nullopt when the file cannot be read, is hidden, is
  // not a regular file (a FIFO is refused without waiting) or is larger than kMaxFileBytes.
  static std::optional<QVDesktopEntry> read(const std::string& path);
  // "<name>.desktop" in the application folders, the name compared without regard to case; the
  // first readable one wins. Empty when there is none.
  static std::string pathNamed(const std::string& name);
  // The first entry in the application folders whose "Exec" or "TryExec" starts the executable
  // (compared after resolving links); nullopt when none does.
  static std::optional<QVDesktopEntry> entryRunning(const std::string& executablePath);

  std::string value(const std::string& key) const;
  // The absolute, link-resolved path of the program "Exec" starts (a bare name is looked up in
  // $PATH); empty when there is none.
  std::string program() const;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::map<std::string, std::string> values_;
};
