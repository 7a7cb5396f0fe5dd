#include "QVCore/ImageProcessing/Masks/QVBrushStack.h"

#include <cmath>

namespace QVBrushStack {

std::string entryID(const qv::Value& entry) { return entry[kID].asString(); }

float floatValue(const qv::Value& entry, const char* key) { return float(entry[key].asDouble()); }

std::optional<float> finiteValue(const qv::Value& entry, const char* key) {
  const float v = floatValue(entry, key);
  if (!std::isfinite(v)) return std::nullopt;
  return v;
}

qv::Value brushAtPoint(double x, double y, double radius, double opacity, double softness) {
  return qv::Dictionary{{kID, kBrushAtPoint},         {"relativePointX", float(x)},
                        {"relativePointY", float(y)}, {"relativeBrushRadius", float(radius)},
                        {"opacity", float(opacity)},  {"softness", float(softness)}};
}

std::optional<BrushPoint> enginePoint(const qv::Value& entry) {
  auto x = finiteValue(entry, "relativePointX"), y = finiteValue(entry, "relativePointY");
  auto r = finiteValue(entry, "relativeBrushRadius"), o = finiteValue(entry, "opacity");
  auto s = finiteValue(entry, "softness");
  if (!x || !y || !r || !o || !s) return std::nullopt;
  return BrushPoint{*x, 1.0f - *y, *r, *o / 100.0f, *s / 100.0f};
}

unsigned beginStrokeMode(const qv::Value& entry) {
  if (const qv::Value* mode = entry.find("brushMode")) return unsigned(mode->asInt());
  return entry["eraseMode"].asBool() ? 1u : 0u;
}

}  // namespace QVBrushStack
