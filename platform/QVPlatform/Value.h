#pragma once
// The property-list value: what dictionaries, arrays, numbers, texts, data and dates of the
// system's records are made of. It has value semantics: copying is a deep copy. Dictionaries
// keep their keys sorted, so iteration order and the canonical description never depend on
// the order keys were inserted in.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace qv {

class Value;
using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value>;
using Bytes = std::vector<uint8_t>;

// Seconds since 2001-01-01 00:00:00 UTC, as property lists store dates.
struct Date {
  double secondsSinceReferenceDate = 0;
  friend bool operator==(const Date&, const Date&) = default;
  static Date now();
  static Date fromUnixTime(double unixSeconds) { return {unixSeconds - 978307200.0}; }
  double unixTime() const { return secondsSinceReferenceDate + 978307200.0; }
};

class Value {
 public:
  enum class Type { Null, Bool, Integer, Real, String, Data, Date, Array, Dictionary };

  Value() = default;
  Value(std::nullptr_t) {}
  Value(bool b) : v_(b) {}
  Value(int i) : v_(int64_t(i)) {}
  Value(unsigned i) : v_(int64_t(i)) {}
  Value(long i) : v_(int64_t(i)) {}
  Value(long long i) : v_(int64_t(i)) {}
  Value(unsigned long i) : v_(int64_t(i)) {}
  Value(unsigned long long i) : v_(int64_t(i)) {}
  Value(double d) : v_(d) {}
  Value(float d) : v_(double(d)) {}
  Value(const char* s) : v_(std::string(s ? s : "")) {}
  Value(std::string s) : v_(std::move(s)) {}
  Value(std::string_view s) : v_(std::string(s)) {}
  Value(Bytes d) : v_(std::move(d)) {}
  Value(Date d) : v_(d) {}
  Value(Array a) : v_(std::move(a)) {}
  Value(Dictionary d) : v_(std::move(d)) {}

  Type type() const { return static_cast<Type>(v_.index()); }
  bool isNull() const { return type() == Type::Null; }
  bool isBool() const { return type() == Type::Bool; }
  bool isInteger() const { return type() == Type::Integer; }
  bool isReal() const { return type() == Type::Real; }
  bool isNumber() const { return isBool() || isInteger() || isReal(); }
  bool isString() const { return type() == Type::String; }
  bool isData() const { return type() == Type::Data; }
  bool isDate() const { return type() == Type::Date; }
  bool isArray() const { return type() == Type::Array; }
  bool isDictionary() const { return type() == Type::Dictionary; }

  // Reading with a fallback. Numbers convert between flavours (like a number object's
  // boolValue / integerValue / doubleValue); any other type gives the fallback.
  bool asBool(bool fallback = false) const;
  int64_t asInt(int64_t fallback = 0) const;
  double asDouble(double fallback = 0) const;
  std::string asString(const std::string& fallback = {}) const;

  // Typed access; nullptr when the value is of another type.
  const std::string* string() const { return std::get_if<std::string>(&v_); }
  const Bytes* data() const { return std::get_if<Bytes>(&v_); }
  const Date* date() const { return std::get_if<Date>(&v_); }
  const Array* array() const { return std::get_if<Array>(&v_); }
  Array* array() { return std::get_if<Array>(&v_); }
  const Dictionary* dictionary() const { return std::get_if<Dictionary>(&v_); }
  Dictionary* dictionary() { return std::get_if<Dictionary>(&v_); }

  // Dictionary access. find() gives nullptr when this is no dictionary or the key is missing;
  // operator[] const gives a null value then.
  const Value* find(const std::string& key) const;
  const Value& operator[](const std::string& key) const;
  // Makes this a dictionary when it is null, then sets the key.
  Value& set(const std::string& key, Value v);
  bool erase(const std::string& key);
  bool contains(const std::string& key) const { return find(key) != nullptr; }

  // Array access; a null value when out of range.
  const Value& operator[](size_t index) const;
  // Makes this an array when it is null, then appends.
  Value& push(Value v);
  size_t size() const;  // elements of an array or dictionary, bytes of data, else 0

  // Numbers compare by value across integer and real (1 == 1.0); booleans only equal
  // booleans; everything else compares by type and content.
  friend bool operator==(const Value& a, const Value& b);

  // The one canonical text of a value: stable across runs and key insertion order. Used for
  // digests (MD5 keys, state hashes), so its form must never change. No white space:
  //   null            null
  //   booleans        true / false                (never 1 / 0)
  //   integers        decimal: -12
  //   reals           "%.17g", with ".0" added when that text looks like an integer
  //                   (1.0, 0.30000000000000004, 1e+300, inf, -inf, nan)
  //   strings         "..." with \" \\ and control characters as \n \t \r \uXXXX escaped
  //   data            <0a1bff> (lower-case hex)
  //   dates           @<seconds since 2001-01-01 as a real, same form as reals>
  //   arrays          [a,b]
  //   dictionaries    {"key":value,...} in byte order of the keys
  std::string description() const;

  using Storage = std::variant<std::monostate, bool, int64_t, double, std::string, Bytes, Date, Array, Dictionary>;
  const Storage& storage() const { return v_; }

 private:
  Storage v_;
};

inline const Value& nullValue() {
  static const Value v;
  return v;
}

}  // namespace qv
