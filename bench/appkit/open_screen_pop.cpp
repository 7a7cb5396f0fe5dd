// bench_open_screen_pop [frames]
// Frame times of the open screen's pop: a photo is dragged over the main window, so the panel
// springs to 1.1 about its centre while its blurred copy fades in and follows the pointer
// (parallax), one display frame at a time at device pixel ratio 2; each frame is painted into the
// window's backing store. The blurred photo is the facade's kind: a thumbnail, blurred and darkened.
// Prints the first frame apart (it builds the scaled pictures), then the mean and the worst.
// Target: at most 8 ms a frame, none over 16 ms. Runs on Qt's offscreen platform unless
// QT_QPA_PLATFORM says otherwise.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../BenchSupport.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenScreenServices.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenViewController.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVShadowRenderer.h"
#include "QVAppKit/QVViewController.h"
#include "QVPlatform/MainExecutor.h"

namespace {

// A 198 x 132 thumbnail of a busy photo, blurred and darkened as the facade's placeholder is.
NSImageRef blurredThumbnail() {
  QImage image(198, 132, QImage::Format_ARGB32_Premultiplied);
  QPainter p(&image);
  QLinearGradient g(0, 0, 198, 132);
  g.setColorAt(0, QColor(30, 60, 120));
  g.setColorAt(1, QColor(240, 150, 70));
  p.fillRect(image.rect(), g);
  for (int i = 0; i < 40; ++i) {
    p.setBrush(QColor::fromHsv((i * 37) % 360, 170, 230, 150));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF((i * 97) % 198, (i * 57) % 132), 6 + i % 14, 6 + i % 14);
  }
  p.fillRect(image.rect(), QColor(0, 0, 0, 110));
  p.end();
  QVBlurImage(image, 8);
  image = image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
  auto data = std::make_shared<std::vector<uint8_t>>(size_t(image.sizeInBytes()));
  std::memcpy(data->data(), image.constBits(), data->size());
  return NSImage::imageWithCGImage(CGImageCreate(198, 132, 8, 32, size_t(image.bytesPerLine()),
                                                 CGColorSpaceCreateWithName(kCGColorSpaceSRGB),
                                                 kCGImageAlphaPremultipliedLast, data));
}

class BenchServices : public QVOpenScreenServices {
 public:
  bool validateImageAtPath(const std::string&) override { return true; }
  void loadBlurredImageAtPath(const std::string&, std::function<void(NSImageRef)> completion) override {
    completion(image);
  }
  void showChooseFilesPanel(std::function<void(const std::optional<std::vector<std::string>>&)>) override {}
  void setAppLaunched() override {}
  NSImageRef image = blurredThumbnail();
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR")) qputenv("QT_SCALE_FACTOR", "2");
  QApplication app(argc, argv);
  QVFonts::loadOnce();
  const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 120;
  QVOpenScreenServices::setShared(std::make_shared<BenchServices>());
  qv::MainExecutor::shared().useManualClock();
  auto& driver = QVAnimationDriver::shared();
  driver.useManualClock();
  driver.setFrameInterval(1.0 / 60.0);

  auto* window = new QVSolvaneWindow();
  QVOpenViewController controller;
  QVEmbedInContainer(controller.view(), window->contentView());
  window->show();
  QApplication::processEvents();
  window->repaint();

  controller.updateBlurredImageWithURL(std::string("/bench/photo.jpg"), nullptr);
  std::vector<double> times;
  QElapsedTimer timer;
  double cpuStart = 0;
  for (int i = 0; i < frames; ++i) {
    timer.start();
    // The pointer circles around the panel's centre.
    const double a = i * 0.12;
    controller.handleDragDidMoveWhileDragging(CGPointMake(226 + 120 * std::cos(a), 220 + 90 * std::sin(a)));
    qv::MainExecutor::shared().runUntilIdle();
    driver.advance(1.0 / 60.0);
    window->repaint();
    times.push_back(timer.nsecsElapsed() / 1e6);
    if (i == 0) cpuStart = bench::cpuSeconds();
  }
  const double cpuPerFrame = (bench::cpuSeconds() - cpuStart) * 1000.0 / (frames - 1);
  std::vector<double> steady(times.begin() + 1, times.end());
  double sum = 0, worst = 0;
  for (double t : steady) {
    sum += t;
    worst = std::max(worst, t);
  }
  std::printf("open screen pop with a blurred photo, %d frames, window %dx%d points (%s), device pixel ratio %.1f\n",
              frames, window->width(), window->height(), qPrintable(QGuiApplication::platformName()),
              window->devicePixelRatioF());
  std::printf("panel scale at the end %.3f\n", controller.mainView()->springView()->scale().width);
  std::printf("first frame %.2f ms (builds the scaled pictures)\n", times.front());
  std::printf(
      "mean %.2f ms, worst %.2f ms per frame (target: mean at most 8 ms, none over 16 ms); CPU %.2f ms per "
      "frame\n",
      sum / steady.size(), worst, cpuPerFrame);
  controller.view()->setParent(nullptr);
  delete window;
  return 0;
}
