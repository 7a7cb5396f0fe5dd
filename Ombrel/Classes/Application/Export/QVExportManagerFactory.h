#pragma once
// Makes the export panel's managers, both through one place: platform 0 is the interactive
// manager, platform 3 the preset-driven one (the class names of
// QVSolvaneAppHelpers::exportManagerClassForPlatform). Tests install a maker of fakes.
//
// Main thread only.
#include <cstdint>
#include <functional>
#include <memory>

#include "Ombrel/Classes/Business/ExportManager/QVExportManagable.h"

inline constexpr uint64_t kQVExportPlatformInteractive = 0;
inline constexpr uint64_t kQVExportPlatformPreset = 3;

class QVExportManagerFactory {
 public:
  using Maker = std::function<std::shared_ptr<QVExportManagable>(uint64_t platform)>;
  static std::shared_ptr<QVExportManagable> exportManagerForPlatform(uint64_t platform);
  // nullptr restores the application's managers.
  static void setMaker(Maker maker);
};
