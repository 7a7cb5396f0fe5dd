#pragma once
// The gallery's page of window chrome: a frameless window with the application's top bar, the
// window buttons in every state, export progress bars with their phase labels, and the loading
// dots with the loading label.
class QVView;

namespace gallery {

// Fills the window (W × H points) with the page and makes the window frameless.
void buildChromePage(QVView* window, double W, double H);

}  // namespace gallery
