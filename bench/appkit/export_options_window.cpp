// bench_export_options_window [switches]
// The export options window at device pixel ratio 2: the time to open it (controller, lists,
// pane with its four editors, the first paint), then the time of each preset switch by the arrow
// keys in the shipped presets' list (the selection, the four editors redisplaying, the window's
// next paint). Target: a switch at most 8 ms on average, none over 16 ms.
// Runs on Qt's offscreen platform at scale 2 unless QT_QPA_PLATFORM / QT_SCALE_FACTOR say otherwise;
// its files (the remembered preset, the interim preset) go to a temporary SOLVANE_HOME.
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "Ombrel/Classes/Application/ExportOptions/QVBatchSettingsWindowController.h"
#include "QVAppKit/QVFonts.h"
#include "QVPlatform/MainExecutor.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR")) qputenv("QT_SCALE_FACTOR", "2");
  const auto home = std::filesystem::temp_directory_path() / ("bench-export-options-" + std::to_string(::getpid()));
  std::filesystem::create_directories(home);
  ::setenv("SOLVANE_HOME", home.c_str(), 1);
  QApplication app(argc, argv);
  QVFonts::loadOnce();
  const int switches = argc > 1 ? std::max(10, std::atoi(argv[1])) : 120;

  const std::filesystem::path shipped = QVBatchPresetManager::defaultPresetsDirectory();
  auto store = QVBatchPresetManager::initWithDefaultPresetsPath(shipped.string(), (home / "BatchPresets").string(),
                                                                (home / "Interim.plist").string());
  QElapsedTimer timer;
  timer.start();
  auto controller = QVBatchSettingsWindowController::make(store);
  controller->showWithCompletion([](std::shared_ptr<QVBatchPreset>) {});
  qv::MainExecutor::shared().runUntilIdle();
  QWidget* window = controller->window();
  for (int i = 0; i < 100 && !(window->windowHandle() && window->windowHandle()->isExposed()); ++i)
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  QApplication::processEvents();
  const double opening = timer.nsecsElapsed() / 1e6;

  auto* list = controller->selectorViewController()->tableForType(kQVBatchPresetTypeDefault);
  const int rows = list->model()->rowCount();
  std::vector<double> times;
  int row = list->selectedRow();
  for (int i = 0; i < switches && rows > 1; ++i) {
    // Down to the last row, then up to the first, and so on.
    const bool down = (i / (rows - 1)) % 2 == 0;
    timer.start();
    QKeyEvent key(QEvent::KeyPress, down ? Qt::Key_Down : Qt::Key_Up, Qt::NoModifier);
    QCoreApplication::sendEvent(list, &key);
    QEvent update(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window, &update);
    times.push_back(timer.nsecsElapsed() / 1e6);
    row = list->selectedRow();
  }
  double sum = 0, worst = 0;
  for (double t : times) sum += t, worst = std::max(worst, t);
  std::printf("export options window (%s), device pixel ratio %.1f, %d shipped presets\n",
              qPrintable(QGuiApplication::platformName()), window->devicePixelRatioF(), rows);
  std::printf("opening %.2f ms (controller, lists, pane and editors, first paint)\n", opening);
  if (!times.empty())
    std::printf(
        "preset switch by key: mean %.2f ms, worst %.2f ms over %zu switches (target: mean at most 8 ms, none "
        "over 16 ms); last row %d\n",
        sum / times.size(), worst, times.size(), row);
  controller.reset();
  std::error_code ec;
  std::filesystem::remove_all(home, ec);
  return 0;
}
