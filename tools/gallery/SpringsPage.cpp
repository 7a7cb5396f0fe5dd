#include "SpringsPage.h"

#include "GalleryParts.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEnterEvent>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>
#include <cmath>
#include <cstring>
#include <vector>

#include "QVAppKit/NSView+SpringAnimation.h"
#include "QVAppKit/QVAbstractButton.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVFadeAnimator.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVSpringButton.h"
#include "QVAppKit/QVSpringMenu.h"
#include "QVPlatform/ImageIO/NSImage.h"

namespace gallery {

namespace {

const QColor kRaised(44, 46, 54);

// Icons are drawn from SVG at twice their point size, so they stay crisp at a device pixel ratio
// of 2.
const char* kExportIcon =
    R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24" fill="none" stroke="#181206" stroke-width="2.4"
stroke-linecap="round" stroke-linejoin="round"><path d="M12 15V3"/><path d="M7 8l5-5 5 5"/>
<path d="M4 14v4a3 3 0 0 0 3 3h10a3 3 0 0 0 3-3v-4"/></svg>)";
const char* kCompareIcon =
    R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24" fill="none" stroke="#ECEDF0" stroke-width="2.2"
stroke-linecap="round" stroke-linejoin="round"><rect x="3" y="4" width="18" height="16" rx="3"/><path d="M12 4v16"/>
<path d="M12 4h6a3 3 0 0 1 3 3v10a3 3 0 0 1-3 3h-6z" fill="#ECEDF0" fill-opacity="0.35"/></svg>)";
const char* kFolderIcon =
    R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24" fill="none" stroke="#FFC549" stroke-width="2.2"
stroke-linejoin="round"><path d="M3 7a2 2 0 0 1 2-2h4l2 2h8a2 2 0 0 1 2 2v8a2 2 0 0 1-2 2H5a2 2 0 0 1-2-2z"/></svg>)";

NSImageRef svgImage(const char* svg, int points) {
  QSvgRenderer renderer{QByteArray(svg)};
  QImage image(points * 2, points * 2, QImage::Format_RGBA8888_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  renderer.render(&p);
  p.end();
  auto data = std::make_shared<std::vector<uint8_t>>(size_t(image.sizeInBytes()));
  std::memcpy(data->data(), image.constBits(), data->size());
  auto bitmap = CGImageCreate(size_t(image.width()), size_t(image.height()), 8, 32, size_t(image.bytesPerLine()),
                              CGColorSpaceCreateWithName(kCGColorSpaceSRGB), kCGImageAlphaPremultipliedLast, data);
  return NSImage::imageWithCGImage(bitmap);
}

QVRoundedSpringButton* button(QVBasicView* parent, CGRect frame, const std::string& title, QColor background,
                              QColor color, const char* icon = nullptr) {
  auto* b = QVMake<QVRoundedSpringButton>(frame);
  parent->addSubview(b);
  b->setBackgroundColor(background);
  b->setTitle(title);
  b->titleLabel()->setFont(QVFonts::fontWithName("SFProText-Semibold", 15));
  b->setFontColor(color);
  b->setKerning(0.2);
  if (icon) b->setIconImage(svgImage(icon, 16), CGSizeMake(16, 16));
  b->layoutSubtreeIfNeeded();
  return b;
}

// An export-like menu: a pill that opens into a list of targets.
class ShareMenu : public QVSpringMenu {
 public:
  using QVSpringMenu::QVSpringMenu;
  CGSize contentSizeForState(bool expanded) override { return expanded ? CGSizeMake(260, 214) : CGSizeMake(132, 40); }
  void build(bool open) {
    setBackgroundColor(kRaised);
    setBorderColor(QColor(64, 66, 76));
    setBorderWidth(1);
    setMasksToBounds(true);
    setCornerRadius(open ? 16 : 20);
    const CGSize size = contentSizeForState(open);
    contentView()->setFrame(CGRectMake(0, 0, size.width, size.height));
    if (!open) {
      text(contentView(), CGRectMake(0, 10, size.width, 20), "Share  ▾", "SFProText-Semibold", 15, kText,
           QVTextAlignmentCenter);
      return;
    }
    text(contentView(), CGRectMake(18, size.height - 38, 200, 20), "Export to", "SFProText-Semibold", 15, kText);
    const char* rows[] = {"Save to disk", "Copy to clipboard", "Open in editor", "Send by mail"};
    for (int i = 0; i < 4; ++i) {
      const double y = size.height - 78 - i * 40;
      auto* row = QVMake<QVView>(CGRectMake(8, y, size.width - 16, 36));
      row->setCornerRadius(9);
      if (i == 0) row->setBackgroundColor(QColor(255, 197, 73, 40));
      contentView()->addSubview(row);
      text(row, CGRectMake(12, 9, 180, 18), rows[i], "SFProText-Medium", 14, i == 0 ? kOrange : kText);
      text(row, CGRectMake(size.width - 80, 9, 50, 18), i == 0 ? "Ctrl+S" : "", "SFProText-Regular", 13, kMuted,
           QVTextAlignmentRight);
    }
  }
};

// The spring's path over time for three bouncinesses, computed by the toolkit's own springs.
class SpringCurves : public QVView {
 public:
  using QVView::QVView;

 protected:
  void drawContent(QPainter& p) override {
    const QRectF r = QRectF(rect()).adjusted(8, 12, -8, -28);
    p.setRenderHint(QPainter::Antialiasing);
    QPen grid(QColor(255, 255, 255, 22), 1);
    p.setPen(grid);
    // Room above the target for the bounciest overshoot.
    const double targetY = r.top() + r.height() * 0.42;
    p.drawLine(QPointF(r.left(), targetY), QPointF(r.right(), targetY));
    p.drawLine(QPointF(r.left(), r.bottom()), QPointF(r.right(), r.bottom()));
    struct Curve {
      double bounciness;
      QColor color;
    } curves[] = {{0, QColor(60, 200, 170)}, {10, kOrange}, {20, QColor(255, 120, 150)}};
    for (const Curve& c : curves) {
      const QVSpringDynamics d = QVSpringDynamics::withBouncinessSpeed(c.bounciness, 10);
      QPainterPath path;
      double x = 0, v = 0;
      const double duration = 1.2, dt = kQVSpringStep;
      for (int i = 0; i * dt <= duration; ++i) {
        const double t = i * dt;
        const QPointF point(r.left() + t / duration * r.width(), r.bottom() - x * (r.bottom() - targetY));
        if (i == 0) {
          path.moveTo(point);
        } else if (i % 4 == 0) {
          path.lineTo(point);
        }
        QVSpringStep(d, x, v, 1, dt);
      }
      p.setPen(QPen(c.color, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawPath(path);
    }
    p.setPen(kMuted);
    p.setFont(QVFonts::fontWithName("SFProText-Regular", 12));
    p.drawText(QRectF(r.left(), r.bottom() + 6, r.width(), 18), Qt::AlignLeft, "0 s");
    p.drawText(QRectF(r.left(), r.bottom() + 6, r.width(), 18), Qt::AlignRight, "1.2 s");
    const char* names[] = {"bounciness 0", "10", "20"};
    double lx = r.left() + r.width() * 0.32;
    for (int i = 0; i < 3; ++i) {
      p.setPen(curves[i].color);
      const double w = i == 0 ? 90 : 30;
      p.drawText(QRectF(lx, r.bottom() + 6, w, 18), Qt::AlignLeft, names[i]);
      lx += w + 8;
    }
  }
};

QVSpringButton* gShowcase = nullptr;

void hover(QWidget* w) {
  QEnterEvent e(QPointF(2, 2), QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)));
  QCoreApplication::sendEvent(w, &e);
}

}  // namespace

QVLabel* text(QVBasicView* parent, CGRect frame, const std::string& title, const char* font, double size, QColor color,
              uint64_t alignment) {
  auto* l = QVMake<QVLabel>(frame);
  l->setFontName(font);
  l->setFontSize(size);
  l->setTitleColor(color);
  l->setAlignment(alignment);
  l->setTitle(title);
  l->setSizeOffset(CGPointMake(0, 0));
  parent->addSubview(l);
  return l;
}

QVView* card(QVBasicView* parent, CGRect frame, const std::string& title) {
  auto* c = QVMake<QVView>(frame);
  c->setBackgroundColor(kCard);
  c->setCornerRadius(14);
  c->setBorderColor(kCardBorder);
  c->setBorderWidth(1);
  parent->addSubview(c);
  text(c, CGRectMake(18, frame.size.height - 40, frame.size.width - 36, 22), title, "SFProText-Semibold", 16, kText);
  return c;
}

QVView* card(QVBasicView* parent, CGRect frame, const std::string& title, const std::string& caption) {
  auto* c = card(parent, frame, title);
  text(c, CGRectMake(18, frame.size.height - 62, frame.size.width - 36, 18), caption, "SFProText-Regular", 13, kMuted);
  return c;
}

void buildSpringsPage(QVView* window, double W, double H) {
  text(window, CGRectMake(28, H - 52, 120, 26), "Solvane", "SFProDisplay-Bold", 24, kText);
  text(window, CGRectMake(140, H - 53, 420, 26), "Springs, fades and buttons", "SFProText-Regular", 16, kMuted);

  // Buttons at rest, under the pointer and held.
  auto* buttons = card(window, CGRectMake(28, 404, 560, 308), "Spring buttons",
                       "Grow 10 % under the pointer · act after the release spring");
  gShowcase = button(buttons, CGRectMake(32, 150, 150, 40), "Export", kOrange, QColor(24, 18, 6), kExportIcon);
  button(buttons, CGRectMake(206, 150, 150, 40), "Compare", kRaised, kText, kCompareIcon);
  auto* browse = button(buttons, CGRectMake(380, 150, 150, 40), "Browse…", QColor(0, 0, 0, 0), kOrange, kFolderIcon);
  browse->setBorderColor(QColor(255, 197, 73, 150));
  browse->setBorderWidth(1.5);
  text(buttons, CGRectMake(32, 118, 150, 18), "At rest", "SFProText-Medium", 13, kMuted, QVTextAlignmentCenter);
  text(buttons, CGRectMake(206, 118, 150, 18), "At rest", "SFProText-Medium", 13, kMuted, QVTextAlignmentCenter);
  text(buttons, CGRectMake(380, 118, 150, 18), "At rest", "SFProText-Medium", 13, kMuted, QVTextAlignmentCenter);

  auto* hovered = button(buttons, CGRectMake(32, 42, 150, 40), "Export", kOrange, QColor(24, 18, 6), kExportIcon);
  auto* hoveredDark = button(buttons, CGRectMake(206, 42, 150, 40), "Compare", kRaised, kText, kCompareIcon);
  auto* disabled = button(buttons, CGRectMake(380, 42, 150, 40), "Processing", kRaised, kText);
  disabled->setAlpha(0.45);
  text(buttons, CGRectMake(32, 12, 150, 18), "Under the pointer", "SFProText-Medium", 13, kMuted,
       QVTextAlignmentCenter);
  text(buttons, CGRectMake(206, 12, 150, 18), "Under the pointer", "SFProText-Medium", 13, kMuted,
       QVTextAlignmentCenter);
  text(buttons, CGRectMake(380, 12, 150, 18), "Disabled", "SFProText-Medium", 13, kMuted, QVTextAlignmentCenter);

  // The spring menu: collapsed, and opened.
  auto* menus = card(window, CGRectMake(612, 404, W - 640, 308), "Spring menu",
                     "Opens from its lower trailing corner · closes without overshoot");
  auto* closed = QVMake<ShareMenu>(CGRectMake(32, 40, 132, 40));
  menus->addSubview(closed);
  closed->build(false);
  // Plain text buttons beside it.
  text(menus, CGRectMake(32, 196, 200, 18), "Text buttons", "SFProText-Medium", 13, kMuted);
  auto* importMore = QVMake<QVButton>(CGRectMake(32, 150, 130, 32));
  menus->addSubview(importMore);
  importMore->setTitle("Import more…");
  importMore->setFont(QVFonts::fontWithName("SFProText-Semibold", 14));
  importMore->setFontColor(kOrange);
  importMore->setAlignment(QVTextAlignmentLeft);
  importMore->setTextOffset(CGSizeZero);
  auto* cancel = QVMake<QVButton>(CGRectMake(32, 104, 96, 32));
  menus->addSubview(cancel);
  cancel->setTitle("Cancel");
  cancel->setFont(QVFonts::fontWithName("SFProText-Medium", 14));
  cancel->setFontColor(kText);
  cancel->setBordered(true);
  cancel->setTextOffset(CGSizeZero);
  auto* open = QVMake<ShareMenu>(CGRectMake(W - 640 - 32 - 260, 20, 260, 214));
  menus->addSubview(open);
  open->build(true);

  // Fades.
  auto* fades = card(window, CGRectMake(28, 44, 560, 336), "Fades", "switchToAlpha 1.0 · 0.6 · 0.25 over one second");
  const QColor colors[] = {QColor(92, 120, 255), QColor(60, 200, 170), QColor(255, 120, 150)};
  const double alphas[] = {1.0, 0.6, 0.25};
  for (int i = 0; i < 3; ++i) {
    auto* tile = QVMake<QVView>(CGRectMake(32 + i * 172, 60, 150, 160));
    tile->setBackgroundColor(colors[i]);
    tile->setCornerRadius(16);
    fades->addSubview(tile);
    auto* glass = QVMake<QVView>(CGRectMake(20, 20, 110, 40));
    glass->setBackgroundColor(QColor(255, 255, 255, 70));
    glass->setCornerRadius(20);
    tile->addSubview(glass);
    const char* captions[] = {"α 1.0", "α 0.6", "α 0.25"};
    const char* caption = captions[i];
    text(glass, CGRectMake(0, 10, 110, 20), caption, "SFProText-Semibold", 15, QColor(255, 255, 255),
         QVTextAlignmentCenter);
    NSViewFadeAnimation::switchToAlpha(tile, alphas[i]);
  }

  // Spring curves.
  auto* curves = card(window, CGRectMake(612, 44, W - 640, 336), "Spring curves",
                      "Speed 10; fixed 1/480 s steps, the same at any frame rate");
  auto* graph = QVMake<SpringCurves>(CGRectMake(18, 16, W - 640 - 36, 240));
  curves->addSubview(graph);

  hover(hovered);
  hover(hoveredDark);
}

bool writeHoverFrames(QVView* window, const std::string& prefix) {
  if (!gShowcase) return false;
  auto& driver = QVAnimationDriver::shared();
  driver.useManualClock();
  driver.setFrameInterval(1.0 / 60);
  QWidget* parent = gShowcase->parentWidget();
  const QRect area = QRect(gShowcase->geometry()).adjusted(-14, -8, 14, 8);
  const int frames = 24;
  std::vector<QPixmap> shots;
  hover(gShowcase);
  for (int i = 0; i < frames; ++i) {
    QCoreApplication::processEvents();
    shots.push_back(parent->grab(area));
    driver.advance(1.0 / 60);
  }
  bool ok = true;
  for (int i = 0; i < frames; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "-%02d.png", i);
    ok = shots[size_t(i)].save(QString::fromStdString(prefix + name)) && ok;
  }
  // The sheet: six frames a row, frame numbers underneath.
  const double dpr = shots[0].devicePixelRatio();
  const QSize cell = shots[0].size();
  const int columns = 6, rows = (frames + columns - 1) / columns;
  QImage sheet(columns * cell.width(), rows * (cell.height() + int(22 * dpr)), QImage::Format_RGB32);
  sheet.fill(kWindow);
  QPainter p(&sheet);
  p.setPen(kMuted);
  p.setFont(QVFonts::fontWithName("SFProText-Regular", 11 * dpr));
  for (int i = 0; i < frames; ++i) {
    const int x = (i % columns) * cell.width(), y = (i / columns) * (cell.height() + int(22 * dpr));
    QImage frame = shots[size_t(i)].toImage();
    frame.setDevicePixelRatio(1);
    p.drawImage(x, y, frame);
    p.drawText(QRect(x, y + cell.height(), cell.width(), int(20 * dpr)), Qt::AlignCenter,
               QString("frame %1 · %2 ms").arg(i).arg(int(std::lround(i * 1000.0 / 60))));
  }
  p.end();
  ok = sheet.save(QString::fromStdString(prefix + "-sheet.png")) && ok;
  (void)window;
  return ok;
}

}  // namespace gallery
