#pragma once
// The export options window: 750 x 526, the application's window (QVSolvaneWindow) with the top
// bar titled "EXPORT OPTIONS", the preset list and the settings pane as its content. It is not
// modal, but while it is open it stays above the main window (as its transient window, never above
// other applications), every other window of the application ignores clicks and the import and
// export menu items are off; closing the window gives them back (the destructor does too, should
// the window never close).
//
// The caller opens it with `showWithCompletion` and hears exactly once: Continue hands the preset
// to export with (always a new user preset made from what was shown, see
// QVBatchPresetSettingsModel), any other close hands nullptr. The controller may be released
// inside the completion.
//
// Main thread only.
#include <QPointer>
#include <functional>
#include <memory>

#include "Ombrel/Classes/Application/Controllers/QVWindowController.h"
#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetSelectorViewController.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "QVAppKit/QVSolvaneTopBarView.h"

class QVBatchSettingsWindowController : public QVWindowController,
                                        public QVBatchPresetSelectorViewControllerDelegate,
                                        public std::enable_shared_from_this<QVBatchSettingsWindowController> {
 public:
  using Completion = std::function<void(std::shared_ptr<QVBatchPreset> preset)>;

  // Without a store, the facade's.
  static std::shared_ptr<QVBatchSettingsWindowController> make(std::shared_ptr<QVBatchPresetManager> store = nullptr);
  explicit QVBatchSettingsWindowController(std::shared_ptr<QVBatchPresetManager> store = nullptr);
  ~QVBatchSettingsWindowController() override;

  std::string className() const override { return "QVBatchSettingsWindowController"; }
  std::string viewControllerClassName() const override { return "QVBatchPresetSelectorViewController"; }
  ViewControllerMaker viewControllerClass() const override;
  CGSize fixedSize() const override { return CGSizeMake(750, 526); }

  // Opens the window over the main window (on a later turn of the main loop) and keeps the
  // completion for the one answer.
  void showWithCompletion(Completion completion);
  // Calls the completion with the preset (nullptr allowed) once; later calls do nothing.
  void finishWithResult(std::shared_ptr<QVBatchPreset> preset);
  bool hasCompletion() const { return static_cast<bool>(completion_); }

  // Every other application window (QVSolvaneWindow) takes clicks or not, and so do the import and
  // export menu items.
  void enableInteractionForOtherWindows(bool enabled);
  bool locksOtherWindows() const { return locked_; }

  QVSolvaneWindow* solvaneWindow() { return dynamic_cast<QVSolvaneWindow*>(window()); }
  QVSolvaneTopBarView* topBar() const { return topBar_; }
  QVBatchPresetSelectorViewController* selectorViewController() const {
    return static_cast<QVBatchPresetSelectorViewController*>(currentVC());
  }

  // The window the export options stay above: the active application window, else the first
  // visible one. Replaceable for tools and tests.
  static void setParentWindowProvider(std::function<QWidget*()> provider);
  static QWidget* parentWindow();

  void configureWindow() override;
  void configureViewController() override;
  void windowWillClose() override;
  // QVBatchPresetSelectorViewControllerDelegate.
  void batchPresetSelectorOKDidClick(QVBatchPresetSelectorViewController* selector) override;

 protected:
  LoadedWindow loadWindow() override;

 private:
  std::shared_ptr<QVBatchPresetManager> store_;
  Completion completion_;
  QPointer<QVSolvaneTopBarView> topBar_;
  bool locked_ = false;
};
