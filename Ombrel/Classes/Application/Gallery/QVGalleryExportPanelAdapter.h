#pragma once
// The application's export panel docked over the gallery: the panel of the export screens, with
// the gallery as its data source and delegate (through QVGalleryExportPanelOwner). No strength
// slider in the gallery. In a plug-in run it is the plug-in panel: its begin row is the DONE button
// alone (each photo's strength was set on its own screen), and the main window's apply and cancel
// commands reach it.
//
// Main thread only.
#include <memory>

#include "Ombrel/Classes/Application/Export/QVExportViewController.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryExportPanel.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginExportViewController.h"

class QVGalleryExportPanelAdapter : public QVGalleryExportPanel,
                                    public QVExportViewControllerDelegate,
                                    public QVExportViewControllerDataSource,
                                    public QVPluginExportLayoutDelegate {
 public:
  explicit QVGalleryExportPanelAdapter(QVGalleryExportPanelOwner* owner);
  ~QVGalleryExportPanelAdapter() override;

  QVExportViewController* exportViewController() const { return panel_.get(); }

  // QVGalleryExportPanel
  QWidget* view() override { return panel_->view(); }
  uint64_t currentState() const override { return panel_->currentState(); }
  void updateWithExportState(uint64_t state) override { panel_->updateWithExportState(state); }
  void reload() override { panel_->reload(); }
  void updateExportedItemsCount() override { panel_->updateExportedItemsCount(); }
  void exportPhotosToDisk(const std::vector<std::string>& paths) override { panel_->exportPhotosToDisk(paths); }
  void exportAllImagesWithExportType(uint64_t type) override { panel_->exportAllImagesWithExportType(type); }
  std::map<std::string, QWidget*> animatableViews() override { return panel_->animatableViews(); }
  QWidget* exportPhotosButton() override;

  // QVExportViewControllerDelegate
  void exportControllerDidChangeExportState(QVExportViewController*, uint64_t state) override {
    owner_->exportControllerDidChangeExportState(this, state);
  }
  void exportControllerDidStart(QVExportViewController*) override { owner_->exportControllerDidStart(this); }
  void exportControllerDidFinish(QVExportViewController*) override { owner_->exportControllerDidFinish(this); }
  void exportControllerDidCancel(QVExportViewController*) override { owner_->exportControllerDidCancel(this); }
  std::optional<bool> exportControllerShouldShowSlider(QVExportViewController*) override { return false; }
  // QVExportViewControllerDataSource
  std::optional<std::vector<std::string>> exportControllerPathsToShare() override {
    return owner_->exportControllerPathsToShare();
  }
  // QVPluginExportLayoutDelegate: the gallery's begin row is the button alone, whatever the count.
  uint64_t overlayElementsLayoutWithPathsCount(size_t) override { return kQVPluginElementButton; }

 private:
  QVGalleryExportPanelOwner* owner_;
  std::unique_ptr<QVExportViewController> panel_;
};
