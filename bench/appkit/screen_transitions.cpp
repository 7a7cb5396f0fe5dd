// bench_screen_transitions [frames-folder]
// Frame times of the main window's screen transitions at device pixel ratio 2 on a 2560 x 1440
// screen: open screen to single image, open screen to gallery, single image to gallery and back,
// gallery to open screen. Each display frame steps the animation driver's clock by 1/60 s and
// paints the window into its backing store. With a folder, eight frames of each transition are
// saved there as PNG. Target: mean at most 8 ms a frame, none over 16 ms. Runs on Qt's offscreen
// platform unless QT_QPA_PLATFORM says otherwise.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "Ombrel/Classes/Application/Controllers/QVMainScreens.h"
#include "Ombrel/Classes/Application/Gallery/QVPreviewCollectionViewCell.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenScreenServices.h"
#include "Ombrel/Classes/Application/Panels/QVImageCell.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "Ombrel/Classes/Application/Transitions/QVExportAnimationHelper.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVSolvaneTopBarView.h"
#include "QVAppKit/QVView.h"
#include "QVPlatform/ImageIO/CoreGraphics.h"
#include "QVPlatform/MainExecutor.h"

namespace {

QImage photo(int w, int h, int seed) {
  QImage image(w, h, QImage::Format_RGB32);
  QPainter p(&image);
  QLinearGradient sky(0, 0, 0, h);
  sky.setColorAt(0, QColor::fromHsv((200 + seed * 23) % 360, 120, 230));
  sky.setColorAt(1, QColor::fromHsv((30 + seed * 41) % 360, 160, 120));
  p.fillRect(image.rect(), sky);
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 30; ++i) {
    p.setBrush(QColor::fromHsv((i * 37 + seed * 11) % 360, 150, 200, 170));
    p.drawEllipse(QPointF((i * 97 + seed * 13) % w, (i * 57 + seed * 7) % h), w / 20.0 + i % 9, w / 20.0 + i % 9);
  }
  return image;
}

// A view showing a display-sized copy of a photo, made once per size.
class PhotoView : public QVView {
 public:
  using QVView::QVView;
  QImage source;
  void drawContent(QPainter& painter) override {
    const QSize pixels = size() * devicePixelRatioF();
    if (cached_.size() != pixels) {
      cached_ = QPixmap::fromImage(source.scaled(pixels, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation));
      cached_.setDevicePixelRatio(devicePixelRatioF());
    }
    painter.drawPixmap(QPointF(0, 0), cached_);
  }

 private:
  QPixmap cached_;
};

class Services : public QVOpenScreenServices {
 public:
  bool validateImageAtPath(const std::string&) override { return true; }
  void loadBlurredImageAtPath(const std::string&, std::function<void(NSImageRef)> completion) override {
    completion(nullptr);
  }
  void showChooseFilesPanel(std::function<void(const std::optional<std::vector<std::string>>&)>) override {}
  void setAppLaunched() override {}
};

class SingleScreen : public QVExportContainerAnimatable {
 public:
  QPointer<PhotoView> view = QVMake<PhotoView>(CGRectMake(0, 0, 10, 10));
  SingleScreen() { view->source = photo(1800, 1200, 1); }
  int64_t containerMode() const override { return 1; }
  QWidget* containerView() override { return view; }
};

// A gallery drawn as the grid of cells the real one lays out.
class GalleryView : public QVView {
 public:
  using QVView::QVView;
  std::vector<QImage> thumbs;
  std::vector<CGRect> cells() const {
    std::vector<CGRect> rects;
    const double w = 220, h = 170, gap = 16;
    const int columns = std::max(1, int((width() - gap) / (w + gap)));
    for (size_t i = 0; i < thumbs.size(); ++i)
      rects.push_back(CGRectMake(gap + (i % columns) * (w + gap), height() - 60 - h - (i / columns) * (h + gap), w, h));
    return rects;
  }
  // The grid is drawn once per size, as the real gallery keeps its cells' pictures.
  void drawContent(QPainter& painter) override {
    const QSize pixels = size() * devicePixelRatioF();
    if (cached_.size() != pixels) {
      cached_ = QPixmap(pixels);
      cached_.setDevicePixelRatio(devicePixelRatioF());
      QPainter p(&cached_);
      p.setRenderHint(QPainter::Antialiasing);
      p.setRenderHint(QPainter::SmoothPixmapTransform);
      p.fillRect(rect(), QVUIStyle::themeBGColor());
      const auto rects = cells();
      for (size_t i = 0; i < rects.size(); ++i) {
        const QRectF r(rects[i].origin.x, height() - rects[i].origin.y - rects[i].size.height, rects[i].size.width,
                       rects[i].size.height);
        // The real gallery's cell painter, with a picture per cell made once (as its model keeps them).
        QVPreviewCollectionViewCell::Drawing drawing;
        drawing.boundsSize = rects[i].size;
        drawing.previewSize = CGSizeMake(rects[i].size.width - 24, rects[i].size.height - 24);
        drawing.hasImage = true;
        drawing.imageSize = CGSizeMake(thumbs[i].width(), thumbs[i].height());
        const CGSize fit = QVPreviewCollectionViewCell::fitImageSize(drawing.imageSize, drawing.previewSize);
        const QSize fitPixels(int(fit.width * devicePixelRatioF()), int(fit.height * devicePixelRatioF()));
        if (pictures_.size() <= i) pictures_.resize(i + 1);
        if (pictures_[i].size() != fitPixels) {
          pictures_[i] =
              QPixmap::fromImage(thumbs[i].scaled(fitPixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
          pictures_[i].setDevicePixelRatio(devicePixelRatioF());
        }
        drawing.picture = pictures_[i];
        QVPreviewCollectionViewCell::draw(p, r, drawing);
      }
    }
    painter.drawPixmap(QPointF(0, 0), cached_);
  }

 private:
  QPixmap cached_;
  std::vector<QPixmap> pictures_;
};

// The platform image of a picture, as the screens hold their photos.
NSImageRef platformImage(const QImage& picture) {
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
  auto data = std::make_shared<std::vector<uint8_t>>(size_t(rgb.width()) * size_t(rgb.height()) * 3);
  for (int y = 0; y < rgb.height(); ++y)
    std::memcpy(data->data() + size_t(y) * size_t(rgb.width()) * 3, rgb.constScanLine(y), size_t(rgb.width()) * 3);
  return NSImage::imageWithCGImage(
      CGImageCreate(size_t(rgb.width()), size_t(rgb.height()), 8, 24, size_t(rgb.width()) * 3,
                    CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone, data),
      CGSizeMake(rgb.width(), rgb.height()));
}

class GalleryScreen : public QVExportGalleryAnimatable {
 public:
  QPointer<GalleryView> view = QVMake<GalleryView>(CGRectMake(0, 0, 10, 10));
  std::vector<std::string> paths;
  GalleryScreen() {
    for (int i = 0; i < 20; ++i) {
      paths.push_back("/bench/" + std::to_string(i) + ".jpg");
      view->thumbs.push_back(photo(300, 200, i));
    }
  }
  QWidget* containerView() override { return view; }
  std::vector<CGRect> cellRects() override { return view->cells(); }
  CGRect lonelyCachedCellRect() override { return cellRectForItem(0); }
  CGRect cellRectForItem(int row) override {
    auto rects = cellRects();
    return row < int(rects.size()) ? rects[row] : CGRectZero;
  }
  std::vector<std::string> imagePaths() override { return paths; }
};

class WindowController : public QVExportWindowControllable {
 public:
  QVSolvaneWindow* window = new QVSolvaneWindow();
  QVExportContainerAnimatable* current = nullptr;
  std::map<int64_t, QVExportContainerAnimatable*> screens;
  GalleryScreen* gallery = nullptr;
  SingleScreen* single = nullptr;
  QVExportContainerAnimatable* currentVC() override { return current; }
  QVExportContainerAnimatable* viewControllerForMode(int64_t mode) override { return screens[mode]; }
  QWidget* contentContainer() override { return window->contentView(); }
  std::optional<CGSize> firstImageSize() override { return CGSizeMake(1800, 1200); }
  std::vector<std::string> tempAnimationPaths() override { return gallery->paths; }
  std::unique_ptr<QWidget> createImageCell(const std::string& path) override {
    // The shell's cell with the picture a screen already holds: the gallery's thumbnail when the
    // gallery is shown, else the single image's photo.
    const bool fromGallery = current == gallery;
    const QImage& picture = fromGallery ? gallery->view->thumbs.front() : single->view->source;
    return std::unique_ptr<QWidget>(QVImageCell::createImageCell(path, platformImage(picture)));
  }
  void loadThumbnail(const std::string& path, std::function<void(QImage)> done) override {
    const int i = std::atoi(path.c_str() + 7);
    done(gallery->view->thumbs[size_t(i)]);
  }
};

struct Figures {
  double start = 0, first = 0, mean = 0, worst = 0;
  int frames = 0;
  std::vector<double> times;
};

Figures run(WindowController& wc, int64_t from, int64_t to, const QString& folder, const char* name) {
  auto& driver = QVAnimationDriver::shared();
  QVExportAnimationHelper helper(QVExportTransitionMake(from, to), &wc);
  bool done = false;
  std::vector<double> times;
  std::vector<QImage> frames;
  QElapsedTimer timer;
  timer.start();
  helper.animateTransition([&](QVExportContainerAnimatable* end) {
    helper.finishTransition();
    // As the window controller does: the top controls of the new mode, above the screen.
    wc.window->updateTopControlsVisibility(to);
    wc.current = end;
    done = true;
  });
  // The start (grabs, the window's new shape) happens once, before the motion's clock starts: it
  // delays the motion but is no frame of it.
  const double start = timer.nsecsElapsed() / 1e6;
  timer.start();
  wc.window->repaint();
  times.push_back(timer.nsecsElapsed() / 1e6);
  if (!folder.isEmpty()) frames.push_back(wc.window->grab().toImage());
  int guard = 0;
  while (!done && guard++ < 600) {
    timer.start();
    qv::MainExecutor::shared().runUntilIdle();
    driver.advance(1.0 / 60.0);
    wc.window->repaint();
    times.push_back(timer.nsecsElapsed() / 1e6);
    if (!folder.isEmpty()) frames.push_back(wc.window->grab().toImage());
  }
  if (!folder.isEmpty()) {
    frames.push_back(wc.window->grab().toImage());
    // The last frame of the motion and the first of the end screen, to compare for a jump.
    if (qEnvironmentVariableIsSet("SOLVANE_BENCH_VERBOSE") && frames.size() > 3) {
      frames[frames.size() - 3].save(QDir(folder).filePath(QString("%1-last-motion.png").arg(name)));
      frames.back().save(QDir(folder).filePath(QString("%1-end.png").arg(name)));
    }
    for (int k = 0; k < 8; ++k) {
      const size_t index = size_t(k) * (frames.size() - 1) / 7;
      frames[index].save(QDir(folder).filePath(QString("%1-%2.png").arg(name).arg(k)));
    }
  }
  Figures f;
  f.start = start;
  f.times = times;
  f.frames = int(times.size());
  f.first = times.front();
  for (double t : times) {
    f.mean += t;
    f.worst = std::max(f.worst, t);
  }
  f.mean /= std::max<size_t>(1, times.size());
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  QTemporaryDir configDir;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    // One 2560 x 1440 screen, so that the window takes the shapes it takes there.
    const QString config = configDir.filePath("screens.json");
    QFile file(config);
    if (file.open(QIODevice::WriteOnly)) {
      file.write(R"({"screens": [{"name": "Main", "x": 0, "y": 0, "width": 2560, "height": 1440,
                     "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
      file.close();
      qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toUtf8());
    } else {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    }
  }
  if (qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR")) qputenv("QT_SCALE_FACTOR", "2");
  QApplication app(argc, argv);
  QVFonts::loadOnce();
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
  if (!folder.isEmpty()) QDir().mkpath(folder);
  QVOpenScreenServices::setShared(std::make_shared<Services>());
  qv::MainExecutor::shared().useManualClock();
  QVAnimationDriver::shared().useManualClock();
  QVAnimationDriver::shared().setFrameInterval(1.0 / 60.0);

  WindowController wc;
  wc.window->setTitleBarView(QVSolvaneTopBarView::topBar());
  // The open screen as the window shows it: no host, no delegate, no title bar of its own.
  auto open = std::make_unique<QVOpenMainScreen>(nullptr, nullptr, nullptr);
  SingleScreen single;
  GalleryScreen gallery;
  wc.gallery = &gallery;
  wc.single = &single;
  // The first cell shows the single image's photo, as the gallery's first thumbnail would.
  gallery.view->thumbs.front() = single.view->source.scaled(300, 200, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  // The cells' pictures are made once, as the gallery's model keeps them between paints.
  gallery.view->resize(1008, 720);
  gallery.view->grab();
  wc.screens = {{0, open.get()}, {1, &single}, {2, &gallery}};
  wc.current = open.get();
  QVExportAnimationTransitionController::embedView(wc.contentContainer(), open->containerView());
  wc.window->show();
  QApplication::processEvents();
  wc.window->repaint();

  struct Step {
    int64_t from, to;
    const char* name;
  };
  const Step steps[] = {{0, 1, "open-to-single"},          {1, 2, "single-to-gallery"}, {2, 1, "gallery-to-single"},
                        {1, 2, "single-to-gallery-again"}, {2, 0, "gallery-to-open"},   {0, 2, "open-to-gallery"}};
  std::printf("screen transitions, device pixel ratio %.1f (%s); target: mean at most 8 ms, no frame over 16 ms\n",
              wc.window->devicePixelRatioF(), qPrintable(QGuiApplication::platformName()));
  for (const Step& s : steps) {
    if (s.from == 1 && wc.window->sizeMode() != 1) {
      wc.window->changeSizeMode(1, false);
      QApplication::processEvents();
      wc.window->repaint();
    }
    const Figures f = run(wc, s.from, s.to, folder, s.name);
    if (s.to == 2 && wc.window->sizeMode() != 2) wc.window->changeSizeMode(2, false);
    // The next transition starts from its screen as shown and settled, as in the application.
    QApplication::processEvents();
    wc.window->repaint();
    std::printf(
        "%-24s window %4dx%-4d points, start %5.1f ms (grabs, new shape), %3d frames: first %5.2f ms, mean %5.2f ms, "
        "worst %5.2f ms\n",
        s.name, wc.window->width(), wc.window->height(), f.start, f.frames, f.first, f.mean, f.worst);
    if (qEnvironmentVariableIsSet("SOLVANE_BENCH_VERBOSE")) {
      for (double t : f.times) std::printf(" %.1f", t);
      std::printf("\n");
    }
  }
  return 0;
}
