// SifaneExtension: the photo-library editing extension, run by a stand-in for the host.
//
//   SifaneExtension --input PHOTO --output-dir DIR [--adjustment FILE] [--auto-finish]
//                   [--input-before-show] [--screenshot FILE] [--screenshot-exporting FILE]
//
// As a host would: the engine starts first, then the extension's controller is made and its view
// shown in a window with the host's own Cancel and Done. The photo (and the last edit's record,
// unless the extension refuses it) is handed over just after the window appears, or before it
// with --input-before-show. Done asks the extension to finish: it renders the photo at full size
// and writes the TIFF whole to a hidden temporary in DIR through the export writer; the runner
// then commits the edit ("<DIR>/<name>.json", then "<DIR>/<name>.tiff", both renamed in) and exits
// 0. Cancel exits 0 and writes nothing. Neither file ever replaces one that was there: a taken
// name is found before the edit starts, and the renames never replace.
//
// Exit status: 0 done or cancelled; 1 the edit could not be written (the reason on stderr; no
// file of this run is left under either name); 2 a command line that cannot run, a missing photo
// or one that is not a regular file, no display that can be reached; 3 a photo that cannot be decoded (after its
// alert); 134 a photo below 800 x 600 (after its alert). Paths are taken as the bytes they are.
#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QScreen>
#include <QTimer>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "Ombrel/Classes/Application/Alerts/QVModalAlerts.h"
#include "Ombrel/Classes/Application/AppDelegate/QVApplication.h"
#include "Ombrel/Classes/Application/Common/QVSingleImageNotifications.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVDisplayCheck.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVMainExecutorBridge.h"
#include "QVApplicationInfo/QVApplicationInfo.h"
#include "QVPlatform/NotificationCenter.h"
#include "QVPlatform/Places.h"
#include "SifaneExtension/PhotoEditing/PhotoEditingViewController.h"
#include "SifaneExtension/PhotoEditing/QVPhotoEditingAppFacade.h"
#include "SifaneExtension/PhotoEditing/QVPhotoEditingContainerView.h"
#include "SifaneExtension/Runner/QVExtensionHostWindow.h"
#include "SifaneExtension/Runner/QVExtensionRunnerOptions.h"
#include "rova/codecs/SafeFile.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWindowWidth = 1280, kWindowHeight = 860;

// Without a person in front of the screen an alert is printed and answered with its default.
class PrintingAlertRunner : public QVAlertRunner {
 public:
  QVAlertResponse runModal(const QVAlertSpec& spec) override {
    std::fprintf(stderr, "SifaneExtension: alert: %s %s\n", spec.messageText.c_str(), spec.informativeText.c_str());
    return {};
  }
};

// The file named on the command line is replaced only by a complete picture renamed over it, and
// a link at its name is replaced, not followed.
void saveWindow(QWidget* window, const std::string& file) {
  const QPixmap picture = window->grab();
  QByteArray png;
  QBuffer buffer(&png);
  std::string why = "the window could not be encoded";
  const bool saved = buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "PNG") &&
                     rova::codecs::writeFileSafely(file, png.constData(), size_t(png.size()), &why);
  if (saved) {
    std::printf("wrote %s (%dx%d, device pixel ratio %.1f)\n", file.c_str(), picture.width(), picture.height(),
                picture.devicePixelRatio());
  } else {
    std::fprintf(stderr, "SifaneExtension: the screenshot was not written: %s\n", why.c_str());
  }
}

// Opens the slider once the preview shows, sets it to 60, writes the window and cancels.
void takeScreenshot(QVExtensionHostWindow* window, QVPhotoEditingContainerView* view, const std::string& file,
                    std::function<void()> cancel) {
  QTimer::singleShot(1200, window, [view] { view->singleImageController()->sliderMenu()->switchExpanded(); });
  QTimer::singleShot(2400, window, [view] {
    view->singleImageController()->sliderMenu()->setSliderValue(0.6);
    qv::NotificationCenter::defaultCenter().post(kQVBoostSliderDidChangeAmountNotification,
                                                 std::make_shared<double>(0.6));
  });
  QTimer::singleShot(3600, window, [window, file, cancel] {
    saveWindow(window, file);
    cancel();
  });
}

// The edit's two temporary names, removed when the runner is stopped by a signal before its commit
// (only unlink, which is safe in a handler). A kill that cannot be caught may leave them: hidden
// names, never anything under the edit's own names.
char pendingTemporaries[2][4096];
void removeTemporariesAndStop(int signal) {
  for (const char* path : pendingTemporaries) {
    if (*path) ::unlink(path);
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void cleanUpOnSignals(const QVContentEditingOutput& output) {
  const std::string* paths[] = {&output.renderingTemporaryPath(), &output.recordTemporaryPath()};
  for (size_t i = 0; i < 2; ++i) {
    if (paths[i]->size() < sizeof pendingTemporaries[i]) {
      std::memcpy(pendingTemporaries[i], paths[i]->c_str(), paths[i]->size() + 1);
    }
  }
  for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) std::signal(signal, removeTemporariesAndStop);
}

}  // namespace

int main(int argc, char** argv) {
  // A caller that stops reading our output must not turn a finished edit into a killed process.
  std::signal(SIGPIPE, SIG_IGN);
  // Qt ends a process that cannot reach its display with an abort; the runner ends instead with the
  // status of an environment it cannot run in, and the reason in one line.
  QVDisplayCheck::StartUp startUp("SifaneExtension", QVExtensionRunnerOptions::kUsageStatus);
  QVApplication app(argc, argv);
  startUp.done();
  QCoreApplication::setApplicationName(QString::fromUtf8(QVApplicationInfo::displayName));
  QCoreApplication::setApplicationVersion(QString::fromUtf8(QVApplicationInfo::shortVersion));
  // The arguments as the bytes they are (what Qt left of them): a file name need not be UTF-8.
  const std::vector<std::string> arguments(argv, argv + argc);
  std::string error;
  const auto parsed = QVExtensionRunnerOptions::parse(arguments, &error);
  if (!parsed) {
    std::fprintf(stderr, "SifaneExtension: %s\n%s", error.c_str(), QVExtensionRunnerOptions::usage());
    return QVExtensionRunnerOptions::kUsageStatus;
  }
  const QVExtensionRunnerOptions options = *parsed;
  std::error_code ec;
  const std::string photo = fs::absolute(options.input, ec).string();
  {
    // Opened once without blocking: a FIFO or a device is refused at once, never waited on.
    rova::codecs::ReadableFile file;
    std::string why;
    if (!file.open(photo, &why, /*allowEmpty=*/true)) {
      if (errno == ENOENT) {
        std::fprintf(stderr, "SifaneExtension: no such photo: %s\n", options.input.c_str());
      } else {
        std::fprintf(stderr, "SifaneExtension: the photo cannot be used: %s\n", why.c_str());
      }
      return QVExtensionRunnerOptions::kUsageStatus;
    }
    if (file.size() == 0) {
      std::fprintf(stderr, "SifaneExtension: the photo cannot be edited: an empty file, not a photo: %s\n",
                   options.input.c_str());
      return QVExtensionRunnerOptions::kUndecodableStatus;
    }
  }
  const std::string outputDirectory = fs::absolute(options.outputDirectory, ec).string();
  {
    // The host's folder is made here, and the edit's names must be free before anyone edits: the
    // rendering and its record never replace a file (least of all the photo itself).
    qv::Error folderError;
    qv::createDirectory(outputDirectory, &folderError);
    const QVContentEditingOutput planned(QVContentEditingInput(photo, std::nullopt, outputDirectory));
    if (const auto why = planned.checkWritable()) {
      std::fprintf(stderr, "SifaneExtension: the edit was not saved: %s\n", why->c_str());
      return QVExtensionRunnerOptions::kNotWrittenStatus;
    }
    cleanUpOnSignals(planned);
  }

  // The engine first, before any view exists.
  auto facade = QVMakePhotoEditingAppFacade();
  PhotoEditingViewController::load(*facade);

  QVFonts::loadOnce();
  app.setFont(QVFonts::systemFontOfSize(13));
  QVUIStyle::applyToApplication(app);
  QVMainExecutorBridge::install();
  if (options.autoFinish) QVModalAlerts::setRunner(std::make_shared<PrintingAlertRunner>());
  QVSolvaneAlerts::setPresenter(std::make_shared<QVModalAlerts>());

  auto controller = std::make_shared<PhotoEditingViewController>(facade);
  auto view = std::make_unique<QVPhotoEditingContainerView>();
  controller->setView(view.get());
  auto* window = QVMake<QVExtensionHostWindow>(view->containerView(), fs::path(photo).filename().string());
  // Never larger than the screen's available area (1280 x 720 points at 2x on a 1440-pixel screen):
  // the photo's bottom and the strength slider stay on screen.
  QSize windowSize(kWindowWidth, kWindowHeight);
  if (QScreen* screen = window->screen()) windowSize = windowSize.boundedTo(screen->availableGeometry().size());
  window->resize(windowSize);
  controller->viewDidLoad();

  // The last edit's record goes along only when the extension can continue from it.
  std::optional<QVAdjustmentData> record;
  if (!options.adjustment.empty()) {
    qv::Error readError;
    record = QVAdjustmentData::readFromFile(options.adjustment, &readError);
    if (!record) {
      std::fprintf(stderr, "SifaneExtension: the record is not used: %s\n", readError.description.c_str());
    } else if (!controller->canHandleAdjustmentData(*record)) {
      std::printf("The extension starts from the original photo (the last edit's record is not taken up).\n");
      record.reset();
    }
  }
  const QVContentEditingInput input(photo, record, outputDirectory);

  int status = 0;
  auto finish = [&status](int code) {
    status = code;
    QCoreApplication::exit(code);
  };
  auto cancel = [controller, window, finish] {
    window->setButtonsEnabled(false);
    controller->cancelContentEditing();
    std::printf("cancelled: nothing written\n");
    finish(0);
  };
  auto done = [controller, window, finish] {
    window->setButtonsEnabled(false);
    controller->finishContentEditingWithCompletionHandler(
        [finish](std::shared_ptr<QVContentEditingOutput> output, std::optional<std::string> failure) {
          if (!output) {
            std::fprintf(stderr, "SifaneExtension: the edit was not saved: %s\n", failure.value_or("").c_str());
            finish(QVExtensionRunnerOptions::kNotWrittenStatus);
            return;
          }
          // One commit: the record to its temporary, then both renamed into place; on any failure
          // nothing of this edit is left and nothing that was there is touched.
          if (const auto failed = output->commit()) {
            std::fprintf(stderr, "SifaneExtension: the edit was not saved: %s\n", failed->c_str());
            finish(QVExtensionRunnerOptions::kNotWrittenStatus);
            return;
          }
          std::printf("done: %s\nrecord: %s\n", output->renderedContentPath().c_str(),
                      output->adjustmentDataPath().c_str());
          finish(0);
        });
  };
  window->setOnDone(done);
  window->setOnCancel(cancel);
  // A photo that cannot be decoded or enhanced ends the edit: its alert (printed when no one is
  // there), then the status that says so. Nothing is written.
  controller->setFailureHandler([controller, window, finish](const std::string& reason) {
    window->setButtonsEnabled(false);
    std::fprintf(stderr, "SifaneExtension: the photo cannot be edited: %s\n", reason.c_str());
    std::string sentence = reason;
    if (!sentence.empty()) sentence[0] = char(std::toupper(static_cast<unsigned char>(sentence[0])));
    QVModalAlerts::runner()->runModal(QVAlertSpec{"This photo cannot be edited.", sentence + ".", {"OK"}, {}, 0});
    controller->cancelContentEditing();
    finish(QVExtensionRunnerOptions::kUndecodableStatus);
  });

  // --auto-finish and --screenshot act once the enhanced preview is on screen.
  bool acted = false;
  auto stateToken = qv::NotificationCenter::defaultCenter().addObserver(
      kQVExportViewStateDidChangeNotification, nullptr, [&](const qv::Notification& n) {
        if (acted || QVSingleImageNotifications::objectValue<uint64_t>(n) != uint64_t(1)) return;
        acted = true;
        if (!options.screenshot.empty()) {
          takeScreenshot(window, view.get(), options.screenshot, cancel);
        } else if (!options.screenshotExporting.empty()) {
          QTimer::singleShot(1200, window, done);
          const std::string file = options.screenshotExporting;
          QTimer::singleShot(2400, window, [window, file] { saveWindow(window, file); });
        } else if (options.autoFinish) {
          QTimer::singleShot(0, window, done);
        }
      });

  if (options.inputBeforeShow) controller->startContentEditingWithInput(input, "");
  window->show();
  controller->viewWillAppear();
  if (!options.inputBeforeShow) {
    QTimer::singleShot(0, window, [controller, input] { controller->startContentEditingWithInput(input, ""); });
  }

  app.exec();
  stateToken.reset();
  // The edit is over: nothing of the application core's work is waited for.
  std::fflush(nullptr);
  std::_Exit(status);
}
