#include "Ombrel/Classes/Application/PluginMode/QVPluginSingleImageViewController.h"

std::unique_ptr<QVExportViewController> QVPluginSingleImageViewController::createExportViewController() {
  auto panel = std::make_unique<QVPluginExportViewController>(this);
  panel->exportBeginView()->setUserInteractionEnabled(false);
  return panel;
}

std::unique_ptr<QVExportSingleImageViewController> QVMakeSingleImageViewController(
    bool pluginMode, std::shared_ptr<QVSingleImageFacade> facade) {
  if (pluginMode) return std::make_unique<QVPluginSingleImageViewController>(std::move(facade));
  return std::make_unique<QVExportSingleImageViewController>(std::move(facade));
}
