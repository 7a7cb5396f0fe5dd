#include "QVAppKit/QVGeometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(QVGeometry, FlipRoundTripsAndMapsTheBottomEdge) {
  const CGRect r = CGRectMake(10, 0, 30, 20);
  const QRectF q = QVGeometry::qtRectFromRect(r, 100);
  EXPECT_EQ(q, QRectF(10, 80, 30, 20)) << "resting on the bottom edge";
  const CGRect back = QVGeometry::rectFromQtRect(q, 100);
  EXPECT_EQ(back.origin.y, 0);
  EXPECT_EQ(back.size.height, 20);
  // Moving up in y-up space is moving up on screen.
  const QTransform up = QVGeometry::qtTransformFromTransform(CGAffineTransformMakeTranslation(0, 5), 100);
  EXPECT_EQ(up.map(QPointF(0, 50)), QPointF(0, 45));
}

TEST(QVGeometry, FittingAndCentring) {
  CGSize s = NSSizeFitIntoSize(CGSizeMake(1000, 800), 2.0, 0.8, 1.0);
  EXPECT_EQ(s.width, 800);
  EXPECT_EQ(s.height, 400);
  s = NSSizeFitIntoSize(CGSizeMake(1000, 800), 0.5, 0.8, 1.0);
  EXPECT_EQ(s.width, 400);
  EXPECT_EQ(s.height, 800);
  for (double bad : {0.0, -1.0, std::nan(""), double(INFINITY)}) {
    s = NSSizeFitIntoSize(CGSizeMake(1000, 800), bad, 0.8, 1.0);
    EXPECT_EQ(s.width, 0) << bad;
    EXPECT_EQ(s.height, 0) << bad;
  }
  const CGPoint o = NSPointOriginForSizeWithinRect(CGRectMake(0, 0, 101, 101), CGSizeMake(50, 50));
  EXPECT_EQ(o.x, 26);  // 25.5 rounded up
  const CGPoint k = NSPointOriginKeepingOldCenterForSize(CGRectMake(0, 0, 101, 101), CGSizeMake(50, 50));
  EXPECT_EQ(k.x, 25.5);
  EXPECT_EQ(NSCenterPointForRect(CGRectMake(10, 20, 30, 40)).y, 40);
}

}  // namespace
