#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "Ombrel/Classes/Application/Gallery/GalleryTestSupport.h"
#include "Ombrel/Classes/Application/Gallery/QVPreviewCollectionViewCell.h"

using namespace gallery_test;

namespace {

using Cell = QVPreviewCollectionViewCell;

QImage drawn(const Cell::Drawing& drawing) {
  QImage image(int(drawing.boundsSize.width), int(drawing.boundsSize.height), QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  Cell::draw(painter, QRectF(image.rect()), drawing);
  return image;
}

// The columns (at row y) painted in the colour.
std::vector<int> columnsOf(const QImage& image, int y, QColor color) {
  std::vector<int> xs;
  for (int x = 0; x < image.width(); ++x) {
    if (image.pixelColor(x, y) == color) xs.push_back(x);
  }
  return xs;
}

}  // namespace

TEST(QVPreviewCollectionViewCell, StyleTwoDrawsAFourPointBorderHuggingThe300x200Fit) {
  Cell::Drawing d;
  d.boundsSize = CGSizeMake(321, 221);  // odd: the centre is floored
  d.previewSize = CGSizeMake(300, 200);
  d.imageSize = CGSizeMake(600, 400);
  d.hasImage = true;
  d.selected = true;
  d.selectionStyle = 2;
  const CGRect line = Cell::selectionBorderRect(CGRectMake(0, 0, 321, 221), CGSizeMake(300, 200), 4);
  EXPECT_EQ(line, CGRectMake(160 - 152, 110 - 102, 304, 204));
  const QColor orange = QVGalleryCellParams::paramsWithSelectionStyle(2).borderColor;
  const QImage image = drawn(d);
  // Qt rows: the line's y-up bottom 8 is row 221 - 8 - 204 = 9 from the top, the band 4 wide about it.
  const auto top = columnsOf(image, 9, orange);
  ASSERT_FALSE(top.empty());
  EXPECT_EQ(top.front(), 6);
  EXPECT_EQ(top.back(), 313);
  const auto middle = columnsOf(image, 110, orange);
  EXPECT_EQ(middle, std::vector<int>({6, 7, 8, 9, 310, 311, 312, 313})) << "no antialiased fringe";
  EXPECT_NE(image.pixelColor(5, 110), orange);
  EXPECT_EQ(QVGalleryCellParams::paramsWithSelectionStyle(7).borderColor.isValid(), false);
}

TEST(QVPreviewCollectionViewCell, StyleOneIsAWhiteLineAndAHighlightDrawsItUnselected) {
  Cell::Drawing d;
  d.boundsSize = CGSizeMake(222, 156);
  d.imageSize = CGSizeMake(300, 200);  // fits 198 x 132
  d.hasImage = true;
  d.highlightState = 1;
  const QImage image = drawn(d);
  // Fit 198 x 132 centred at (111, 78): the image spans x 12..209; the line lies just outside.
  EXPECT_EQ(columnsOf(image, 78, Qt::white), std::vector<int>({11, 210}));
  d.highlightState = 0;
  EXPECT_TRUE(columnsOf(drawn(d), 78, Qt::white).empty());
}

TEST(QVPreviewCollectionViewCell, AnEmptyCellIsOutlinedWithFourOnThreeOffDashes) {
  Cell::Drawing d;
  EXPECT_TRUE(Cell::shouldDrawDashedLineAroundCell(d));
  const QImage image = drawn(d);
  std::string pattern;
  for (int x = 0; x < 14; ++x) pattern += image.pixelColor(x, 0) == Qt::white ? '#' : '.';
  EXPECT_EQ(pattern, "####...####...");
  EXPECT_EQ(image.pixelColor(111, 78), Qt::black);
  d.hasImage = true;
  EXPECT_NE(drawn(d).pixelColor(0, 0), Qt::white) << "no outline once an image came";
}

TEST(QVPreviewCollectionViewCell, ImageFrameIsTheFitCentredInTheCell) {
  EXPECT_EQ(Cell::fitImageSize(CGSizeZero, CGSizeMake(198, 132)), CGSizeMake(198, 132));
  EXPECT_EQ(Cell::fitImageSize(CGSizeMake(2000, 3000), CGSizeMake(198, 132)), CGSizeMake(88, 132));
  EXPECT_EQ(Cell::imageFrame(CGRectMake(0, 0, 222, 156), CGSizeMake(88, 132)), CGRectMake(67, 12, 88, 132));
}
