// solvane-gallery [--page springs|chrome] [--screenshot OUT.png] [--hover-frames PREFIX]
// Shows every view of the interface toolkit in its states, on the application's dark look: base
// views with rounding, shadows and transparency, labels, text fields, image views in both content
// modes and an overlay flight. With --screenshot it writes the window (at the screen's device
// pixel ratio) and quits; run it under Xvfb: `xvfb-run -s "-screen 0 1400x900x24" ...`.
#include <QApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ChromePage.h"
#include "GalleryParts.h"
#include "QVAppKit/NSView+Extensions.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVImageView.h"
#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVMainExecutorBridge.h"
#include "QVAppKit/QVOverlayCanvas.h"
#include "QVAppKit/QVRoundedView.h"
#include "QVAppKit/QVTextField.h"
#include "SpringsPage.h"

using gallery::kCard;
using gallery::kCardBorder;
using gallery::kMuted;
using gallery::kOrange;
using gallery::kText;
using gallery::kWindow;

namespace {

const QColor kField(32, 34, 40);

// A landscape at a time of day, painted as a photo stand-in, handed over as a platform image.
struct Scene {
  QColor skyTop, horizon, sun, far, near, water;
  double sunX, sunY;
};

const Scene kScenes[] = {
    {QColor(28, 36, 82), QColor(250, 156, 92), QColor(255, 228, 170), QColor(92, 62, 110), QColor(34, 24, 52),
     QColor(58, 46, 96), 0.62, 0.56},
    {QColor(22, 74, 140), QColor(150, 206, 236), QColor(255, 250, 230), QColor(70, 110, 140), QColor(24, 60, 70),
     QColor(60, 120, 150), 0.3, 0.3},
    {QColor(12, 14, 40), QColor(70, 60, 120), QColor(230, 230, 255), QColor(40, 40, 80), QColor(14, 14, 30),
     QColor(30, 30, 70), 0.75, 0.25},
    {QColor(90, 40, 90), QColor(255, 120, 90), QColor(255, 210, 140), QColor(120, 50, 70), QColor(50, 20, 40),
     QColor(110, 50, 80), 0.45, 0.62},
    {QColor(40, 90, 110), QColor(220, 230, 200), QColor(255, 255, 240), QColor(80, 120, 100), QColor(30, 60, 40),
     QColor(70, 120, 120), 0.2, 0.4},
    {QColor(60, 30, 20), QColor(250, 180, 80), QColor(255, 240, 200), QColor(120, 70, 40), QColor(40, 25, 15),
     QColor(110, 70, 50), 0.55, 0.6},
};

QImage paintScene(const Scene& s, int w, int h) {
  QImage image(w, h, QImage::Format_RGBA8888_Premultiplied);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const double horizon = h * 0.66;
  QLinearGradient sky(0, 0, 0, horizon);
  sky.setColorAt(0, s.skyTop);
  sky.setColorAt(1, s.horizon);
  p.fillRect(QRectF(0, 0, w, horizon + 1), sky);
  QRadialGradient glow(QPointF(w * s.sunX, h * s.sunY), h * 0.5);
  QColor g = s.sun;
  g.setAlpha(200);
  glow.setColorAt(0, g);
  g.setAlpha(0);
  glow.setColorAt(1, g);
  p.fillRect(QRectF(0, 0, w, horizon), glow);
  p.setBrush(s.sun);
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(w * s.sunX, h * s.sunY), h * 0.045, h * 0.045);
  auto ridge = [&](QColor c, double base, double amp, double freq, double phase) {
    QPainterPath path;
    path.moveTo(0, h);
    for (int x = 0; x <= w; x += 4) {
      const double t = double(x) / w;
      const double y = base - amp * (0.6 * std::sin(t * freq + phase) + 0.3 * std::sin(t * freq * 2.7 + phase * 1.9) +
                                     0.1 * std::sin(t * freq * 7.3));
      path.lineTo(x, y);
    }
    path.lineTo(w, h);
    path.closeSubpath();
    p.fillPath(path, c);
  };
  ridge(s.far, horizon - h * 0.02, h * 0.14, 6.0, 0.7);
  ridge(s.near, horizon + h * 0.02, h * 0.09, 9.0, 2.1);
  QLinearGradient water(0, horizon, 0, h);
  water.setColorAt(0, s.water);
  water.setColorAt(1, s.near.darker(160));
  p.fillRect(QRectF(0, horizon + h * 0.06, w, h), water);
  // The sun's path on the water.
  for (int i = 0; i < 14; ++i) {
    QColor c = s.sun;
    c.setAlpha(110 - i * 7);
    const double y = horizon + h * 0.07 + i * h * 0.018;
    const double half = w * (0.05 - i * 0.0025);
    p.fillRect(QRectF(w * s.sunX - half, y, 2 * half, h * 0.006), c);
  }
  return image;
}

// The painted picture as the bitmap the application core hands over (8 or 16 bits a sample).
NSImageRef platformImage(const QImage& painted, bool sixteenBits = false) {
  const QImage src = painted.convertToFormat(sixteenBits ? QImage::Format_RGBA64_Premultiplied
                                                         : QImage::Format_RGBA8888_Premultiplied);
  auto data = std::make_shared<std::vector<uint8_t>>(size_t(src.sizeInBytes()));
  std::memcpy(data->data(), src.constBits(), data->size());
  const size_t bits = sixteenBits ? 16 : 8;
  auto bitmap = CGImageCreate(size_t(src.width()), size_t(src.height()), bits, bits * 4, size_t(src.bytesPerLine()),
                              CGColorSpaceCreateWithName(kCGColorSpaceSRGB), kCGImageAlphaPremultipliedLast, data);
  return NSImage::imageWithCGImage(bitmap);
}

QVLabel* label(QVBasicView* parent, CGRect frame, const std::string& text, const char* font, double size, QColor color,
               uint64_t alignment = QVTextAlignmentLeft) {
  return gallery::text(parent, frame, text, font, size, color, alignment);
}

QVLabel* pill(QVBasicView* parent, CGRect frame, const std::string& text, QColor background, QColor color) {
  auto* l = label(parent, frame, text, "SFProText-Semibold", 14, color, QVTextAlignmentCenter);
  l->setBackgroundColor(background);
  l->setRoundsCornersToFitHeight(true);
  return l;
}

QVView* card(QVBasicView* parent, CGRect frame, const std::string& title) {
  return gallery::card(parent, frame, title);
}

QVImageView* imageView(QVBasicView* parent, CGRect frame, NSImageRef image, int64_t mode, double radius) {
  auto* holder = QVMake<QVRoundedView>(frame);
  holder->setBackgroundColor(QColor(10, 10, 12));
  holder->setRoundParams({kQVRectCornerAll, QVSMakeCornerRadii(radius, radius, radius, radius)});
  parent->addSubview(holder);
  auto* v = QVMake<QVImageView>(CGRectMake(0, 0, frame.size.width, frame.size.height));
  v->setContentMode(mode);
  v->setImage(std::move(image));
  holder->addSubview(v);
  return v;
}

QVTextField* field(QVBasicView* parent, CGRect frame, const std::string& placeholder, const std::string& text,
                   bool focused) {
  auto* f = new QVTextField();
  f->initialize();
  f->setParent(parent);
  f->setGeometry(parent->qtRectFromRect(frame).toRect());
  f->setFont(QVFonts::systemFontOfSize(15));
  f->setTextColor(kText);
  f->setBackgroundColor(kField);
  f->setCornerRadius(9);
  f->setBorderWidth(focused ? 1.5 : 1);
  f->setBorderColor(focused ? kOrange : kCardBorder);
  f->setTextInsets({0, 12, 0, 12});
  f->setVerticallyCenteredText(true);
  f->setPlaceholderString(placeholder);
  f->setPlaceholderColor(kMuted);
  f->setPlaceholderFont(QVFonts::systemFontOfSize(15, QFont::Normal));
  f->setText(QString::fromStdString(text));
  f->show();
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QVFonts::loadOnce();
  QVMainExecutorBridge::install();
  std::string screenshot, page, hoverFrames;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0) screenshot = argv[i + 1];
    if (std::strcmp(argv[i], "--page") == 0) page = argv[i + 1];
    if (std::strcmp(argv[i], "--hover-frames") == 0) hoverFrames = argv[i + 1];
  }
  if (page == "springs" || page == "chrome") {
    const double W = 1200, H = 780;
    auto* window = QVMake<QVView>(CGRectMake(0, 0, W, H));
    window->setWindowTitle(page == "chrome" ? "Solvane — window chrome" : "Solvane — springs");
    window->setBackgroundColor(kWindow);
    if (page == "chrome") {
      gallery::buildChromePage(window, W, H);
    } else {
      gallery::buildSpringsPage(window, W, H);
    }
    window->show();
    // The hover springs and fades settle (and the progress steps end) before the picture is taken.
    QTimer::singleShot(page == "chrome" ? 3600 : 1400, [window, screenshot, hoverFrames] {
      bool ok = true;
      if (!screenshot.empty()) {
        const QPixmap shot = window->grab();
        ok = shot.save(QString::fromStdString(screenshot));
        std::printf("%s %s (%dx%d, device pixel ratio %.1f)\n", ok ? "wrote" : "could not write", screenshot.c_str(),
                    shot.width(), shot.height(), shot.devicePixelRatio());
      }
      if (!hoverFrames.empty()) ok = gallery::writeHoverFrames(window, hoverFrames) && ok;
      if (!screenshot.empty() || !hoverFrames.empty()) QApplication::exit(ok ? 0 : 1);
    });
    return app.exec();
  }

  const double W = 1200, H = 780;
  auto* window = QVMake<QVView>(CGRectMake(0, 0, W, H));
  window->setWindowTitle("Solvane — toolkit gallery");
  window->setBackgroundColor(kWindow);

  // Title bar.
  label(window, CGRectMake(28, H - 52, 120, 26), "Solvane", "SFProDisplay-Bold", 24, kText);
  label(window, CGRectMake(140, H - 53, 320, 26), "Interface toolkit", "SFProText-Regular", 16, kMuted);
  pill(window, CGRectMake(W - 132, H - 52, 104, 28), "Enhance", kOrange, QColor(24, 18, 6));
  pill(window, CGRectMake(W - 244, H - 52, 100, 28), "Compare", QColor(44, 46, 54), kText);
  pill(window, CGRectMake(W - 356, H - 52, 100, 28), "Export", QColor(44, 46, 54), kText)->setAlpha(0.5);

  // The viewer: a rounded, shadowed image in fill mode with captions on it.
  std::vector<QImage> scenes;
  for (const Scene& s : kScenes) scenes.push_back(paintScene(s, 960, 600));
  const QImage large = paintScene(kScenes[0], 1920, 1200);
  auto* viewer = QVMake<QVRoundedView>(CGRectMake(28, 212, 740, 500));
  viewer->setRoundParams({kQVRectCornerAll, QVSMakeCornerRadii(16, 16, 16, 16)});
  viewer->setShadow(QVShadow{QColor(0, 0, 0, 170), CGSizeMake(0, -10), 26});
  window->addSubview(viewer);
  auto* photo = QVMake<QVImageView>(CGRectMake(0, 0, 740, 500));
  photo->setImage(platformImage(large));
  viewer->addSubview(photo);
  auto* before = pill(viewer, CGRectMake(16, 16, 74, 26), "Before", QColor(0, 0, 0, 150), kText);
  before->setAlpha(0.9);
  pill(viewer, CGRectMake(740 - 90, 16, 74, 26), "After", QColor(255, 197, 73, 230), QColor(24, 18, 6));
  auto* info = QVMake<QVView>(CGRectMake(16, 500 - 70, 236, 54));
  info->setBackgroundColor(QColor(10, 10, 14, 160));
  info->setCornerRadius(12);
  viewer->addSubview(info);
  label(info, CGRectMake(14, 26, 210, 18), "Golden hour over the lake", "SFProText-Semibold", 16, kText);
  label(info, CGRectMake(14, 8, 210, 16), "1920 × 1200 · 8-bit sRGB · fill", "SFProText-Regular", 13, kMuted);

  // Right column: content modes, presentation, fields.
  const double X = 796, CW = W - X - 28;
  auto* modes = card(window, CGRectMake(X, 532, CW, 180), "Content modes");
  imageView(modes, CGRectMake(18, 36, (CW - 54) / 2, 100), platformImage(scenes[1]), QVImageContentModeAspectFill, 10);
  imageView(modes, CGRectMake(36 + (CW - 54) / 2, 36, (CW - 54) / 2, 100), platformImage(scenes[1], true),
            QVImageContentModeAspectFit, 10);
  label(modes, CGRectMake(18, 12, (CW - 54) / 2, 18), "Fill", "SFProText-Medium", 13, kMuted, QVTextAlignmentCenter);
  label(modes, CGRectMake(36 + (CW - 54) / 2, 12, (CW - 54) / 2, 18), "Fit · 16-bit", "SFProText-Medium", 13, kMuted,
        QVTextAlignmentCenter);

  auto* presentation = card(window, CGRectMake(X, 332, CW, 184), "Presentation");
  const double tile = (CW - 36 - 3 * 14) / 4;
  struct Tile {
    const char* caption;
    QColor color;
  } tiles[] = {{"Alpha 0.5", QColor(92, 120, 255)},
               {"Scale 0.8", QColor(255, 120, 150)},
               {"Corners", QColor(60, 200, 170)},
               {"Shadow", QColor(255, 197, 73)}};
  for (int i = 0; i < 4; ++i) {
    const CGRect f = CGRectMake(18 + i * (tile + 14), 42, tile, tile);
    auto* t = QVMake<QVRoundedView>(f);
    QLinearGradient gradient;
    t->setBackgroundColor(tiles[i].color);
    presentation->addSubview(t);
    auto* inner = QVMake<QVView>(CGRectMake(tile * 0.2, tile * 0.2, tile * 0.6, tile * 0.6));
    inner->setBackgroundColor(QColor(255, 255, 255, 90));
    inner->setCornerRadius(tile * 0.3);
    t->addSubview(inner);
    switch (i) {
      case 0:
        t->setCornerRadius(12);
        t->setAlpha(0.5);
        break;
      case 1:
        t->setCornerRadius(12);
        t->setAnchorPoint(CGPointMake(1, 0));
        t->setScale(0.8);
        break;
      case 2:
        t->setRoundParams({kQVRectCornerTopLeft | kQVRectCornerBottomRight, QVSMakeCornerRadii(26, 0, 26, 0)});
        break;
      case 3:
        t->setCornerRadius(12);
        NSViewExtensions::addDefaultShadow(t);
        t->setShadow(QVShadow{QColor(255, 197, 73, 150), CGSizeMake(0, -4), 14});
        break;
    }
    label(presentation, CGRectMake(f.origin.x - 6, 16, tile + 12, 18), tiles[i].caption, "SFProText-Medium", 13, kMuted,
          QVTextAlignmentCenter);
  }

  auto* fields = card(window, CGRectMake(X, 212, CW, 104), "Text fields");
  field(fields, CGRectMake(18, 18, (CW - 48) / 2, 34), "Search presets", "", false);
  field(fields, CGRectMake(30 + (CW - 48) / 2, 18, (CW - 48) / 2, 34), "", "Golden hour.jpg", true);

  // Filmstrip: thumbnails in fill mode; the selected one outlined, one still processing.
  label(window, CGRectMake(28, 168, 200, 20), "Recent photos", "SFProText-Semibold", 16, kText);
  label(window, CGRectMake(W - 228, 168, 200, 20), "6 photos", "SFProText-Regular", 14, kMuted, QVTextAlignmentRight);
  const double thumbW = (W - 56 - 5 * 16) / 6, thumbH = 104;
  for (int i = 0; i < 6; ++i) {
    const CGRect f = CGRectMake(28 + i * (thumbW + 16), 44, thumbW, thumbH);
    auto* frame = QVMake<QVRoundedView>(f);
    frame->setRoundParams({kQVRectCornerAll, QVSMakeCornerRadii(12, 12, 12, 12)});
    window->addSubview(frame);
    auto* thumb = QVMake<QVImageView>(CGRectMake(0, 0, thumbW, thumbH));
    thumb->setImage(platformImage(scenes[size_t(i)]));
    frame->addSubview(thumb);
    if (i == 0) {
      auto* ring = QVMake<QVView>(CGRectMake(0, 0, thumbW, thumbH));
      ring->setBorderColor(kOrange);
      ring->setBorderWidth(2.5);
      ring->setCornerRadius(12);
      ring->setUserInteractionEnabled(false);
      frame->addSubview(ring);
    }
    if (i == 4) {
      frame->setAlpha(0.45);
      pill(window, CGRectMake(f.origin.x + thumbW / 2 - 56, f.origin.y + thumbH / 2 - 13, 112, 26), "Processing…",
           QColor(0, 0, 0, 170), kText);
    }
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%04d.jpg", 412 + i * 7);
    label(window, CGRectMake(f.origin.x, 18, thumbW, 18), name, "SFProText-Regular", 13, i == 0 ? kText : kMuted,
          QVTextAlignmentLeft);
  }

  window->show();

  // A flight: the selected thumbnail's snapshot on the overlay, half way to the viewer.
  QTimer::singleShot(60, [window, scenes] {
    auto* overlay = QVOverlayCanvas::overlayForWindow(window);
    auto* source = QVMake<QVImageView>(CGRectMake(0, 0, 150, 96));
    source->setImage(platformImage(scenes[2]));
    source->setCornerRadius(12);
    source->setMasksToBounds(true);
    const QPixmap snapshot = source->snapshot();
    delete source;
    overlay->addItem({snapshot, CGRectMake(560, 236, 150, 96), 0.8, 0.92, 12, QColor()});
  });

  if (!screenshot.empty()) {
    QTimer::singleShot(400, [window, screenshot] {
      const QPixmap shot = window->grab();
      const bool ok = shot.save(QString::fromStdString(screenshot));
      std::printf("%s %s (%dx%d, device pixel ratio %.1f)\n", ok ? "wrote" : "could not write", screenshot.c_str(),
                  shot.width(), shot.height(), shot.devicePixelRatio());
      QApplication::exit(ok ? 0 : 1);
    });
  }
  return app.exec();
}
