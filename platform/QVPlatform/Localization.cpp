#include "QVPlatform/Localization.h"

#include <mutex>
#include <optional>

#include "QVPlatform/Additions.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"

namespace qv {

namespace {

std::mutex gMutex;
std::optional<Dictionary> gTable;

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

struct StringsParser {
  const std::string& s;
  size_t i = 0;

  void skipSpaceAndComments() {
    while (i < s.size()) {
      if (std::isspace(static_cast<unsigned char>(s[i]))) {
        ++i;
      } else if (s.compare(i, 2, "/*") == 0) {
        size_t end = s.find("*/", i + 2);
        i = end == std::string::npos ? s.size() : end + 2;
      } else if (s.compare(i, 2, "//") == 0) {
        size_t end = s.find('\n', i);
        i = end == std::string::npos ? s.size() : end + 1;
      } else {
        break;
      }
    }
  }

  std::optional<std::string> quoted() {
    if (i >= s.size() || s[i] != '"') return std::nullopt;
    ++i;
    std::string out;
    while (i < s.size() && s[i] != '"') {
      char c = s[i++];
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i >= s.size()) return std::nullopt;
      char e = s[i++];
      switch (e) {
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'U':
        case 'u': {
          if (i + 4 > s.size()) return std::nullopt;
          uint32_t cp = uint32_t(std::stoul(s.substr(i, 4), nullptr, 16));
          i += 4;
          appendUtf8(out, cp);
          break;
        }
        default:
          out += e;
      }
    }
    if (i >= s.size()) return std::nullopt;
    ++i;
    return out;
  }
};

std::optional<Dictionary> readTable(const std::string& path) {
  auto bytes = readFileBytes(path);
  if (!bytes) return std::nullopt;
  std::string text(bytes->begin(), bytes->end());
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  if (text.compare(0, 5, "<?xml") == 0 || text.compare(0, 6, "<plist") == 0 || text.compare(0, 8, "bplist00") == 0) {
    Value v = PropertyList::read(text, nullptr);
    if (!v.isDictionary()) return std::nullopt;
    return *v.dictionary();
  }
  return QVSLocalization::parseStrings(text);
}

Dictionary defaultTable() {
  const Bundle& bundle = Bundle::mainBundle();
  for (const char* sub : {"", "en.lproj"}) {
    for (const char* ext : {"strings", "plist"}) {
      std::string path = bundle.pathForResource("Localizable", ext, sub);
      if (path.empty()) continue;
      if (auto table = readTable(path)) return *table;
    }
  }
  return {};
}

}  // namespace

std::optional<Dictionary> QVSLocalization::parseStrings(const std::string& text) {
  StringsParser p{text};
  Dictionary table;
  while (true) {
    p.skipSpaceAndComments();
    if (p.i >= text.size()) break;
    auto key = p.quoted();
    if (!key) return std::nullopt;
    p.skipSpaceAndComments();
    if (p.i >= text.size() || text[p.i] != '=') return std::nullopt;
    ++p.i;
    p.skipSpaceAndComments();
    auto value = p.quoted();
    if (!value) return std::nullopt;
    p.skipSpaceAndComments();
    if (p.i >= text.size() || text[p.i] != ';') return std::nullopt;
    ++p.i;
    table[*key] = *value;
  }
  return table;
}

std::string QVSLocalization::localizedStringForKey(const std::string& key, const std::string&) {
  std::string text;
  {
    std::lock_guard lock(gMutex);
    if (!gTable) gTable = defaultTable();
    auto it = gTable->find(key);
    text = it != gTable->end() && it->second.isString() ? *it->second.string() : key;
  }
  static const std::string kAppName = "<AppName>";
  for (size_t at = text.find(kAppName); at != std::string::npos; at = text.find(kAppName, at)) {
    text.replace(at, kAppName.size(), QVServiceUtils::applicationName());
    at += QVServiceUtils::applicationName().size();
  }
  return text;
}

void QVSLocalization::setTable(Dictionary table) {
  std::lock_guard lock(gMutex);
  gTable = std::move(table);
}

bool QVSLocalization::loadTableFromFile(const std::string& path) {
  auto table = readTable(path);
  if (!table) return false;
  setTable(std::move(*table));
  return true;
}

}  // namespace qv
