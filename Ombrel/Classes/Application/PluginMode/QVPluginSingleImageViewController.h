#pragma once
// The single-image screen of a plug-in run: the export panel is the plug-in panel, whose begin
// row starts locked (the screen unlocks it once the photo is enhanced).
//
// Main thread only.
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
