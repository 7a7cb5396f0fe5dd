#pragma once
// Fonts. The screens ask for the system font and for "SF Pro" faces by name; on Linux the Inter
// family (Debian's fonts-inter) stands in for them, loaded once, with the system sans-serif as the
// fallback. Every call answers a usable font, never a null one.
//
// A font name is "<Family>-<Style>" as the screens write it ("SFProText-Semibold",
// "Inter-Medium"); the style picks the weight.
#include <QFont>
#include <QString>
#include <string>

namespace QVFonts {
// Loads the stand-in family once (later calls do nothing); true when Inter is available.
bool loadOnce();
// The family that stands in for the system font: "Inter" when installed, else the sans-serif.
QString systemFamily();
// The system font at a size and weight.
QFont systemFontOfSize(double pointSize, QFont::Weight weight = QFont::Normal);
// The name the system font is known by (what `fontName` of a label starts as).
std::string systemFontName();
// The font of a name at a size; unknown families fall back to the system family.
QFont fontWithName(const std::string& name, double pointSize);
// Sizes are the screens' points, one point a logical pixel (as on the system the screens were
// drawn for); Qt's points are 1/72 inch at the screen's logical DPI, so sizes go through these.
void setFontSize(QFont& font, double size);
double fontSize(const QFont& font);
// The name of a font as fontWithName understands it.
std::string fontName(const QFont& font);
}  // namespace QVFonts
