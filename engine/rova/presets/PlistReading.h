#pragma once
// Internal: the few property-list readers (libplist underneath) that preset application needs;
// also used by tests that look into the shipped preset files.
#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace rova::presets {

// A parsed property list, freed with its owner.
using Plist = std::shared_ptr<std::remove_pointer_t<plist_t>>;

inline Plist readPlist(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string text = ss.str();
  plist_t root = nullptr;
  if (!text.empty()) plist_from_xml(text.data(), uint32_t(text.size()), &root);
  return Plist(root, [](plist_t p) {
    if (p) plist_free(p);
  });
}

inline plist_t get(plist_t dict, const char* key) {
  return dict && plist_get_node_type(dict) == PLIST_DICT ? plist_dict_get_item(dict, key) : nullptr;
}
inline std::string text(plist_t node) {
  if (!node || plist_get_node_type(node) != PLIST_STRING) return {};
  char* s = nullptr;
  plist_get_string_val(node, &s);
  std::string out = s ? s : "";
  free(s);
  return out;
}
inline double number(plist_t node, double fallback = 0) {
  if (!node) return fallback;
  switch (plist_get_node_type(node)) {
    case PLIST_REAL: {
      double d = 0;
      plist_get_real_val(node, &d);
      return d;
    }
    case PLIST_UINT: {
      uint64_t u = 0;
      plist_get_uint_val(node, &u);
      return double(int64_t(u));
    }
    case PLIST_BOOLEAN: {
      uint8_t b = 0;
      plist_get_bool_val(node, &b);
      return b;
    }
    default:
      return fallback;
  }
}
inline std::vector<plist_t> items(plist_t array) {
  std::vector<plist_t> out;
  if (array && plist_get_node_type(array) == PLIST_ARRAY)
    for (uint32_t i = 0; i < plist_array_get_size(array); ++i) out.push_back(plist_array_get_item(array, i));
  return out;
}
inline std::vector<std::pair<std::string, plist_t>> entries(plist_t dict) {
  std::vector<std::pair<std::string, plist_t>> out;
  if (!dict || plist_get_node_type(dict) != PLIST_DICT) return out;
  plist_dict_iter it = nullptr;
  plist_dict_new_iter(dict, &it);
  for (;;) {
    char* key = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(dict, it, &key, &value);
    if (!key) break;
    out.emplace_back(key, value);
    free(key);
  }
  free(it);
  return out;
}

}  // namespace rova::presets
