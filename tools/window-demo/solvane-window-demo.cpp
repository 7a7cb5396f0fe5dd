// Shows the main window in each of its screen modes and the open screen while a photo is dragged
// over it. With --screenshots DIR it takes the pictures one after the other and quits:
//   open.png (the open screen at rest), open-drag.png (a photo hovering 90 points right of the
//   centre), mode-1.png (single image, shaped around a 3:2 photo), mode-2.png (gallery); the
//   screens of modes 1 and 2 show as the placeholder that stands in for them.
// Without it, each mode stays two seconds on screen, then the next comes.
//   solvane-window-demo [--screenshots DIR] [--photo FILE] [--shadow]
#include <QApplication>
#include <QDir>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Controllers/QVSolvaneWindowController.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVMainExecutorBridge.h"
#include "QVPlatform/Bundle.h"

namespace {

// Steps run one after the other, each after its delay.
struct Script {
  std::vector<std::pair<int, std::function<void()>>> steps;
  size_t next = 0;
  void run() {
    if (next >= steps.size()) return;
    auto [delay, step] = steps[next++];
    QTimer::singleShot(delay, [this, step] {
      step();
      run();
    });
  }
};

void save(QWidget* window, const std::string& dir, const char* name) {
  if (dir.empty()) return;
  const std::string path = dir + "/" + name;
  const QPixmap picture = window->grab();
  const bool saved = picture.save(QString::fromStdString(path));
  std::printf("%s %s (%dx%d, device pixel ratio %.1f)\n", saved ? "wrote" : "cannot write", path.c_str(),
              picture.width(), picture.height(), picture.devicePixelRatio());
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir, photo;
  bool shadow = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshots") == 0 && i + 1 < argc) dir = argv[++i];
    if (std::strcmp(argv[i], "--photo") == 0 && i + 1 < argc) photo = argv[++i];
    if (std::strcmp(argv[i], "--shadow") == 0) shadow = true;
  }
  QApplication app(argc, argv);
  QVFonts::loadOnce();
  app.setFont(QVFonts::systemFontOfSize(13));
  QVUIStyle::applyToApplication(app);
  QVMainExecutorBridge::install();
  // The shadow needs a compositor; a screenshot keeps its translucency either way.
  if (shadow) QVSolvaneWindow::setCompositingQuery([] { return true; });
  QVAppLink::startEngine();
  QVAppLink::start();
  if (!dir.empty()) QDir().mkpath(QString::fromStdString(dir));
  if (photo.empty()) photo = qv::Bundle::mainBundle().resourcePath() + "/OpenScreen/Logo.svg";

  auto controller = QVSolvaneWindowController::make();
  controller->createTitleBar(nullptr);
  controller->showWindow();
  const int pause = dir.empty() ? 2000 : 700;
  QMimeData drag;
  drag.setUrls({QUrl::fromLocalFile(QString::fromStdString(photo))});

  Script script;
  script.steps = {
      {pause, [&] { save(controller->window(), dir, "open.png"); }},
      {0,
       [&] {
         QVOpenDragView* view = controller->dragView();
         view->draggingEntered(&drag);
         const CGRect b = view->bounds();
         view->draggingUpdated(CGPointMake(b.size.width / 2 + 90, b.size.height / 2 + 40));
       }},
      {dir.empty() ? 3000 : 1800, [&] { save(controller->window(), dir, "open-drag.png"); }},
      {0,
       [&] {
         controller->dragView()->draggingExited();
         controller->dragView()->draggingEnded();
         controller->addImagesAtPaths({photo});
         controller->window()->updateWithContentSize(CGSizeMake(3000, 2000), std::nullopt, false);
       }},
      {pause, [&] { save(controller->window(), dir, "mode-1.png"); }},
      {0,
       [&] {
         controller->addImagesAtPaths({photo, photo + "#2"});
       }},
      {pause, [&] { save(controller->window(), dir, "mode-2.png"); }},
      {pause, [&] { app.quit(); }},
  };
  script.run();
  const int status = app.exec();
  controller.reset();
  QVMainExecutorBridge::uninstall();
  return status;
}
