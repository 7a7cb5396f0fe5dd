#include "QVCore/ImageProcessing/Masks/QVPolygonPath.h"

#include <algorithm>
#include <cmath>

void QVPolygonPath::moveTo(CGPoint p) { figures_.push_back({p}); }

void QVPolygonPath::lineTo(CGPoint p) {
  if (figures_.empty()) figures_.push_back({CGPointZero});
  figures_.back().push_back(p);
}

void QVPolygonPath::closePath() {
  // Every figure is filled as closed; a later lineTo starts from the figure's first point.
  if (!figures_.empty() && figures_.back().size() > 1) figures_.push_back({figures_.back().front()});
}

bool QVPolygonPath::isEmpty() const {
  return std::none_of(figures_.begin(), figures_.end(), [](const auto& f) { return f.size() > 2; });
}

std::vector<QVPolygonPath::Crossing> QVPolygonPath::crossings(double y) const {
  std::vector<Crossing> out;
  for (const auto& figure : figures_) {
    const size_t n = figure.size();
    if (n < 3) continue;
    for (size_t i = 0; i < n; ++i) {
      const CGPoint a = figure[i], b = figure[(i + 1) % n];
      // Half-open in y, so a vertex on the line counts once.
      if ((a.y <= y) == (b.y <= y)) continue;
      const double x = a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y);
      if (std::isfinite(x)) out.push_back({x, b.y > a.y ? 1 : -1});
    }
  }
  std::sort(out.begin(), out.end(), [](const Crossing& l, const Crossing& r) { return l.x < r.x; });
  return out;
}

bool QVPolygonPath::containsPoint(CGPoint p) const {
  int winding = 0;
  for (const Crossing& c : crossings(p.y))
    if (c.x <= p.x) winding += c.winding;
  return winding != 0;
}

void QVPolygonPath::fillRow(double y, float* row, int width) const {
  const std::vector<Crossing> cs = crossings(y);
  size_t next = 0;
  int winding = 0;
  for (int x = 0; x < width; ++x) {
    while (next < cs.size() && cs[next].x <= x) winding += cs[next++].winding;
    row[x] = winding != 0 ? 1.0f : 0.0f;
  }
}
