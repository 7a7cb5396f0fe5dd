// SolvaneBriskoBridge: started by a host application's plug-in, it starts Solvane in plug-in mode
// (see QVLauncherMain.h for the command line). Its status is 0 on every path: hosts rely on it.
#include <QApplication>
#include <QStyleFactory>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>

#include "QVAppKit/QVFonts.h"
#include "QVLightroomBridge/TestAppInvokerBridge/QVAlert.h"
#include "QVLightroomBridge/TestAppInvokerBridge/QVLauncher.h"
#include "QVLightroomBridge/TestAppInvokerBridge/QVLauncherMain.h"

namespace {

// Qt ends the process when it cannot reach a display; the launcher must still end with 0.
bool canShowWindows() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && *platform) return true;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

void showAlert(int argc, char** argv, const std::string& title, const std::string& message) {
  if (!canShowWindows()) {
    std::cerr << "Error: no display for the alert\n";
    return;
  }
  QApplication application(argc, argv);
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) application.setStyle(fusion);
  QVFonts::loadOnce();
  QVAlert alert;
  alert.setTitle(title);
  alert.setMessage(message);
  alert.run();
}

}  // namespace

int main(int argc, char** argv) {
  try {
    QVLauncher launcher;
    QVLauncherServices services;
    services.launch = [&launcher](const std::string& url, const std::vector<std::string>& arguments, bool wait,
                                  bool silent) {
      return launcher.launchApplicationAtURL(url, arguments, wait, silent);
    };
    services.alert = [argc, argv](const std::string& title, const std::string& message) {
      showAlert(argc, argv, title, message);
    };
    services.targetedAppURL = [] { return QVLauncher::targetedAppURL(); };
    services.out = &std::cout;
    services.err = &std::cerr;
    return QVLauncherMain(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), services);
  } catch (const std::exception& error) {
    std::cerr << "Error: " << error.what() << "\n";
  } catch (...) {
    std::cerr << "Error: unexpected failure\n";
  }
  return 0;
}
