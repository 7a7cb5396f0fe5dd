#include "Ombrel/Classes/Application/Gallery/QVGalleryFlowLayout.h"

#include <algorithm>
#include <cmath>

int QVGalleryFlowLayout::columnsForWidth(double width) {
  const double usable = width - 2 * kSectionInset + kInterItemSpacing;
  return std::max(1, int(std::floor(usable / (kItemWidth + kInterItemSpacing))));
}

void QVGalleryFlowLayout::marginsForWidth(double width, int* left, int* right) {
  const int columns = columnsForWidth(width);
  const double used = 2 * kSectionInset + columns * kItemWidth + (columns - 1) * kInterItemSpacing;
  const int spare = std::max(0, int(std::floor(width - used)));
  *left = spare / 2;
  *right = spare - spare / 2;
}
