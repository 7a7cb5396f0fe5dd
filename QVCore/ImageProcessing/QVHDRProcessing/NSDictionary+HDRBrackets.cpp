#include "QVCore/ImageProcessing/QVHDRProcessing/NSDictionary+HDRBrackets.h"

#include "QVCore/Categories/NSDictionary+Metadata.h"

namespace NSDictionaryHDRBrackets {

bool isEqualValue(const qv::Value& a, const qv::Value& b) {
  if (a.isNull() || b.isNull()) return false;
  if (a.isNumber() && b.isNumber()) return a.asDouble() == b.asDouble();
  return a == b;
}

double timeDiffTo(const qv::Value& properties, const qv::Value& other) {
  return NSDictionaryMetadata::datestampDiffWithMetadata(properties, other).value_or(0.0);
}

bool isHDRBracketTo(const qv::Value& properties, const qv::Value& other) {
  using namespace NSDictionaryMetadata;
  const CGSize a = imageSize(properties), b = imageSize(other);
  if (a.width != b.width || a.height != b.height) return false;
  if (orientation(properties).asInt(0) != orientation(other).asInt(0)) return false;
  if (!isEqualValue(exposureProgram(properties), exposureProgram(other))) return false;
  if (!isEqualValue(focalLength(properties), focalLength(other))) return false;
  const bool sameExposure = isEqualValue(shutterSpeed(properties), shutterSpeed(other)) &&
                            isEqualValue(exposureBias(properties), exposureBias(other)) &&
                            isEqualValue(iso(properties), iso(other));
  return !sameExposure;
}

}  // namespace NSDictionaryHDRBrackets
