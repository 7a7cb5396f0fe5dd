// bench_drop_to_preview [rounds]
// The whole program (real engine and facade) in a 2560 x 1440 screen at device pixel ratio 2: a
// 24-megapixel JPEG (6000 x 4000, made here) is dropped on the open screen, and the time from the
// drop to the blurred preview, to the first enhanced preview on screen (the single image turns
// processed) is printed; each round drops another copy after a start
// over (so no cache answers). Then a second photo dropped on the single image opens the gallery:
// the switch's frame times are printed (one frame while screens change at once).
// Runs on Qt's offscreen platform at scale 2 unless QT_QPA_PLATFORM / QT_SCALE_FACTOR say otherwise.
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "../BenchPictures.h"
#include "Ombrel/Classes/Application/AppDelegate/QVAppDelegate.h"
#include "Ombrel/Classes/Application/AppDelegate/QVApplication.h"
#include "Ombrel/Classes/Application/AppDelegate/QVApplicationLaunch.h"
#include "Ombrel/Classes/Application/AppDelegate/QVSingleInstance.h"
#include "Ombrel/Classes/Application/Controllers/QVMainScreens.h"
#include "QVAppKit/QVMainExecutorBridge.h"

namespace {

void drop(QWidget* target, const QString& path) {
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(path)});
  const QPoint centre(target->width() / 2, target->height() / 2);
  QDragEnterEvent enter(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &enter);
  QDropEvent dropped(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &dropped);
}

// Runs the loop until the condition holds; the milliseconds waited, or -1 after 120 s.
double waitFor(const QElapsedTimer& clock, const std::function<bool()>& condition) {
  while (!condition()) {
    if (clock.elapsed() > 120000) return -1;
    QApplication::processEvents(QEventLoop::AllEvents, 2);
  }
  return clock.nsecsElapsed() / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR")) qputenv("QT_SCALE_FACTOR", "2");
  QTemporaryDir home;
  qputenv("SOLVANE_HOME", home.path().toUtf8());
  QVApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

  std::printf("making the 24-megapixel JPEG...\n");
  const rova::codecs::Bitmap bitmap = bench::makePicture(6000, 4000);
  QImage image(6000, 4000, QImage::Format_RGB888);
  for (int y = 0; y < 4000; ++y) std::copy_n(bitmap.row(y), 6000 * 3, image.scanLine(y));
  std::vector<QString> photos;
  for (int i = 0; i <= rounds; ++i) {
    photos.push_back(QDir(home.path()).filePath(QStringLiteral("photo-%1.jpg").arg(i)));
    image.save(photos.back(), "JPEG", 90);
  }

  QVSingleInstance instance("solvane-bench-" + std::to_string(QCoreApplication::applicationPid()));
  auto delegate = QVLaunchApplication(app, {argv[0]}, {}, instance);
  auto& c = *delegate->solvaneWindowController();
  QElapsedTimer clock;
  clock.start();
  waitFor(clock, [&] { return c.window()->isVisible() && c.openViewController(); });

  std::printf("drop of a 6000x4000 JPEG on the open screen (%s, device pixel ratio %.1f):\n",
              qPrintable(QGuiApplication::platformName()), c.window()->devicePixelRatioF());
  for (int round = 0; round < rounds; ++round) {
    if (round > 0) {
      c.startOver();
      waitFor(clock, [&] { return c.currentMode() == 0 && c.openViewController(); });
    }
    auto single = [&]() -> QVBasicExportSingleImageViewController* {
      auto* screen = c.singleScreen();
      return screen ? screen->controller() : nullptr;
    };
    clock.restart();
    drop(c.dragView(), photos[size_t(round)]);
    const double blurred = waitFor(clock, [&] { return single() && single()->blurredPreview()->image(); });
    const double enhanced = waitFor(clock, [&] { return single() && single()->currentState() == 1; });
    std::printf("  round %d: blurred preview %.0f ms, first enhanced preview on screen %.0f ms\n", round + 1, blurred,
                enhanced);
  }

  // The single image to the gallery: frames while the screens change.
  std::vector<double> frames;
  QElapsedTimer frame;
  frame.start();
  drop(c.dragView(), photos.back());
  while (c.currentMode() != 2 && frames.size() < 600) {
    QEvent update(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(c.window(), &update);
    QApplication::processEvents();
    frames.push_back(frame.nsecsElapsed() / 1e6);
    frame.restart();
  }
  c.window()->repaint();
  frames.push_back(frame.nsecsElapsed() / 1e6);
  double sum = 0, worst = 0;
  for (double f : frames) sum += f, worst = std::max(worst, f);
  std::printf(
      "single image to gallery: %zu frames (screens change at once until the animated transition), "
      "mean %.2f ms, worst %.2f ms (target: mean at most 8 ms, none over 16 ms)\n",
      frames.size(), sum / frames.size(), worst);
  delegate->solvaneWindowControllerWillCloseWindow(&c);
  QVMainExecutorBridge::uninstall();
  return 0;
}
