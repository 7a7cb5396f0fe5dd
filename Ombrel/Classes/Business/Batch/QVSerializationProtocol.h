#pragma once
// The two halves of a record that lives in a property list: `serialize` writes its dictionary and
// a static `initWithDic` (on each record class) reads it back. Readers below accept numbers of any
// flavour and numeric text, so a hand-edited file with "1" for 1 still loads; anything else reads
// as the fallback.
#include <cstdint>
#include <optional>
#include <string>

#include "Ombrel/Classes/Business/Batch/QVBatchTextHelpers.h"
#include "QVPlatform/Value.h"

class QVSerializationProtocol {
 public:
  virtual ~QVSerializationProtocol() = default;
  // A new dictionary with the record's keys; absent optional texts are left out.
  virtual qv::Value serialize() const = 0;
};

namespace qvbatch {

inline int64_t integerValue(const qv::Value& value, int64_t fallback = 0) {
  if (value.isNumber()) return value.asInt(fallback);
  if (const std::string* text = value.string()) return QVBatchTextHelpers::integerFromString(*text).value_or(fallback);
  return fallback;
}

inline double doubleValue(const qv::Value& value, double fallback = 0) {
  if (value.isNumber()) return value.asDouble(fallback);
  if (const std::string* text = value.string()) return QVBatchTextHelpers::numberFromString(*text).value_or(fallback);
  return fallback;
}

inline bool boolValue(const qv::Value& value, bool fallback = false) {
  if (value.isNumber()) return value.asBool(fallback);
  if (const std::string* text = value.string()) {
    if (*text == "YES" || *text == "true" || *text == "yes") return true;
    return QVBatchTextHelpers::numberFromString(*text).value_or(0) != 0;
  }
  return fallback;
}

// The text under the key, or nothing when the key is missing or holds no text.
inline std::optional<std::string> stringValue(const qv::Value& dictionary, const std::string& key) {
  if (const std::string* text = dictionary[key].string()) return *text;
  return std::nullopt;
}

// The dictionary under the key, or an empty one.
inline const qv::Value& dictionaryValue(const qv::Value& dictionary, const std::string& key) {
  static const qv::Value empty = qv::Dictionary{};
  const qv::Value& found = dictionary[key];
  return found.isDictionary() ? found : empty;
}

}  // namespace qvbatch
