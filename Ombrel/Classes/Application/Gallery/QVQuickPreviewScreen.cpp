#include "Ombrel/Classes/Application/Gallery/QVQuickPreviewScreen.h"

#include "Ombrel/Classes/Application/SingleImage/QVExportSingleImageViewController.h"

namespace {

// The single-image export screen: the photo blurred while it is processed, then source and result
// under the split line, with its own export panel.
class QVExportQuickPreviewScreen : public QVQuickPreviewScreen {
 public:
  QVExportQuickPreviewScreen()
      : controller_(std::make_unique<QVExportSingleImageViewController>(QVMakeSingleImageAppFacade())) {}
  QWidget* view() override { return controller_->view(); }
  QVViewController* viewController() override { return controller_.get(); }
  void showProcessedImageWithPath(const std::string& path) override { controller_->showProcessedImageWithPath(path); }
  void cancelStateTransition() override { controller_->cancelStateTransition(); }
  void setWaitsForWindowLayout(bool waits) override { controller_->setWaitsForWindowLayout(waits); }
  std::function<void()> onWindowDidLayout() override { return controller_->onWindowDidLayout(); }

 private:
  std::unique_ptr<QVExportSingleImageViewController> controller_;
};

QVQuickPreviewScreen::Factory& sharedFactory() {
  static QVQuickPreviewScreen::Factory factory;
  return factory;
}

}  // namespace

std::unique_ptr<QVQuickPreviewScreen> QVQuickPreviewScreen::make() {
  if (sharedFactory()) return sharedFactory()();
  return std::make_unique<QVExportQuickPreviewScreen>();
}

void QVQuickPreviewScreen::setFactory(Factory factory) { sharedFactory() = std::move(factory); }
