#pragma once
// What the screenshot tools of the application's windows share: the application started with its
// main window on screen (the photos given opened in it, shaped as for a 3:2 photo), and a picture
// of the screen around some windows.
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Controllers/QVSolvaneWindowController.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "QVAppKit/QVMainExecutorBridge.h"

namespace solvane_tools {

// Installs the main executor in Qt's loop and starts the engine and the facade first.
inline std::shared_ptr<QVSolvaneWindowController> showMainWindow(const std::vector<std::string>& photos) {
  QVMainExecutorBridge::install();
  QVAppLink::startEngine();
  QVAppLink::start();
  auto main = QVSolvaneWindowController::make();
  main->createTitleBar(nullptr);
  main->showWindow();
  if (!photos.empty()) {
    main->addImagesAtPaths(photos);
    // The window takes the shape of a 3:2 photo, as it does once the first one is read.
    main->window()->updateWithContentSize(CGSizeMake(3000, 2000), std::nullopt, false);
  }
  return main;
}

// The screen around the windows (they are windows of their own), 40 points beyond them, to a PNG;
// says what it wrote.
inline bool saveScreenAround(const std::vector<QWidget*>& windows, const std::string& out) {
  QRect area;
  QScreen* screen = nullptr;
  for (QWidget* window : windows) {
    if (!window) continue;
    area = area.united(window->frameGeometry());
    if (!screen) screen = window->screen();
  }
  if (!screen) return false;
  area.adjust(-40, -40, 40, 40);
  const QPixmap picture = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
  const bool saved = picture.save(QString::fromStdString(out));
  std::fprintf(saved ? stdout : stderr, "%s %s (%dx%d)\n", saved ? "wrote" : "cannot write", out.c_str(),
               picture.width(), picture.height());
  return saved;
}

}  // namespace solvane_tools
