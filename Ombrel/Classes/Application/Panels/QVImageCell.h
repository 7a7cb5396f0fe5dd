#pragma once
// The 100 x 100 thumbnail cell: an aspect-fit image view that loads the photo's thumbnail through
// the facade and shows it on the main thread (nothing happens if the cell is gone by then).
#include <string>

class QVImageView;

class QVImageCell {
 public:
  static constexpr double kSide = 100;
  // A new cell for the path (owned by the caller until added to a view).
  static QVImageView* createImageCell(const std::string& path);
};
