#pragma once
// Where the quick preview's window goes for a photo, as a function of the photo's size, the main
// window's frame and the preview's own frame (screens' coordinates, bottom-left origin, y up).
//
// A portrait photo (width / height below 1) takes the main window's full height; any other 0.8 of
// its width; both keep the photo's aspect and are rounded up to whole points. Centred, the origin
// centres that size on the main window, rounded up; otherwise the preview keeps its own centre.
// A photo of no size (an unreadable file) takes 0.8 of the main window's width at the main
// window's aspect, so the frame is never undefined.
#include "QVBase/Geometry.h"

struct QVQuickPreviewFrames {
  static constexpr double kLandscapeWidthFactor = 0.8;
  static constexpr double kPortraitHeightFactor = 1.0;

  static CGRect windowFrameForImageSize(CGSize imageSize, bool centered, CGRect parentFrame, CGRect ownFrame);
};
