#pragma once
// Accessors over an image property dictionary (as the image I/O layer gives it for the first image
// of a file): top-level pixel size and orientation, and the nested {Exif} and {TIFF} dictionaries.
// They return the stored values (a null value when missing) and convert nothing, except the
// size and the date stamp.
#include <optional>

#include "QVBase/Geometry.h"
#include "QVPlatform/Value.h"

namespace NSDictionaryMetadata {

const qv::Value& exifData(const qv::Value& properties);
const qv::Value& tiffData(const qv::Value& properties);
// Pixel width and height read as numbers; a missing one is 0.
CGSize imageSize(const qv::Value& properties);
const qv::Value& orientation(const qv::Value& properties);
const qv::Value& exposureProgram(const qv::Value& properties);
const qv::Value& focalLength(const qv::Value& properties);
const qv::Value& fNumber(const qv::Value& properties);
const qv::Value& shutterSpeed(const qv::Value& properties);
const qv::Value& exposureBias(const qv::Value& properties);
const qv::Value& exposureTime(const qv::Value& properties);
// EXIF ISO speed; without it the first of the ISO speed ratings.
const qv::Value& iso(const qv::Value& properties);
// When the picture was taken: the EXIF original date-time, else the TIFF date-time, each in the
// form "yyyy:MM:dd HH:mm:ss" read in the local time zone; nothing when neither parses.
std::optional<qv::Date> datestamp(const qv::Value& properties);
// Seconds from this dictionary's date stamp to the other's (other minus this); nothing when either
// has no date stamp.
std::optional<double> datestampDiffWithMetadata(const qv::Value& properties, const qv::Value& other);

// Parses one EXIF date-time text in the local time zone; nothing for any other form or an
// impossible date.
std::optional<qv::Date> dateFromExifDateTime(const std::string& text);

}  // namespace NSDictionaryMetadata
