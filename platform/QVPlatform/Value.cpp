#include "QVPlatform/Value.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace qv {

Date Date::now() {
  using namespace std::chrono;
  double unix = duration<double>(system_clock::now().time_since_epoch()).count();
  return fromUnixTime(unix);
}

bool Value::asBool(bool fallback) const {
  switch (type()) {
    case Type::Bool:
      return std::get<bool>(v_);
    case Type::Integer:
      return std::get<int64_t>(v_) != 0;
    case Type::Real:
      return std::get<double>(v_) != 0;
    default:
      return fallback;
  }
}

int64_t Value::asInt(int64_t fallback) const {
  switch (type()) {
    case Type::Bool:
      return std::get<bool>(v_) ? 1 : 0;
    case Type::Integer:
      return std::get<int64_t>(v_);
    case Type::Real: {
      double d = std::get<double>(v_);
      if (std::isnan(d)) return 0;
      if (d >= 9.2233720368547758e18) return INT64_MAX;
      if (d <= -9.2233720368547758e18) return INT64_MIN;
      return static_cast<int64_t>(d);
    }
    default:
      return fallback;
  }
}

double Value::asDouble(double fallback) const {
  switch (type()) {
    case Type::Bool:
      return std::get<bool>(v_) ? 1.0 : 0.0;
    case Type::Integer:
      return static_cast<double>(std::get<int64_t>(v_));
    case Type::Real:
      return std::get<double>(v_);
    default:
      return fallback;
  }
}

std::string Value::asString(const std::string& fallback) const {
  if (auto s = string()) return *s;
  return fallback;
}

const Value* Value::find(const std::string& key) const {
  auto d = dictionary();
  if (!d) return nullptr;
  auto it = d->find(key);
  return it == d->end() ? nullptr : &it->second;
}

const Value& Value::operator[](const std::string& key) const {
  auto v = find(key);
  return v ? *v : nullValue();
}

Value& Value::set(const std::string& key, Value v) {
  if (isNull()) v_ = Dictionary{};
  auto d = dictionary();
  if (!d) {
    v_ = Dictionary{};
    d = dictionary();
  }
  (*d)[key] = std::move(v);
  return *this;
}

bool Value::erase(const std::string& key) {
  auto d = dictionary();
  return d && d->erase(key) > 0;
}

const Value& Value::operator[](size_t index) const {
  auto a = array();
  if (!a || index >= a->size()) return nullValue();
  return (*a)[index];
}

Value& Value::push(Value v) {
  if (isNull()) v_ = Array{};
  auto a = array();
  if (!a) {
    v_ = Array{};
    a = array();
  }
  a->push_back(std::move(v));
  return *this;
}

size_t Value::size() const {
  if (auto a = array()) return a->size();
  if (auto d = dictionary()) return d->size();
  if (auto b = data()) return b->size();
  return 0;
}

bool operator==(const Value& a, const Value& b) {
  using T = Value::Type;
  bool an = a.type() == T::Integer || a.type() == T::Real;
  bool bn = b.type() == T::Integer || b.type() == T::Real;
  if (an && bn) {
    if (a.type() == T::Integer && b.type() == T::Integer) return std::get<int64_t>(a.v_) == std::get<int64_t>(b.v_);
    return a.asDouble() == b.asDouble();
  }
  return a.v_ == b.v_;
}

}  // namespace qv

namespace qv {

namespace {

void describeReal(double d, std::string& out) {
  if (std::isnan(d)) {
    out += "nan";
    return;
  }
  if (std::isinf(d)) {
    out += d < 0 ? "-inf" : "inf";
    return;
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", d);
  out += buf;
  bool looksIntegral = true;
  for (const char* p = buf; *p; ++p)
    if (*p == '.' || *p == 'e' || *p == 'E') looksIntegral = false;
  if (looksIntegral) out += ".0";
}

void describeString(const std::string& s, std::string& out) {
  out += '"';
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += char(c);
        }
    }
  }
  out += '"';
}

void describe(const Value& v, std::string& out) {
  switch (v.type()) {
    case Value::Type::Null:
      out += "null";
      break;
    case Value::Type::Bool:
      out += v.asBool() ? "true" : "false";
      break;
    case Value::Type::Integer:
      out += std::to_string(v.asInt());
      break;
    case Value::Type::Real:
      describeReal(v.asDouble(), out);
      break;
    case Value::Type::String:
      describeString(*v.string(), out);
      break;
    case Value::Type::Data: {
      static const char* hex = "0123456789abcdef";
      out += '<';
      for (uint8_t b : *v.data()) {
        out += hex[b >> 4];
        out += hex[b & 15];
      }
      out += '>';
      break;
    }
    case Value::Type::Date:
      out += '@';
      describeReal(v.date()->secondsSinceReferenceDate, out);
      break;
    case Value::Type::Array: {
      out += '[';
      bool first = true;
      for (const Value& item : *v.array()) {
        if (!first) out += ',';
        first = false;
        describe(item, out);
      }
      out += ']';
      break;
    }
    case Value::Type::Dictionary: {
      out += '{';
      bool first = true;
      for (const auto& [key, item] : *v.dictionary()) {
        if (!first) out += ',';
        first = false;
        describeString(key, out);
        out += ':';
        describe(item, out);
      }
      out += '}';
      break;
    }
  }
}

}  // namespace

std::string Value::description() const {
  std::string out;
  describe(*this, out);
  return out;
}

}  // namespace qv
