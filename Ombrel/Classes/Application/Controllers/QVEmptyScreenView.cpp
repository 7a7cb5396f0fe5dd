#include "Ombrel/Classes/Application/Controllers/QVEmptyScreenView.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>

#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVFonts.h"
#include "QVPlatform/Localization.h"

namespace {

const QColor kContentTop(24, 25, 28);
const QColor kContentBottom(17, 18, 20);
const QColor kText(236, 237, 240);
const QColor kMuted(138, 142, 152);
constexpr CGSize kDropZone{460, 250};

QString L(const char* key) { return QString::fromStdString(qv::QVSLocalization::localizedStringForKey(key)); }

}  // namespace

// ---- QVEmptyScreenView ----

void QVEmptyScreenView::initialize() {
  QVView::initialize();
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void QVEmptyScreenView::setPathCount(size_t count) {
  if (count == pathCount_) return;
  pathCount_ = count;
  update();
}

void QVEmptyScreenView::setEnhancedCount(size_t count) {
  if (count == enhancedCount_) return;
  enhancedCount_ = count;
  update();
}

CGRect QVEmptyScreenView::dropZoneFrame() const {
  const CGSize size = bounds().size;
  const double w = std::min(kDropZone.width, size.width - 48), h = std::min(kDropZone.height, size.height - 48);
  return CGRectMake(std::round((size.width - w) / 2), std::round((size.height - h) / 2 + 12), w, h);
}

void QVEmptyScreenView::drawContent(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF all(0, 0, width(), height());
  // A faint green glow behind the drop zone: the accent colour, barely there.
  const QRectF zone = qtRectFromRect(dropZoneFrame());
  QVUIStyle::paintBackdrop(painter, all, kContentTop, kContentBottom, zone.center(), zone.width() * 0.75, 22);

  // The drop zone: a dashed rounded outline.
  QPen dash(QColor(255, 255, 255, 46), 1.5, Qt::CustomDashLine);
  dash.setDashPattern({5, 4});
  painter.setPen(dash);
  painter.setBrush(QColor(255, 255, 255, 6));
  painter.drawRoundedRect(zone.adjusted(0.75, 0.75, -0.75, -0.75), 18, 18);

  // The import glyph in a green disc.
  const QPointF centre(zone.center().x(), zone.top() + 78);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QVUIStyle::themeColor());
  painter.drawEllipse(centre, 28, 28);
  // An arrow down into a tray: "put photos here".
  QPen glyph(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  painter.setPen(glyph);
  painter.setBrush(Qt::NoBrush);
  painter.drawLine(QPointF(centre.x(), centre.y() - 11), QPointF(centre.x(), centre.y() + 3));
  painter.drawPolyline(QPolygonF({QPointF(centre.x() - 6, centre.y() - 3), QPointF(centre.x(), centre.y() + 3),
                                  QPointF(centre.x() + 6, centre.y() - 3)}));
  painter.drawPolyline(
      QPolygonF({QPointF(centre.x() - 11, centre.y() + 3), QPointF(centre.x() - 11, centre.y() + 10),
                 QPointF(centre.x() + 11, centre.y() + 10), QPointF(centre.x() + 11, centre.y() + 3)}));

  const QString title = pathCount_ == 0 ? L("Drop photos here")
                        : pathCount_ == 1
                            ? L("1 photo opened")
                            : QString::fromStdString(qv::QVSLocalization::localizedStringForKey("%lu photos opened"))
                                  .replace(QStringLiteral("%lu"), QString::number(pathCount_));
  painter.setPen(kText);
  painter.setFont(QVFonts::fontWithName("SFProDisplay-Semibold", 20));
  painter.drawText(QRectF(zone.left(), centre.y() + 44, zone.width(), 28), Qt::AlignHCenter | Qt::AlignVCenter, title);
  painter.setPen(kMuted);
  painter.setFont(QVFonts::fontWithName("SFProText-Regular", 13));
  QString caption = L("JPEG, PNG, TIFF and camera RAW, or press Ctrl+O to choose");
  if (pathCount_ > 0 && enhancedCount_ >= pathCount_) {
    caption = L("Enhanced and ready");
  } else if (pathCount_ > 0) {
    caption = QString::fromStdString(qv::QVSLocalization::localizedStringForKey("Enhancing... %lu of %lu ready"));
    for (size_t number : {enhancedCount_, pathCount_}) {
      if (const auto at = caption.indexOf(QStringLiteral("%lu")); at >= 0)
        caption.replace(at, 3, QString::number(number));
    }
  }
  painter.drawText(QRectF(zone.left() + 16, centre.y() + 76, zone.width() - 32, 22),
                   Qt::AlignHCenter | Qt::AlignVCenter, caption);
}
