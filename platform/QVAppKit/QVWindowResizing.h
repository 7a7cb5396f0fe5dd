#pragma once
// Whether the user may resize a window right now. A control that must not see its window change
// size while it animates (the export menu while it collapses) holds the window's size fixed; the
// holds are counted, so the window is resizable again once every holder let go. Windows that
// resize themselves by their edges ask `isResizable` before they start.
//
// Main thread only.
#include <QWidget>

namespace QVWindowResizing {
bool isResizable(const QWidget* window);
void beginFixedSize(QWidget* window);
void endFixedSize(QWidget* window);
}  // namespace QVWindowResizing
