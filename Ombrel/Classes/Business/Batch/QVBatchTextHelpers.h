#pragma once
// Text work of batch presets and export names: numbers read the same in every locale, Unicode case
// mapping and dates through ICU, and file names made safe for any file system an export may go to.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class QVBatchTextHelpers {
 public:
  // A decimal number written with '.' whatever the user's locale ("2048", " 12.5 ", "+3", "1e3").
  // Leading and trailing white space is allowed, anything else around the number is not. Nothing
  // for text that is no number, and for "inf", "nan" or values beyond the range of a double.
  static std::optional<double> numberFromString(std::string_view text);
  // A whole number read from the text: a number as above, truncated toward zero and held within
  // int64_t. Nothing when the text is no number.
  static std::optional<int64_t> integerFromString(std::string_view text);

  // Full Unicode case mapping in no particular language ("straße" → "STRASSE"); invalid UTF-8
  // sequences become U+FFFD.
  static std::string uppercaseString(std::string_view text);
  static std::string lowercaseString(std::string_view text);
  // Equal after Unicode case folding ("jpeg" and "JPEG").
  static bool caseInsensitiveEquals(std::string_view a, std::string_view b);
  // A sort order that ignores case first and then decides by the bytes, so it is total and stable.
  static bool caseInsensitiveLess(std::string_view a, std::string_view b);

  // The date formatted with a date-format pattern ("ddMMyyyy") in the given time zone (an ICU/Olson
  // identifier; empty means the system's zone). Digits and names are those of "en_US_POSIX", so
  // a name never changes with the user's locale. The empty string for an empty or invalid pattern.
  static std::string stringFromDate(std::chrono::system_clock::time_point date, std::string_view pattern,
                                    const std::string& timeZoneID = {});

  // The name made safe as one path component on every file system an export may go to: path
  // separators, characters Windows-formatted drives refuse (: * ? " < > |) and control
  // characters become '_', leading dots are dropped (no hidden files, no "." or ".."), and the
  // result is cut to at most maxBytes bytes without splitting a UTF-8 character. May be empty.
  static std::string sanitizedFileName(std::string_view name, size_t maxBytes);
  // Cuts UTF-8 text to at most maxBytes bytes at a character boundary.
  static std::string truncatedUTF8(std::string_view text, size_t maxBytes);
};
