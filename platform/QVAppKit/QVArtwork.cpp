#include "QVAppKit/QVArtwork.h"

#include <QPainter>
#include <QSvgRenderer>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>

#include "QVPlatform/Bundle.h"

namespace {

std::shared_ptr<QSvgRenderer> rendererNamed(const std::string& name) {
  static std::map<std::string, std::shared_ptr<QSvgRenderer>> renderers;
  if (auto it = renderers.find(name); it != renderers.end()) return it->second;
  std::shared_ptr<QSvgRenderer> renderer;
  const std::string path = qv::Bundle::mainBundle().pathForResource(name, "svg", "Artwork");
  if (!path.empty()) {
    renderer = std::make_shared<QSvgRenderer>(QString::fromStdString(path));
    if (!renderer->isValid()) renderer.reset();
  }
  renderers[name] = renderer;
  return renderer;
}

QImage render(const std::string& name, QSize pixelSize, const std::optional<QColor>& tint) {
  auto renderer = rendererNamed(name);
  if (!renderer || pixelSize.isEmpty()) return {};
  QImage image(pixelSize, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  // Aspect kept, centred.
  const QSizeF natural = renderer->defaultSize();
  QRectF target(QPointF(0, 0), QSizeF(pixelSize));
  if (natural.width() > 0 && natural.height() > 0) {
    const QSizeF fitted = natural.scaled(QSizeF(pixelSize), Qt::KeepAspectRatio);
    target =
        QRectF(QPointF((pixelSize.width() - fitted.width()) / 2, (pixelSize.height() - fitted.height()) / 2), fitted);
  }
  renderer->render(&p, target);
  if (tint) {
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(image.rect(), *tint);
  }
  p.end();
  return image;
}

using Key = std::tuple<std::string, int, int, QRgb, bool>;

}  // namespace

namespace QVArtwork {

bool exists(const std::string& name) { return rendererNamed(name) != nullptr; }

CGSize naturalSize(const std::string& name) {
  auto renderer = rendererNamed(name);
  if (!renderer) return CGSizeZero;
  return CGSizeMake(renderer->defaultSize().width(), renderer->defaultSize().height());
}

QImage image(const std::string& name, QSize pixelSize, const std::optional<QColor>& tint) {
  static std::map<Key, QImage> cache;
  const Key key{name, pixelSize.width(), pixelSize.height(), tint ? tint->rgba() : 0u, tint.has_value()};
  if (auto it = cache.find(key); it != cache.end()) return it->second;
  QImage made = render(name, pixelSize, tint);
  if (cache.size() > 256) cache.clear();
  cache[key] = made;
  return made;
}

QPixmap pixmap(const std::string& name, CGSize pointSize, double dpr, const std::optional<QColor>& tint) {
  const QSize px(int(std::lround(pointSize.width * dpr)), int(std::lround(pointSize.height * dpr)));
  QPixmap pm = QPixmap::fromImage(image(name, px, tint));
  pm.setDevicePixelRatio(dpr);
  return pm;
}

QPixmap threePartPixmap(const std::string& name, CGSize pointSize, double dpr) {
  const int w = int(std::lround(pointSize.width * dpr)), h = int(std::lround(pointSize.height * dpr));
  const CGSize natural = naturalSize(name);
  if (w <= 0 || h <= 0 || natural.height <= 0) return {};
  // The source at the target height and its own aspect; caps of half the height on each side.
  const int sw = std::max(h + 2, int(std::lround(natural.width / natural.height * h)));
  const QImage source = image(name, QSize(sw, h));
  if (source.isNull()) return {};
  const int cap = std::min(h / 2 + 1, w / 2);
  QImage out(w, h, QImage::Format_ARGB32_Premultiplied);
  out.fill(Qt::transparent);
  QPainter p(&out);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(QRect(0, 0, cap, h), source, QRect(0, 0, cap, h));
  p.drawImage(QRect(w - cap, 0, cap, h), source, QRect(sw - cap, 0, cap, h));
  if (w > 2 * cap) p.drawImage(QRect(cap, 0, w - 2 * cap, h), source, QRect(cap, 0, sw - 2 * cap, h));
  p.end();
  QPixmap pm = QPixmap::fromImage(std::move(out));
  pm.setDevicePixelRatio(dpr);
  return pm;
}

NSImageRef imageNamed(const std::string& name, CGSize pointSize, const std::optional<QColor>& tint) {
  if (!rendererNamed(name)) return nullptr;
  return NSImage::imageWithSize(pointSize, [name, tint](size_t pw, size_t ph) -> CGImageRef {
    // Rendered off the cache: a lazy image may be drawn on another thread.
    QImage img = render(name, QSize(int(pw), int(ph)), tint).convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    if (img.isNull()) return nullptr;
    auto data = std::make_shared<std::vector<uint8_t>>(size_t(img.sizeInBytes()));
    std::memcpy(data->data(), img.constBits(), data->size());
    return CGImageCreate(pw, ph, 8, 32, size_t(img.bytesPerLine()), CGColorSpaceCreateWithName(kCGColorSpaceSRGB),
                         kCGImageAlphaPremultipliedLast, data);
  });
}

}  // namespace QVArtwork
