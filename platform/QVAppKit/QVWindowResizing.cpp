#include "QVAppKit/QVWindowResizing.h"

#include <QVariant>

namespace {
constexpr const char* kHolds = "QVFixedSizeHolds";
int holds(const QWidget* window) { return window ? window->property(kHolds).toInt() : 0; }
}  // namespace

namespace QVWindowResizing {

bool isResizable(const QWidget* window) { return holds(window) <= 0; }

void beginFixedSize(QWidget* window) {
  if (window) window->setProperty(kHolds, holds(window) + 1);
}

void endFixedSize(QWidget* window) {
  if (window && holds(window) > 0) window->setProperty(kHolds, holds(window) - 1);
}

}  // namespace QVWindowResizing
