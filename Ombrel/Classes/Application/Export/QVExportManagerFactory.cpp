#include "Ombrel/Classes/Application/Export/QVExportManagerFactory.h"

#include "Ombrel/Classes/Application/PluginMode/QVPluginController.h"

#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "Ombrel/Classes/Application/Services/QVSolvaneAppHelpers.h"
#include "Ombrel/Classes/Business/ExportManager/QVExportManager.h"
#include "Ombrel/Classes/Business/ExportManager/QVExportManagerBusiness.h"
#include "QVPlatform/Log.h"

namespace {
QVExportManagerFactory::Maker& maker() {
  static QVExportManagerFactory::Maker m;
  return m;
}
}  // namespace

void QVExportManagerFactory::setMaker(Maker m) { maker() = std::move(m); }

std::shared_ptr<QVExportManagable> QVExportManagerFactory::exportManagerForPlatform(uint64_t platform) {
  if (const auto& m = maker()) return m(platform);
  const std::string name = QVSolvaneAppHelpers::exportManagerClassForPlatform(platform, QVAppLink::isPluginMode());
  if (name == "QVPluginController") return QVPluginController::make();
  if (name == "QVExportManagerBusiness") return QVExportManagerBusiness::make();
  if (name != "QVExportManager")
    QVLogWarning("no export manager \"%s\" in this build; the interactive one stands in", name.c_str());
  return QVExportManager::make();
}
