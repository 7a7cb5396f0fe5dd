#pragma once
// The metadata half of the HDR bracket test, over image property dictionaries (the first image's
// properties as the image I/O layer gives them).
#include "QVPlatform/Value.h"

namespace NSDictionaryHDRBrackets {

// Seconds from this dictionary's date stamp to the other's (other minus this, signed); 0 when
// either has none.
double timeDiffTo(const qv::Value& properties, const qv::Value& other);
// Equal pixel size, orientation (missing reads 0), exposure program and focal length, and at least
// one of shutter speed, exposure bias and ISO different. Missing values are never equal.
bool isHDRBracketTo(const qv::Value& properties, const qv::Value& other);
// Object equality of two property values: numbers by value, other kinds by content; a null value
// on either side is never equal.
bool isEqualValue(const qv::Value& a, const qv::Value& b);

}  // namespace NSDictionaryHDRBrackets
