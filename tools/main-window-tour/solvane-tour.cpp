// solvane-tour OUTDIR PHOTO1 PHOTO2 PHOTO3 [--solvane PATH] [--motion]
//
// Runs Solvane whole (the same launch as the program) and walks through it as a new user would,
// writing OUTDIR/NN-step.png after each step and one line per step on standard output:
//   the open screen; File > Open with its dialog (PHOTO1); the strength slider opened and set to 50
//   by dragging its knob; the export menu, "Save to disk" and the save dialog with a typed name
//   (OUTDIR/exported.jpg is written); the start-over question; a second
//   invocation of PATH (build/Ombrel/Solvane) handing over PHOTO2; a drop of PHOTO3; a drop of
//   PHOTO1 and PHOTO2 (the gallery); start over.
// Each screenshot is taken when the step's screen has settled (the photo enhanced, the curtain at
// rest). With --motion, while a screen transition runs the window's place on the screen is grabbed
// every display frame into OUTDIR/motion/NNNN-FROM-TO.png (what the screen really shows: a flash
// or a jump is seen there); the frames are kept in memory and written when the motion is over, so
// saving them does not slow the motion down. Meant for Xvfb:
//   xvfb-run -s "-screen 0 2560x1440x24" env QT_SCALE_FACTOR=2 solvane-tour out a.jpg b.jpg c.jpg
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Ombrel/Classes/Application/AppDelegate/QVAppDelegate.h"
#include "Ombrel/Classes/Application/AppDelegate/QVApplication.h"
#include "Ombrel/Classes/Application/AppDelegate/QVApplicationLaunch.h"
#include "Ombrel/Classes/Application/AppDelegate/QVSingleInstance.h"
#include "Ombrel/Classes/Application/Controllers/QVMainScreens.h"
#include "Ombrel/Classes/Application/Export/QVExportBeginView.h"
#include "Ombrel/Classes/Application/Menus/QVMenuController.h"
#include "QVAppKit/QVMainExecutorBridge.h"
#include "QVAppKit/QVSliderView.h"

namespace {

using Clock = std::chrono::steady_clock;

// One step: an action, then a condition to wait for (polled every 50 ms, at most `limit` s).
struct Step {
  std::string name;
  std::function<void()> action;
  std::function<bool()> ready;
  double limit = 30;
  bool wholeScreen = false;  // dialogs are windows of their own
  double settle = 0.3;       // seconds between ready and the screenshot
};

class Tour {
 public:
  Tour(std::shared_ptr<QVAppDelegate> delegate, std::string out)
      : delegate_(std::move(delegate)), out_(std::move(out)) {}
  void add(Step step) { steps_.push_back(std::move(step)); }
  void start() { next(); }
  int failures() const { return failures_; }

  QVSolvaneWindowController& controller() { return *delegate_->solvaneWindowController(); }
  // The photo shown enhanced with the curtain at rest.
  bool singleSettled() {
    auto* single = controller().singleScreen();
    if (!single || controller().currentMode() != 1) return false;
    auto* vc = single->controller();
    // Settled means the compare is what the user sees: no blurred preview left over it.
    return vc->currentState() == 1 && vc->compareView()->curtainVisible() &&
           !(vc->curtainAnimator() && vc->curtainAnimator()->observesCurtainPosition()) &&
           !vc->blurredPreview()->parentWidget();
  }
  void shoot(const std::string& name, bool wholeScreen) {
    QWidget* window = controller().window();
    const QPixmap picture = wholeScreen ? window->screen()->grabWindow(0) : window->grab();
    const std::string file = out_ + "/" + name + ".png";
    picture.save(QString::fromStdString(file));
    std::printf("  screenshot %s (%dx%d)\n", file.c_str(), picture.width(), picture.height());
  }

 private:
  void next() {
    if (steps_.empty()) {
      std::printf("tour done, %d failures\n", failures_);
      std::fflush(stdout);
      // Closing may ask a question in a modal alert's own loop (this call then returns only when it
      // is answered) or wait on a last motion; the tour ends either way, its screenshots written.
      QTimer::singleShot(2000, [failures = failures_] {
        std::fflush(stdout);
        std::_Exit(failures ? 1 : 0);
      });
      delegate_->solvaneWindowControllerWillCloseWindow(&controller());
      return;
    }
    current_ = std::move(steps_.front());
    steps_.pop_front();
    began_ = Clock::now();
    if (current_.action) current_.action();
    poll();
  }
  void poll() {
    const double waited = std::chrono::duration<double>(Clock::now() - began_).count();
    const bool ready = !current_.ready || current_.ready();
    if (!ready && waited < current_.limit) {
      QTimer::singleShot(50, [this] { poll(); });
      return;
    }
    std::printf("%s %s after %.2f s\n", ready ? "ok  " : "FAIL", current_.name.c_str(), waited);
    if (auto* single = controller().singleScreen()) {
      auto* vc = single->controller();
      std::printf("  %s, split line at %.3f of the width\n", vc->imagePath().c_str(), vc->splitFactor());
    }
    failures_ += !ready;
    // A moment for the last frames to be painted.
    QTimer::singleShot(int(current_.settle * 1000), [this] {
      char prefix[8];
      std::snprintf(prefix, sizeof prefix, "%02d-", ++shots_);
      shoot(prefix + current_.name, current_.wholeScreen);
      std::fflush(stdout);
      next();
    });
  }

  std::shared_ptr<QVAppDelegate> delegate_;
  std::string out_;
  std::deque<Step> steps_;
  Step current_;
  Clock::time_point began_;
  int failures_ = 0;
  int shots_ = 0;
};

template <typename T>
T* visibleTopLevel() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* found = dynamic_cast<T*>(widget); found && found->isVisible()) return found;
  }
  return nullptr;
}

// A drop on the window as a file manager makes it: enter, move, drop; with `hover` (ms) the drag
// rests over the window that long before it is dropped.
void synthesiseDrop(QWidget* target, const std::vector<std::string>& paths, int hover = 0) {
  auto* mime = new QMimeData();
  QList<QUrl> urls;
  for (const auto& path : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(path)));
  mime->setUrls(urls);
  const QPointF centre(target->width() / 2.0, target->height() / 2.0);
  QDragEnterEvent enter(centre.toPoint(), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &enter);
  QDragMoveEvent move(centre.toPoint(), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &move);
  auto drop = [target, mime, centre] {
    QDropEvent event(centre, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
    QTimer::singleShot(5000, mime, [mime] { delete mime; });
  };
  if (hover > 0) {
    QTimer::singleShot(hover, target, drop);
  } else {
    drop();
  }
}

// A press and release at a point of the widget, as the pointer makes them.
void click(QWidget* widget, QPointF at) {
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    QMouseEvent event(type, at, widget->mapTo(widget->window(), at), widget->mapToGlobal(at), Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
  }
}

// Drags the slider's knob to the value as a hand does: press on the bar, two moves that show how
// the value follows the pointer, then the move onto the value and the release.
void setSliderByPointer(QVSliderView* slider, double target) {
  auto send = [slider](QEvent::Type type, double x) {
    const QPointF at(x, slider->height() / 2.0);
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, slider->mapTo(slider->window(), at), slider->mapToGlobal(at), button, buttons,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(slider, &event);
  };
  const double w = slider->width();
  send(QEvent::MouseButtonPress, w * 0.5);
  send(QEvent::MouseMove, w * 0.4);
  const double v1 = slider->value();
  send(QEvent::MouseMove, w * 0.6);
  const double v2 = slider->value();
  const double x = v2 != v1 ? w * 0.4 + (target - v1) * (w * 0.2) / (v2 - v1) : w * 0.5;
  send(QEvent::MouseMove, x);
  send(QEvent::MouseButtonRelease, x);
}

void clickButton(QMessageBox* box, const std::string& title) {
  for (QAbstractButton* button : box->buttons()) {
    if (button->text().toStdString() == title) {
      button->click();
      return;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: solvane-tour OUTDIR PHOTO1 PHOTO2 PHOTO3 [--solvane PATH]\n");
    return 2;
  }
  // A tour of its own: another Solvane running on this machine (a user's, another tour's) must not
  // take the second invocation's photos, so the single instance listens in a private folder that
  // the second invocation inherits.
  char runtime[] = "/tmp/solvane-tour-XXXXXX";
  if (mkdtemp(runtime)) setenv("XDG_RUNTIME_DIR", runtime, 1);
  QVApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Solvane"));
  const std::string out = argv[1];
  QDir().mkpath(QString::fromStdString(out));
  const auto photos = QVSingleInstance::absolutePaths({argv[2], argv[3], argv[4]}, QVSingleInstance::currentFolder());
  std::string solvane = "build/Ombrel/Solvane";
  bool motion = false;
  for (int i = 5; i < argc; ++i) {
    if (std::string(argv[i]) == "--solvane" && i + 1 < argc) solvane = argv[i + 1];
    if (std::string(argv[i]) == "--motion") motion = true;
  }

  QVSingleInstance instance;
  auto delegate = QVLaunchApplication(app, {argv[0]}, {}, instance);
  Tour tour(delegate, out);
  auto& c = tour.controller();
  auto openScreenShown = [&c] {
    return c.currentMode() == 0 && c.openViewController() && c.window()->isVisible() && !c.transition();
  };

  tour.add({"open-screen", nullptr, openScreenShown});
  tour.add({"file-open-dialog", [] { QVMenuController::fileMenu()->itemWithTag(QVMenuTagOpenFiles)->trigger(); },
            [] { return visibleTopLevel<QFileDialog>() != nullptr; }, 10, true});
  tour.add({"single-image-from-file-open",
            [&photos] {
              // As a user does: the file's name typed in the name field, then Open.
              auto* dialog = visibleTopLevel<QFileDialog>();
              auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
              name->setText(QString::fromStdString(photos[0]));
              auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
              buttons->button(QDialogButtonBox::Open)->click();
              std::printf("  dialog %s\n", dialog->isVisible() ? "still open" : "closed");
            },
            [&tour] { return tour.singleSettled(); }, 60, false, 2.0});
  // The strength: the slider opens with a click and a click on its bar sets 50.
  auto beginView = [&c] { return c.singleScreen()->controller()->exportViewController()->exportBeginView(); };
  tour.add({"strength-slider-open",
            [&] {
              QVBoostSpringSlider* slider = beginView()->sliderMenu();
              click(slider, QPointF(slider->width() / 2.0, slider->height() / 2.0));
            },
            [&] { return beginView()->sliderMenu()->expanded() && !beginView()->sliderMenu()->animating(); }, 10, false,
            0.5});
  tour.add({"strength-50",
            [&] {
              QVSliderView* slider = beginView()->sliderMenu()->sliderView();
              setSliderByPointer(slider, 50);
              std::printf("  strength %.1f\n", slider->value());
            },
            nullptr, 5, false, 1.5});
  // Export to disk: the export menu, "Save to disk", the save dialog with a typed name.
  const std::string exported = out + "/exported.jpg";
  tour.add({"slider-closed",
            [&] {
              QVBoostSpringSlider* slider = beginView()->sliderMenu();
              if (slider->expanded()) slider->switchExpanded();
            },
            [&] { return !beginView()->sliderMenu()->expanded() && !beginView()->sliderMenu()->animating(); }, 10,
            false, 0.8});
  tour.add({"export-menu", [&] { beginView()->switchExportMenu(); },
            [&] { return beginView()->exportMenu()->expanded() && !beginView()->exportMenu()->animating(); }, 10, false,
            0.5});
  tour.add({"save-dialog",
            [&] {
              auto* panel = c.singleScreen()->controller()->exportViewController();
              panel->exportBeginViewDidClickExportMenuItemOfType(beginView(), 0);
            },
            [] { return visibleTopLevel<QFileDialog>() != nullptr; }, 10, true, 0.8});
  tour.add(
      {"exported",
       [&] {
         auto* dialog = visibleTopLevel<QFileDialog>();
         dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QString::fromStdString(exported));
         dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Save)->click();
       },
       [&] {
         return std::filesystem::exists(exported) &&
                c.singleScreen()->controller()->exportViewController()->currentState() == 2;
       },
       60, false, 2.5});
  tour.add({"start-over-question", [&c] { QTimer::singleShot(0, [&c] { c.onStartOverMenuItem(nullptr); }); },
            [] { return visibleTopLevel<QMessageBox>() != nullptr; }, 10, true});
  tour.add({"open-screen-again", [] { clickButton(visibleTopLevel<QMessageBox>(), "Start Over"); }, openScreenShown});
  tour.add({"single-image-from-second-invocation",
            [&] { QProcess::startDetached(QString::fromStdString(solvane), {QString::fromStdString(photos[1])}); },
            [&tour] { return tour.singleSettled(); }, 60, false, 2.0});
  tour.add({"single-image-from-drop",
            [&] {
              c.startOver();
              QTimer::singleShot(500, [&] { synthesiseDrop(c.dragView(), {photos[2]}); });
            },
            [&tour] { return tour.singleSettled(); }, 60, false, 2.0});
  tour.add({"gallery-from-drop",
            [&] {
              synthesiseDrop(c.dragView(), {photos[0], photos[1]});
            },
            [&c] { return c.currentMode() == 2 && !c.transition(); }, 30});
  tour.add({"start-over-from-gallery", [&c] { c.startOver(); }, openScreenShown, 10, false, 1.5});
  if (motion) {
    // The transitions the walk above does not show whole: open screen to gallery, gallery to its
    // last photo, a drag resting over the single image before its drop.
    tour.add({"gallery-from-open-screen", [&] { synthesiseDrop(c.dragView(), photos); },
              [&c] { return c.currentMode() == 2 && !c.transition(); }, 30, false, 1.0});
    tour.add({"single-image-from-gallery",
              [&c] {
                c.galleryScreen()->controller()->removeItemsAtIndexPaths({1, 2});
              },
              [&tour] { return tour.singleSettled(); }, 60, false, 2.0});
    tour.add({"gallery-from-slow-drop", [&] { synthesiseDrop(c.dragView(), {photos[1]}, 800); },
              [&c] { return c.currentMode() == 2 && !c.transition(); }, 30, false, 1.0});
  }
  struct Shot {
    std::string file;
    QImage picture;
  };
  std::vector<Shot> motionShots;
  QTimer motionTimer;
  int motionFrames = 0;
  if (motion) {
    QDir().mkpath(QString::fromStdString(out + "/motion"));
    QObject::connect(&motionTimer, &QTimer::timeout, [&] {
      QVScreenTransition* t = c.transition();
      if (!t) {
        for (const Shot& shot : std::exchange(motionShots, {})) shot.picture.save(QString::fromStdString(shot.file));
        return;
      }
      QWidget* window = c.window();
      const QRect place = window->frameGeometry();
      const QPixmap picture = window->screen()->grabWindow(0, place.x(), place.y(), place.width(), place.height());
      char name[64];
      std::snprintf(name, sizeof name, "/motion/%04d-%lld-%lld.png", motionFrames++, (long long)t->from(),
                    (long long)t->to());
      // Written once the motion is over: a picture written here (a large PNG takes longer than the
      // whole motion) would hold up the very frames it is meant to record.
      motionShots.push_back({out + name, picture.toImage()});
    });
    motionTimer.start(16);
  }
  QTimer::singleShot(0, [&tour] { tour.start(); });

  const int status = app.exec();
  QVMainExecutorBridge::uninstall();
  return status == 0 ? tour.failures() : status;
}
