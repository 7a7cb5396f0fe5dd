#include "AppKitTestSupport.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QPainter>

#include "QVAppKit/QVAnimationDriver.h"
#include "common/OffscreenQtEnvironment.h"

namespace {

// The application, once, on the offscreen platform, with the animation driver on its manual clock.
[[maybe_unused]] auto* environment = ::testing::AddGlobalTestEnvironment(new solvane::test::OffscreenQtEnvironment<>(
    "appkit_tests", {}, [] { QVAnimationDriver::shared().useManualClock(); },
    [] { QVAnimationDriver::shared().cancelAll(); }));

}  // namespace

namespace appkit_test {

QColor pixelAt(const QImage& grab, double x, double y) {
  const double dpr = grab.devicePixelRatio();
  return grab.pixelColor(int(x * dpr), int(y * dpr));
}

QImage render(QWidget* widget) {
  QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  widget->render(&painter);
  painter.end();
  return image;
}

}  // namespace appkit_test
