#pragma once
// One timestamp choice of the naming section: the title shown and the date-format pattern used.
#include <string>

struct QVDateFormatPresenter {
  std::string title;
  std::string format;

  static QVDateFormatPresenter dateFormatPresenterWithTitle(std::string title, std::string format) {
    return {std::move(title), std::move(format)};
  }
  friend bool operator==(const QVDateFormatPresenter&, const QVDateFormatPresenter&) = default;
};
