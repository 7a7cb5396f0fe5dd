#pragma once
// A change of screen mode of the main window: 0 open screen, 1 single image, 2 gallery.
#include <cstdint>

#include "QVBase/Geometry.h"

struct QVExportTransition {
  int64_t startMode = -1;
  int64_t endMode = -1;
  bool operator==(const QVExportTransition&) const = default;
};

inline QVExportTransition QVExportTransitionMake(int64_t startMode, int64_t endMode) { return {startMode, endMode}; }
// No transition under way (what a cancel leaves).
inline constexpr QVExportTransition QVExportTransitionNone{-1, -1};

// The rectangle of `size` centred in a container of `container` size.
inline CGRect QVMiddleRect(CGSize size, CGSize container) {
  return CGRectMake((container.width - size.width) * 0.5, (container.height - size.height) * 0.5, size.width,
                    size.height);
}
