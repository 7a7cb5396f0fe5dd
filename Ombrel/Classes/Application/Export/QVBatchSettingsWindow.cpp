#include "Ombrel/Classes/Application/Export/QVBatchSettingsWindow.h"

#include "Ombrel/Classes/Application/ExportOptions/QVBatchSettingsWindowController.h"

namespace {

// The application's export-options window.
class QVApplicationBatchSettingsWindow : public QVBatchSettingsWindow {
 public:
  void showWithCompletion(Completion completion) override { controller_->showWithCompletion(std::move(completion)); }

 private:
  std::shared_ptr<QVBatchSettingsWindowController> controller_ = QVBatchSettingsWindowController::make();
};

QVBatchSettingsWindow::Maker& maker() {
  static QVBatchSettingsWindow::Maker m;
  return m;
}

}  // namespace

std::shared_ptr<QVBatchSettingsWindow> QVBatchSettingsWindow::make() {
  if (const auto& m = maker()) return m();
  return std::make_shared<QVApplicationBatchSettingsWindow>();
}

void QVBatchSettingsWindow::setMaker(Maker m) { maker() = std::move(m); }
