#include "Ombrel/Classes/Application/Gallery/QVGalleryExportPanel.h"

#include "Ombrel/Classes/Application/Gallery/QVGalleryExportPanelAdapter.h"

namespace {
QVGalleryExportPanel::Factory& sharedFactory() {
  static QVGalleryExportPanel::Factory factory;
  return factory;
}
}  // namespace

std::unique_ptr<QVGalleryExportPanel> QVGalleryExportPanel::make(QVGalleryExportPanelOwner* owner) {
  if (sharedFactory()) return sharedFactory()(owner);
  return std::make_unique<QVGalleryExportPanelAdapter>(owner);
}

void QVGalleryExportPanel::setFactory(Factory factory) { sharedFactory() = std::move(factory); }
