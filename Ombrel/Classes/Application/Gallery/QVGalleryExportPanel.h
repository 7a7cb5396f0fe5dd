#pragma once
// The export panel docked over the gallery, as far as the gallery drives it, and what the panel
// asks of the gallery (its data source and delegate). The export screens' panel, or in a plug-in
// run the plug-in panel, unless a factory was set (tests set their own).
//
// Main thread only.
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QVGalleryExportPanel;

// The gallery's side: the panel's data source and delegate.
class QVGalleryExportPanelOwner {
 public:
  virtual ~QVGalleryExportPanelOwner() = default;
  virtual std::vector<std::string> exportControllerPathsToShare() = 0;
  virtual void exportControllerDidStart(QVGalleryExportPanel* panel) = 0;
  virtual void exportControllerDidCancel(QVGalleryExportPanel* panel) = 0;
  virtual void exportControllerDidFinish(QVGalleryExportPanel* panel) = 0;
  virtual void exportControllerDidChangeExportState(QVGalleryExportPanel* panel, uint64_t state) = 0;
  // A plug-in run: the panel is the plug-in panel (DONE hands every host photo back).
  virtual bool exportPanelIsPluginPanel() { return false; }
};

class QVGalleryExportPanel {
 public:
  virtual ~QVGalleryExportPanel() = default;
  virtual QWidget* view() = 0;
  // 0 begin, 1 in progress, 2 end.
  virtual uint64_t currentState() const = 0;
  virtual void updateWithExportState(uint64_t state) = 0;
  virtual void reload() = 0;
  virtual void updateExportedItemsCount() = 0;
  virtual void exportPhotosToDisk(const std::vector<std::string>& paths) = 0;
  virtual void exportAllImagesWithExportType(uint64_t type) = 0;
  virtual std::map<std::string, QWidget*> animatableViews() = 0;
  // The panel's export button (spring menu), when it has one.
  virtual QWidget* exportPhotosButton() { return nullptr; }

  using Factory = std::function<std::unique_ptr<QVGalleryExportPanel>(QVGalleryExportPanelOwner* owner)>;
  // A new panel for the owner: the factory's when one is set, else the export screens' panel.
  static std::unique_ptr<QVGalleryExportPanel> make(QVGalleryExportPanelOwner* owner);
  static void setFactory(Factory factory);
};
