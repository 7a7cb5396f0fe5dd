#pragma once
// The plug-in installer window (560 x 215, not modal): the installer screen with the launch
// information; "Done" hides it. The plug-in controller makes it, keeps it and shows it.
//
// Main thread only.
#include <memory>

#include "Ombrel/Classes/Application/Controllers/QVWindowController.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginInstallViewController.h"

class QVPluginInstallWindowController : public QVWindowController, public QVPluginInstallViewControllerDelegate {
 public:
  explicit QVPluginInstallWindowController(QVPluginLaunchInfo launchInfo,
                                           std::shared_ptr<QVSolvanePluginsInstaller> installer = nullptr);

  std::string className() const override { return "QVPluginInstallWindowController"; }
  std::string viewControllerClassName() const override { return "QVPluginInstallViewController"; }
  ViewControllerMaker viewControllerClass() const override;
  CGSize fixedSize() const override { return CGSizeMake(560, 215); }

  const QVPluginLaunchInfo& launchInfo() const { return launchInfo_; }
  QVPluginInstallViewController* installViewController() const {
    return static_cast<QVPluginInstallViewController*>(currentVC());
  }
  // The screen starts following the installer, then the window shows.
  void show();

  void pluginInstallViewControllerDidClickFinish(QVPluginInstallViewController*) override { hide(); }

 private:
  QVPluginLaunchInfo launchInfo_;
  std::shared_ptr<QVSolvanePluginsInstaller> installer_;
};
