#include "Ombrel/Classes/Application/Export/QVBatchSettingsWindow.h"

#include "QVPlatform/MainExecutor.h"

namespace {

// No window to show yet: the route ends as a window closed without a preset.
class QVNoBatchSettingsWindow : public QVBatchSettingsWindow {
 public:
  void showWithCompletion(Completion completion) override {
    qv::MainExecutor::shared().async([completion] {
      if (completion) completion(nullptr);
    });
  }
};

QVBatchSettingsWindow::Maker& maker() {
  static QVBatchSettingsWindow::Maker m;
  return m;
}

}  // namespace

std::shared_ptr<QVBatchSettingsWindow> QVBatchSettingsWindow::make() {
  if (const auto& m = maker()) return m();
  return std::make_shared<QVNoBatchSettingsWindow>();
}

void QVBatchSettingsWindow::setMaker(Maker m) { maker() = std::move(m); }
