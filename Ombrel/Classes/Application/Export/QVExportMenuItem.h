#pragma once
// One export target as the export menu, the File menu's Export submenu and the export panel show
// it: its export type, its title, its artwork (normal, selected and, for disk and the hand-off, a
// small one) and an optional text colour. A plain record.
#include <QColor>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "QVPlatform/ImageIO/NSImage.h"

struct QVExportMenuItem {
  uint64_t type = 0;
  std::string title;
  std::string imageName;
  std::string selectedImageName;
  // Only disk and the sibling application have one.
  std::string smallImageName;
  // The row's text colour; black when unset.
  std::optional<QColor> color;
  // The sharing service's own picture; none on this system.
  NSImageRef image;
};
using QVExportMenuItemPtr = std::shared_ptr<const QVExportMenuItem>;
