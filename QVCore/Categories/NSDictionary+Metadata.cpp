#include "QVCore/Categories/NSDictionary+Metadata.h"

#include <cctype>
#include <ctime>

#include "QVPlatform/ImageIO/ImageIO.h"

namespace NSDictionaryMetadata {

const qv::Value& exifData(const qv::Value& properties) { return properties[kCGImagePropertyExifDictionary]; }
const qv::Value& tiffData(const qv::Value& properties) { return properties[kCGImagePropertyTIFFDictionary]; }

CGSize imageSize(const qv::Value& properties) {
  return CGSizeMake(properties[kCGImagePropertyPixelWidth].asDouble(0),
                    properties[kCGImagePropertyPixelHeight].asDouble(0));
}

const qv::Value& orientation(const qv::Value& p) { return p[kCGImagePropertyOrientation]; }
const qv::Value& exposureProgram(const qv::Value& p) { return exifData(p)[kCGImagePropertyExifExposureProgram]; }
const qv::Value& focalLength(const qv::Value& p) { return exifData(p)[kCGImagePropertyExifFocalLength]; }
const qv::Value& fNumber(const qv::Value& p) { return exifData(p)[kCGImagePropertyExifFNumber]; }
const qv::Value& shutterSpeed(const qv::Value& p) { return exifData(p)[kCGImagePropertyExifShutterSpeedValue]; }
const qv::Value& exposureBias(const qv::Value& p) { return exifData(p)[kCGImagePropertyExifExposureBiasValue]; }
const qv::Value& exposureTime(const qv::Value& p) { return exifData(p)[kCGImagePropertyExifExposureTime]; }

const qv::Value& iso(const qv::Value& p) {
  const qv::Value& speed = exifData(p)[kCGImagePropertyExifISOSpeed];
  if (!speed.isNull()) return speed;
  return exifData(p)[kCGImagePropertyExifISOSpeedRatings][size_t(0)];
}

std::optional<qv::Date> dateFromExifDateTime(const std::string& text) {
  // "yyyy:MM:dd HH:mm:ss", digits exactly where the form has them.
  static const char kForm[] = "dddd:dd:dd dd:dd:dd";
  if (text.size() != sizeof kForm - 1) return std::nullopt;
  for (size_t i = 0; i < text.size(); ++i) {
    if (kForm[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != kForm[i]) return std::nullopt;
  }
  auto num = [&](size_t at, size_t len) { return std::stoi(text.substr(at, len)); };
  std::tm tm{};
  tm.tm_year = num(0, 4) - 1900;
  tm.tm_mon = num(5, 2) - 1;
  tm.tm_mday = num(8, 2);
  tm.tm_hour = num(11, 2);
  tm.tm_min = num(14, 2);
  tm.tm_sec = num(17, 2);
  tm.tm_isdst = -1;
  if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 || tm.tm_min > 59 ||
      tm.tm_sec > 59)
    return std::nullopt;
  const std::tm asGiven = tm;
  const std::time_t t = std::mktime(&tm);
  // mktime rolls 31 April over into May: such a date is refused, as a strict formatter does.
  if (t == std::time_t(-1) || tm.tm_mday != asGiven.tm_mday || tm.tm_mon != asGiven.tm_mon) return std::nullopt;
  return qv::Date::fromUnixTime(double(t));
}

std::optional<qv::Date> datestamp(const qv::Value& p) {
  if (auto d = dateFromExifDateTime(exifData(p)[kCGImagePropertyExifDateTimeOriginal].asString())) return d;
  return dateFromExifDateTime(tiffData(p)[kCGImagePropertyTIFFDateTime].asString());
}

std::optional<double> datestampDiffWithMetadata(const qv::Value& properties, const qv::Value& other) {
  auto mine = datestamp(properties);
  auto theirs = datestamp(other);
  if (!mine || !theirs) return std::nullopt;
  return theirs->secondsSinceReferenceDate - mine->secondsSinceReferenceDate;
}

}  // namespace NSDictionaryMetadata
