// solvane-export-screen [PHOTO] [--screenshots PREFIX]
//
// The single-image export screen as the main window shows it: the photo (by default the cat of
// tests/data/enhance) enhanced by the real facade, the compare under the export panel. With
// --screenshots PREFIX it writes PREFIX-processed.png (the begin row over the compare),
// PREFIX-menu.png (the export menu open, the picture dimmed below the panel) and
// PREFIX-exporting.png (an export under way over the blurred preview; a stand-in manager reports
// the steps), then quits. Under Xvfb at device pixel ratio 2:
//   xvfb-run -s "-screen 0 2560x1600x24" env QT_SCALE_FACTOR=2 solvane-export-screen --screenshots shot
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "Ombrel/Classes/Application/Export/QVExportDatasource.h"
#include "Ombrel/Classes/Application/Export/QVExportManagerFactory.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginSingleImageViewController.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "Ombrel/Classes/Application/SingleImage/QVExportSingleImageViewController.h"
#include "Ombrel/Classes/Application/SoundManager/QVSoundManager.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Helpers/QVSPluginModeManager.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVMainExecutorBridge.h"

namespace {

constexpr double kWidth = 1280, kHeight = 800;

// Reports a start and a first step, and nothing more.
class StandInManager : public QVExportManagable {
 public:
  bool prepareExportPaths(const std::vector<std::string>& paths) override {
    paths_ = paths;
    return !paths.empty();
  }
  void exportWithType(uint64_t) override {
    if (auto u = updater_.lock()) u->onExportStarted(*this), u->updateProgress(0, 2);
    QTimer::singleShot(800, [this] {
      if (auto u = updater_.lock()) u->updateProgress(1, 2);
    });
  }
  void cancelProcessing() override {}
  void finishExport() override {}
  std::shared_ptr<QVExportProgressUpdatable> progressUpdater() const override { return updater_.lock(); }
  void setProgressUpdater(const std::shared_ptr<QVExportProgressUpdatable>& u) override { updater_ = u; }
  const std::vector<std::string>& paths() const override { return paths_; }
  uint64_t type() const override { return 0; }
  const std::vector<std::string>& exportedPaths() const override { return exported_; }

 private:
  std::weak_ptr<QVExportProgressUpdatable> updater_;
  std::vector<std::string> paths_, exported_;
};

void save(QWidget* window, const std::string& file) {
  const bool saved = window->grab().save(QString::fromStdString(file));
  std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "cannot write", file.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::string photo = SOLVANE_DEMO_PHOTO, prefix;
  bool plugin = false;  // --plugin: the plug-in run's screen (Lightroom, the photo as the host image)
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--screenshots") && i + 1 < argc)
      prefix = argv[++i];
    else if (!std::strcmp(argv[i], "--plugin"))
      plugin = true;
    else
      photo = argv[i];
  }
  photo = std::filesystem::absolute(photo).string();
  QApplication app(argc, argv);
  QVFonts::loadOnce();
  QVUIStyle::applyToApplication(app);
  QVMainExecutorBridge::install();
  if (!QVAppLink::startEngine()) std::fprintf(stderr, "the image engine did not start\n");
  QVApp::start();
  QVSoundManager::setSoundsDisabled(true);
  QVExportDatasource::setTargetOfferedQuery([](uint64_t type) { return type == 0 || type == 2 || type == 5; });
  auto standIn = std::make_shared<StandInManager>();
  if (plugin) {
    QVSPluginModeManager::shared().configureWithArguments(
        {"solvane-export-screen", "-QVImagePath", photo, "-QVLightroomPluginOwner", "-QVPluginMode"});
  } else {
    QVExportManagerFactory::setMaker([standIn](uint64_t) { return standIn; });
  }

  std::unique_ptr<QVExportSingleImageViewController> screenHolder =
      plugin ? std::make_unique<QVPluginSingleImageViewController>(QVMakeSingleImageAppFacade())
             : std::make_unique<QVExportSingleImageViewController>(QVMakeSingleImageAppFacade());
  QVExportSingleImageViewController& screen = *screenHolder;
  QWidget* window = screen.view();
  screen.rootView()->setFrame(CGRectMake(0, 0, kWidth, kHeight));
  window->setWindowTitle(QString::fromStdString(std::filesystem::path(photo).filename().string()));
  window->show();
  screen.showProcessedImageWithPath(photo);
  if (prefix.empty()) return app.exec();

  QTimer::singleShot(6000, [&] {
    screen.resetSplitFactor();
    save(window, prefix + "-processed.png");
    if (plugin) {
      screen.exportViewController()->exportBeginView()->sliderMenu()->switchExpanded();
      QTimer::singleShot(1500, [&] {
        save(window, prefix + "-slider.png");
        app.quit();
      });
      return;
    }
    screen.exportViewController()->exportBeginView()->exportMenu()->switchExpanded();
  });
  QTimer::singleShot(8000, [&] {
    save(window, prefix + "-menu.png");
    screen.exportViewController()->exportBeginView()->switchExportMenu();
  });
  QTimer::singleShot(9500, [&] { screen.exportViewController()->exportPhotosToDisk({photo}); });
  QTimer::singleShot(12500, [&] {
    save(window, prefix + "-exporting.png");
    app.quit();
  });
  return app.exec();
}
