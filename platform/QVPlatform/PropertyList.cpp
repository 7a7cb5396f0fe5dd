#include "QVPlatform/PropertyList.h"

#include <plist/plist.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string_view>
#include <vector>

#include "QVPlatform/Places.h"

namespace qv {

namespace {

constexpr const char* kDomain = "NSCocoaErrorDomain";
constexpr int64_t kReadCorrupt = 3840;
constexpr int64_t kWriteInvalid = 3851;
constexpr int64_t kNoSuchFile = 260;
constexpr int64_t kWriteFailed = 512;

// How deep containers may nest in a file we read. Real property lists and JSON files nest a dozen
// levels; libplist and our converters recurse once a level, so a hostile file nested hundreds of
// thousands deep would overflow the stack. Checked on the bytes before any parser sees them.
constexpr int kMaxNestingDepth = 512;

bool startsWith(const char* p, const char* end, std::string_view word) {
  return size_t(end - p) >= word.size() && std::memcmp(p, word.data(), word.size()) == 0;
}

// Nesting of <array> and <dict> in XML text (comments and CDATA skipped; an empty element such as
// <dict/> does not nest). False when deeper than the limit.
bool xmlNestingWithinLimit(const char* p, size_t length) {
  const char* end = p + length;
  int depth = 0;
  while ((p = static_cast<const char*>(std::memchr(p, '<', size_t(end - p))))) {
    if (startsWith(p, end, "<!--")) {
      const char* close = std::search(p + 4, end, "-->", "-->" + 3);
      if (close == end) return true;  // unterminated: the parser refuses it
      p = close + 3;
      continue;
    }
    if (startsWith(p, end, "<![CDATA[")) {
      const char* close = std::search(p + 9, end, "]]>", "]]>" + 3);
      if (close == end) return true;
      p = close + 3;
      continue;
    }
    const bool closing = startsWith(p, end, "</");
    const char* name = p + (closing ? 2 : 1);
    const bool container = startsWith(name, end, "array") || startsWith(name, end, "dict");
    const char* gt = static_cast<const char*>(std::memchr(p, '>', size_t(end - p)));
    if (!gt) return true;
    if (container) {
      if (closing)
        --depth;
      else if (gt[-1] != '/' && ++depth > kMaxNestingDepth)
        return false;
    }
    p = gt + 1;
  }
  return true;
}

constexpr const char* kNotInFormat = "The data couldn't be read because it isn't in the correct format.";
constexpr const char* kTooDeep = "The data couldn't be read because it is nested too deeply.";

// What libplist cannot be given of a binary property list: texts holding a zero character (its
// accessors assert on them and abort the process), and containers nested deeper than the limit or
// holding themselves (found by walking the object references once, each object's depth kept).
// nullptr when none of that is there; malformed files are left to the parser, which refuses them.
const char* binaryPlistProblem(const uint8_t* d, size_t n) {
  if (n < 8 + 32) return nullptr;
  const uint8_t* trailer = d + n - 32;
  auto be = [](const uint8_t* p, int size) {
    uint64_t v = 0;
    for (int i = 0; i < size; ++i) v = v << 8 | p[i];
    return v;
  };
  const int offsetSize = trailer[6], refSize = trailer[7];
  const uint64_t count = be(trailer + 8, 8), root = be(trailer + 16, 8), table = be(trailer + 24, 8);
  // libplist checks the reference size only where it needs it, so texts are checked whatever it says.
  if (offsetSize < 1 || offsetSize > 8 || count == 0 || root >= count || table >= n ||
      count > (n - table) / uint64_t(offsetSize))
    return nullptr;
  auto offsetOf = [&](uint64_t i) { return be(d + table + i * uint64_t(offsetSize), offsetSize); };
  // An object's type and item count (the count may follow as an integer object) and where its
  // items start; false when that runs past the end.
  auto header = [&](uint64_t at, int& type, uint64_t& items, uint64_t& start) {
    if (at >= n) return false;
    type = d[at] >> 4;
    items = d[at] & 0x0F;
    start = at + 1;
    if (items == 0x0F) {
      if (start >= n || d[start] >> 4 != 0x1) return false;
      const int size = 1 << (d[start] & 0x0F);
      if (size > 8 || start + 1 + uint64_t(size) > n) return false;
      items = be(d + start + 1, size);
      start += 1 + uint64_t(size);
    }
    return true;
  };
  for (uint64_t i = 0; i < count; ++i) {
    int type = 0;
    uint64_t items = 0, start = 0;
    if (!header(offsetOf(i), type, items, start) || (type != 0x5 && type != 0x6)) continue;
    const uint64_t unit = type == 0x5 ? 1 : 2;
    if (items > (n - start) / unit) continue;
    for (uint64_t k = 0; k < items; ++k)
      if (d[start + k * unit] == 0 && (unit == 1 || d[start + k * unit + 1] == 0)) return kNotInFormat;
  }
  if (refSize < 1 || refSize > 8) return nullptr;
  // The references of container i.
  struct Refs {
    uint64_t start = 0, count = 0;
  };
  auto refsOf = [&](uint64_t i, Refs& r) {
    int type = 0;
    uint64_t items = 0, start = 0;
    if (!header(offsetOf(i), type, items, start)) return false;
    if (type != 0xA && type != 0xC && type != 0xD) return false;
    if (type == 0xD) items *= 2;  // keys, then values
    if (items > (n - std::min<uint64_t>(start, n)) / uint64_t(refSize)) return false;
    r = {start, items};
    return true;
  };
  std::vector<int32_t> depth(count, -1);  // -1 unvisited, -2 on the current path
  struct Frame {
    uint64_t object;
    Refs refs;
    uint64_t next;
    int32_t deepest;
  };
  std::vector<Frame> stack;
  auto enter = [&](uint64_t i) {
    Refs r;
    if (!refsOf(i, r)) {
      depth[i] = 0;
      return true;
    }
    if (stack.size() >= size_t(kMaxNestingDepth)) return false;
    depth[i] = -2;
    stack.push_back({i, r, 0, 0});
    return true;
  };
  if (!enter(root)) return kTooDeep;
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next == f.refs.count) {
      depth[f.object] = f.deepest + 1;
      const int32_t done = depth[f.object];
      stack.pop_back();
      if (!stack.empty()) stack.back().deepest = std::max(stack.back().deepest, done);
      continue;
    }
    const uint64_t child = be(d + f.refs.start + f.next * uint64_t(refSize), refSize);
    ++f.next;
    if (child >= count) continue;
    if (depth[child] == -2) return kNotInFormat;  // a container inside itself
    if (depth[child] >= 0) {
      if (f.deepest < depth[child]) f.deepest = depth[child];
      if (int(stack.size()) + depth[child] > kMaxNestingDepth) return kTooDeep;
      continue;
    }
    if (!enter(child)) return kTooDeep;
  }
  return nullptr;
}

// Bracket nesting of JSON text, strings skipped.
bool jsonNestingWithinLimit(std::string_view text) {
  int depth = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxNestingDepth) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

struct PlistFree {
  void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

Value fromPlist(plist_t node) {
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t b = 0;
      plist_get_bool_val(node, &b);
      return Value(b != 0);
    }
    case PLIST_UINT: {
      uint64_t u = 0;
      plist_get_uint_val(node, &u);
      return Value(int64_t(u));
    }
    case PLIST_REAL: {
      double d = 0;
      plist_get_real_val(node, &d);
      return Value(d);
    }
    case PLIST_STRING:
    case PLIST_KEY: {
      char* s = nullptr;
      plist_get_string_val(node, &s);
      Value v(std::string(s ? s : ""));
      std::free(s);
      return v;
    }
    case PLIST_DATA: {
      char* d = nullptr;
      uint64_t n = 0;
      plist_get_data_val(node, &d, &n);
      Bytes bytes(reinterpret_cast<uint8_t*>(d), reinterpret_cast<uint8_t*>(d) + n);
      std::free(d);
      return Value(std::move(bytes));
    }
    case PLIST_DATE: {
      int32_t sec = 0, usec = 0;
      plist_get_date_val(node, &sec, &usec);
      // The reader splits negative times by truncation, with the fraction's size in usec.
      double t = sec < 0 ? double(sec) - std::abs(usec) / 1e6 : double(sec) + usec / 1e6;
      return Value(Date{t});
    }
    case PLIST_ARRAY: {
      Array a;
      uint32_t n = plist_array_get_size(node);
      a.reserve(n);
      for (uint32_t i = 0; i < n; ++i) a.push_back(fromPlist(plist_array_get_item(node, i)));
      return Value(std::move(a));
    }
    case PLIST_DICT: {
      Dictionary d;
      plist_dict_iter it = nullptr;
      plist_dict_new_iter(node, &it);
      while (true) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, it, &key, &item);
        if (!item) {
          std::free(key);
          break;
        }
        d[key ? key : ""] = fromPlist(item);
        std::free(key);
      }
      std::free(it);
      return Value(std::move(d));
    }
    default:
      return Value();
  }
}

// nullptr when the value holds something a property list cannot (null, non-finite numbers).
plist_t toPlist(const Value& v) {
  switch (v.type()) {
    case Value::Type::Bool:
      return plist_new_bool(v.asBool());
    case Value::Type::Integer:
      return plist_new_uint(uint64_t(v.asInt()));
    case Value::Type::Real:
      return std::isfinite(v.asDouble()) ? plist_new_real(v.asDouble()) : nullptr;
    case Value::Type::String:
      return plist_new_string(v.string()->c_str());
    case Value::Type::Data: {
      const Bytes& b = *v.data();
      return plist_new_data(reinterpret_cast<const char*>(b.data()), b.size());
    }
    case Value::Type::Date: {
      double t = v.date()->secondsSinceReferenceDate;
      if (!std::isfinite(t)) return nullptr;
      double whole = std::floor(t);
      int64_t usec = std::llround((t - whole) * 1e6);
      if (usec >= 1000000) {
        whole += 1;
        usec -= 1000000;
      }
      return plist_new_date(int32_t(whole), int32_t(usec));
    }
    case Value::Type::Array: {
      plist_t a = plist_new_array();
      for (const Value& item : *v.array()) {
        plist_t p = toPlist(item);
        if (!p) {
          plist_free(a);
          return nullptr;
        }
        plist_array_append_item(a, p);
      }
      return a;
    }
    case Value::Type::Dictionary: {
      plist_t d = plist_new_dict();
      for (const auto& [key, item] : *v.dictionary()) {
        plist_t p = toPlist(item);
        if (!p) {
          plist_free(d);
          return nullptr;
        }
        plist_dict_set_item(d, key.c_str(), p);
      }
      return d;
    }
    case Value::Type::Null:
      break;
  }
  return nullptr;
}

PlistPtr toPlistOrError(const Value& value, Error* error) {
  PlistPtr p(toPlist(value));
  if (!p) setError(error, Error(kDomain, kWriteInvalid, "The value holds something a property list cannot store."));
  return p;
}

}  // namespace

Value PropertyList::read(const void* data, size_t length, Error* error, PropertyListFormat* format) {
  const char* bytes = static_cast<const char*>(data);
  plist_t root = nullptr;
  bool binary = length >= 8 && std::memcmp(bytes, "bplist00", 8) == 0;
  // No XML holds a zero byte, and libplist's own parser would copy one into a text it then asserts on.
  const char* problem = binary ? binaryPlistProblem(reinterpret_cast<const uint8_t*>(bytes), length)
                        : length > 0 && std::memchr(bytes, 0, length) ? kNotInFormat
                        : xmlNestingWithinLimit(bytes, length)        ? nullptr
                                                                      : kTooDeep;
  if (problem) {
    setError(error, Error(kDomain, kReadCorrupt, problem));
    return Value();
  }
  if (length > 0 && length < UINT32_MAX) {
    if (binary)
      plist_from_bin(bytes, uint32_t(length), &root);
    else
      plist_from_xml(bytes, uint32_t(length), &root);
  }
  if (!root) {
    setError(error, Error(kDomain, kReadCorrupt, "The data couldn't be read because it isn't in the correct format."));
    return Value();
  }
  PlistPtr owner(root);
  if (format) *format = binary ? PropertyListFormat::Binary : PropertyListFormat::XML;
  return fromPlist(root);
}

Value PropertyList::readFile(const std::string& path, Error* error, PropertyListFormat* format) {
  Error why;
  auto bytes = readFileBytes(path, &why);
  if (!bytes) {
    setError(error, Error(kDomain, kNoSuchFile,
                          "The file \"" + path + "\" couldn't be opened (" +
                              why.userInfo["NSLocalizedFailureReason"].asString() + ")."));
    return Value();
  }
  return read(*bytes, error, format);
}

Value PropertyList::salvageCutDictionary(std::string_view data) {
  const size_t root = data.find("<dict>");
  if (root == std::string_view::npos || data.substr(0, root).find("<plist") == std::string_view::npos) return {};
  // One pass over the tags finds where each whole entry of the root dictionary ends (a value
  // closed at the root's depth); the text up to the last of them, with the root closed, is read.
  // Should that fail (damage before the cut), the entry before it is tried, a few times.
  std::vector<size_t> ends;
  int depth = 0;
  for (size_t at = root; at < data.size();) {
    const size_t open = data.find('<', at);
    const size_t close = open == std::string_view::npos ? open : data.find('>', open);
    if (close == std::string_view::npos) break;
    const std::string_view tag = data.substr(open, close - open + 1);
    at = close + 1;
    if (tag.starts_with("<?") || tag.starts_with("<!")) continue;
    if (tag.starts_with("</")) {
      if (--depth == 0) break;  // the root itself closed: the file was not cut
      if (depth == 1 && tag != "</key>") ends.push_back(at);
    } else if (tag.ends_with("/>")) {
      if (depth == 1) ends.push_back(at);
    } else {
      ++depth;
    }
  }
  constexpr int kMaximumTries = 8;
  for (int tries = 0; tries < kMaximumTries && !ends.empty(); ++tries, ends.pop_back()) {
    std::string candidate(data.substr(0, ends.back()));
    candidate += "\n</dict>\n</plist>\n";
    Value value = read(candidate, nullptr);
    if (value.isDictionary()) return value;
  }
  return {};
}

namespace {

// plist_to_xml or plist_to_bin over a converted value.
std::optional<std::string> serialize(const Value& value, Error* error, void (*write)(plist_t, char**, uint32_t*)) {
  PlistPtr p = toPlistOrError(value, error);
  if (!p) return std::nullopt;
  char* out = nullptr;
  uint32_t n = 0;
  write(p.get(), &out, &n);
  if (!out) {
    setError(error, Error(kDomain, kWriteInvalid, "The property list couldn't be written."));
    return std::nullopt;
  }
  std::string text(out, n);
  std::free(out);
  return text;
}

}  // namespace

std::optional<std::string> PropertyList::toXML(const Value& value, Error* error) {
  return serialize(value, error, plist_to_xml);
}

std::optional<Bytes> PropertyList::toBinary(const Value& value, Error* error) {
  auto bin = serialize(value, error, plist_to_bin);
  if (!bin) return std::nullopt;
  return Bytes(bin->begin(), bin->end());
}

bool PropertyList::writeFile(const std::string& path, const Value& value, PropertyListFormat format, Error* error) {
  std::string content;
  if (format == PropertyListFormat::XML) {
    auto xml = toXML(value, error);
    if (!xml) return false;
    content = std::move(*xml);
  } else if (format == PropertyListFormat::Binary) {
    auto bin = toBinary(value, error);
    if (!bin) return false;
    content.assign(bin->begin(), bin->end());
  } else {
    auto json = toJSON(value, true, error);
    if (!json) return false;
    content = std::move(*json);
  }
  Error writeError;
  if (!writeFileAtomically(path, content, &writeError)) {
    setError(error, Error(kDomain, kWriteFailed, writeError.description));
    return false;
  }
  return true;
}

namespace {

using Json = nlohmann::json;

Value fromJson(const Json& j) {
  switch (j.type()) {
    case Json::value_t::boolean:
      return Value(j.get<bool>());
    case Json::value_t::number_integer:
      return Value(j.get<int64_t>());
    case Json::value_t::number_unsigned: {
      uint64_t u = j.get<uint64_t>();
      return u > uint64_t(INT64_MAX) ? Value(double(u)) : Value(int64_t(u));
    }
    case Json::value_t::number_float:
      return Value(j.get<double>());
    case Json::value_t::string:
      return Value(j.get<std::string>());
    case Json::value_t::array: {
      Array a;
      a.reserve(j.size());
      for (const auto& item : j) a.push_back(fromJson(item));
      return Value(std::move(a));
    }
    case Json::value_t::object: {
      Dictionary d;
      for (auto it = j.begin(); it != j.end(); ++it) d[it.key()] = fromJson(it.value());
      return Value(std::move(d));
    }
    default:
      return Value();
  }
}

bool toJson(const Value& v, Json& out) {
  switch (v.type()) {
    case Value::Type::Null:
      out = nullptr;
      return true;
    case Value::Type::Bool:
      out = v.asBool();
      return true;
    case Value::Type::Integer:
      out = v.asInt();
      return true;
    case Value::Type::Real:
      if (!std::isfinite(v.asDouble())) return false;
      out = v.asDouble();
      return true;
    case Value::Type::String:
      out = *v.string();
      return true;
    case Value::Type::Data:
    case Value::Type::Date:
      return false;
    case Value::Type::Array: {
      out = Json::array();
      for (const Value& item : *v.array()) {
        Json j;
        if (!toJson(item, j)) return false;
        out.push_back(std::move(j));
      }
      return true;
    }
    case Value::Type::Dictionary: {
      out = Json::object();
      for (const auto& [key, item] : *v.dictionary()) {
        Json j;
        if (!toJson(item, j)) return false;
        out[key] = std::move(j);
      }
      return true;
    }
  }
  return false;
}

}  // namespace

Value PropertyList::fromJSON(std::string_view text, Error* error) {
  if (!jsonNestingWithinLimit(text)) {
    setError(error, Error(kDomain, kReadCorrupt, kTooDeep));
    return Value();
  }
  Json j = Json::parse(text.begin(), text.end(), nullptr, false);
  if (j.is_discarded()) {
    setError(error, Error(kDomain, kReadCorrupt, "The data couldn't be read because it isn't in the correct format."));
    return Value();
  }
  return fromJson(j);
}

std::optional<std::string> PropertyList::toJSON(const Value& value, bool pretty, Error* error) {
  Json j;
  if (!toJson(value, j)) {
    setError(error, Error(kDomain, kWriteInvalid, "Invalid type in JSON write."));
    return std::nullopt;
  }
  return j.dump(pretty ? 2 : -1, ' ', false, Json::error_handler_t::replace);
}

Value PropertyList::readJSONFile(const std::string& path, Error* error) {
  Error why;
  auto bytes = readFileBytes(path, &why);
  if (!bytes) {
    setError(error, Error(kDomain, kNoSuchFile,
                          "The file \"" + path + "\" couldn't be opened (" +
                              why.userInfo["NSLocalizedFailureReason"].asString() + ")."));
    return Value();
  }
  return fromJSON(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), error);
}

}  // namespace qv
