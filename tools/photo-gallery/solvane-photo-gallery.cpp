// Opens photos in the main window's gallery, selects some, opens the quick preview of the selection
// and writes the screen around both windows to a PNG:
//   solvane-photo-gallery OUT.png [--count N] [--no-preview | --blur] [PHOTO...]
// Without enough photos given, photos of 1200 x 800 (some 800 x 1200) are painted into a temporary
// folder so the gallery holds N (default 20).
// Under Xvfb: xvfb-run -s "-screen 0 2560x1440x24" env QT_SCALE_FACTOR=2 solvane-photo-gallery ...
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Controllers/QVSolvaneWindowController.h"
#include "Ombrel/Classes/Application/Controllers/QVMainScreens.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryModel.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryViewController.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVMainExecutorBridge.h"

namespace {

// A landscape of sky, sun, hills and water in one of several moods, a little dull so the
// enhancement has something to do.
QImage paintPhoto(int index, bool portrait) {
  const int w = portrait ? 800 : 1200, h = portrait ? 1200 : 800;
  QImage image(w, h, QImage::Format_RGB32);
  QRandomGenerator random(quint32(index * 7919 + 17));
  const int hue = (index * 47) % 360;
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, h * 0.6);
  sky.setColorAt(0, QColor::fromHsv(hue, 120, 170));
  sky.setColorAt(1, QColor::fromHsv((hue + 30) % 360, 70, 200));
  p.fillRect(image.rect(), sky);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor::fromHsv((hue + 40) % 360, 60, 235, 220));
  p.drawEllipse(QPointF(w * (0.2 + 0.6 * random.generateDouble()), h * 0.22), w * 0.06, w * 0.06);
  for (int layer = 0; layer < 4; ++layer) {
    QPainterPath hill;
    const double base = h * (0.45 + layer * 0.1);
    hill.moveTo(0, h);
    hill.lineTo(0, base);
    for (int x = 0; x <= w; x += w / 12) hill.lineTo(x, base - random.bounded(h / 8));
    hill.lineTo(w, h);
    p.setBrush(QColor::fromHsv((hue + 90 + layer * 20) % 360, 80 + layer * 30, 140 - layer * 25));
    p.drawPath(hill);
  }
  QLinearGradient water(0, h * 0.82, 0, h);
  water.setColorAt(0, QColor::fromHsv((hue + 200) % 360, 90, 120));
  water.setColorAt(1, QColor::fromHsv((hue + 210) % 360, 110, 70));
  p.fillRect(QRectF(0, h * 0.82, w, h * 0.18), water);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out;
  int count = 20;
  bool preview = true, blur = false;
  std::vector<std::string> photos;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--count") == 0 && i + 1 < argc) {
      count = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--no-preview") == 0) {
      preview = false;
    } else if (std::strcmp(argv[i], "--blur") == 0) {
      blur = true;
      preview = false;
    } else if (out.empty()) {
      out = argv[i];
    } else {
      photos.push_back(argv[i]);
    }
  }
  if (out.empty()) {
    std::fprintf(stderr, "usage: %s OUT.png [--count N] [--no-preview | --blur] [PHOTO...]\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  QVFonts::loadOnce();
  app.setFont(QVFonts::systemFontOfSize(13));
  QVUIStyle::applyToApplication(app);
  QVMainExecutorBridge::install();

  QTemporaryDir folder;
  for (int i = int(photos.size()); i < count; ++i) {
    const QString path = folder.filePath(QStringLiteral("IMG_%1.jpg").arg(4200 + i));
    paintPhoto(i, i % 5 == 3).save(path, "JPEG", 92);
    photos.push_back(path.toStdString());
  }

  QVAppLink::startEngine();
  QVAppLink::start();
  auto main = QVSolvaneWindowController::make();
  main->createTitleBar(nullptr);
  main->showWindow();
  main->addImagesAtPaths(photos);

  QTimer::singleShot(2500, [&] {
    if (auto* gallery = main->galleryScreen() ? main->galleryScreen()->controller() : nullptr) {
      gallery->selectRows({1, 2, 6});
      if (preview) gallery->showQuickpreview();
      // The grid as an export shows it: blurred and frozen.
      if (blur) gallery->showBlur();
    }
  });
  QTimer::singleShot(6500, [&] {
    QWidget* window = main->window();
    QRect area = window->frameGeometry();
    if (auto* gallery = main->galleryScreen() ? main->galleryScreen()->controller() : nullptr;
        gallery && gallery->hasQuickPreviewController()) {
      if (QWidget* quick = gallery->quickPreviewController()->window(); quick && quick->isVisible())
        area = area.united(quick->frameGeometry());
    }
    area = area.adjusted(-40, -40, 40, 40);
    const QPixmap picture = window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const bool saved = picture.save(QString::fromStdString(out));
    std::fprintf(saved ? stdout : stderr, "%s %s (%dx%d)\n", saved ? "wrote" : "cannot write", out.c_str(),
                 picture.width(), picture.height());
    app.exit(saved ? 0 : 1);
  });
  const int status = app.exec();
  main.reset();
  QVMainExecutorBridge::uninstall();
  return status;
}
