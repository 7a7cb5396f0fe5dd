#pragma once
// The export panel of a plug-in run. Its manager is the plug-in controller (the panel's manager
// factory makes it in plug-in mode); its begin row is the Done button and the strength slider
// (QVPluginSingleExportView). Done, or the main window's apply command, starts the export of all
// host images, only from the begin state; the progress view is titled after the host; the cancel
// command cancels as the panel's own cancel does; the end state's action ends the plug-in run.
//
// Main thread only.
#include <cstdint>
#include <memory>

#include "Ombrel/Classes/Application/Export/QVExportViewController.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginController.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginSingleExportView.h"
#include "QVPlatform/NotificationCenter.h"

class QVPluginExportLayoutDelegate {
 public:
  virtual ~QVPluginExportLayoutDelegate() = default;
  // The begin row's elements for that many host images.
  virtual uint64_t overlayElementsLayoutWithPathsCount(size_t count) = 0;
};

class QVPluginExportViewController : public QVExportViewController {
 public:
  // The layout delegate is not owned (the screen that holds the panel).
  explicit QVPluginExportViewController(QVPluginExportLayoutDelegate* layoutDelegate);
  ~QVPluginExportViewController() override;
  void viewDidLoad() override;

  QVPluginExportLayoutDelegate* layoutDelegate() const { return layoutDelegate_; }
  QVPluginSingleExportView* pluginBeginView() { return static_cast<QVPluginSingleExportView*>(exportBeginView()); }
  std::shared_ptr<QVPluginController> pluginController();

  // Done and the apply command: the export of every host image, from the begin state only.
  void onApply();
  void onCancel();
  void finishExport() override;
  void prepareViewsForExport(uint64_t type, uint64_t filesCount) override;

 protected:
  QVExportBeginView* makeBeginView(uint64_t itemsCount, bool showSlider) override;

 private:
  void updateHostTitle();

  QVPluginExportLayoutDelegate* layoutDelegate_;
  qv::ObserverToken applyToken_, cancelToken_;
};
