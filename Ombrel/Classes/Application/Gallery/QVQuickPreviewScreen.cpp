#include "Ombrel/Classes/Application/Gallery/QVQuickPreviewScreen.h"

#include "Ombrel/Classes/Application/Gallery/QVGalleryServices.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginSingleImageViewController.h"

namespace {

// The single-image screen: the photo blurred while it is processed, then source and result under
// the split line, with its own export panel; in a plug-in run the plug-in screen, whose panel is
// the plug-in one (the strength slider, and DONE for a host's one photo).
class QVExportQuickPreviewScreen : public QVQuickPreviewScreen {
 public:
  explicit QVExportQuickPreviewScreen(bool pluginMode)
      : controller_(QVMakeSingleImageViewController(pluginMode, QVMakeSingleImageAppFacade())) {}
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
  return std::make_unique<QVExportQuickPreviewScreen>(QVGalleryServices::shared()->isPluginMode());
}

void QVQuickPreviewScreen::setFactory(Factory factory) { sharedFactory() = std::move(factory); }
