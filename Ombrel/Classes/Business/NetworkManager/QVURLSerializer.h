#pragma once
// Request addresses: a serializer that joins scheme, host, path and a query string built from the
// request's attributes and the class's fixed ("static") attributes, and the query-string encoding
// with its percent-escaping rules.
//
// Query strings: pairs come from the parameters recursively (dictionaries in ascending key order
// as "parent[key]", arrays as "parent[]" in element order, anything else one pair); each pair is
// "field=value" percent-escaped, or the field alone for a null value; pairs are joined with "&".
// Values that are not strings are written as their plain text (numbers in decimal).
#include <optional>
#include <string>
#include <vector>

#include "QVPlatform/Value.h"

// Percent-escapes everything but letters, digits, "-", ".", "_", "~", "/" and "?" (UTF-8 bytes).
std::string AFPercentEscapedStringFromString(const std::string& string);

class AFQueryStringPair {
 public:
  AFQueryStringPair(qv::Value field, qv::Value value) : field_(std::move(field)), value_(std::move(value)) {}
  const qv::Value& field() const { return field_; }
  const qv::Value& value() const { return value_; }
  std::string URLEncodedStringValue() const;

 private:
  qv::Value field_;
  qv::Value value_;
};

std::string AFQueryStringFromParameters(const qv::Dictionary& parameters);
std::vector<AFQueryStringPair> AFQueryStringPairsFromDictionary(const qv::Dictionary& dictionary);
// `key` null at the top level.
std::vector<AFQueryStringPair> AFQueryStringPairsFromKeyAndValue(const qv::Value& key, const qv::Value& value);
// The text a value stands for in a query: a string itself, a number in decimal, a boolean 1 or 0.
std::string AFPlainDescription(const qv::Value& value);

class QVURLSerializer {
 public:
  QVURLSerializer() = default;
  QVURLSerializer(std::string protocolName, std::string hostName)
      : protocolName_(std::move(protocolName)), hostName_(std::move(hostName)) {}
  virtual ~QVURLSerializer() = default;

  const std::string& protocolName() const { return protocolName_; }
  void setProtocolName(std::string name) { protocolName_ = std::move(name); }
  const std::string& hostName() const { return hostName_; }
  void setHostName(std::string name) { hostName_ = std::move(name); }
  // Without a leading slash; none for the bare host.
  const std::optional<std::string>& path() const { return path_; }
  void setPath(std::optional<std::string> path) { path_ = std::move(path); }
  const qv::Dictionary& attributes() const { return attributes_; }
  void setAttributes(qv::Dictionary attributes) { attributes_ = std::move(attributes); }
  // Kept with the object; takes no part in building.
  qv::Dictionary& requiredAttributes() { return requiredAttributes_; }

  // The class's fixed attributes: none here.
  virtual qv::Dictionary staticAttributesDic() const { return {}; }

  // "<scheme>://<host>[/<path>][?<query>]"; nullopt when neither scheme nor host is set. The fixed
  // attributes replace request attributes of the same key unless they are ignored.
  std::optional<std::string> URLString(bool ignoreStaticAttributes = false) const;

 private:
  std::string protocolName_;
  std::string hostName_;
  std::optional<std::string> path_;
  qv::Dictionary attributes_;
  qv::Dictionary requiredAttributes_;
};
