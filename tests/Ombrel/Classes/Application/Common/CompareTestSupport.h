#pragma once
// Small pictures and pointer events for the compare and single-image tests.
#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>
#include <memory>
#include <vector>

#include "QVPlatform/ImageIO/NSImage.h"

namespace compare_test {

// A flat 8-bit RGBA picture of one colour.
inline NSImageRef flatImage(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
  auto data = std::make_shared<std::vector<uint8_t>>(size_t(width) * height * 4);
  for (size_t i = 0; i < data->size(); i += 4) {
    (*data)[i] = r;
    (*data)[i + 1] = g;
    (*data)[i + 2] = b;
    (*data)[i + 3] = 255;
  }
  return NSImage::imageWithCGImage(CGImageCreate(size_t(width), size_t(height), 8, 32, size_t(width) * 4,
                                                 CGColorSpaceCreateWithName(kCGColorSpaceSRGB),
                                                 kCGImageAlphaPremultipliedLast, data));
}

// A pointer event at a point of a widget (Qt space), as the window delivers it.
inline void send(QWidget* w, QEvent::Type type, QPointF local) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
  const QPointF scene = w->mapTo(w->window(), local);
  QMouseEvent e(type, local, scene, w->mapToGlobal(local), button, buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}

}  // namespace compare_test
