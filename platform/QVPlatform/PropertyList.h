#pragma once
// Reading and writing property lists (XML and binary) and JSON as qv::Value.
//
// Number flavours survive every round trip: booleans stay booleans, integers stay integers and
// reals stay reals (also 1.0 in JSON, written "1.0"). Dates keep microseconds in binary files
// and whole seconds in XML (the format's own precision). A property list cannot hold null: a
// value that contains one is refused with an error; JSON holds null but no data or dates.
//
// Failures return a null Value / false / an empty result and fill *error (domain
// "NSCocoaErrorDomain", code 3840 for unreadable content, 3851 for unwritable values, 260 for a
// missing file, 512 for a failed write).
#include <optional>
#include <string>
#include <string_view>

#include "QVPlatform/Error.h"
#include "QVPlatform/Value.h"

namespace qv {

enum class PropertyListFormat { XML, Binary, JSON };

struct PropertyList {
  // XML or binary, told apart by the content.
  static Value read(const void* data, size_t length, Error* error, PropertyListFormat* format = nullptr);
  static Value read(const Bytes& data, Error* error, PropertyListFormat* format = nullptr) {
    return read(data.data(), data.size(), error, format);
  }
  static Value read(std::string_view data, Error* error, PropertyListFormat* format = nullptr) {
    return read(data.data(), data.size(), error, format);
  }
  static Value readFile(const std::string& path, Error* error, PropertyListFormat* format = nullptr);
  // What can still be read of an XML property list whose root dictionary was cut short (a write
  // that never finished): the dictionary of every entry before the cut that is whole, or null
  // when there is none (a binary list keeps its index at its end, so nothing of one cut short is).
  static Value salvageCutDictionary(std::string_view data);

  static std::optional<std::string> toXML(const Value& value, Error* error = nullptr);
  static std::optional<Bytes> toBinary(const Value& value, Error* error = nullptr);
  // Atomic: a temporary file beside the target is renamed over it.
  static bool writeFile(const std::string& path, const Value& value,
                        PropertyListFormat format = PropertyListFormat::XML, Error* error = nullptr);

  static Value fromJSON(std::string_view text, Error* error);
  static std::optional<std::string> toJSON(const Value& value, bool pretty = false, Error* error = nullptr);
  static Value readJSONFile(const std::string& path, Error* error);
};

}  // namespace qv
