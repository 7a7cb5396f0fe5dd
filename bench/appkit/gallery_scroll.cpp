// bench_gallery_scroll [frames]
// Three figures of the gallery at device pixel ratio 2:
//  1. Frame times of scrolling a gallery of 200 photos that fills a 2560 x 1440 screen (1280 x 720
//     points): the grid scrolls a few points per display frame from top to bottom and back, each
//     frame painted into the window's backing store. Thumbnails are in memory (answered at once);
//     the first pass makes each cell's display-sized picture once. Prints the first pass apart,
//     then the mean and the worst of the steady frames (target: mean at most 8 ms, none over 16 ms).
//  2. Frame times of the quick preview growing out of a cell to 0.8 of the main window's width
//     (0.25 s at 60 frames a second) with a thumbnail-sized picture filling its screen (what the
//     single-image screen shows while it waits for the window), the preview window painted each
//     frame.
//  3. The time until every visible thumbnail of 50 photos is shown, through the application's real
//     facade (engine, loader, caches in a fresh SOLVANE_HOME): 50 JPEGs of 3000 x 2000 are written
//     first; the clock starts when the gallery is shown and stops when every visible cell shows its
//     thumbnail, and again when every visible cell shows its enhanced thumbnail.
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise; GALLERY_SCROLL_ONLY=1 leaves out
// the third figure.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "../BenchSupport.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryModel.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryServices.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryViewController.h"
#include "Ombrel/Classes/Application/Gallery/QVQuickPreviewScreen.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVImageView.h"
#include "QVAppKit/QVMainExecutorBridge.h"
#include "QVPlatform/ImageIO/CoreGraphics.h"
#include "QVPlatform/MainExecutor.h"

namespace {

// A thumbnail-sized photo (198 x 132 points at 2x) of its own colours.
NSImageRef thumbnail(int index) {
  QImage image(396, 264, QImage::Format_RGBA8888_Premultiplied);
  QPainter p(&image);
  QLinearGradient g(0, 0, 396, 264);
  g.setColorAt(0, QColor::fromHsv((index * 37) % 360, 150, 220));
  g.setColorAt(1, QColor::fromHsv((index * 37 + 120) % 360, 180, 90));
  p.fillRect(image.rect(), g);
  p.end();
  auto data = std::make_shared<std::vector<uint8_t>>(size_t(image.sizeInBytes()));
  std::copy(image.constBits(), image.constBits() + data->size(), data->begin());
  return NSImage::imageWithCGImage(
      CGImageCreate(396, 264, 8, 32, size_t(image.bytesPerLine()), CGColorSpaceCreateWithName(kCGColorSpaceSRGB),
                    kCGImageAlphaPremultipliedLast, data),
      CGSizeMake(198, 132));
}

class MemoryServices : public QVGalleryServices {
 public:
  void loadImageAtPath(const std::string& path, int64_t, ImageCompletion completion) override {
    completion(path, thumbnail(std::atoi(path.c_str() + 1)));
  }
  void processImageAtPath(const std::string& path, int64_t, int64_t, ProcessingCompletion completion) override {
    completion(path, nullptr, thumbnail(std::atoi(path.c_str() + 1) + 1));
  }
  void cancelLoadingImageAtPath(const std::string&, int64_t) override {}
  void cancelProcessingImageAtPath(const std::string&, int64_t) override {}
  void deleteImagesWithPaths(const std::vector<std::string>&) override {}
  bool isPluginMode() override { return false; }
  bool isImportExportMenuEnabled() override { return true; }
  bool isFilePanelShown() override { return false; }
  CGSize imageSizeForPath(const std::string&) override { return CGSizeMake(3000, 2000); }
};

class ListSource : public QVGalleryControllerDatasource {
 public:
  std::optional<std::vector<std::string>> imagesPaths() override { return paths; }
  std::vector<std::string> paths;
};

struct Gallery {
  QVSolvaneWindow* window = nullptr;
  std::unique_ptr<QVGalleryViewController> controller;
  ListSource source;
  Gallery(std::shared_ptr<QVGalleryServices> services, std::vector<std::string> paths, double w, double h) {
    source.paths = std::move(paths);
    controller = std::make_unique<QVGalleryViewController>(std::move(services));
    controller->setDatasource(&source);
    window = new QVSolvaneWindow();
    window->setTitleBarView(QVSolvaneTopBarView::topBar());
    QVEmbedInContainer(controller->view(), window->contentView());
    window->setFrame(CGRectMake(0, 0, w, h));
    window->show();
    controller->reloadData();
    QApplication::processEvents();
    controller->collectionView()->doItemsLayout();
  }
  ~Gallery() {
    controller.reset();
    delete window;
  }
  bool visibleShown(bool enhanced) const {
    auto* model = controller->model();
    for (int row : controller->collectionView()->visibleRows()) {
      const std::string path = model->pathAt(row);
      if (!(enhanced ? model->processedImage(path) : model->originalImage(path))) return false;
    }
    return true;
  }
};

void scrolling(int frames, bool wholeWindow) {
  std::vector<std::string> paths;
  for (int i = 0; i < 200; ++i) paths.push_back("/" + std::to_string(i * 3) + ".jpg");
  Gallery gallery(std::make_shared<MemoryServices>(), paths, 1280, 720);
  QScrollBar* bar = gallery.controller->collectionView()->verticalScrollBar();
  gallery.window->repaint();
  // One pass down at 24 points a frame makes every picture; then the steady frames.
  std::vector<double> first, steady;
  QElapsedTimer timer;
  const int max = bar->maximum();
  auto frame = [&](int value) {
    timer.start();
    bar->setValue(value);
    if (wholeWindow) {
      gallery.window->repaint();
    } else {
      // As the application scrolls: the moved part is copied, the uncovered rows painted.
      QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
      QCoreApplication::sendPostedEvents(gallery.window, QEvent::UpdateRequest);
    }
    return timer.nsecsElapsed() / 1e6;
  };
  int value = 0, step = -24;
  while (value < max) first.push_back(frame(value = std::min(max, value + 24)));
  const double cpuStart = bench::cpuSeconds();
  for (int i = 0; i < frames; ++i) {
    if ((step > 0 && value >= max) || (step < 0 && value <= 0)) step = -step;
    value = std::clamp(value + step, 0, max);
    steady.push_back(frame(value));
  }
  const double cpuPerFrame = (bench::cpuSeconds() - cpuStart) * 1000.0 / steady.size();
  double sum = 0, worst = 0, firstSum = 0, firstWorst = 0;
  for (double t : steady) sum += t, worst = std::max(worst, t);
  for (double t : first) firstSum += t, firstWorst = std::max(firstWorst, t);
  std::printf("%s\n",
              wholeWindow ? "each frame repaints the whole window:" : "each frame paints what scrolling changed:");
  std::printf("gallery of 200 photos scrolling, window %dx%d points, device pixel ratio %.1f (%s), %d rows of %d\n",
              gallery.window->width(), gallery.window->height(), gallery.window->devicePixelRatioF(),
              qPrintable(QGuiApplication::platformName()), bar->maximum() / 176 + 4,
              gallery.controller->collectionView()->viewport()->width() / 242);
  std::printf("first pass (makes the pictures): %zu frames, mean %.2f ms, worst %.2f ms; %d pictures made\n",
              first.size(), firstSum / first.size(), firstWorst, gallery.controller->model()->pictureRenders());
  std::printf(
      "steady: %zu frames, mean %.2f ms, worst %.2f ms per frame (target: mean at most 8 ms, none over 16 ms); "
      "CPU %.2f ms per frame\n",
      steady.size(), sum / steady.size(), worst, cpuPerFrame);
}

// A screen that shows a thumbnail-sized picture scaled to fit, as the single-image screen shows its
// blurred preview while it waits for the window's layout.
class PhotoScreen : public QVQuickPreviewScreen {
 public:
  PhotoScreen() : view_(QVMake<QVImageView>(CGRectMake(0, 0, 10, 10))) {
    view_->setContentMode(1);
    QImage image(396, 264, QImage::Format_RGBA8888_Premultiplied);
    QPainter p(&image);
    QLinearGradient g(0, 0, 396, 264);
    g.setColorAt(0, QColor(40, 90, 160));
    g.setColorAt(1, QColor(230, 150, 80));
    p.fillRect(image.rect(), g);
    p.end();
    auto data = std::make_shared<std::vector<uint8_t>>(size_t(image.sizeInBytes()));
    std::copy(image.constBits(), image.constBits() + data->size(), data->begin());
    view_->setImage(NSImage::imageWithCGImage(CGImageCreate(396, 264, 8, 32, size_t(image.bytesPerLine()),
                                                            CGColorSpaceCreateWithName(kCGColorSpaceSRGB),
                                                            kCGImageAlphaPremultipliedLast, data)));
  }
  QWidget* view() override { return view_; }
  void showProcessedImageWithPath(const std::string&) override {}

 private:
  QVImageView* view_;
};

void quickPreviewGrowth() {
  QVQuickPreviewScreen::setFactory([] { return std::make_unique<PhotoScreen>(); });
  std::vector<std::string> paths;
  for (int i = 0; i < 20; ++i) paths.push_back("/" + std::to_string(i * 3) + ".jpg");
  Gallery gallery(std::make_shared<MemoryServices>(), paths, 1280, 720);
  auto& driver = QVAnimationDriver::shared();
  driver.setFrameInterval(1.0 / 60.0);
  auto* preview = gallery.controller->quickPreviewController();
  preview->setImagePaths({paths[1]});
  QElapsedTimer timer;
  std::vector<double> times;
  preview->showFromRect(CGRectMake(300, 400, 198, 132), gallery.window);
  QApplication::processEvents();
  while (preview->animatesResize() && times.size() < 100) {
    timer.start();
    driver.advance(1.0 / 60.0);
    preview->window()->repaint();
    times.push_back(timer.nsecsElapsed() / 1e6);
  }
  double sum = 0, worst = 0;
  for (double t : times) sum += t, worst = std::max(worst, t);
  const CGRect frame = preview->window()->frame();
  std::printf(
      "quick preview growing from a cell to %.0f x %.0f points: %zu frames, first %.2f ms, mean %.2f ms, worst "
      "%.2f ms\n",
      frame.size.width, frame.size.height, times.size(), times.empty() ? 0.0 : times.front(),
      times.empty() ? 0.0 : sum / times.size(), worst);
  QVQuickPreviewScreen::setFactory(nullptr);
}

QImage photo(int index) {
  QImage image(3000, 2000, QImage::Format_RGB32);
  QPainter p(&image);
  QLinearGradient sky(0, 0, 0, 1400);
  sky.setColorAt(0, QColor::fromHsv((index * 41) % 360, 110, 170));
  sky.setColorAt(1, QColor::fromHsv((index * 41 + 30) % 360, 60, 210));
  p.fillRect(image.rect(), sky);
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 30; ++i) {
    p.setBrush(QColor::fromHsv((index * 41 + i * 13) % 360, 120, 90 + i * 4));
    p.drawEllipse(QPointF((i * 397 + index * 61) % 3000, 1100 + (i * 53) % 900), 200 + i * 9, 120 + i * 5);
  }
  return image;
}

void firstThumbnails() {
  QTemporaryDir dir;
  if (!std::getenv("SOLVANE_HOME")) setenv("SOLVANE_HOME", qPrintable(dir.filePath("home")), 1);
  std::vector<std::string> paths;
  for (int i = 0; i < 50; ++i) {
    const QString path = dir.filePath(QStringLiteral("DSC_%1.jpg").arg(1000 + i));
    photo(i).save(path, "JPEG", 90);
    paths.push_back(path.toStdString());
  }
  QVAppLink::startEngine();
  QVAppLink::start();
  qv::MainExecutor::shared().useSystemClock();
  QVAnimationDriver::shared().useSystemClock();
  QVMainExecutorBridge::install();
  QElapsedTimer timer;
  timer.start();
  Gallery gallery(QVGalleryServices::shared(), paths, 1280, 720);
  gallery.window->repaint();
  double thumbnails = -1, enhanced = -1;
  while (timer.elapsed() < 120000 && enhanced < 0) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    gallery.window->repaint();
    if (thumbnails < 0 && gallery.visibleShown(false)) thumbnails = timer.nsecsElapsed() / 1e6;
    if (enhanced < 0 && gallery.visibleShown(true)) enhanced = timer.nsecsElapsed() / 1e6;
  }
  std::printf(
      "50 photos of 3000 x 2000 through the facade, %zu cells visible: every visible thumbnail shown after "
      "%.0f ms, every visible enhanced thumbnail after %.0f ms\n",
      gallery.controller->collectionView()->visibleRows().size(), thumbnails, enhanced);
  QVAppLink::cancelImageOperationsAndWaitUntilDone(10);
  QVMainExecutorBridge::uninstall();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR")) qputenv("QT_SCALE_FACTOR", "2");
  QApplication app(argc, argv);
  QVFonts::loadOnce();
  const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 240;
  qv::MainExecutor::shared().useManualClock();
  QVAnimationDriver::shared().useManualClock();
  scrolling(frames, false);
  scrolling(frames, true);
  quickPreviewGrowth();
  if (!std::getenv("GALLERY_SCROLL_ONLY")) firstThumbnails();
  return 0;
}
