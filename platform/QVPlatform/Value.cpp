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
    case Type::Bool: return std::get<bool>(v_);
    case Type::Integer: return std::get<int64_t>(v_) != 0;
    case Type::Real: return std::get<double>(v_) != 0;
    default: return fallback;
  }
}

int64_t Value::asInt(int64_t fallback) const {
  switch (type()) {
    case Type::Bool: return std::get<bool>(v_) ? 1 : 0;
    case Type::Integer: return std::get<int64_t>(v_);
    case Type::Real: {
      double d = std::get<double>(v_);
      if (std::isnan(d)) return 0;
      if (d >= 9.2233720368547758e18) return INT64_MAX;
      if (d <= -9.2233720368547758e18) return INT64_MIN;
      return static_cast<int64_t>(d);
    }
    default: return fallback;
  }
}

double Value::asDouble(double fallback) const {
  switch (type()) {
    case Type::Bool: return std::get<bool>(v_) ? 1.0 : 0.0;
    case Type::Integer: return static_cast<double>(std::get<int64_t>(v_));
    case Type::Real: return std::get<double>(v_);
    default: return fallback;
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
    if (a.type() == T::Integer && b.type() == T::Integer)
      return std::get<int64_t>(a.v_) == std::get<int64_t>(b.v_);
    return a.asDouble() == b.asDouble();
  }
  return a.v_ == b.v_;
}

}  // namespace qv
