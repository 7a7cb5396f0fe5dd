#include "QVAppKit/QVRoundedShadowView.h"

#include <gtest/gtest.h>

#include <QImage>
#include <memory>

namespace {

// A shadow that follows a springing rectangle blurs once, covers the rectangle's place shifted by
// the offset, and leaves the far corners clear.
TEST(QVRoundedShadowView, FollowsAChangingRectangleWithOneBlur) {
  auto host = std::make_unique<QVView>(CGRectMake(0, 0, 400, 300));
  host->initialize();
  auto* shadow = QVMake<QVRoundedShadowView>();
  shadow->setShadowCornerRadius(22);
  host->addSubview(shadow);
  EXPECT_EQ(shadow->reach(), 24);  // 2 x blur 10, plus the 4-point offset
  for (double w = 100; w <= 250; w += 6) {
    shadow->setShadowedFrame(CGRectMake(100, 100, w, 44));
    EXPECT_EQ(shadow->frame(), CGRectMake(76, 76, w + 48, 92));
    shadow->grab();
  }
  EXPECT_EQ(shadow->picturesMade(), 1);
  EXPECT_FALSE(shadow->userInteractionEnabled());

  const QImage picture = shadow->grab().toImage();
  const double r = shadow->reach();
  // Under the middle of the rectangle (4 points lower on screen): dark; far corners: nothing.
  const QColor middle = picture.pixelColor(int(r + 125), int(r + 22 + 4));
  EXPECT_GT(middle.alpha(), 100);
  EXPECT_EQ(picture.pixelColor(0, 0).alpha(), 0);
  EXPECT_EQ(picture.pixelColor(picture.width() - 1, 0).alpha(), 0);

  shadow->setLook(QVShadow{QColor(0, 0, 0, 60), CGSizeMake(0, 2), 6});
  shadow->grab();
  EXPECT_EQ(shadow->picturesMade(), 2) << "a new look makes a new picture";
}

}  // namespace
