#include "Ombrel/Classes/Application/Gallery/QVGalleryExportPanelAdapter.h"

#include "Ombrel/Classes/Application/Export/QVExportSpringMenu.h"
#include "QVAppKit/NSView+SpringAnimation.h"

QVGalleryExportPanelAdapter::QVGalleryExportPanelAdapter(QVGalleryExportPanelOwner* owner)
    : owner_(owner),
      panel_(owner->exportPanelIsPluginPanel() ? std::make_unique<QVPluginExportViewController>(this)
                                               : std::make_unique<QVExportViewController>()) {
  panel_->setDelegate(this);
  panel_->setDataSource(this);
}

QVGalleryExportPanelAdapter::~QVGalleryExportPanelAdapter() {
  panel_->setDelegate(nullptr);
  panel_->setDataSource(nullptr);
}

QWidget* QVGalleryExportPanelAdapter::exportPhotosButton() {
  return NSViewSpringAnimation::findFirstChildWithType<QVExportSpringMenu>(panel_->view());
}
