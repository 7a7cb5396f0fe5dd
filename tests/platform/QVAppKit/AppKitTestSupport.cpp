#include "AppKitTestSupport.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QPainter>

#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVFonts.h"

namespace {

// Makes the application once, on the offscreen platform, before any test runs.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "appkit_tests";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
    QVFonts::loadOnce();
    QVAnimationDriver::shared().useManualClock();
  }
  void TearDown() override {
    QVAnimationDriver::shared().cancelAll();
    delete app_;
    app_ = nullptr;
  }

 private:
  QApplication* app_ = nullptr;
};

[[maybe_unused]] auto* environment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

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
