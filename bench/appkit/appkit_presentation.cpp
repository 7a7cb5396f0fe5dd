// bench_appkit_presentation [frames]
// Frame time of the presentation model: a container holding a full-window image view (2560 × 1440)
// fades and scales about its centre, driven by the animation driver one display frame at a time;
// each frame is painted into the window's backing store. Prints the mean and worst frame time and
// the first frame apart (it builds the scaled picture and the subtree's cached picture).
// Target: at most 8 ms a frame. Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../BenchSupport.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVImageView.h"
#include "QVAppKit/QVView.h"

namespace {

NSImageRef photo(int w, int h) {
  QImage image(w, h, QImage::Format_RGBA8888_Premultiplied);
  QPainter p(&image);
  QLinearGradient g(0, 0, w, h);
  g.setColorAt(0, QColor(30, 40, 90));
  g.setColorAt(1, QColor(250, 160, 90));
  p.fillRect(image.rect(), g);
  for (int i = 0; i < 200; ++i) {
    p.setBrush(QColor::fromHsv((i * 37) % 360, 160, 220, 120));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF((i * 997) % w, (i * 577) % h), 40 + i % 60, 40 + i % 60);
  }
  p.end();
  auto data = std::make_shared<std::vector<uint8_t>>(size_t(image.sizeInBytes()));
  std::memcpy(data->data(), image.constBits(), data->size());
  return NSImage::imageWithCGImage(CGImageCreate(size_t(w), size_t(h), 8, 32, size_t(image.bytesPerLine()),
                                                 CGColorSpaceCreateWithName(kCGColorSpaceSRGB),
                                                 kCGImageAlphaPremultipliedLast, data));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 120;
  const double W = 2560, H = 1440;

  auto* window = QVMake<QVView>(CGRectMake(0, 0, W, H));
  window->setBackgroundColor(QColor(14, 15, 18));
  auto* container = QVMake<QVView>(CGRectMake(0, 0, W, H));
  window->addSubview(container);
  auto* image = QVMake<QVImageView>(CGRectMake(0, 0, W, H));
  image->setImage(photo(int(W), int(H)));
  container->addSubview(image);
  container->setAnchorPoint(CGPointMake(0.5, 0.5));
  window->show();
  QApplication::processEvents();

  auto& driver = QVAnimationDriver::shared();
  driver.useManualClock();
  driver.setFrameInterval(1.0 / 60.0);
  const double duration = frames / 60.0;
  driver.animate(duration, QVTimingFunction::EaseInEaseOut, [container](double t) {
    // Out and back: alpha 1 → 0.2 → 1, scale 1 → 0.85 → 1.
    const double k = t < 0.5 ? t * 2 : (1 - t) * 2;
    container->setAlpha(1 - 0.8 * k);
    container->setScale(1 - 0.15 * k);
  });

  std::vector<double> times;
  QElapsedTimer timer;
  double cpuStart = 0;
  for (int i = 0; i < frames; ++i) {
    timer.start();
    driver.advance(1.0 / 60.0);
    window->repaint();
    times.push_back(timer.nsecsElapsed() / 1e6);
    if (i == 0) cpuStart = bench::cpuSeconds();
  }
  // CPU time of all threads (Qt's raster engine paints large areas on its own pool): on a loaded
  // machine this is steadier than the wall clock.
  const double cpuPerFrame = (bench::cpuSeconds() - cpuStart) * 1000.0 / (frames - 1);
  const double first = times.front();
  std::vector<double> steady(times.begin() + 1, times.end());
  double sum = 0, worst = 0;
  for (double t : steady) {
    sum += t;
    worst = std::max(worst, t);
  }
  std::printf("presentation animation, %d frames of a %gx%g window (%s), device pixel ratio %.1f\n", frames, W, H,
              qPrintable(QGuiApplication::platformName()), window->devicePixelRatioF());
  std::printf("first frame %.2f ms (builds the cached pictures)\n", first);
  std::printf("mean %.2f ms, worst %.2f ms per frame (target at most 8 ms); CPU %.2f ms per frame\n",
              sum / steady.size(), worst, cpuPerFrame);
  delete window;
  return 0;
}
