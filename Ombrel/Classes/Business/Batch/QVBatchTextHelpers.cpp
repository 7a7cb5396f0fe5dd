#include "Ombrel/Classes/Business/Batch/QVBatchTextHelpers.h"

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <charconv>
#include <cmath>
#include <memory>

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

icu::UnicodeString unicode(std::string_view text) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), int32_t(text.size())));
}

std::string utf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

}  // namespace

std::optional<double> QVBatchTextHelpers::numberFromString(std::string_view text) {
  text = trimmed(text);
  // from_chars takes a '-' but no '+'; a sign followed by another sign is no number.
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<int64_t> QVBatchTextHelpers::integerFromString(std::string_view text) {
  auto number = numberFromString(text);
  if (!number) return std::nullopt;
  double whole = std::trunc(*number);
  if (whole >= 9.2233720368547758e18) return INT64_MAX;
  if (whole <= -9.2233720368547758e18) return INT64_MIN;
  return int64_t(whole);
}

std::string QVBatchTextHelpers::uppercaseString(std::string_view text) {
  return utf8(unicode(text).toUpper(icu::Locale::getRoot()));
}

std::string QVBatchTextHelpers::lowercaseString(std::string_view text) {
  return utf8(unicode(text).toLower(icu::Locale::getRoot()));
}

bool QVBatchTextHelpers::caseInsensitiveEquals(std::string_view a, std::string_view b) {
  return unicode(a).caseCompare(unicode(b), U_FOLD_CASE_DEFAULT) == 0;
}

bool QVBatchTextHelpers::caseInsensitiveLess(std::string_view a, std::string_view b) {
  int8_t order = unicode(a).caseCompare(unicode(b), U_FOLD_CASE_DEFAULT);
  return order != 0 ? order < 0 : a < b;
}

std::string QVBatchTextHelpers::stringFromDate(std::chrono::system_clock::time_point date, std::string_view pattern,
                                               const std::string& timeZoneID) {
  if (pattern.empty()) return {};
  UErrorCode status = U_ZERO_ERROR;
  icu::SimpleDateFormat formatter(unicode(pattern), icu::Locale("en_US_POSIX"), status);
  if (U_FAILURE(status)) return {};
  std::unique_ptr<icu::TimeZone> zone(timeZoneID.empty()
                                          ? icu::TimeZone::createDefault()
                                          : icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(timeZoneID)));
  if (zone) formatter.adoptTimeZone(zone.release());
  auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count();
  icu::UnicodeString out;
  icu::FieldPosition position;
  formatter.format(UDate(millis), out, position, status);
  if (U_FAILURE(status)) return {};
  return utf8(out);
}

std::string QVBatchTextHelpers::truncatedUTF8(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  size_t end = maxBytes;
  // Step back over continuation bytes (10xxxxxx) so the cut falls before a lead byte.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end));
}

std::string QVBatchTextHelpers::sanitizedFileName(std::string_view name, size_t maxBytes) {
  std::string out;
  out.reserve(name.size());
  for (char c : name) {
    auto u = static_cast<unsigned char>(c);
    bool refused = u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
                   c == '<' || c == '>' || c == '|';
    out += refused ? '_' : c;
  }
  size_t dots = out.find_first_not_of('.');
  out.erase(0, dots == std::string::npos ? out.size() : dots);
  return truncatedUTF8(out, maxBytes);
}
