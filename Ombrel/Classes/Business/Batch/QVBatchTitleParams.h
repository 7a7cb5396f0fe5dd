#pragma once
// One entry of an option list: the number it stands for and its title (not yet localised).
#include <cstdint>
#include <string>
#include <vector>

struct QVBatchTitleParams {
  int64_t tag = 0;
  std::string title;

  static QVBatchTitleParams paramsWithTag(int64_t tag, std::string title) { return {tag, std::move(title)}; }
  // The titles of the entries, localised and upper-cased, in order.
  static std::vector<std::string> localizedUppercaseTitles(const std::vector<QVBatchTitleParams>& params);
  friend bool operator==(const QVBatchTitleParams&, const QVBatchTitleParams&) = default;
};
