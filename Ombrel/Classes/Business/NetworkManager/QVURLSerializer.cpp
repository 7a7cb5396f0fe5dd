#include "Ombrel/Classes/Business/NetworkManager/QVURLSerializer.h"

#include <cmath>
#include <cstdio>

std::string AFPercentEscapedStringFromString(const std::string& string) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(string.size());
  for (unsigned char c : string) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                         c == '.' || c == '_' || c == '~' || c == '/' || c == '?';
    if (allowed) {
      escaped += char(c);
    } else {
      escaped += '%';
      escaped += kHex[c >> 4];
      escaped += kHex[c & 15];
    }
  }
  return escaped;
}

std::string AFPlainDescription(const qv::Value& value) {
  switch (value.type()) {
    case qv::Value::Type::String:
      return *value.string();
    case qv::Value::Type::Bool:
      return value.asBool() ? "1" : "0";
    case qv::Value::Type::Integer:
      return std::to_string(value.asInt());
    case qv::Value::Type::Real: {
      const double d = value.asDouble();
      if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15) return std::to_string(int64_t(d));
      char text[32];
      std::snprintf(text, sizeof text, "%.15g", d);
      return text;
    }
    default:
      return value.description();
  }
}

std::string AFQueryStringPair::URLEncodedStringValue() const {
  const std::string field = AFPercentEscapedStringFromString(AFPlainDescription(field_));
  if (value_.isNull()) return field;
  return field + "=" + AFPercentEscapedStringFromString(AFPlainDescription(value_));
}

std::vector<AFQueryStringPair> AFQueryStringPairsFromKeyAndValue(const qv::Value& key, const qv::Value& value) {
  std::vector<AFQueryStringPair> pairs;
  if (const qv::Dictionary* dictionary = value.dictionary()) {
    // std::map keeps its keys in ascending order already.
    for (const auto& [nestedKey, nestedValue] : *dictionary) {
      qv::Value field =
          key.isNull() ? qv::Value(nestedKey) : qv::Value(AFPlainDescription(key) + "[" + nestedKey + "]");
      auto nested = AFQueryStringPairsFromKeyAndValue(field, nestedValue);
      pairs.insert(pairs.end(), nested.begin(), nested.end());
    }
  } else if (const qv::Array* array = value.array()) {
    const qv::Value field(AFPlainDescription(key) + "[]");
    for (const auto& element : *array) {
      auto nested = AFQueryStringPairsFromKeyAndValue(field, element);
      pairs.insert(pairs.end(), nested.begin(), nested.end());
    }
  } else {
    pairs.emplace_back(key, value);
  }
  return pairs;
}

std::vector<AFQueryStringPair> AFQueryStringPairsFromDictionary(const qv::Dictionary& dictionary) {
  return AFQueryStringPairsFromKeyAndValue(qv::Value(), qv::Value(dictionary));
}

std::string AFQueryStringFromParameters(const qv::Dictionary& parameters) {
  std::string query;
  for (const auto& pair : AFQueryStringPairsFromDictionary(parameters)) {
    if (!query.empty()) query += '&';
    query += pair.URLEncodedStringValue();
  }
  return query;
}

std::optional<std::string> QVURLSerializer::URLString(bool ignoreStaticAttributes) const {
  if (protocolName_.empty() && hostName_.empty()) return std::nullopt;
  qv::Dictionary parameters = attributes_;
  if (!ignoreStaticAttributes)
    for (const auto& [key, value] : staticAttributesDic()) parameters[key] = value;
  const std::string query = AFQueryStringFromParameters(parameters);
  std::string address = protocolName_ + "://" + hostName_;
  if (path_) address += "/" + *path_;
  if (!query.empty()) address += "?" + query;
  return address;
}
