#pragma once
// Texts shown to the user, looked up by key (the English text) in a strings table. A key the
// table does not know gives the key itself. "<AppName>" in the result becomes the application's
// name.
//
// The table is read on first use from the resources: "Localizable.strings" (the classic
// `"key" = "value";` form, with /* */ and // comments) or "Localizable.plist" (a dictionary),
// first in the resource folder, then in "en.lproj". Thread-safe.
#include <optional>
#include <string>

#include "QVPlatform/Value.h"

namespace qv {

struct QVSLocalization {
  static std::string localizedStringForKey(const std::string& key, const std::string& comment = {});

  // Replaces the table (tests, or a tool with its own table).
  static void setTable(Dictionary table);
  // Reads a table file (".strings" or property list); false when it cannot be read.
  static bool loadTableFromFile(const std::string& path);
  // Parses the classic strings-file form; nullopt on a syntax error.
  static std::optional<Dictionary> parseStrings(const std::string& text);
};

}  // namespace qv
