#pragma once
// Small additions to strings, arrays, paths and colours, and the few service utilities the core
// framework asks for (application name, container folder name, float comparison).
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "QVPlatform/Value.h"

namespace qv {

// ---- Strings --------------------------------------------------------------------------------

// A new random UUID as upper-case text, e.g. "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
std::string stringWithUUID();
inline std::string uuidString() { return stringWithUUID(); }

// MD5 digest as 32 lower-case hexadecimal digits.
std::string md5(std::string_view text);
std::string md5(const Bytes& bytes);

// True for a missing or empty text. A value is empty unless it is a non-empty string.
inline bool isEmpty(const std::string& s) { return s.empty(); }
inline bool isEmpty(const char* s) { return s == nullptr || *s == '\0'; }
inline bool isEmpty(const std::string* s) { return s == nullptr || s->empty(); }
inline bool isEmpty(const Value& v) { return v.asString().empty(); }

// Without white space and line breaks at both ends.
std::string trim(const std::string& s);

// ---- Paths (file URLs are plain paths here) ----------------------------------------------------

// The last component ("/a/b.txt" → "b.txt", "/a/b/" → "b", "/" → "/").
std::string lastPathComponent(const std::string& path);
// Without the last component ("/a/b.txt" → "/a", "b" → "", "/a" → "/").
std::string deletingLastPathComponent(const std::string& path);
// The extension of the last component without the dot ("x.tar.gz" → "gz", ".profile" → "").
std::string pathExtension(const std::string& path);
// Without the extension of the last component ("/a/b.txt" → "/a/b").
std::string deletingPathExtension(const std::string& path);
// Joined with one "/" between them.
std::string appendingPathComponent(const std::string& path, const std::string& component);
// With ".<extension>" added (nothing added for an empty extension).
std::string appendingPathExtension(const std::string& path, const std::string& extension);

// A path written with Windows separators (a backslash, or a drive letter and colon).
bool isWinPath(const std::string& path);
// The last component of a backslash-separated path ("C:\\a\\b.x" → "b.x").
std::string lastWinPathComponent(const std::string& path);

// File URLs ("file:///a/b") and paths become paths; paths become the file URLs the system uses,
// which are the paths themselves.
std::vector<std::string> pathsArray(const std::vector<std::string>& urlsOrPaths);
std::vector<std::string> URLsArray(const std::vector<std::string>& paths);

// ---- Arrays ---------------------------------------------------------------------------------

// True when `object` is in the list and `index` is a different valid position.
template <class T>
bool canMoveObject(const std::vector<T>& list, const T& object, size_t index) {
  auto it = std::find(list.begin(), list.end(), object);
  return it != list.end() && index < list.size() && size_t(it - list.begin()) != index;
}

// Moves the first occurrence of `object` so that it ends up at `index`; false (and no change)
// when `canMoveObject` refuses.
template <class T>
bool moveObject(std::vector<T>& list, const T& object, size_t index) {
  if (!canMoveObject(list, object, index)) return false;
  auto from = size_t(std::find(list.begin(), list.end(), object) - list.begin());
  T moving = std::move(list[from]);
  list.erase(list.begin() + from);
  list.insert(list.begin() + index, std::move(moving));
  return true;
}

// Removes `object` from `from` and appends it to `to`; false when it is not in `from`.
template <class T>
bool moveObjectToArray(std::vector<T>& from, const T& object, std::vector<T>& to) {
  auto it = std::find(from.begin(), from.end(), object);
  if (it == from.end()) return false;
  T moving = std::move(*it);
  from.erase(it);
  to.push_back(std::move(moving));
  return true;
}

// The object as a T, or nullptr when it is none.
template <class T, class U>
std::shared_ptr<T> castTo(const std::shared_ptr<U>& object) {
  return std::dynamic_pointer_cast<T>(object);
}

// ---- Colours --------------------------------------------------------------------------------

struct RGBAColor {
  double red = 0, green = 0, blue = 0, alpha = 1;  // 0...1
  friend bool operator==(const RGBAColor&, const RGBAColor&) = default;
};

// The brand colours: orange (1, 197/255, 73/255) and dark grey (white 37/255), opaque.
inline RGBAColor QVOrangeColor() { return {1.0, 197.0 / 255, 73.0 / 255, 1.0}; }
inline RGBAColor QVDarkGrayColor() { return {37.0 / 255, 37.0 / 255, 37.0 / 255, 1.0}; }

// "#RRGGBB", "#RRGGBBAA", "#RGB" (the "#" or "0x" is optional, case ignored); nullopt for any
// other text.
std::optional<RGBAColor> qvColorWithCalibratedHEXString(const std::string& hex);

// ---- Service utilities ------------------------------------------------------------------------

struct QVMathUtils {
  // |a - b| <= epsilon.
  static bool isFloat(double a, double b, double epsilon);
};

struct QVServiceUtils {
  // "Solvane".
  static std::string applicationName();
  // The prefix of the app-group identifier shared by the application and its extension.
  static std::string containerIdentifier();
};

struct QVAssistant {
  // The name of the application's folder in the user's Application Support folder ("Solvane").
  static std::string qvAppContainerFolderName();
  // That folder's path (it holds the edit history).
  static std::string qvAppContainerPath();
};

}  // namespace qv
