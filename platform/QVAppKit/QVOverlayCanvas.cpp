#include "QVAppKit/QVOverlayCanvas.h"

#include <QEvent>
#include <QPainter>
#include <cmath>

#include "QVAppKit/QVGeometry.h"
#include "QVAppKit/QVRoundParams.h"

QVOverlayCanvas* QVOverlayCanvas::overlayForWindow(QWidget* window) {
  if (!window) return nullptr;
  // The toolkit's classes carry no meta-object of their own: find the canvas by its C++ type.
  for (QObject* child : window->children()) {
    if (auto* existing = dynamic_cast<QVOverlayCanvas*>(child)) return existing;
  }
  return new QVOverlayCanvas(window);
}

QVOverlayCanvas::QVOverlayCanvas(QWidget* window) : QWidget(window) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setGeometry(window->rect());
  window->installEventFilter(this);
  hide();
}

bool QVOverlayCanvas::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parent()) {
    if (event->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
    // Stay above subviews added later.
    if (event->type() == QEvent::ChildAdded && isVisible()) raise();
  }
  return QWidget::eventFilter(watched, event);
}

QVOverlayCanvas::ItemId QVOverlayCanvas::addItem(const Item& item) {
  const ItemId id = next_++;
  items_[id] = item;
  show();
  raise();
  update();
  return id;
}

bool QVOverlayCanvas::updateItem(ItemId id, const Item& item) {
  auto it = items_.find(id);
  if (it == items_.end()) return false;
  it->second = item;
  update();
  return true;
}

bool QVOverlayCanvas::removeItem(ItemId id) {
  if (!items_.erase(id)) return false;
  levels_.erase(id);
  if (items_.empty()) hide();
  update();
  return true;
}

void QVOverlayCanvas::removeAllItems() {
  items_.clear();
  levels_.clear();
  hide();
}

const QVOverlayCanvas::Item* QVOverlayCanvas::item(ItemId id) const {
  auto it = items_.find(id);
  return it == items_.end() ? nullptr : &it->second;
}

void QVOverlayCanvas::prepareItemForWidth(ItemId id, double pointWidth) {
  auto it = items_.find(id);
  if (it == items_.end() || it->second.picture.isNull()) return;
  pictureForWidth(id, it->second.picture, pointWidth * devicePixelRatioF());
}

const QPixmap& QVOverlayCanvas::pictureForWidth(ItemId id, const QPixmap& picture, double pixelWidth) {
  if (pixelWidth * 2 > picture.width()) return picture;
  Levels& levels = levels_[id];
  if (levels.key != picture.cacheKey()) levels = Levels{picture.cacheKey(), {}};
  const QPixmap* source = &picture;
  for (size_t level = 0; level < 4 && pixelWidth * 2 <= source->width(); ++level) {
    if (levels.halves.size() <= level) {
      QPixmap half = source->scaled(source->size() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
      half.setDevicePixelRatio(source->devicePixelRatio());
      levels.halves.push_back(half);
    }
    source = &levels.halves[level];
  }
  return *source;
}

void QVOverlayCanvas::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  for (const auto& [id, item] : items_) {
    const bool hasBackground = item.backgroundColor.isValid() && item.backgroundColor.alpha() > 0;
    if ((item.picture.isNull() && !hasBackground) || item.alpha <= 0) continue;
    const QRectF target = QVGeometry::qtRectFromRect(item.frame, height());
    painter.save();
    painter.setOpacity(item.alpha);
    const QPointF c = target.center();
    painter.translate(c);
    painter.scale(item.scale, item.scale);
    painter.translate(-c);
    if (item.picture.isNull()) {
      // A plain colour: filled as its shape, cheaper than a clip over the whole rectangle.
      if (item.cornerRadius > 0) {
        painter.fillPath(QVRoundedRectPath(target, item.cornerRadius), item.backgroundColor);
      } else {
        painter.fillRect(target, item.backgroundColor);
      }
      painter.restore();
      continue;
    }
    if (item.cornerRadius > 0) painter.setClipPath(QVRoundedRectPath(target, item.cornerRadius));
    if (hasBackground) painter.fillRect(target, item.backgroundColor);
    if (!item.picture.isNull()) {
      const double dpr = devicePixelRatioF();
      const QRectF drawn = painter.transform().mapRect(target);
      if (std::abs(drawn.width() * dpr - item.picture.width()) < 0.5 &&
          std::abs(drawn.height() * dpr - item.picture.height()) < 0.5) {
        // Drawn at its own size: no resampling, on whole device pixels so that it is a plain copy
        // (a moving sprite's place is fractional; between pixels it would be filtered every frame).
        const QPointF at = painter.transform().map(target.topLeft());
        painter.resetTransform();
        painter.drawPixmap(QPointF(std::round(at.x() * dpr) / dpr, std::round(at.y() * dpr) / dpr), item.picture);
      } else {
        const QPixmap& source = pictureForWidth(id, item.picture, drawn.width() * dpr);
        // Filtered, but without antialiased edges: those would take the slow textured path for
        // the whole picture every frame; an edge off by under a device pixel does not show.
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.drawPixmap(target, source, QRectF(source.rect()));
      }
    }
    painter.restore();
  }
}
