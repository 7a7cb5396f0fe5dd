#include "QVAppKit/QVBackgroundView.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>
#include <cmath>

#include "QVAppKit/QVWindowMoving.h"
#include "QVPlatform/Bundle.h"

// ---- QVBackgroundView ----

QColor QVBackgroundView::selectionFrameColor() { return QColor::fromRgbF(0.7882353f, 0.6823530f, 0.4313726f, 1.0f); }

QImage QVBackgroundView::imageNamed(const std::string& name, QSize size) {
  if (name.empty()) return {};
  auto& bundle = qv::Bundle::mainBundle();
  if (auto path = bundle.pathForResource(name, "png"); !path.empty()) return QImage(QString::fromStdString(path));
  if (auto path = bundle.pathForResource(name, "svg"); !path.empty()) {
    QSvgRenderer renderer(QString::fromStdString(path));
    if (!renderer.isValid()) return {};
    const QSize pixels = size.isEmpty() ? renderer.defaultSize() : size;
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
  }
  return {};
}

void QVBackgroundView::requestDisplay() {
  ++displayRequests_;
  setNeedsDisplay();
  update();
}

void QVBackgroundView::setBackgroundColor(std::optional<QColor> color) {
  backgroundColor_ = color;
  requestDisplay();
}

void QVBackgroundView::setBackgroundImage(const QImage& image) {
  if (image.cacheKey() == backgroundImage_.cacheKey()) return;
  backgroundImage_ = image;
  requestDisplay();
}

void QVBackgroundView::setPatternImageName(const std::string& name) {
  if (name == patternImageName_) return;
  patternImageName_ = name;
  requestDisplay();
}

void QVBackgroundView::setDrawsSelectionFrame(bool draws) {
  drawsSelectionFrame_ = draws;
  update();
}

void QVBackgroundView::setContentMode(int32_t mode) {
  if (mode == contentMode_) return;
  if (contentModeObserver_) contentModeObserver_(true);
  contentMode_ = mode;
  if (contentModeObserver_) contentModeObserver_(false);
  if (!backgroundImage_.isNull()) requestDisplay();
}

CGRect QVBackgroundView::backgroundImageRect() const {
  const CGSize bounds = this->bounds().size;
  const double w = backgroundImage_.width() / backgroundImage_.devicePixelRatio();
  const double h = backgroundImage_.height() / backgroundImage_.devicePixelRatio();
  CGSize drawn = bounds;
  if ((contentMode_ == AspectFit || contentMode_ == AspectFill) && w > 0 && h > 0) {
    const double sx = bounds.width / w;
    const double sy = bounds.height / h;
    const double scale = contentMode_ == AspectFit ? std::min(sx, sy) : std::max(sx, sy);
    drawn = CGSizeMake(w * scale, h * scale);
  }
  return CGRectMake(std::round((bounds.width - drawn.width) * 0.5), std::round((bounds.height - drawn.height) * 0.5),
                    drawn.width, drawn.height);
}

void QVBackgroundView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRectF dirty = event->rect();
  if (!backgroundColor_ && !patternImageName_.empty()) {
    const QImage pattern = imageNamed(patternImageName_);
    if (!pattern.isNull()) {
      painter.save();
      if (!drawPatternToImage_) {
        painter.fillRect(dirty, QBrush(pattern));
      } else {
        QImage tiled(size() * devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
        tiled.setDevicePixelRatio(devicePixelRatioF());
        tiled.fill(Qt::transparent);
        QPainter tiles(&tiled);
        tiles.fillRect(rect(), QBrush(pattern));
        tiles.end();
        painter.drawImage(rect(), tiled);
      }
      painter.restore();
    }
  }
  if (backgroundColor_) painter.fillRect(dirty, *backgroundColor_);
  if (drawsSelectionFrame_) {
    painter.setPen(QPen(selectionFrameColor(), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
  }
  if (backgroundImage_.isNull() && !backgroundImageName_.empty()) {
    backgroundImage_ = imageNamed(backgroundImageName_, size() * devicePixelRatioF());
  }
  if (!backgroundImage_.isNull()) {
    const CGRect r = backgroundImageRect();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(qtRectFromRect(r), backgroundImage_);
  }
}

void QVBackgroundView::mousePressEvent(QMouseEvent* event) {
  // A Control-click acts as a right click.
  if (event->modifiers() & Qt::ControlModifier) {
    rightMouseDown(event);
    return;
  }
  if (canMoveWindow_) QVWindowMoving::armWithPress(this, *event);
  event->accept();  // otherwise dropped
}

void QVBackgroundView::rightMouseDown(QMouseEvent* event) { event->ignore(); }

// ---- QVBackgroundGradientView ----

void QVBackgroundGradientView::initialize() {
  QVBasicView::initialize();
  setAttribute(Qt::WA_TranslucentBackground);
}

void QVBackgroundGradientView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // In Qt's top-left space: the bottom edge is at h.
  const double w = width(), h = height();
  const double mx = w / 2, my = h / 2;
  auto edge = [&](QPointF from, QPointF to, QRectF area) {
    QLinearGradient gradient(from, to);
    gradient.setColorAt(0, QColor(0, 0, 0, 64));
    gradient.setColorAt(1, Qt::transparent);
    painter.fillRect(area, gradient);
  };
  edge({0, my}, {mx + 0.2 * w, my}, rect());  // left
  edge({w, my}, {mx - 0.2 * w, my}, rect());  // right
  edge({mx, 0}, {mx, my + 0.2 * h}, rect());  // top
  edge({mx, h}, {mx, my - 0.2 * h}, rect());  // bottom
}
