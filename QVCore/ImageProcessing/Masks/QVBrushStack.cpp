#include "QVCore/ImageProcessing/Masks/QVBrushStack.h"

#include <cmath>
#include <utility>

#include "QVPlatform/MainExecutor.h"

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

void walk(const qv::Array& stack, const std::function<void(std::vector<BrushPoint>)>& points,
          const std::function<void(const std::string& id, const qv::Value& entry)>& other) {
  std::vector<BrushPoint> pending;
  auto flush = [&] {
    if (!pending.empty()) points(std::exchange(pending, {}));
  };
  for (const qv::Value& e : stack) {
    const std::string id = entryID(e);
    if (id == kBrushAtPoint) {
      if (auto p = enginePoint(e)) pending.push_back(*p);
      continue;
    }
    flush();
    other(id, e);
  }
  flush();
}

std::vector<BrushPoint> StrokeQueue::takeBatch() {
  size_t n = 0;
  // Dates are seconds since 2001: a point stamped 0.1 s after the first may differ from it by a
  // hair more once rounded, and still belongs to the batch.
  while (n < waiting_.size() && waiting_[n].date - waiting_.front().date <= kBatchSeconds + 1e-6) ++n;
  std::vector<BrushPoint> batch;
  batch.reserve(n);
  for (size_t i = 0; i < n; ++i) batch.push_back(waiting_[i].point);
  waiting_.erase(waiting_.begin(), waiting_.begin() + std::ptrdiff_t(n));
  return batch;
}

void StrokeQueue::runNextBatch(std::weak_ptr<const void> owner, BatchProcessor process) {
  if (batchRunning || empty()) return;
  batchRunning = true;
  auto next = [this, owner, process] {
    qv::MainExecutor::shared().async([this, owner, process] {
      if (!owner.lock()) return;
      batchRunning = false;
      runNextBatch(owner, process);
    });
  };
  process(takeBatch(), next);
}

std::vector<BrushPoint> StrokeQueue::takeAll() {
  std::vector<BrushPoint> all;
  all.reserve(waiting_.size());
  for (const Waiting& w : waiting_) all.push_back(w.point);
  waiting_.clear();
  return all;
}

}  // namespace QVBrushStack
