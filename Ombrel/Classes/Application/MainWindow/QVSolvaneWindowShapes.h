#pragma once
// The main window's shapes as plain functions of the screen sizes they depend on, so the sizes,
// limits, fits and centring are the same whether a window or a test asks.
//
// Everything is in the screens' coordinates: points, origin bottom left, y up.
#include <cstdint>

#include "QVAppKit/QVRoundParams.h"
#include "QVBase/Geometry.h"

// Screen modes: 0 open screen, 1 single image, 2 gallery.
enum QVScreenMode : int64_t { QVScreenModeOpen = 0, QVScreenModeSingle = 1, QVScreenModeGallery = 2 };

struct QVSolvaneWindowShape {
  bool known = false;  // false for a mode outside 0..2: nothing changes then
  CGSize frameSize = CGSizeZero;
  CGSize minSize = CGSizeZero;
  CGSize maxSize = CGSizeZero;
  QVCornerRadii radii;
  bool showsTitleBar = false;
  bool showsImportMoreButton = false;
  bool movableByBackground = true;
};

// What a window's shape depends on besides its mode.
struct QVSolvaneScreenMetrics {
  CGSize visibleSize = CGSizeZero;     // the available area of the window's screen (0 without a screen)
  CGSize mainScreenSize = CGSizeZero;  // the frame of the main screen
  double titleBarContainerHeight = 0;  // 0 without a container
  bool pluginMode = false;
};

namespace QVSolvaneWindowShapes {

inline constexpr CGSize kOpenSize{452, 440};
inline constexpr CGSize kSingleSize{800, 600};
inline constexpr double kGalleryMinWidth = 1008;
inline constexpr double kGalleryMinContentHeight = 724;
inline constexpr double kDefaultSizeScale = 1.5;
// On a side the screen is too small for the gallery's designed size, the share of the screen's
// side the user may shrink the window to.
inline constexpr double kGalleryCutMinShare = 0.75;

QVSolvaneWindowShape shapeForMode(int64_t mode, const QVSolvaneScreenMetrics& metrics);
// 0 the open size, 2 the gallery's opening size, others zero.
CGSize windowSizeForMode(int64_t mode, const QVSolvaneScreenMetrics& metrics);
// The gallery opens at 1008 x (724 + the title bar's container), each side cut to the screen's
// available area. Its limit is that designed size where the screen holds it; on a side the screen
// is smaller, three quarters of the screen's side, so the window can still be made smaller.
CGSize galleryWindowSize(const QVSolvaneScreenMetrics& metrics);
CGSize galleryWindowMinSize(const QVSolvaneScreenMetrics& metrics);
CGSize galleryWindowMaxSize(const QVSolvaneScreenMetrics& metrics);

// Whether an image size can be fitted (both sides finite and above zero).
bool isUsableImageSize(CGSize imageSize);
// The window for an image: 2.5 times narrower than the main screen for landscape images, 1.5
// times lower than it for portrait ones, each side at most twice the image's. An unusable size
// fits as the single-image window's 800 x 600.
CGSize fitWindowSizeFromImageSize(CGSize imageSize, CGSize mainScreenSize);
CGSize maxWindowSizeForImageSize(CGSize imageSize);

struct Limits {
  CGSize minSize = CGSizeZero;
  CGSize maxSize = CGSizeZero;
};
// The limits around a fitted size F with scale s for an image I: never smaller than 800 x 600
// (600 x 800 for portrait shapes), never larger than twice the image nor F x s.
Limits limitsAroundImage(CGSize fitted, double scale, CGSize imageSize);

// A window frame that fits in the visible rectangle (its screen's available area): a frame larger
// than it shrinks about its centre to whole points, the part below a fixed-height top (the title bar
// above a picture) keeping its aspect; then the frame moves, if needed, to lie inside it. A frame
// that fits stays as it is; without a visible rectangle nothing changes.
CGRect frameFittedInVisibleRect(CGRect frame, CGRect visibleRect, double fixedTopHeight = 0);

// The origin that centres a window of the size in the visible rectangle.
CGPoint centerPointForWindowWithSize(CGRect visibleRect, CGSize size);

// The animator's rectangle for frame n of N: initial + n x (target - initial) / N for each side,
// centred on the screen rectangle (its origin included). n = N gives the target's size exactly.
CGRect animatorFrame(CGSize initialSize, CGSize targetSize, CGRect screenRect, uint64_t n, uint64_t count);
// The animator's frame count for a duration at a rate: trunc(duration x rate), never negative.
uint64_t animatorFrameCount(double duration, double framesPerSecond);

// The frame after dragging the given edges by (dx, dy) (screens' coordinates: dy > 0 is up),
// keeping the aspect ratio (width / height; 0 keeps none) and the limits; the opposite edges stay.
// Edge bits are Qt::Edge values: 1 top, 2 left, 4 right, 8 bottom.
CGRect aspectResizedFrame(CGRect startFrame, unsigned edges, double dx, double dy, double aspectRatio, CGSize minSize,
                          CGSize maxSize);

}  // namespace QVSolvaneWindowShapes
