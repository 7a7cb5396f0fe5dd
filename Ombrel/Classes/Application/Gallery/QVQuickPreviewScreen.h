#pragma once
// The single-image screen inside the quick preview, as far as the preview drives it: a fresh one
// for each shown photo: the single-image export screen, or the plug-in screen in a plug-in run,
// unless a factory was set (tests set their own).
//
// Main thread only.
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class QVViewController;

class QVQuickPreviewScreen {
 public:
  virtual ~QVQuickPreviewScreen() = default;
  virtual QWidget* view() = 0;
  // The screen's controller, for whoever exports from the preview (nullptr when it has none).
  virtual QVViewController* viewController() { return nullptr; }
  virtual void showProcessedImageWithPath(const std::string& path) = 0;
  virtual void cancelStateTransition() {}
  virtual void setWaitsForWindowLayout(bool waits) {}
  // What to run once the window reached its frame (none when nothing waits).
  virtual std::function<void()> onWindowDidLayout() { return nullptr; }

  using Factory = std::function<std::unique_ptr<QVQuickPreviewScreen>()>;
  static std::unique_ptr<QVQuickPreviewScreen> make();
  // nullptr goes back to the plain screen.
  static void setFactory(Factory factory);
};
