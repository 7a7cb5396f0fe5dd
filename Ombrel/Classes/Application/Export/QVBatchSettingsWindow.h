#pragma once
// The export-options window as the export panel sees it: shown once, it hands back the batch
// preset the user chose, or none when it was closed without one. The application's window
// (QVBatchSettingsWindowController) unless tests install a maker.
//
// Main thread only.
#include <functional>
#include <memory>

class QVBatchPreset;

class QVBatchSettingsWindow {
 public:
  using Completion = std::function<void(std::shared_ptr<QVBatchPreset> preset)>;
  using Maker = std::function<std::shared_ptr<QVBatchSettingsWindow>()>;
  virtual ~QVBatchSettingsWindow() = default;
  // Calls the completion once, on the main thread.
  virtual void showWithCompletion(Completion completion) = 0;

  static std::shared_ptr<QVBatchSettingsWindow> make();
  // nullptr restores the application's window.
  static void setMaker(Maker maker);
};
