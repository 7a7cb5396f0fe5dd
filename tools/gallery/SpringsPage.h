#pragma once
// The gallery's page of springs: spring buttons in their states, the spring menu collapsed and
// expanded, fades at three alphas, and the spring curves of three bouncinesses.
#include <string>

class QVView;

namespace gallery {
// Fills the window (W × H points) with the page.
void buildSpringsPage(QVView* window, double W, double H);
// Hovers the page's showcase button on the manual clock and writes one PNG per frame
// (<prefix>-NN.png) and a contact sheet (<prefix>-sheet.png); false when a file could not be written.
bool writeHoverFrames(QVView* window, const std::string& prefix);
}  // namespace gallery
