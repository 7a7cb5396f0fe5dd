// solvane-singleimage [PHOTO] [--screenshots PREFIX] [--hold SECONDS]
//
// The single-image screen as the application shows it: the photo (by default the cat of
// tests/data/enhance) is enhanced by the real facade (engine, presets, caches), first behind the
// blurred preview with the dots and phase texts, then under the split line with the curtain; the
// strength slider sits in the lower right corner.
//
// --hold keeps the finished result back for that long, so the processing state can be looked at
// (a small photo is enhanced in a blink). --screenshots PREFIX writes PREFIX-0-processing.png,
// PREFIX-1-curtain.png (the curtain sliding in), PREFIX-1-processed.png (line at a third) and PREFIX-2-slider50.png
// (slider open at 50), then quits. Under Xvfb at device pixel ratio 2:
//   xvfb-run -s "-screen 0 2560x1600x24" env QT_SCALE_FACTOR=2 solvane-singleimage --screenshots shot
#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "Ombrel/Classes/Application/Common/QVBoostSpringSlider.h"
#include "Ombrel/Classes/Application/Common/QVSingleImageNotifications.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "Ombrel/Classes/Application/SingleImage/QVBasicExportSingleImageViewController.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVMainExecutorBridge.h"
#include "QVAppKit/QVSolvaneTopBarView.h"
#include "QVPlatform/MainExecutor.h"

namespace {

constexpr double kWindowWidth = 1280, kWindowHeight = 800;
constexpr double kSliderMargin = 24;

// The real facade, with the finished result held back for a while when asked.
class HoldingFacade : public QVSingleImageFacade {
 public:
  HoldingFacade(std::shared_ptr<QVSingleImageFacade> real, double hold) : real_(std::move(real)), hold_(hold) {}
  NSImageRef processedImageAtPath(const std::string& p, int64_t t) override {
    return real_->processedImageAtPath(p, t);
  }
  NSImageRef originalImageAtPath(const std::string& p, int64_t t) override { return real_->originalImageAtPath(p, t); }
  NSImageRef lensedPreviewAtPath(const std::string& p) override { return real_->lensedPreviewAtPath(p); }
  bool autoLensCorrectionEnabled() override { return real_->autoLensCorrectionEnabled(); }
  double boostAmountForImagePath(const std::string& p) override { return real_->boostAmountForImagePath(p); }
  void updateAmount(double a, const std::string& p) override { real_->updateAmount(a, p); }
  void loadBlurredImageAtPath(const std::string& p, ImageCompletion c) override {
    real_->loadBlurredImageAtPath(p, std::move(c));
  }
  void processImageAtPath(const std::string& p, int64_t t, int64_t priority) override {
    real_->processImageAtPath(p, t, priority);
  }
  void startImageProcessingObservation(const std::string& p, int64_t t, ProcessedCompletion c) override {
    const double hold = hold_;
    real_->startImageProcessingObservation(
        p, t, [hold, c](const std::string& path, NSImageRef image, NSImageRef processed) {
          qv::MainExecutor::shared().asyncAfter(hold, [c, path, image, processed] { c(path, image, processed); });
        });
  }
  void stopImageProcessingObservation() override { real_->stopImageProcessingObservation(); }
  void cleanAt(const std::string& p, const std::vector<uint64_t>& types) override { real_->cleanAt(p, types); }
  CGSize imageSizeForPath(const std::string& p) override { return real_->imageSizeForPath(p); }

 private:
  std::shared_ptr<QVSingleImageFacade> real_;
  double hold_;
};

// The screen with the strength slider in its lower trailing corner, shown while processed.
class DemoScreen : public QVBasicExportSingleImageViewController, public QVSpringMenuDelegate {
 public:
  explicit DemoScreen(std::shared_ptr<QVSingleImageFacade> facade)
      : QVBasicExportSingleImageViewController(std::move(facade)) {
    slider_ = QVMake<QVBoostSpringSlider>(CGRectMake(0, 0, 44, 44));
    slider_->setMaxScaleValue(100);
    slider_->setDelegate(this);
    slider_->setShadow(QVShadow{QColor(0, 0, 0, 90), CGSizeMake(0, -3), 12});
    slider_->hide();
    rootView()->addSubview(slider_);
    rootView()->addConstraint([this] { placeSlider(); });
  }
  QVBoostSpringSlider* slider() const { return slider_; }
  QVView* sliderContainer() override { return slider_; }
  void updateSliderOffset(double amount) override { slider_->setSliderValue(amount); }
  void onBeginTransitionToState(uint64_t state) override {
    slider_->setVisible(state == QVExportImageViewControllerState_Processed);
    slider_->raise();
  }
  void springMenuWillBeginAnimating(QVSpringMenu* menu) override {
    // The host announces the slider's opening and closing.
    qv::NotificationCenter::defaultCenter().post(kQVBoostSliderDidChangeShowStateNotification,
                                                 std::make_shared<bool>(!menu->expanded()));
  }

 private:
  void placeSlider() {
    if (slider_->animating()) return;
    const CGSize size = slider_->contentSizeForState(slider_->expanded());
    // The trailing corner: the slider opens towards the leading side.
    const double x = isRightToLeft() ? kSliderMargin : rootView()->bounds().size.width - kSliderMargin - size.width;
    slider_->setFrame(CGRectMake(x, kSliderMargin, size.width, size.height));
    slider_->raise();
  }
  QVBoostSpringSlider* slider_ = nullptr;
};

void save(QWidget* window, const std::string& file) {
  const QPixmap picture = window->grab();
  const bool saved = picture.save(QString::fromStdString(file));
  std::fprintf(saved ? stdout : stderr, "%s %s (%dx%d, device pixel ratio %.1f)\n", saved ? "wrote" : "cannot write",
               file.c_str(), picture.width(), picture.height(), picture.devicePixelRatio());
}

std::string defaultPhoto() {
  const std::filesystem::path here = std::filesystem::path(__FILE__).parent_path();
  return (here.parent_path().parent_path() / "tests" / "data" / "enhance" / "chelsea.png").string();
}

}  // namespace

int main(int argc, char** argv) {
  std::string photo, prefix;
  double hold = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshots") == 0 && i + 1 < argc) {
      prefix = argv[++i];
    } else if (std::strcmp(argv[i], "--hold") == 0 && i + 1 < argc) {
      hold = std::atof(argv[++i]);
    } else if (argv[i][0] != '-') {
      photo = argv[i];
    }
  }
  if (photo.empty()) photo = defaultPhoto();
  photo = std::filesystem::absolute(photo).string();
  if (!prefix.empty() && hold <= 0) hold = 2.5;

  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Solvane"));
  QVFonts::loadOnce();
  app.setFont(QVFonts::systemFontOfSize(13));
  QVUIStyle::applyToApplication(app);
  QVMainExecutorBridge::install();
  if (!QVAppLink::startEngine()) std::fprintf(stderr, "the image engine did not start\n");
  QVApp::start();
  // Each run starts from the photo itself, not from a cached result of an earlier run.
  QVApp::cleanAt(photo, {0, 1, 3});

  auto* window = QVMake<QVView>(CGRectMake(0, 0, kWindowWidth, kWindowHeight));
  window->setBackgroundColor(QVUIStyle::themeBGColor());
  window->setWindowTitle(QStringLiteral("Solvane"));
  auto* bar = QVSolvaneTopBarView::topBar();
  bar->setBackgroundColor(QVUIStyle::darkColor());
  bar->setTitle(std::filesystem::path(photo).filename().string());
  bar->setShowTitle(true);
  window->addSubview(bar);
  auto screen = std::make_unique<DemoScreen>(std::make_shared<HoldingFacade>(QVMakeSingleImageAppFacade(), hold));
  window->addSubview(screen->view());
  window->addConstraint([window, bar, &screen] {
    const CGSize size = window->bounds().size;
    const double h = QVSolvaneTopBarView::kHeight;
    bar->setFrame(CGRectMake(0, size.height - h, size.width, h));
    if (auto* v = dynamic_cast<QVBasicView*>(screen->view()))
      v->setFrame(CGRectMake(0, 0, size.width, size.height - h));
  });
  window->resize(int(kWindowWidth), int(kWindowHeight));
  window->show();
  window->layoutSubtreeIfNeeded();
  screen->showProcessedImageWithPath(photo);

  if (!prefix.empty()) {
    DemoScreen* s = screen.get();
    // Processing: the blurred preview with the dots, while the result is held back.
    QTimer::singleShot(int(hold * 1000 * 0.6), [window, prefix] { save(window, prefix + "-0-processing.png"); });
    // The curtain sliding in: the first frame with the line inside the right half.
    auto* watch = new QTimer(window);
    watch->setInterval(8);
    QObject::connect(watch, &QTimer::timeout, [watch, window, prefix, s] {
      const auto& curtain = s->curtainAnimator();
      const double line = s->compareView()->lineCentre();
      if (!curtain || !curtain->observesCurtainPosition() || line > s->rootView()->width() * 0.75) return;
      watch->stop();
      save(window, prefix + "-1-curtain.png");
    });
    watch->start();
    // Processed: the fade (1 s) and the curtain have ended; the line rests at a third.
    QTimer::singleShot(int(hold * 1000) + 3500, [window, prefix, s] {
      s->resetSplitFactor();
      window->layoutSubtreeIfNeeded();
      save(window, prefix + "-1-processed.png");
      s->slider()->switchExpanded();
    });
    // The slider open at 50, the result laid over the whole source at half strength.
    QTimer::singleShot(int(hold * 1000) + 5500, [window, prefix, s] {
      s->slider()->setSliderValue(0.5);
      qv::NotificationCenter::defaultCenter().post(kQVBoostSliderDidChangeAmountNotification,
                                                   std::make_shared<double>(0.5));
    });
    QTimer::singleShot(int(hold * 1000) + 7000, [window, prefix] {
      save(window, prefix + "-2-slider50.png");
      QApplication::quit();
    });
  }
  const int status = app.exec();
  screen.reset();
  delete window;
  QVMainExecutorBridge::uninstall();
  return status;
}
