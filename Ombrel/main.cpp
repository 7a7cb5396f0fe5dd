// Solvane: the desktop program.
//
//   Solvane [PHOTO...]                 opens the photos (in the running instance, if there is one)
//   Solvane --screenshot OUT.png ...   also writes the main window to OUT.png once it has settled,
//                                      then quits the normal way (for looking at the window under
//                                      Xvfb: xvfb-run -s "-screen 0 1600x1000x24" Solvane --screenshot a.png)
//   Solvane --screenshot-menu OUT.png  the same with the top bar's menu open
//   Solvane ... --plugin-press-done-after S
//                                      test hook of a plug-in run: S seconds after launch (or as
//                                      soon after as the button takes clicks) clicks the plug-in
//                                      screen's or gallery's DONE button in the window (with --screenshot the
//                                      picture is taken just before, without quitting) and prints
//                                      how long the run took to end; the alerts that follow are
//                                      printed and answered with their first button
//   Solvane ... --plugin-close-after S the same, but closes the main window instead of clicking
//                                      DONE (as the window manager's close does: the run is cancelled)
//
// Start-up order: the application object (without a display: one line, status 1); the hand-over to a running instance
// (this process then exits); the engine; the application delegate (which starts the application core); launching; the
// files of the command line, or the main window when there are none; the main loop.
#include <QIcon>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Alerts/QVModalAlerts.h"
#include "Ombrel/Classes/Application/AppDelegate/QVAppDelegate.h"
#include "Ombrel/Classes/Application/AppDelegate/QVApplication.h"
#include "Ombrel/Classes/Application/AppDelegate/QVApplicationLaunch.h"
#include "Ombrel/Classes/Application/AppDelegate/QVSingleInstance.h"
#include "Ombrel/Classes/Application/Controllers/QVMainScreens.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryExportPanelAdapter.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginSingleImageViewController.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVDisplayCheck.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVMainExecutorBridge.h"
#include "QVAppKit/QVSolvaneTopBarView.h"
#include "QVApplicationInfo/QVApplicationInfo.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/Log.h"

namespace {

struct Options {
  std::vector<std::string> arguments;  // everything, for plug-in mode
  std::vector<std::string> paths;
  std::string screenshot;
  bool withMenu = false;  // --screenshot-menu: the same with the top bar's menu open
  double pressDoneAfter = -1;
  bool closeInstead = false;  // --plugin-close-after
};

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 0; i < argc; ++i) options.arguments.emplace_back(argv[i]);
  for (int i = 1; i < argc; ++i) {
    if ((std::strcmp(argv[i], "--screenshot") == 0 || std::strcmp(argv[i], "--screenshot-menu") == 0) && i + 1 < argc) {
      options.withMenu = std::strcmp(argv[i], "--screenshot-menu") == 0;
      options.screenshot = argv[++i];
    } else if ((std::strcmp(argv[i], "--plugin-press-done-after") == 0 ||
                std::strcmp(argv[i], "--plugin-close-after") == 0) &&
               i + 1 < argc) {
      options.closeInstead = std::strcmp(argv[i], "--plugin-close-after") == 0;
      options.pressDoneAfter = std::atof(argv[++i]);
    } else if (argv[i][0] == '-') {
      // Options of the launcher ("-QVPluginMode", "-QVLightroomPluginOwner") and of Qt.
    } else {
      options.paths.emplace_back(argv[i]);
    }
  }
  return options;
}

// Writes the main window to `file` now.
void saveScreenshot(const std::shared_ptr<QVAppDelegate>& delegate, const std::string& file, bool withMenu) {
  QWidget* window = delegate->solvaneWindowController()->window();
  // An open menu is a window of its own: then the screen around the main window is taken.
  const QPixmap picture =
      withMenu ? window->screen()->grabWindow(0, window->x(), window->y(), window->width(), window->height())
               : window->grab();
  const bool saved = picture.save(QString::fromStdString(file));
  std::fprintf(saved ? stdout : stderr, "%s %s (%dx%d, device pixel ratio %.1f)\n", saved ? "wrote" : "cannot write",
               file.c_str(), picture.width(), picture.height(), picture.devicePixelRatio());
  std::fflush(stdout);
}

// The window once it has settled, then quits.
void takeScreenshot(const std::shared_ptr<QVAppDelegate>& delegate, const std::string& file, bool withMenu) {
  if (withMenu) {
    QTimer::singleShot(1000, [delegate] {
      auto* bar = delegate->solvaneWindowController()->visibleTitleBar();
      bar->showMenu(bar->solvaneButton());
    });
  }
  QTimer::singleShot(1500, [delegate, file, withMenu] {
    saveScreenshot(delegate, file, withMenu);
    // Quits without the close question: the pictures were only looked at.
    delegate->solvaneWindowControllerWillCloseWindow(delegate->solvaneWindowController().get());
  });
}

std::chrono::steady_clock::time_point donePressedAt;
const char* endedAfter = "DONE";

// The test hook's alerts: printed for the script that reads them and answered with the first
// button, so a run that fails ends without anyone at the screen.
class PrintingAlertRunner : public QVAlertRunner {
 public:
  QVAlertResponse runModal(const QVAlertSpec& spec) override {
    std::printf("plug-in: alert \"%s\": %s\n", spec.messageText.c_str(), spec.informativeText.c_str());
    std::fflush(stdout);
    return {};
  }
};

// The plug-in screen's DONE button, when the window shows it and a click at its centre would reach it
// (the row stays locked until the photo is enhanced).
QWidget* clickableDoneButton(const std::shared_ptr<QVAppDelegate>& delegate, QPoint* centre) {
  // The plug-in panel of the screen shown: the single image's, or the gallery's for several photos.
  auto controller = delegate->solvaneWindowController();
  QVPluginExportViewController* panel = nullptr;
  if (auto* single = controller->singleScreen()) {
    if (auto* screen = dynamic_cast<QVPluginSingleImageViewController*>(single->controller()))
      panel = screen->pluginExportViewController();
  } else if (auto* gallery = controller->galleryScreen()) {
    if (auto* adapter = dynamic_cast<QVGalleryExportPanelAdapter*>(gallery->controller()->exportViewController()))
      panel = dynamic_cast<QVPluginExportViewController*>(adapter->exportViewController());
  }
  QWidget* button = panel ? panel->pluginBeginView()->actionButton() : nullptr;
  if (!button || !button->isVisible()) return nullptr;
  QWidget* top = button->window();
  *centre = button->mapTo(top, button->rect().center());
  QWidget* hit = top->childAt(*centre);
  return hit && (hit == button || button->isAncestorOf(hit)) ? button : nullptr;
}

// A left click at `point` of the window, delivered as the window system delivers one: Qt finds the
// widget under it.
void clickWindow(QWidget* top, QPoint point) {
  QWindow* window = top->windowHandle();
  const QPointF global = top->mapToGlobal(QPointF(point));
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(point), global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(point), global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window, &release);
}

// The plug-in run's DONE, clicked on the screen S seconds after launch, or as soon after as the
// button takes clicks; with a screenshot file the window is taken just before and, as NAME-saving,
// while the results are saved.
void pressDoneAfter(const std::shared_ptr<QVAppDelegate>& delegate, double seconds, const std::string& screenshot,
                    bool closeInstead, int attempt = 0) {
  // Timers still pending when the loop ends are destroyed with the application object: they must
  // not hold the delegate, which has to go before it.
  QTimer::singleShot(int(seconds * 1000), [weak = std::weak_ptr(delegate), screenshot, closeInstead, attempt] {
    auto delegate = weak.lock();
    if (!delegate) return;
    QPoint centre;
    QWidget* button = clickableDoneButton(delegate, &centre);
    if (!button) {
      // About 20 s more for the photo to be enhanced, then the run is given up as failed.
      if (attempt == 80) {
        std::fprintf(stderr, "plug-in: no DONE button on the screen to press\n");
        QCoreApplication::exit(2);
        return;
      }
      pressDoneAfter(delegate, 0.25, screenshot, closeInstead, attempt + 1);
      return;
    }
    if (!screenshot.empty()) saveScreenshot(delegate, screenshot, false);
    donePressedAt = std::chrono::steady_clock::now();
    if (closeInstead) {
      endedAfter = "the close";
      std::printf("plug-in: closing the window\n");
      std::fflush(stdout);
      button->window()->close();
      return;
    }
    std::printf("plug-in: DONE pressed\n");
    std::fflush(stdout);
    clickWindow(button->window(), centre);
    // And once the panel shows the saving progress titled after the host.
    if (!screenshot.empty()) {
      std::string saving = screenshot;
      const size_t dot = saving.rfind('.');
      saving.insert(dot == std::string::npos ? saving.size() : dot, "-saving");
      QTimer::singleShot(1100, [weak = std::weak_ptr(delegate), saving] {
        if (auto live = weak.lock()) saveScreenshot(live, saving, false);
      });
    }
  });
}

}  // namespace

int main(int argc, char** argv) {
  // A write past the file-size limit fails with EFBIG, which every writer reports (and the safe
  // writer undoes), instead of ending the process with the file half written.
  std::signal(SIGXFSZ, SIG_IGN);
  // Without a display (a login over SSH, one that cannot be reached) the program says so in one line
  // and ends with 1, not with Qt's abort.
  QVDisplayCheck::StartUp startUp("Solvane", 1);
  QVApplication app(argc, argv);
  startUp.done();
  QCoreApplication::setApplicationName(QString::fromUtf8(QVApplicationInfo::displayName));
  QCoreApplication::setApplicationVersion(QString::fromUtf8(QVApplicationInfo::shortVersion));
  QGuiApplication::setDesktopFileName(QStringLiteral("app.solvane.Solvane"));
  const Options options = parse(argc, argv);
  // Paths stay the bytes the command line gave (a file name need not be UTF-8).
  auto paths = QVSingleInstance::absolutePaths(options.paths, QVSingleInstance::currentFolder());

  // A plug-in run is its own instance: its photos belong to the host's run, so it neither hands
  // them to a running Solvane nor takes another invocation's.
  const bool pluginRun = QVAppLink::isPluginRunArguments(options.arguments);
  QVSingleInstance instance;
  if (!pluginRun) {
    switch (instance.handOverToRunningInstance(paths)) {
      case QVSingleInstance::HandOver::Delivered:
        // With no photos the running Solvane only comes to the front.
        if (paths.empty()) {
          std::printf("Solvane is already running: its window was brought to the front\n");
        } else {
          std::printf("Solvane is already running: %zu %s handed over\n", paths.size(),
                      paths.size() == 1 ? "photo" : "photos");
        }
        return 0;
      case QVSingleInstance::HandOver::Queued:
        // Taken, but the running instance finishes the export it is making first.
        std::printf("Solvane is already running: %zu %s handed over; %s once the export under way has finished\n",
                    paths.size(), paths.size() == 1 ? "photo" : "photos", paths.size() == 1 ? "it opens" : "they open");
        return 0;
      case QVSingleInstance::HandOver::Unanswered:
        // Starting a second instance would share the running one's stores: this one gives up.
        std::fprintf(stderr, "Solvane is already running but does not answer; try again later\n");
        return 1;
      case QVSingleInstance::HandOver::NotRunning:
        break;
    }
  }

  // Under the test hook no alert waits for a hand, from the launch on.
  if (options.pressDoneAfter >= 0) QVModalAlerts::setRunner(std::make_shared<PrintingAlertRunner>());
  auto delegate = QVLaunchApplication(app, options.arguments, paths, instance);
  if (options.pressDoneAfter >= 0) {
    pressDoneAfter(delegate, options.pressDoneAfter, options.screenshot, options.closeInstead);
  } else if (!options.screenshot.empty()) {
    takeScreenshot(delegate, options.screenshot, options.withMenu);
  }

  const int status = app.exec();
  if (donePressedAt != std::chrono::steady_clock::time_point()) {
    std::printf("plug-in: the run ended %.0f ms after %s\n",
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - donePressedAt).count(),
                endedAfter);
    std::printf("plug-in: exit status %d\n", status);
  }
  QVMainExecutorBridge::uninstall();
  return status;
}
