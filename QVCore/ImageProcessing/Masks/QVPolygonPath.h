#pragma once
// A path of straight segments (one or more closed figures) that masks are drawn from. Filled with
// the non-zero winding rule: a point is inside when the figures wind around it a number of times
// other than zero, so overlapping figures drawn the same way fill their union.
#include <vector>

#include "QVBase/Geometry.h"

class QVPolygonPath {
 public:
  // Starts a new figure; the figure before is closed.
  void moveTo(CGPoint p);
  void lineTo(CGPoint p);
  void closePath();
  bool isEmpty() const;

  bool containsPoint(CGPoint p) const;
  // Sets row[x] to 1 where the path contains (x, y) and to 0 elsewhere, for x in 0..width-1: one
  // pass over the edges for the whole row.
  void fillRow(double y, float* row, int width) const;

 private:
  struct Crossing {
    double x;
    int winding;
  };
  // Where the edges cross the horizontal line at y, with their directions, sorted by x.
  std::vector<Crossing> crossings(double y) const;

  std::vector<std::vector<CGPoint>> figures_;
};
