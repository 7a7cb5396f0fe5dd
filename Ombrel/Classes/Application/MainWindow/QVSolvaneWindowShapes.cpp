#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindowShapes.h"

#include <algorithm>
#include <cmath>

namespace QVSolvaneWindowShapes {

namespace {
constexpr unsigned kTop = 1, kLeft = 2, kRight = 4, kBottom = 8;
}

QVSolvaneWindowShape shapeForMode(int64_t mode, const QVSolvaneScreenMetrics& metrics) {
  QVSolvaneWindowShape shape;
  switch (mode) {
    case QVScreenModeOpen:
      shape.frameSize = shape.minSize = shape.maxSize = kOpenSize;
      shape.radii = QVSMakeCornerRadii(6, 6, 6, 6);
      break;
    case QVScreenModeSingle:
      shape.frameSize = shape.minSize = shape.maxSize = kSingleSize;
      shape.radii = QVSMakeCornerRadii(6, 6, 30, 6);
      break;
    case QVScreenModeGallery:
      shape.minSize = galleryWindowMinSize(metrics);
      shape.frameSize = galleryWindowSize(metrics);
      shape.maxSize = galleryWindowMaxSize(metrics);
      shape.radii = QVSMakeCornerRadii(6, 6, 30, 6);
      break;
    default:
      return shape;
  }
  shape.known = true;
  shape.showsTitleBar = mode != QVScreenModeOpen;
  shape.showsImportMoreButton = mode != QVScreenModeOpen && !metrics.pluginMode;
  shape.movableByBackground = mode != QVScreenModeGallery;
  return shape;
}

CGSize windowSizeForMode(int64_t mode, const QVSolvaneScreenMetrics& metrics) {
  if (mode == QVScreenModeGallery) return galleryWindowSize(metrics);
  if (mode == QVScreenModeOpen) return kOpenSize;
  return CGSizeZero;
}

CGSize galleryWindowSize(const QVSolvaneScreenMetrics& metrics) {
  return CGSizeMake(std::min(kGalleryMinWidth, metrics.visibleSize.width),
                    std::min(kGalleryMinContentHeight + metrics.titleBarContainerHeight, metrics.visibleSize.height));
}

CGSize galleryWindowMinSize(const QVSolvaneScreenMetrics& metrics) {
  // The gallery opens at its designed size, cut to the screen; a limit equal to the screen's side
  // would leave nothing to shrink (a 1280 x 720-point screen at 2x held the window at its full
  // height), so on a side the screen is too small for the limit falls below it.
  const CGSize size = galleryWindowSize(metrics);
  auto side = [](double designed, double opened, double visible) {
    return opened < designed ? std::round(visible * kGalleryCutMinShare) : designed;
  };
  return CGSizeMake(
      side(kGalleryMinWidth, size.width, metrics.visibleSize.width),
      side(kGalleryMinContentHeight + metrics.titleBarContainerHeight, size.height, metrics.visibleSize.height));
}

CGSize galleryWindowMaxSize(const QVSolvaneScreenMetrics& metrics) { return metrics.mainScreenSize; }

bool isUsableImageSize(CGSize s) {
  return std::isfinite(s.width) && std::isfinite(s.height) && s.width > 0 && s.height > 0;
}

CGSize maxWindowSizeForImageSize(CGSize imageSize) { return CGSizeMake(2 * imageSize.width, 2 * imageSize.height); }

CGSize fitWindowSizeFromImageSize(CGSize imageSize, CGSize mainScreenSize) {
  if (!isUsableImageSize(imageSize)) return kSingleSize;
  const double r = imageSize.width / imageSize.height;
  CGSize size;
  if (r >= 1) {
    size.width = std::round(mainScreenSize.width / 2.5);
    size.height = std::round(size.width / r);
  } else {
    size.height = std::round(mainScreenSize.height / 1.5);
    size.width = std::round(size.height * r);
  }
  const CGSize cap = maxWindowSizeForImageSize(imageSize);
  return CGSizeMake(std::min(size.width, cap.width), std::min(size.height, cap.height));
}

Limits limitsAroundImage(CGSize fitted, double scale, CGSize imageSize) {
  if (!(scale > 0)) scale = 1;
  const CGSize s = CGSizeMake(fitted.width / scale, fitted.height / scale);
  const double r = s.height > 0 ? s.width / s.height : 1;
  Limits limits;
  limits.minSize = r >= 1 ? CGSizeMake(std::max(800.0, s.width), std::max(600.0, s.height))
                          : CGSizeMake(std::max(600.0, s.width), std::max(800.0, s.height));
  limits.maxSize = CGSizeMake(std::min(2 * imageSize.width, fitted.width * scale),
                              std::min(2 * imageSize.height, fitted.height * scale));
  return limits;
}

CGRect frameFittedInVisibleRect(CGRect frame, CGRect visible, double fixedTop) {
  if (!(visible.size.width > 0 && visible.size.height > fixedTop)) return frame;
  CGRect fitted = frame;
  const double partWidth = frame.size.width, partHeight = frame.size.height - fixedTop;
  if (partWidth > 0 && partHeight > 0) {
    const double scale = std::min({1.0, visible.size.width / partWidth, (visible.size.height - fixedTop) / partHeight});
    if (scale < 1) {
      // Whole points (the small epsilon keeps a side that fits exactly from losing one).
      fitted.size = CGSizeMake(std::min(visible.size.width, std::floor(partWidth * scale + 1e-6)),
                               std::min(visible.size.height, std::floor(partHeight * scale + 1e-6) + fixedTop));
      fitted.origin = CGPointMake(std::round(frame.origin.x + (frame.size.width - fitted.size.width) / 2),
                                  std::round(frame.origin.y + (frame.size.height - fitted.size.height) / 2));
    }
  }
  fitted.size.width = std::min(fitted.size.width, visible.size.width);
  fitted.size.height = std::min(fitted.size.height, visible.size.height);
  const double right = visible.origin.x + visible.size.width, top = visible.origin.y + visible.size.height;
  fitted.origin.x = std::clamp(fitted.origin.x, visible.origin.x, right - fitted.size.width);
  fitted.origin.y = std::clamp(fitted.origin.y, visible.origin.y, top - fitted.size.height);
  return fitted;
}

CGPoint centerPointForWindowWithSize(CGRect visible, CGSize size) {
  return CGPointMake(visible.origin.x + (visible.size.width - size.width) * 0.5,
                     visible.origin.y + (visible.size.height - size.height) * 0.5);
}

CGRect animatorFrame(CGSize initial, CGSize target, CGRect screen, uint64_t n, uint64_t count) {
  CGSize size = target;
  if (count > 0 && n < count) {
    const double t = double(n) / double(count);
    size = CGSizeMake(initial.width + t * (target.width - initial.width),
                      initial.height + t * (target.height - initial.height));
  }
  const CGPoint origin = centerPointForWindowWithSize(screen, size);
  return CGRectMake(origin.x, origin.y, size.width, size.height);
}

uint64_t animatorFrameCount(double duration, double framesPerSecond) {
  const double frames = duration * framesPerSecond;
  if (!std::isfinite(frames) || frames <= 0) return 0;
  return uint64_t(std::trunc(frames));
}

CGRect aspectResizedFrame(CGRect start, unsigned edges, double dx, double dy, double aspect, CGSize minSize,
                          CGSize maxSize) {
  double w = start.size.width, h = start.size.height;
  if (edges & kRight) w += dx;
  if (edges & kLeft) w -= dx;
  if (edges & kTop) h += dy;
  if (edges & kBottom) h -= dy;
  const bool horizontal = edges & (kLeft | kRight), vertical = edges & (kTop | kBottom);
  double minW = minSize.width, maxW = maxSize.width > 0 ? maxSize.width : 1e9;
  double minH = minSize.height, maxH = maxSize.height > 0 ? maxSize.height : 1e9;
  if (aspect > 0) {
    // The side the pointer moved most decides; the other follows the ratio.
    if (horizontal && vertical) {
      if (std::abs(w - start.size.width) / start.size.width >= std::abs(h - start.size.height) / start.size.height) {
        h = w / aspect;
      } else {
        w = h * aspect;
      }
    } else if (horizontal) {
      h = w / aspect;
    } else {
      w = h * aspect;
    }
    minW = std::max(minW, minH * aspect);
    maxW = std::min(maxW, maxH * aspect);
    w = std::clamp(w, std::min(minW, maxW), maxW);
    h = w / aspect;
  } else {
    w = std::clamp(w, std::min(minW, maxW), maxW);
    h = std::clamp(h, std::min(minH, maxH), maxH);
  }
  w = std::round(w);
  h = std::round(h);
  CGRect frame = start;
  frame.size = CGSizeMake(w, h);
  // The edges opposite the dragged ones stay; a side-only drag keeps the top edge.
  if (edges & kLeft) frame.origin.x = start.origin.x + start.size.width - w;
  if (edges & kBottom || !(edges & kTop)) frame.origin.y = start.origin.y + start.size.height - h;
  return frame;
}

}  // namespace QVSolvaneWindowShapes
