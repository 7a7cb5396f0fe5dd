#include "QVAppKit/QVImageView.h"

#include <gtest/gtest.h>

#include <memory>

#include "AppKitTestSupport.h"
#include "QVAppKit/QVImageBridge.h"

namespace {

using appkit_test::pixelAt;
using appkit_test::render;

CGImageRef solid(size_t w, size_t h, QColor c, size_t bits = 8, size_t components = 4) {
  const size_t bytes = bits / 8;
  auto data = std::make_shared<std::vector<uint8_t>>(w * h * components * bytes);
  const int rgba[4] = {c.red(), c.green(), c.blue(), 255};
  for (size_t i = 0; i < w * h; ++i) {
    for (size_t k = 0; k < components; ++k) {
      const int v = rgba[k];
      if (bits == 8) {
        (*data)[i * components + k] = uint8_t(v);
      } else {
        const uint16_t v16 = uint16_t(v * 257);
        std::memcpy(data->data() + (i * components + k) * 2, &v16, 2);
      }
    }
  }
  return CGImageCreate(w, h, bits, bits * components, w * components * bytes, CGColorSpaceCreateDeviceRGB(),
                       components == 4 ? kCGImageAlphaPremultipliedLast : kCGImageAlphaNone, data);
}

TEST(QVImageView, FillAndFitRectangles) {
  std::unique_ptr<QVImageView> view(QVMake<QVImageView>(CGRectMake(0, 0, 100, 100)));
  view->setImage(NSImage::imageWithCGImage(solid(200, 100, Qt::red)));
  struct Case {
    int64_t mode;
    CGRect expected;
  } cases[] = {{QVImageContentModeAspectFill, CGRectMake(-50, 0, 200, 100)},
               {QVImageContentModeAspectFit, CGRectMake(0, 25, 100, 50)},
               {5, CGRectMake(0, 25, 100, 50)}};  // unknown: stored, drawing unchanged
  for (const Case& c : cases) {
    view->setContentMode(c.mode);
    EXPECT_EQ(view->contentMode(), c.mode);
    const CGRect r = view->imageRect();
    EXPECT_DOUBLE_EQ(r.origin.x, c.expected.origin.x) << c.mode;
    EXPECT_DOUBLE_EQ(r.origin.y, c.expected.origin.y) << c.mode;
    EXPECT_DOUBLE_EQ(r.size.width, c.expected.size.width) << c.mode;
    EXPECT_DOUBLE_EQ(r.size.height, c.expected.size.height) << c.mode;
  }
}

TEST(QVImageView, FitLeavesBandsAndFillCoversTheBounds) {
  std::unique_ptr<QVView> canvas(QVMake<QVView>(CGRectMake(0, 0, 100, 100)));
  canvas->setBackgroundColor(Qt::white);
  auto* view = QVMake<QVImageView>(CGRectMake(0, 0, 100, 100));
  canvas->addSubview(view);
  view->setImage(NSImage::imageWithCGImage(solid(200, 100, Qt::red)));
  view->setContentMode(QVImageContentModeAspectFit);
  QImage image = render(canvas.get());
  EXPECT_EQ(pixelAt(image, 50, 10), QColor(Qt::white));
  EXPECT_EQ(pixelAt(image, 50, 50), QColor(Qt::red));
  view->setContentMode(QVImageContentModeAspectFill);
  image = render(canvas.get());
  EXPECT_EQ(pixelAt(image, 50, 10), QColor(Qt::red));
}

TEST(QVImageView, ShowsTheBitmapInPlaceWhereTheLayoutAllows) {
  std::unique_ptr<QVImageView> view(QVMake<QVImageView>(CGRectMake(0, 0, 10, 10)));
  auto rgba8 = solid(4, 4, Qt::green);
  view->setImage(NSImage::imageWithCGImage(rgba8));
  EXPECT_TRUE(QVImageBridge::sharesBuffer(view->shownImage(), rgba8));
  auto rgba16 = solid(4, 4, Qt::green, 16);
  EXPECT_TRUE(QVImageBridge::sharesBuffer(QVImageBridge::imageFromCGImage(rgba16), rgba16));

  // 16-bit RGB has no Qt layout: converted, same colour.
  auto rgb16 = solid(4, 4, QColor(10, 200, 30), 16, 3);
  const QImage converted = QVImageBridge::imageFromCGImage(rgb16);
  EXPECT_FALSE(QVImageBridge::sharesBuffer(converted, rgb16));
  EXPECT_EQ(converted.pixelColor(1, 1).toRgb(), QColor(10, 200, 30));
}

TEST(QVImageView, SameImageTwiceTouchesNothingAndNilEmpties) {
  std::unique_ptr<QVImageView> view(QVMake<QVImageView>(CGRectMake(0, 0, 10, 10)));
  auto image = NSImage::imageWithCGImage(solid(4, 4, Qt::blue));
  view->setImage(image);
  const int updates = view->contentUpdates();
  view->setImage(image);
  EXPECT_EQ(view->contentUpdates(), updates);
  view->setImage(nullptr);
  EXPECT_TRUE(view->shownImage().isNull());
  EXPECT_EQ(view->contentUpdates(), updates + 1);
}

TEST(QVImageView, ScaleCenteredKeepsZeroDepthAndCentresTheAnchor) {
  std::unique_ptr<QVImageView> view(QVMake<QVImageView>(CGRectMake(0, 0, 10, 10)));
  view->scaleCentered(1.0);
  EXPECT_EQ(view->transform().m33, 0);
  EXPECT_EQ(view->transform().m11, 1);
  EXPECT_EQ(view->anchorPoint().x, 0.5);
  EXPECT_EQ(view->anchorPoint().y, 0.5);
}

TEST(QVImageView, TheLayerTransformScalesThePictureAboutTheViewsCentre) {
  std::unique_ptr<QVView> canvas(QVMake<QVView>(CGRectMake(0, 0, 100, 100)));
  canvas->setBackgroundColor(Qt::white);
  auto* view = QVMake<QVImageView>(CGRectMake(0, 0, 100, 100));
  canvas->addSubview(view);
  view->setImage(NSImage::imageWithCGImage(solid(100, 100, Qt::red)));
  view->scaleCentered(0.5);
  const QImage image = render(canvas.get());
  EXPECT_EQ(pixelAt(image, 50, 50), QColor(Qt::red));
  EXPECT_EQ(pixelAt(image, 30, 70), QColor(Qt::red));
  EXPECT_EQ(pixelAt(image, 10, 10), QColor(Qt::white));
  EXPECT_EQ(pixelAt(image, 90, 90), QColor(Qt::white));
  // A translation moves it up on screen for a positive y.
  view->setTransform(CATransform3DMakeTranslation(0, 30, 0));
  const QImage moved = render(canvas.get());
  EXPECT_EQ(pixelAt(moved, 50, 5), QColor(Qt::red));
  EXPECT_EQ(pixelAt(moved, 50, 85), QColor(Qt::white));
}

TEST(QVImageView, LazyImagesDrawAtTheDevicePixelSize) {
  std::unique_ptr<QVImageView> view(QVMake<QVImageView>(CGRectMake(0, 0, 40, 20)));
  size_t askedWidth = 0;
  view->setImage(NSImage::imageWithSize(CGSizeMake(40, 20), [&](size_t w, size_t h) {
    askedWidth = w;
    return solid(w, h, Qt::red);
  }));
  const QImage image = render(view.get());
  EXPECT_EQ(askedWidth, 40u);
  EXPECT_EQ(pixelAt(image, 20, 10), QColor(Qt::red));
}

TEST(QVImageViewInteractable, LetsClicksThroughAndDropsItsIntrinsicSizeOnRequest) {
  std::unique_ptr<QVView> canvas(QVMake<QVView>(CGRectMake(0, 0, 100, 100)));
  canvas->show();
  auto* back = QVMake<QVView>(CGRectMake(0, 0, 100, 100));
  canvas->addSubview(back);
  auto* icon = QVMake<QVImageViewInteractable>(CGRectMake(0, 0, 50, 50));
  canvas->addSubview(icon);
  icon->setImage(NSImage::imageWithCGImage(solid(16, 12, Qt::red)));
  EXPECT_EQ(icon->intrinsicContentSize().width, 16);
  EXPECT_EQ(canvas->childAt(10, 90), icon);

  icon->setInteractable(false);
  EXPECT_EQ(canvas->childAt(10, 90), back);
  EXPECT_EQ(icon->hitTest(CGPointMake(10, 10)), nullptr);
  icon->setUseIntrinsicContentSize(false);
  EXPECT_EQ(icon->intrinsicContentSize().width, 0);
  EXPECT_EQ(icon->intrinsicContentSize().height, 0);
  EXPECT_TRUE(icon->mouseDownCanMoveWindow());
  EXPECT_FALSE(icon->acceptDrops());
}

}  // namespace
