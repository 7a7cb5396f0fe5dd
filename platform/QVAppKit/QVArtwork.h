#pragma once
// The application's artwork by name: SVG files in the resources' "Artwork" folder, rendered by Qt
// SVG at the pixel size asked for, optionally tinted (every painted pixel takes the colour, its
// alpha kept), and cached by name, size and tint so controls only blit while they animate.
//
// Three-part images (bars): the left and right caps are each half the rendered height wide and
// keep their shape; the middle column stretches to the width asked for.
//
// Main thread only (the cache is not locked).
#include <QColor>
#include <QImage>
#include <QPixmap>
#include <optional>
#include <string>

#include "QVPlatform/ImageIO/NSImage.h"

namespace QVArtwork {
// Whether the resources hold artwork of that name.
bool exists(const std::string& name);
// The artwork's own size in points (its SVG size), (0, 0) when unknown.
CGSize naturalSize(const std::string& name);
// The artwork rendered into `pixelSize` (aspect kept, centred), tinted when a colour is given;
// a null image when the name is unknown or the size empty.
QImage image(const std::string& name, QSize pixelSize, const std::optional<QColor>& tint = std::nullopt);
// A picture of `pointSize` for a device pixel ratio (the pixmap carries the ratio).
QPixmap pixmap(const std::string& name, CGSize pointSize, double devicePixelRatio,
               const std::optional<QColor>& tint = std::nullopt);
// A three-part picture `pointSize` wide and high for a device pixel ratio.
QPixmap threePartPixmap(const std::string& name, CGSize pointSize, double devicePixelRatio);
// A platform image of the artwork that draws itself at the pixel size an image view asks for, so it
// stays sharp at any scale; nullptr for an unknown name.
NSImageRef imageNamed(const std::string& name, CGSize pointSize, const std::optional<QColor>& tint = std::nullopt);
}  // namespace QVArtwork
