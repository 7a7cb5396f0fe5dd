#include "QVAppKit/QVNamedImage.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <map>
#include <memory>

#include "QVPlatform/Bundle.h"

namespace {

std::shared_ptr<QSvgRenderer> rendererNamed(const std::string& name) {
  static std::map<std::string, std::shared_ptr<QSvgRenderer>> cache;
  if (auto it = cache.find(name); it != cache.end()) return it->second;
  auto& bundle = qv::Bundle::mainBundle();
  std::string path = bundle.pathForResource(name, "svg", "Images");
  if (path.empty()) path = bundle.pathForResource(name, "svg");
  std::shared_ptr<QSvgRenderer> renderer;
  if (!path.empty()) {
    renderer = std::make_shared<QSvgRenderer>(QString::fromStdString(path));
    if (!renderer->isValid()) renderer.reset();
  }
  cache[name] = renderer;
  return renderer;
}

}  // namespace

NSImageRef QVImageNamed(const std::string& name) {
  if (name.empty()) return nullptr;
  auto renderer = rendererNamed(name);
  if (!renderer) return nullptr;
  const QSize points = renderer->defaultSize();
  return NSImage::imageWithSize(
      CGSizeMake(points.width(), points.height()), [renderer](size_t width, size_t height) -> CGImageRef {
        if (width == 0 || height == 0) return nullptr;
        QImage image(int(width), int(height), QImage::Format_RGBA8888_Premultiplied);
        image.fill(Qt::transparent);
        {
          QPainter painter(&image);
          painter.setRenderHint(QPainter::Antialiasing);
          renderer->render(&painter);
        }
        auto bytes = std::make_shared<std::vector<uint8_t>>(image.constBits(), image.constBits() + image.sizeInBytes());
        return CGImageCreate(width, height, 8, 32, size_t(image.bytesPerLine()), CGColorSpaceCreateDeviceRGB(),
                             kCGImageAlphaPremultipliedLast, std::move(bytes));
      });
}
