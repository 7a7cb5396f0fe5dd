#include "Ombrel/Classes/Application/Gallery/QVGalleryServices.h"

#include "Ombrel/Classes/Application/Menus/QVMenuController.h"
#include "Ombrel/Classes/Application/Panels/QVSolvanePanels.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Business/SourceManager/QVSourceManager.h"
#include "QVCore/Utils/QVImageUtils.h"

namespace {

class QVAppGalleryServices : public QVGalleryServices {
 public:
  void loadImageAtPath(const std::string& path, int64_t imageType, ImageCompletion completion) override {
    QVApp::loadImageAtPath(path, imageType, std::move(completion));
  }
  void processImageAtPath(const std::string& path, int64_t imageType, int64_t priority,
                          ProcessingCompletion completion) override {
    QVApp::processImageAtPath(path, imageType, priority, std::move(completion));
  }
  void cancelLoadingImageAtPath(const std::string& path, int64_t imageType) override {
    QVApp::cancelLoadingImageAtPath(path, imageType);
  }
  void cancelProcessingImageAtPath(const std::string& path, int64_t imageType) override {
    QVApp::cancelProcessingImageAtPath(path, imageType);
  }
  void deleteImagesWithPaths(const std::vector<std::string>& paths) override {
    if (auto manager = QVApp::sourceManager()) manager->deleteImagesWithPaths(paths);
  }
  bool isPluginMode() override { return QVApp::isPluginMode(); }
  bool isImportExportMenuEnabled() override { return QVMenuController::isImportExportMenuEnabled(); }
  bool isFilePanelShown() override {
    return QVSolvanePanels::isOpenPanelShowed() || QVSolvanePanels::isSavePanelShowed();
  }
  CGSize imageSizeForPath(const std::string& path) override { return QVImageUtils::imageSizeForPath(path); }
};

std::shared_ptr<QVGalleryServices>& sharedServices() {
  static std::shared_ptr<QVGalleryServices> services;
  return services;
}

}  // namespace

std::shared_ptr<QVGalleryServices> QVGalleryServices::shared() {
  if (!sharedServices()) sharedServices() = std::make_shared<QVAppGalleryServices>();
  return sharedServices();
}

void QVGalleryServices::setShared(std::shared_ptr<QVGalleryServices> services) {
  sharedServices() = std::move(services);
}
