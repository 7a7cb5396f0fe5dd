// solvane-export-demo [PHOTO] [--screenshots PREFIX]
//
// The export panel over a photo (by default the cat of tests/data/enhance), driven by a stand-in
// export manager that reports its progress when told, so every state can be looked at:
// PREFIX-begin.png (the row with the menu closed), PREFIX-menu.png (the menu open, the pointer
// over its second row), PREFIX-progress.png (the second of three photos under way) and
// PREFIX-end.png (the end view after a disk export). Without --screenshots the window stays open
// and the menu starts real exports... of nothing: the stand-in walks through three steps.
// Under Xvfb at device pixel ratio 2:
//   xvfb-run -s "-screen 0 2560x1600x24" env QT_SCALE_FACTOR=2 solvane-export-demo --screenshots shot
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <cstring>
#include <string>

#include "Ombrel/Classes/Application/Export/QVExportDatasource.h"
#include "Ombrel/Classes/Application/Export/QVExportManagerFactory.h"
#include "Ombrel/Classes/Application/Export/QVExportViewController.h"
#include "Ombrel/Classes/Application/SoundManager/QVSoundManager.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVMainExecutorBridge.h"
#include "QVPlatform/MainExecutor.h"

namespace {

constexpr int kWidth = 1280, kHeight = 800;

// The photo, filling the window (scaled once per size); while an export runs or has ended it is
// darkened, as the single-image screen shows its blurred preview then.
class PhotoView : public QWidget {
 public:
  explicit PhotoView(const QString& path) : photo_(path) {}
  void setDimmed(bool dimmed) {
    dimmed_ = dimmed;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    const QSize pixels = size() * devicePixelRatioF();
    if (scaled_.size() != pixels && !photo_.isNull()) {
      scaled_ = QPixmap::fromImage(photo_.scaled(pixels, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation));
      scaled_.setDevicePixelRatio(devicePixelRatioF());
    }
    const QSizeF shown = QSizeF(scaled_.size()) / devicePixelRatioF();
    p.drawPixmap(QPointF((width() - shown.width()) / 2, (height() - shown.height()) / 2), scaled_);
    if (dimmed_) p.fillRect(rect(), QColor(0, 0, 0, 150));
  }

 private:
  bool dimmed_ = false;
  QImage photo_;
  QPixmap scaled_;
};

// Reports a start, then one step each time it is told, then the finish.
class StepManager : public QVExportManagable {
 public:
  bool prepareExportPaths(const std::vector<std::string>& paths) override {
    paths_ = paths;
    return !paths.empty();
  }
  void exportWithType(uint64_t type) override {
    type_ = type;
    step_ = 0;
    if (auto u = updater_.lock()) {
      u->onExportStarted(*this);
      u->updateProgress(0, paths_.size());
    }
  }
  void step() {
    auto u = updater_.lock();
    if (!u) return;
    if (++step_ < paths_.size()) return u->updateProgress(step_, paths_.size());
    exported_ = paths_;
    u->onExportFinished(*this);
  }
  void cancelProcessing() override {}
  void finishExport() override {}
  std::shared_ptr<QVExportProgressUpdatable> progressUpdater() const override { return updater_.lock(); }
  void setProgressUpdater(const std::shared_ptr<QVExportProgressUpdatable>& u) override { updater_ = u; }
  const std::vector<std::string>& paths() const override { return paths_; }
  uint64_t type() const override { return type_; }
  const std::vector<std::string>& exportedPaths() const override { return exported_; }

 private:
  std::weak_ptr<QVExportProgressUpdatable> updater_;
  std::vector<std::string> paths_, exported_;
  uint64_t type_ = 0;
  uint64_t step_ = 0;
};

class Dimmer : public QVExportViewControllerDelegate {
 public:
  explicit Dimmer(PhotoView* view) : view_(view) {}
  void exportControllerWillChangeExportState(QVExportViewController*, uint64_t state) override {
    view_->setDimmed(state != QVExportViewStateBegin);
  }

 private:
  PhotoView* view_;
};

class Source : public QVExportViewControllerDataSource {
 public:
  std::optional<std::vector<std::string>> exportControllerPathsToShare() override { return paths; }
  std::vector<std::string> paths;
};

void pump(double seconds) {
  for (double t = 0; t < seconds; t += 1.0 / 60) {
    QVAnimationDriver::shared().advance(1.0 / 60);
    qv::MainExecutor::shared().advance(1.0 / 60);
    QCoreApplication::processEvents();
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QVFonts::loadOnce();
  QString photo = SOLVANE_DEMO_PHOTO;
  std::string shots;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--screenshots") && i + 1 < argc)
      shots = argv[++i];
    else
      photo = argv[i];
  }
  QVSoundManager::setSoundsDisabled(true);
  // The hand-off is shown whether or not the sibling application is installed here.
  QVExportDatasource::setTargetOfferedQuery([](uint64_t type) { return type == 0 || type == 2 || type == 5; });
  auto manager = std::make_shared<StepManager>();
  QVExportManagerFactory::setMaker([manager](uint64_t) { return manager; });

  PhotoView window(photo);
  window.setWindowTitle("Solvane export panel");
  window.resize(kWidth, kHeight);
  Source source;
  source.paths = {photo.toStdString(), photo.toStdString(), photo.toStdString()};
  QVExportViewController panel;
  panel.setDataSource(&source);
  Dimmer dimmer(&window);
  panel.setDelegate(&dimmer);
  QWidget* view = panel.view();
  QVEmbedInContainer(view, &window);
  view->show();
  window.show();

  if (shots.empty()) {
    QVMainExecutorBridge::install();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [manager, &panel] {
      if (panel.currentState() == QVExportViewStateInProgress) manager->step();
    });
    ticker.start(1500);
    return app.exec();
  }

  QVAnimationDriver::shared().useManualClock();
  qv::MainExecutor::shared().useManualClock();
  auto save = [&](const char* name) { window.grab().save(QString::fromStdString(shots + "-" + name + ".png")); };
  pump(1.5);
  save("begin");
  QVExportSpringMenu* menu = panel.exportBeginView()->exportMenu();
  menu->switchExpanded();
  pump(1.5);
  auto* row = menu->menuContentView()->itemViews().at(1);
  menu->mouseMoved(row->mapTo(row->window(), row->rect().center()));
  pump(0.2);
  save("menu");
  menu->switchAndHandleMenu(0);
  pump(1.5);
  manager->step();
  pump(1.2);
  save("progress");
  manager->step();
  pump(0.5);
  manager->step();
  pump(3);
  save("end");
  return 0;
}
