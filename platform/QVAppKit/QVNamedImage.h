#pragma once
// The application's artwork by name: "<name>.svg" from the resources' "Images" folder (or the
// resources themselves), as a platform image of the drawing's own size in points that draws itself
// crisp at whatever pixel size it is shown (the image views ask for points times the device pixel
// ratio). Drawings are read once and cached by name.
//
// Main thread only.
#include <string>

#include "QVPlatform/ImageIO/NSImage.h"

// nullptr when there is no such drawing.
NSImageRef QVImageNamed(const std::string& name);
