#include "Ombrel/Classes/Application/PluginMode/QVPluginInstallWindowController.h"

QVPluginInstallWindowController::QVPluginInstallWindowController(QVPluginLaunchInfo launchInfo,
                                                                 std::shared_ptr<QVSolvanePluginsInstaller> installer)
    : QVWindowController(false), launchInfo_(std::move(launchInfo)), installer_(std::move(installer)) {
  createCurrentVC();
  window()->setWindowTitle(QStringLiteral("Install Plug-ins"));
  installViewController()->setDelegate(this);
  installViewController()->setLaunchInfo(launchInfo_);
}

QVWindowController::ViewControllerMaker QVPluginInstallWindowController::viewControllerClass() const {
  return [installer = installer_] { return std::make_unique<QVPluginInstallViewController>(installer); };
}

void QVPluginInstallWindowController::show() {
  installViewController()->viewWillAppear();
  QVWindowController::show();
}
