#include "Ombrel/Classes/Application/PluginMode/QVPluginSingleImageViewController.h"

std::unique_ptr<QVExportViewController> QVPluginSingleImageViewController::createExportViewController() {
  auto panel = std::make_unique<QVPluginExportViewController>(this);
  panel->exportBeginView()->setUserInteractionEnabled(false);
  return panel;
}
