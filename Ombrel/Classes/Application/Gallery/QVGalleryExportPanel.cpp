#include "Ombrel/Classes/Application/Gallery/QVGalleryExportPanel.h"

namespace {
QVGalleryExportPanel::Factory& sharedFactory() {
  static QVGalleryExportPanel::Factory factory;
  return factory;
}
}  // namespace

std::unique_ptr<QVGalleryExportPanel> QVGalleryExportPanel::make(QVGalleryExportPanelOwner* owner) {
  return sharedFactory() ? sharedFactory()(owner) : nullptr;
}

void QVGalleryExportPanel::setFactory(Factory factory) { sharedFactory() = std::move(factory); }
