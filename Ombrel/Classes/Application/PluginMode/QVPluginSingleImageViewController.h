#pragma once
// The single-image screen of a plug-in run: the export panel is the plug-in panel, whose begin
// row starts locked (the screen unlocks it once the photo is enhanced).
//
// `QVMakeSingleImageViewController` makes the single-image screen of the run's kind: this one in a
// plug-in run, the export screen otherwise. The main window's single-image screen and the gallery's
// quick preview both take theirs from it.
//
// Main thread only.
#include <memory>

#include "Ombrel/Classes/Application/PluginMode/QVPluginExportViewController.h"
#include "Ombrel/Classes/Application/SingleImage/QVExportSingleImageViewController.h"

class QVPluginSingleImageViewController : public QVExportSingleImageViewController,
                                          public QVPluginExportLayoutDelegate {
 public:
  using QVExportSingleImageViewController::QVExportSingleImageViewController;

  QVPluginExportViewController* pluginExportViewController() {
    return static_cast<QVPluginExportViewController*>(exportViewController());
  }
  uint64_t overlayElementsLayoutWithPathsCount(size_t count) override {
    return QVPluginScreenRules::overlayElementsForPathsCount(count);
  }

 protected:
  std::unique_ptr<QVExportViewController> createExportViewController() override;
};

std::unique_ptr<QVExportSingleImageViewController> QVMakeSingleImageViewController(
    bool pluginMode, std::shared_ptr<QVSingleImageFacade> facade);
