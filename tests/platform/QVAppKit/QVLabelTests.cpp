#include "QVAppKit/QVLabel.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <cmath>
#include <memory>

#include "AppKitTestSupport.h"
#include "QVAppKit/QVFonts.h"

namespace {

std::unique_ptr<QVLabel> makeLabel(double w, double h) {
  return std::unique_ptr<QVLabel>(QVMake<QVLabel>(CGRectMake(0, 0, w, h)));
}

TEST(QVLabel, StartsWithTheSystemFontCentredAndTheDefaultOffset) {
  auto label = makeLabel(100, 30);
  EXPECT_EQ(label->fontName(), QVFonts::systemFontName());
  EXPECT_EQ(label->fontSize(), 15);
  EXPECT_EQ(label->alignment(), QVTextAlignmentCenter);
  EXPECT_TRUE(label->implicitAnimationsEnabled());
  EXPECT_EQ(label->font().family(), QVFonts::systemFamily());
  // No title: the width is the two offsets alone.
  EXPECT_EQ(label->intrinsicContentSize().width, 20);
}

TEST(QVLabel, SizeIsTheFontHeightAndTheTextWidthPlusBothOffsets) {
  auto label = makeLabel(300, 40);
  label->setTitle("Enhance");
  label->setSizeOffset(CGPointMake(6, 4));
  const QFontMetricsF metrics(label->font());
  const CGSize size = label->sizeForCurrentString();
  EXPECT_EQ(size.height, std::ceil(metrics.height()));
  EXPECT_EQ(size.width, std::ceil(metrics.horizontalAdvance("Enhance") + 10));
  EXPECT_GT(size.width, 10);
}

TEST(QVLabel, TextFramePlacementByAlignment) {
  const double W = 200, H = 40;
  auto label = makeLabel(W, H);
  label->setTitle("Before");
  const CGSize s = label->intrinsicContentSize();
  const double y = (H - s.height) * 0.5 - 1.5;  // centred, a tenth of 15 points lower
  struct Case {
    uint64_t alignment;
    double x;
  } cases[] = {{QVTextAlignmentLeft, 0},
               {QVTextAlignmentRight, W - s.width},
               {QVTextAlignmentCenter, (W - s.width) / 2},
               {7, 0}};
  for (const Case& c : cases) {
    label->setAlignment(c.alignment);
    label->layoutSubtreeIfNeeded();
    const CGRect f = label->textFrame();
    EXPECT_DOUBLE_EQ(f.origin.x, c.x) << c.alignment;
    EXPECT_DOUBLE_EQ(f.origin.y, y) << c.alignment;
    EXPECT_DOUBLE_EQ(f.size.width, s.width) << c.alignment;
    EXPECT_DOUBLE_EQ(f.size.height, s.height) << c.alignment;
  }
  EXPECT_FALSE(QVLabel::alignmentFromAlignment(7).has_value());

  // Wider than the label: the whole width from the left edge, whatever the alignment.
  label->setAlignment(QVTextAlignmentRight);
  label->setTitle("A caption far too long for a label two hundred points wide");
  label->layoutSubtreeIfNeeded();
  EXPECT_DOUBLE_EQ(label->textFrame().origin.x, 0);
  EXPECT_DOUBLE_EQ(label->textFrame().size.width, W);
}

TEST(QVLabel, UnchangedValuesAndAMissingSizeDoNotSetTheTextUpAgain) {
  auto label = makeLabel(100, 30);
  label->setTitleColor(Qt::white);
  const int updates = label->updateCount();
  label->setTitleColor(Qt::white);
  label->setFontSize(15);
  label->setTitle(label->title());
  EXPECT_EQ(label->updateCount(), updates);

  std::unique_ptr<QVLabel> bare(new QVLabel(CGRectMake(0, 0, 100, 30)));  // no initialize: size 0
  bare->setFontName("SFProText-Semibold");
  EXPECT_EQ(bare->updateCount(), 0) << "no size, no font to measure with";
  EXPECT_EQ(bare->intrinsicContentSize().height, 0);
  bare->setFontSize(12);
  EXPECT_EQ(bare->updateCount(), 1);
  EXPECT_GT(bare->intrinsicContentSize().height, 0);
  EXPECT_EQ(bare->font().weight(), QFont::DemiBold);
}

TEST(QVLabel, DrawsItsTitleInTheTitleColour) {
  auto label = makeLabel(160, 40);
  label->setBackgroundColor(Qt::black);
  label->setTitleColor(QColor(255, 200, 0));
  label->setTitle("MMMM");
  label->setFontSize(24);
  label->layoutSubtreeIfNeeded();
  const QImage image = appkit_test::render(label.get());
  int coloured = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) coloured += image.pixelColor(x, y).red() > 200;
  EXPECT_GT(coloured, 40);
}

}  // namespace
