#pragma once
// The 100 x 100 thumbnail cell: an aspect-fit image view that loads the photo's thumbnail through
// the facade and shows it on the main thread (nothing happens if the cell is gone by then).
#include <string>

#include "QVPlatform/ImageIO/NSImage.h"

class QVImageView;

class QVImageCell {
 public:
  static constexpr double kSide = 100;
  // A new cell for the path (owned by the caller until added to a view).
  static QVImageView* createImageCell(const std::string& path);
  // A cell that shows `shown`, a picture of the photo already at hand, from the start: it loads
  // nothing (a picture grabbed at once is never empty). Without one it is the loading cell above.
  static QVImageView* createImageCell(const std::string& path, NSImageRef shown);
};
