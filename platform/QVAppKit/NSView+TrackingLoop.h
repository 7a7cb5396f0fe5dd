#pragma once
// The press-drag-release loop of a view. Qt gives the pressed widget every mouse move and the
// release (its implicit grab), so instead of a modal loop the handlers are attached to the view
// until the left button comes up: left-button drags go to the dragging handler, the first
// left-button release ends the loop and goes to the mouse-up handler. The call returns at once;
// start it from the view's press. A loop started while one runs replaces it.
//
// Main thread only.
#include <QMouseEvent>
#include <QWidget>
#include <functional>

namespace NSViewTrackingLoop {
using Handler = std::function<void(const QMouseEvent& event)>;
// With neither handler nothing happens.
void runTrackingLoop(QWidget* view, Handler draggingHandler, Handler mouseUpHandler);
inline void runTrackingLoopWithMouseUpHandler(QWidget* view, Handler mouseUpHandler) {
  runTrackingLoop(view, nullptr, std::move(mouseUpHandler));
}
// Whether a loop is waiting for the view's release.
bool isTracking(const QWidget* view);
}  // namespace NSViewTrackingLoop
