#pragma once
// The gallery grid's layout: items of 222 x 156, 20 between items and between rows, an inset of
// 20 on all four sides. Columns are as many as fit; the rows are centred in the width, the space
// left over shared equally by both sides.
#include "QVBase/Geometry.h"

struct QVGalleryFlowLayout {
  static constexpr double kItemWidth = 222, kItemHeight = 156;
  static constexpr double kInterItemSpacing = 20, kLineSpacing = 20, kSectionInset = 20;

  static CGSize itemSize() { return CGSizeMake(kItemWidth, kItemHeight); }
  // Columns for a width (at least one).
  static int columnsForWidth(double width);
  // The left and right margins that centre the columns in the width (on whole points).
  static void marginsForWidth(double width, int* left, int* right);
};
