// Shows the feedback or the about window over the main window and writes the screen around them
// to a PNG, the way a user sees them:
//   solvane-service-windows --feedback OUT.png [--filled] [--sending] [PHOTO...]
//   solvane-service-windows --about OUT.png [PHOTO...]
//   solvane-service-windows --plugins OUT.png [--lightroom-installed] [PHOTO...]
//     (the plug-in installer; set SOLVANE_HOME to a temporary folder: it installs there)
// Photos given are opened in the main window first, as the user would have them.
// Under Xvfb: xvfb-run -s "-screen 0 2560x1440x24" env QT_SCALE_FACTOR=2 solvane-service-windows ...
#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/About/QVAboutWindowController.h"
#include "Ombrel/Classes/Application/Controllers/QVSolvaneWindowController.h"
#include "Ombrel/Classes/Application/Feedback/QVFeedbackWindowController.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginController.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginInstallWindowController.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVMainExecutorBridge.h"
#include "tools/common/ToolMainWindow.h"

namespace {

// Answers without sending, so the spinner keeps turning.
class HeldSender : public QVFeedbackSender {
 public:
  void sendFeedback(const QVFeedbackSheet&, Completion) override {}
};

}  // namespace

int main(int argc, char** argv) {
  std::string feedbackOut, aboutOut, pluginsOut;
  bool filled = false, sending = false, lightroomInstalled = false;
  std::vector<std::string> photos;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--feedback") == 0 && i + 1 < argc)
      feedbackOut = argv[++i];
    else if (std::strcmp(argv[i], "--about") == 0 && i + 1 < argc)
      aboutOut = argv[++i];
    else if (std::strcmp(argv[i], "--plugins") == 0 && i + 1 < argc)
      pluginsOut = argv[++i];
    else if (std::strcmp(argv[i], "--lightroom-installed") == 0)
      lightroomInstalled = true;
    else if (std::strcmp(argv[i], "--filled") == 0)
      filled = true;
    else if (std::strcmp(argv[i], "--sending") == 0)
      filled = sending = true;
    else if (argv[i][0] != '-')
      photos.push_back(argv[i]);
  }
  if (int(!feedbackOut.empty()) + int(!aboutOut.empty()) + int(!pluginsOut.empty()) != 1) {
    std::fprintf(stderr,
                 "usage: %s --feedback OUT.png [--filled] [--sending] | --about OUT.png | --plugins OUT.png "
                 "[--lightroom-installed]\n",
                 argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  QVFonts::loadOnce();
  app.setFont(QVFonts::systemFontOfSize(13));
  QVUIStyle::applyToApplication(app);
  auto main = solvane_tools::showMainWindow(photos);

  std::unique_ptr<QVFeedbackWindowController> feedback;
  std::unique_ptr<QVAboutWindowController> about;
  std::shared_ptr<QVPluginController> plugins;
  QWidget* shown = nullptr;
  QTimer::singleShot(1200, [&] {
    if (!pluginsOut.empty()) {
      plugins = QVPluginController::make();
      plugins->installPlugins();
      if (lightroomInstalled) {
        auto installer = plugins->pluginInstallWC()->installViewController()->pluginsInstaller();
        if (!installer->isLightroomPluginInstalled()) installer->installLightroomPlugin();
      }
      shown = plugins->pluginInstallWC()->window();
    } else if (!feedbackOut.empty()) {
      feedback = std::make_unique<QVFeedbackWindowController>(std::make_shared<HeldSender>());
      auto* vc = feedback->feedbackViewController();
      if (filled) {
        vc->nameField()->setText("Ann Example");
        vc->emailField()->setText("ann@example.org");
        vc->feedbackField()->setPlainText(
            "The automatic enhancement brought back the sky in my beach photos. Could the export remember the "
            "last folder I used?");
        vc->form().attachImageWithPath("/home/ann/Pictures/beach-sunset.jpg");
      }
      if (sending) vc->form().sendFeedback();
      feedback->show();
      shown = feedback->window();
    } else {
      about = std::make_unique<QVAboutWindowController>();
      about->startForWindow(main->window());
      shown = about->window();
    }
  });
  QTimer::singleShot(2600, [&] {
    const std::string& out = !pluginsOut.empty() ? pluginsOut : feedbackOut.empty() ? aboutOut : feedbackOut;
    const bool saved = solvane_tools::saveScreenAround({main->window(), shown}, out);
    app.exit(saved ? 0 : 1);
  });
  const int status = app.exec();
  feedback.reset();
  about.reset();
  plugins.reset();
  main.reset();
  QVMainExecutorBridge::uninstall();
  return status;
}
