#pragma once
// Shared by the toolkit's tests: the Qt application on the offscreen platform (made once for the
// process), the driver's manual clock, and pixel reading from grabs.
#include <QColor>
#include <QImage>
#include <QWidget>

namespace appkit_test {
// The colour at a point of a widget's grab, in device-independent points (Qt space).
QColor pixelAt(const QImage& grab, double x, double y);
// Renders a widget and its subtree (effects included) into an image at device pixel ratio 1.
QImage render(QWidget* widget);
}  // namespace appkit_test
