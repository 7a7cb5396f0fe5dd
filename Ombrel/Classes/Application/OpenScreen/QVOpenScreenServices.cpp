#include "Ombrel/Classes/Application/OpenScreen/QVOpenScreenServices.h"

#include "Ombrel/Classes/Application/Panels/QVSolvanePanels.h"
#include "Ombrel/Classes/Business/ErrorTracker/QVAppEventTracker.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Helpers/QVImageHelpers.h"

namespace {

class QVAppOpenScreenServices : public QVOpenScreenServices {
 public:
  bool validateImageAtPath(const std::string& path) override { return QVImageHelpers::validateImageAtPath(path); }
  void loadBlurredImageAtPath(const std::string& path, std::function<void(NSImageRef)> completion) override {
    QVApp::loadBlurredImageAtPath(path, [completion](const std::string&, NSImageRef image) {
      if (completion) completion(image);
    });
  }
  void showChooseFilesPanel(std::function<void(const std::optional<std::vector<std::string>>&)> handler) override {
    QVSolvanePanels::showAndHandleChooseFilesPanelHandler(std::move(handler));
  }
  void setAppLaunched() override {
    if (auto tracker = QVApp::eventTracker()) tracker->setAppLaunched(true);
  }
};

std::shared_ptr<QVOpenScreenServices>& sharedServices() {
  static std::shared_ptr<QVOpenScreenServices> services;
  return services;
}

}  // namespace

std::shared_ptr<QVOpenScreenServices> QVOpenScreenServices::shared() {
  if (!sharedServices()) sharedServices() = std::make_shared<QVAppOpenScreenServices>();
  return sharedServices();
}

void QVOpenScreenServices::setShared(std::shared_ptr<QVOpenScreenServices> services) {
  sharedServices() = std::move(services);
}
